// The native-handle family: a port opened with a bare handle kept in WinHandle.
#include <string>

#include "port/channel.h"
#include "port/channel_errors.h"
#include "port/error_capture.h"
#include "port/port_export.h"
#include "port/port_functions.h"
#include "port/port_naming.h"
#include "port/record_handles.h"
#include "record/result_codes.h"
#include "support/fixed_text.h"
#include "support/handles.h"
#include "support/owned_handles.h"

namespace kestrune {
namespace {

// WinHandle after a refused open.
constexpr uint32_t kFailedOpen = 0xFFFFFFFFu;

int32_t OpenWin(PortRecord& record) {
    // A handle already in the record is kept untouched, whoever made it: no second open.
    const OpenWinStep step = PlanOpenWin(ClassifyHandleField(record.WinHandle, record.RtHandle));
    record.RtHandle = NextChannelNumber();  // a number only; no channel is opened
    const std::string prefix = NativePrefix(Text(record.Name));
    if (prefix != Text(record.Name)) SetText(record.Name, prefix);
    record.Number = UsablePortNumber(record.Number);

    // A record whose earlier open was refused tries again, so the result always tells
    // about this attempt rather than about whatever error the thread last saw.
    if (step == OpenWinStep::kOpen) {
        SECURITY_ATTRIBUTES security{};
        security.nLength = sizeof(security);
        security.bInheritHandle = FALSE;
        const std::string path = NativeDevicePath(Text(record.Name), record.Number);
        const HANDLE opened =
            CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, &security, OPEN_EXISTING, 0, nullptr);
        record.WinHandle = HandleToField(opened);
        if (opened != INVALID_HANDLE_VALUE) RememberOwnedHandle(opened);
    }
    if (record.WinHandle == kFailedOpen) {
        CaptureErrors(record);
        return static_cast<int32_t>(record.WinError);
    }
    if (record.WinHandle == 0) return 0;
    record.RtHandle = NextChannelNumber();
    return 0;
}

// Closes WinHandle when it is the library's own: the record's channel through the channel,
// so its handle is never closed under it, an owned handle directly.
int32_t CloseWin(PortRecord& record) {
    return ApplyCloseStep(record, PlanCloseWin(ClassifyHandleField(record.WinHandle, record.RtHandle)));
}

template <typename Body>
int32_t Exported(PortRecord* record, Body body) {
    return PortExport(record, body);
}

}  // namespace
}  // namespace kestrune

using namespace kestrune;

KESTRUNE_API int32_t WINAPI SerialPort_Open_Win(PortRecord* record) { return Exported(record, OpenWin); }

// Reports the channel RtHandle, as SerialPort_State_Rt does.
KESTRUNE_API int32_t WINAPI SerialPort_State_Win(PortRecord* record) {
    return Exported(record, [](PortRecord& r) { return SerialPort_State_Rt(&r); });
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
