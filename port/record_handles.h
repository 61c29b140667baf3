#pragma once
// Which handle a record's WinHandle holds, and what the open and close functions may do
// with it. The library closes only handles it opened or duplicated itself; a value of the
// caller's (an event, a thread, a file of the host program) or a made-up one gets a defined
// error and is left alone, and a channel is closed only through a record that names it.
#include <cstdint>

#include "scan/port_record.h"

namespace kestrune {

enum class HandleField {
    kNone,          // 0
    kFailedOpen,    // the value a refused native open leaves (-1)
    kOwnChannel,    // the handle of the open channel RtHandle
    kOtherChannel,  // the handle of another open channel
    kOwned,         // a handle the library opened or duplicated (native open, scan duplicate)
    kForeign,       // anything else
};

// System side: looks the value up in the channel table and among the owned handles.
HandleField ClassifyHandleField(uint32_t winHandle, int32_t rtHandle);

struct CloseStep {
    bool closeChannel = false;  // close the channel whose handle WinHandle is
    bool closeHandle = false;   // close WinHandle as an owned handle
    bool clearFields = false;   // RtHandle and WinHandle become 0
    int32_t channelError = 0;   // the refusal, when not 0: 52, the channel is not the record's
    uint32_t systemError = 0;   // the refusal, when not 0: ERROR_INVALID_HANDLE, a value not ours
};

// SerialPort_Close_Rt: closes channel RtHandle only when the record names it (WinHandle is
// its handle); without an open channel it closes an owned WinHandle, so a native open is
// not dropped with its port still held.
CloseStep PlanCloseRt(bool channelOpen, HandleField field);
// SerialPort_Close_Win: closes a channel's handle through its channel, an owned handle
// directly.
CloseStep PlanCloseWin(HandleField field);

// Carries out a close step on the record: a refusal goes into the error fields (error
// capture) and is returned; a failed close of a handle too (WinHandle is cleared anyway).
int32_t ApplyCloseStep(PortRecord& record, const CloseStep& step);

enum class OpenWinStep { kOpen, kKeep, kRefuse };
// SerialPort_Open_Win: opens when WinHandle is 0 or the failed value, keeps a handle of the
// library's own, refuses any other value (ERROR_INVALID_HANDLE).
OpenWinStep PlanOpenWin(HandleField field);

}  // namespace kestrune
