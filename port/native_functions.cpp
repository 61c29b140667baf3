// The native-handle family: a port opened with a bare handle kept in WinHandle.
#include <string>

#include "port/channel.h"
#include "port/channel_errors.h"
#include "port/error_capture.h"
#include "port/port_functions.h"
#include "port/port_naming.h"
#include "scan/scan_driver.h"
#include "support/fixed_text.h"
#include "support/handles.h"

namespace kestrune {
namespace {

// WinHandle after a refused open.
constexpr uint32_t kFailedOpen = 0xFFFFFFFFu;

int32_t OpenWin(PortRecord& record) {
    record.RtHandle = NextChannelNumber();  // a number only; no channel is opened
    const std::string prefix = NativePrefix(Text(record.Name));
    if (prefix != Text(record.Name)) SetText(record.Name, prefix);
    record.Number = UsablePortNumber(record.Number);

    // A record whose earlier open was refused tries again, so the result always tells
    // about this attempt rather than about whatever error the thread last saw.
    if (record.WinHandle == kFailedOpen) record.WinHandle = 0;
    if (record.WinHandle == 0) {
        SECURITY_ATTRIBUTES security{};
        security.nLength = sizeof(security);
        security.bInheritHandle = FALSE;
        const std::string path = NativeDevicePath(Text(record.Name), record.Number);
        record.WinHandle = HandleToField(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, &security,
                                                     OPEN_EXISTING, 0, nullptr));
    }
    if (record.WinHandle == kFailedOpen) {
        CaptureErrors(record);
        return static_cast<int32_t>(record.WinError);
    }
    if (record.WinHandle == 0) return 0;
    record.RtHandle = NextChannelNumber();
    return 0;
}

int32_t CloseWin(PortRecord& record) {
    if (record.WinHandle == 0) return 0;
    const uint32_t field = record.WinHandle;
    record.WinHandle = 0;
    bool closed = true;
    if (field != kFailedOpen) {  // a refused open left no handle to close
        HANDLE handle = FieldToHandle(field);
        // A handle that an open channel owns is closed through its channel, so it is never
        // closed twice.
        if (const int32_t channel = ChannelOfNativeHandle(handle))
            closed = CloseChannel(channel);
        else
            closed = CloseHandle(handle) != 0;
    }
    if (!closed) {
        CaptureErrors(record);
        return static_cast<int32_t>(record.WinError);
    }
    record.RtHandle = 0;
    return 0;
}

template <typename Body>
int32_t Exported(PortRecord* record, Body body) {
    if (!record) return kNullArgumentResult;
    ResetChannelError();
    return body(*record);
}

}  // namespace
}  // namespace kestrune

using namespace kestrune;

KESTRUNE_API int32_t WINAPI SerialPort_Open_Win(PortRecord* record) { return Exported(record, OpenWin); }

// Reports the channel RtHandle, as SerialPort_State_Rt does.
KESTRUNE_API int32_t WINAPI SerialPort_State_Win(PortRecord* record) {
    if (!record) return kNullArgumentResult;
    return SerialPort_State_Rt(record);
}

// Marks the terminal colours of a transmission; writes nothing to the port.
KESTRUNE_API int32_t WINAPI SerialPort_Send_Win(PortRecord* record) {
    return Exported(record, [](PortRecord& r) {
        if (r.HwndTerminal != 0) {
            r.ColorText = 0x00FFFF00;
            r.ColorTextBackGround = 0;
        }
        return 0;
    });
}

KESTRUNE_API int32_t WINAPI SerialPort_Close_Win(PortRecord* record) { return Exported(record, CloseWin); }
