#pragma once
// A record's channel: the port named by a PortRecord opened, asked, written, read and closed
// as channel RtHandle. Each operation takes the record and keeps its inputs and results
// there; the exported functions (and the scan's steps) run them through PortExport.
#include <cstdint>

#include "record/port_record.h"

namespace kestrune {

// State 0 "%SerialPortOpen" when channel RtHandle is open, else 1 "%SerialPortClosed".
void RefreshChannelState(PortRecord& record);

// The state check: refreshes State and tells whether the channel is open.
bool CheckChannelState(PortRecord& record);

// Opens PortName (or "COM" + Number when PortName is empty) as channel RtHandle (a new
// number when RtHandle is 0). On success WinHandle = the channel's handle and State 0; on
// failure the error fields are filled and State and WinHandle stay. Returns the channel
// error of the open: 0, 69 for a refused open, 55 when the channel was open already (the
// record then names that open channel), 52 for a channel number outside 1..32767.
int32_t OpenRecordChannel(PortRecord& record);

// RefreshChannelState, then 0.
int32_t ReadRecordChannelState(PortRecord& record);

// When channel RtHandle is open, PortName becomes the name of the port it was opened on.
int32_t NameRecordChannelPort(PortRecord& record);

// State-checked: XmitBuffer written to the channel, and the terminal colours of a
// transmission.
int32_t SendOnRecordChannel(PortRecord& record);

// State-checked: RecBuffer from what the channel received, and the terminal colours of a
// reception.
int32_t ReceiveOnRecordChannel(PortRecord& record);

// Closes channel RtHandle only through a record that names it, and a native open's handle
// left in a record without a channel; another caller's channel or handle is left alone.
// Returns the error number of a failed step, else 0.
int32_t CloseRecordChannel(PortRecord& record);

}  // namespace kestrune
