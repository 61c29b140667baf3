#include "port/native_record.h"

#include <string>

#include "port/channel.h"
#include "port/error_capture.h"
#include "port/port_naming.h"
#include "port/record_handles.h"
#include "support/fixed_text.h"
#include "support/handles.h"
#include "support/owned_handles.h"

namespace kestrune {
namespace {

// WinHandle after a refused open.
constexpr uint32_t kFailedOpen = 0xFFFFFFFFu;

}  // namespace

int32_t OpenNativeRecord(PortRecord& record) {
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

int32_t CloseNativeRecord(PortRecord& record) {
    return ApplyCloseStep(record, PlanCloseWin(ClassifyHandleField(record.WinHandle, record.RtHandle)));
}

int32_t MarkNativeSend(PortRecord& record) {
    if (record.HwndTerminal != 0) {
        record.ColorText = 0x00FFFF00;
        record.ColorTextBackGround = 0;
    }
    return 0;
}

}  // namespace kestrune
