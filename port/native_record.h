#pragma once
// A record's port opened through a bare native handle kept in WinHandle (no channel): the
// open, the close, and the terminal colours of a transmission.
#include <cstdint>

#include "record/port_record.h"

namespace kestrune {

// Opens Name (its native prefix) + Number with a handle of its own into WinHandle; a handle
// already in the record is kept untouched, whoever made it. RtHandle gets a channel number
// only. Returns 0, or the system error of a refused open (the error fields filled).
int32_t OpenNativeRecord(PortRecord& record);

// Closes WinHandle when it is the library's own: the record's channel through the channel,
// so its handle is never closed under it, an owned handle directly. Returns the error
// number of a failed step, else 0.
int32_t CloseNativeRecord(PortRecord& record);

// Marks the terminal colours of a transmission; writes nothing to the port. Returns 0.
int32_t MarkNativeSend(PortRecord& record);

}  // namespace kestrune
