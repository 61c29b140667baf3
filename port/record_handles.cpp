#include "port/record_handles.h"

#include <windows.h>

#include "port/channel.h"
#include "port/channel_errors.h"
#include "port/error_capture.h"
#include "support/handles.h"
#include "support/owned_handles.h"

namespace kestrune {

HandleField ClassifyHandleField(uint32_t winHandle, int32_t rtHandle) {
    if (winHandle == 0) return HandleField::kNone;
    if (winHandle == 0xFFFFFFFFu) return HandleField::kFailedOpen;
    const HANDLE handle = FieldToHandle(winHandle);
    if (const int32_t channel = ChannelOfNativeHandle(handle))
        return channel == rtHandle ? HandleField::kOwnChannel : HandleField::kOtherChannel;
    return IsOwnedHandle(handle) ? HandleField::kOwned : HandleField::kForeign;
}

CloseStep PlanCloseRt(bool channelOpen, HandleField field) {
    CloseStep step;
    if (channelOpen) {
        // The channel table knows its channels: RtHandle is trusted, whatever WinHandle holds.
        step.closeChannel = step.clearFields = true;
        step.closeHandle = field == HandleField::kOwned;
        return step;
    }
    switch (field) {
    case HandleField::kNone:
    case HandleField::kFailedOpen: step.clearFields = true; break;
    case HandleField::kOwned: step.closeHandle = step.clearFields = true; break;
    case HandleField::kOwnChannel:  // not without an open channel RtHandle
    case HandleField::kOtherChannel: step.channelError = kChannelBadFileNameOrNumber; break;
    case HandleField::kForeign: step.systemError = ERROR_INVALID_HANDLE; break;
    }
    return step;
}

CloseStep PlanCloseWin(HandleField field) {
    CloseStep step;
    switch (field) {
    case HandleField::kNone: break;
    case HandleField::kFailedOpen: step.clearFields = true; break;
    case HandleField::kOwnChannel: step.closeChannel = step.clearFields = true; break;
    case HandleField::kOtherChannel: step.channelError = kChannelBadFileNameOrNumber; break;
    case HandleField::kOwned: step.closeHandle = step.clearFields = true; break;
    case HandleField::kForeign: step.systemError = ERROR_INVALID_HANDLE; break;
    }
    return step;
}

int32_t ApplyCloseStep(PortRecord& record, const CloseStep& step) {
    if (step.channelError != 0 || step.systemError != 0) {
        SetChannelError(step.channelError);
        SetLastError(step.systemError);
        CaptureErrors(record);
        return step.channelError != 0 ? step.channelError : static_cast<int32_t>(step.systemError);
    }
    bool closed = true;
    if (step.closeChannel) closed = CloseChannel(record.RtHandle);
    if (step.closeHandle) closed = CloseOwnedHandle(FieldToHandle(record.WinHandle)) && closed;
    if (step.clearFields) {
        record.WinHandle = 0;
        if (closed) record.RtHandle = 0;
    }
    if (closed) return 0;
    CaptureErrors(record);
    return static_cast<int32_t>(record.WinError);
}

OpenWinStep PlanOpenWin(HandleField field) {
    return field == HandleField::kNone || field == HandleField::kFailedOpen ? OpenWinStep::kOpen : OpenWinStep::kKeep;
}

}  // namespace kestrune
