#include "app/console/port_change_wait.h"

#include <dbt.h>

#include "scan/discovery.h"

namespace kestrune {
namespace {

// The console's stop request reaches the waiting thread through this event; the handler
// runs on a thread of its own.
HANDLE g_stopEvent = nullptr;

BOOL WINAPI OnConsoleControl(DWORD type) {
    switch (type) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
        case CTRL_CLOSE_EVENT:
            if (g_stopEvent) SetEvent(g_stopEvent);
            return TRUE;
        default: return FALSE;
    }
}

// Set by the window procedure when a device arrival or removal message came.
bool g_deviceMessage = false;

LRESULT CALLBACK WatchWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DEVICECHANGE &&
        (wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE || wParam == DBT_DEVNODES_CHANGED)) {
        g_deviceMessage = true;
        return TRUE;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

const char kWindowClass[] = "KestrunePortWatch";

// The interface class of COM ports.
const GUID kComPortInterface = {0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};

}  // namespace

PortChangeWait::PortChangeWait() = default;

PortChangeWait::~PortChangeWait() {
    if (notify_) UnregisterDeviceNotification(notify_);
    if (window_) DestroyWindow(window_);
    if (stop_) {
        SetConsoleCtrlHandler(OnConsoleControl, FALSE);
        g_stopEvent = nullptr;
    }
}

bool PortChangeWait::Open(WatchedKey& watched, const char* path, const char* fallbackPath) {
    watched.event.reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    if (!watched.event) return false;
    watched.subtree = path == nullptr;
    if (path && RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_NOTIFY, watched.key.put()) == ERROR_SUCCESS)
        return Arm(watched);
    watched.subtree = TRUE;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, fallbackPath, 0, KEY_NOTIFY, watched.key.put()) != ERROR_SUCCESS) {
        watched.event.reset();
        return false;
    }
    return Arm(watched);
}

bool PortChangeWait::Arm(WatchedKey& watched) {
    return RegNotifyChangeKeyValue(watched.key.get(), watched.subtree,
                                   REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET, watched.event.get(),
                                   TRUE) == ERROR_SUCCESS;
}

bool PortChangeWait::Start(std::string* error) {
    stop_.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!stop_) {
        if (error) *error = "cannot create an event (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    g_stopEvent = stop_.get();
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);

    // The device map is a volatile key that the system deletes and creates again, so its
    // parent's subtree is watched; the port list is persistent (its parent while missing).
    const bool map = Open(deviceMap_, nullptr, "HARDWARE\\DEVICEMAP");
    const bool list = Open(portList_, kPortListKey, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion");
    if (!map && !list) {
        if (error) *error = "cannot watch the registry's port keys (error " + std::to_string(GetLastError()) + ")";
        return false;
    }

    // A hidden top-level window: broadcasts of device changes reach top-level windows only.
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = WatchWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kWindowClass;
    RegisterClassA(&windowClass);
    window_ = CreateWindowExA(0, kWindowClass, "", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr,
                              windowClass.hInstance, nullptr);
    if (window_) {
        DEV_BROADCAST_DEVICEINTERFACE_A filter = {};
        filter.dbcc_size = sizeof filter;
        filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        filter.dbcc_classguid = kComPortInterface;
        notify_ = RegisterDeviceNotificationA(window_, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    }
    return true;
}

PortChangeWait::Signal PortChangeWait::WaitOnce(DWORD milliseconds) {
    WatchedKey* keys[2];
    HANDLE handles[3] = {stop_.get()};
    DWORD count = 1;
    for (WatchedKey* watched : {&deviceMap_, &portList_})
        if (watched->event) {
            keys[count - 1] = watched;
            handles[count++] = watched->event.get();
        }
    const DWORD start = GetTickCount();
    for (;;) {
        const DWORD elapsed = GetTickCount() - start;
        const DWORD left = elapsed >= milliseconds ? 0 : milliseconds - elapsed;
        const DWORD result = MsgWaitForMultipleObjects(count, handles, FALSE, left, QS_ALLINPUT);
        if (result == WAIT_OBJECT_0) return Signal::kStop;
        if (result > WAIT_OBJECT_0 && result < WAIT_OBJECT_0 + count) {
            Arm(*keys[result - WAIT_OBJECT_0 - 1]);
            return Signal::kChange;
        }
        if (result == WAIT_OBJECT_0 + count) {
            MSG message;
            while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
            if (g_deviceMessage) {
                g_deviceMessage = false;
                return Signal::kChange;
            }
            continue;
        }
        return Signal::kNone;  // timeout or a failed wait
    }
}

PortChangeWait::Wake PortChangeWait::Wait(DWORD timeoutMs, DWORD settleMs) {
    Signal signal = WaitOnce(timeoutMs);
    if (signal == Signal::kStop) return Wake::kStopped;
    if (signal == Signal::kNone) return Wake::kTimeout;
    // Writes still coming are seen by the armed notifications: wait for quiet, at most
    // ten times the settle time.
    for (int rounds = 0; rounds < 10; ++rounds) {
        signal = WaitOnce(settleMs);
        if (signal == Signal::kStop) return Wake::kStopped;
        if (signal == Signal::kNone) break;
    }
    return Wake::kChanged;
}

}  // namespace kestrune
