#pragma once
// Which handle a record's WinHandle holds, and what the open and close functions may do
// with it. The library closes only handles it opened or duplicated itself: a value of the
// caller's (an event, a thread, a file of the host program) or a made-up one is never
// closed. A channel's handle is closed only by closing the channel, and a channel only
// through a record whose RtHandle names it.
//
//  field           Close_Rt, channel RtHandle open   Close_Rt, none open   Close_Win
//  none            close channel, clear              clear                 nothing
//  failed open     close channel, clear              clear                 clear
//  own channel     close channel, clear              -                     close channel, clear
//  other channel   close channel, clear              refuse 52             refuse 52
//  owned           close channel and handle, clear   close handle, clear   close handle, clear
//  foreign         close channel, clear              refuse 6              refuse 6
//
// A refusal leaves both fields as they were and goes into the error fields. Open_Win opens
// when WinHandle is none or the failed open and keeps any other value untouched.
#include <cstdint>

#include "record/port_record.h"

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
    bool closeChannel = false;  // close channel RtHandle (its handle goes with it)
    bool closeHandle = false;   // close WinHandle as an owned handle
    bool clearFields = false;   // RtHandle and WinHandle become 0
    int32_t channelError = 0;   // the refusal, when not 0: 52, a channel the record does not name
    uint32_t systemError = 0;   // the refusal, when not 0: ERROR_INVALID_HANDLE, a value not ours

    bool operator==(const CloseStep& o) const {
        return closeChannel == o.closeChannel && closeHandle == o.closeHandle && clearFields == o.clearFields &&
               channelError == o.channelError && systemError == o.systemError;
    }
};

// CloseRecordChannel: an open channel RtHandle is closed whatever WinHandle holds (an owned
// handle there goes too); without one, an owned WinHandle is closed, so a native open is
// not dropped with its port still held.
CloseStep PlanCloseRt(bool channelOpen, HandleField field);
// CloseNativeRecord: the record's own channel through the channel, an owned handle
// directly; another channel's handle is refused.
CloseStep PlanCloseWin(HandleField field);

// Carries out a close step on the record: a refusal goes into the error fields (error
// capture) and is returned; a failed close too (WinHandle is cleared anyway).
int32_t ApplyCloseStep(PortRecord& record, const CloseStep& step);

enum class OpenWinStep { kOpen, kKeep };
// OpenNativeRecord: opens when WinHandle is 0 or the failed value, keeps any other value
// untouched (not the library's to judge or to close).
OpenWinStep PlanOpenWin(HandleField field);

}  // namespace kestrune
