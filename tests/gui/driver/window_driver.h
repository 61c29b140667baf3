#pragma once
// Drives a running Kestrune.exe from another program, as a user or a tool would: finds its
// window, presses "Refresh", reads the status bar and the title, closes it. Used by the GUI
// tests and by the screenshot helper (header only, no project code).
#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <string>

#include "../../test_helpers.h"

namespace kestrune_driver {

constexpr int kRefreshButton = 1026;
constexpr int kStatusBar = 1030;

// A unix path as Wine sees it on drive Z:.
inline std::string WindowsPath(const std::string& path) {
    if (path.empty() || path[0] != '/') return path;
    std::string result = "Z:" + path;
    for (char& c : result)
        if (c == '/') c = '\\';
    return result;
}

struct Child {
    HANDLE process = nullptr;
    DWORD processId = 0;
    Child() = default;
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    Child(Child&& other) noexcept : process(other.process), processId(other.processId) { other.process = nullptr; }
    ~Child() {
        if (process) {
            // A child still running here failed its test: do not leave it behind.
            if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) TerminateProcess(process, 99);
            CloseHandle(process);
        }
    }
};

// Starts the program with no command line, in the given folder, on the given desktop
// (null: the caller's). False when it cannot be started.
inline bool StartProgram(const std::string& exePath, const std::string& folder, const char* desktop, Child& child) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.lpDesktop = const_cast<char*>(desktop);
    PROCESS_INFORMATION info{};
    std::string commandLine = "\"" + exePath + "\"";
    if (!CreateProcessA(exePath.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &info))
        return false;
    CloseHandle(info.hThread);
    child.process = info.hProcess;
    child.processId = info.dwProcessId;
    return true;
}

// The program's dialog: a visible top-level dialog-class window of that process whose title
// starts with "Kestrune". Waits up to timeoutMs. Null when none appears.
inline HWND FindMainWindow(DWORD processId, DWORD timeoutMs) {
    struct Search {
        DWORD processId;
        HWND found;
    } search{processId, nullptr};
    test_helpers::PollUntil([&search] {
        EnumWindows(
            [](HWND window, LPARAM param) CALLBACK -> BOOL {
                auto* s = reinterpret_cast<Search*>(param);
                DWORD owner = 0;
                GetWindowThreadProcessId(window, &owner);
                char className[32] = {};
                char title[64] = {};
                GetClassNameA(window, className, sizeof className);
                GetWindowTextA(window, title, sizeof title);
                if (owner == s->processId && std::string(className) == "#32770" && IsWindowVisible(window) &&
                    std::string(title).rfind("Kestrune", 0) == 0) {
                    s->found = window;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&search));
        return search.found != nullptr;
    }, timeoutMs);
    return search.found;
}

inline std::string WindowTitle(HWND window) {
    char title[260] = {};
    DWORD_PTR ignored = 0;
    // WM_GETTEXT crosses processes; a window busy scanning answers at its next pumped message.
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof title, reinterpret_cast<LPARAM>(title), SMTO_NORMAL, 2000,
                        &ignored);
    return title;
}

// Presses "Refresh" the way a click does: the button's command to the dialog.
inline void PressRefresh(HWND dialog) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(kRefreshButton, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, kRefreshButton)));
}

// Text of one status-bar part of a window in another process: the bar writes into a buffer
// placed in its own process. Empty when it cannot be read.
inline std::string RemoteStatusText(HWND dialog, int part) {
    HWND bar = GetDlgItem(dialog, kStatusBar);
    DWORD processId = 0;
    GetWindowThreadProcessId(bar, &processId);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId);
    if (!process) return "";
    std::string text;
    constexpr SIZE_T kSize = 1024;
    if (void* remote = VirtualAllocEx(process, nullptr, kSize, MEM_COMMIT, PAGE_READWRITE)) {
        DWORD_PTR length = 0;
        if (SendMessageTimeoutA(bar, SB_GETTEXTLENGTHA, static_cast<WPARAM>(part), 0, SMTO_NORMAL, 2000, &length) &&
            LOWORD(length) < kSize) {
            DWORD_PTR ignored = 0;
            char buffer[kSize] = {};
            SIZE_T read = 0;
            if (SendMessageTimeoutA(bar, SB_GETTEXTA, static_cast<WPARAM>(part), reinterpret_cast<LPARAM>(remote),
                                    SMTO_NORMAL, 2000, &ignored) &&
                ReadProcessMemory(process, remote, buffer, kSize - 1, &read))
                text.assign(buffer, strnlen(buffer, LOWORD(length)));
        }
        VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    }
    CloseHandle(process);
    return text;
}

// Waits until status part 0 reads " Scan Complete". False after timeoutMs.
inline bool WaitForScanComplete(HWND dialog, DWORD timeoutMs) {
    test_helpers::PollUntil([dialog] { return !IsWindow(dialog) || RemoteStatusText(dialog, 0) == " Scan Complete"; },
                            timeoutMs);
    return IsWindow(dialog) && RemoteStatusText(dialog, 0) == " Scan Complete";
}

// Exit code of the process once it has ended; STILL_ACTIVE after timeoutMs.
inline DWORD WaitForExit(HANDLE process, DWORD timeoutMs) {
    if (WaitForSingleObject(process, timeoutMs) != WAIT_OBJECT_0) return STILL_ACTIVE;
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process, &code);
    return code;
}

}  // namespace kestrune_driver
