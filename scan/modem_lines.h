#pragma once
// The modem lines of a record's port: read DSR, CTS, ring and carrier into the record, raise
// or lower DTR and RTS, each on the record's WinHandle. The line fields hold the masked
// status bit itself (DSR 0 or 32, CTS 0 or 16, ring 0 or 64, carrier 0 or 128).
#include <windows.h>

#include <cstdint>

#include "record/port_record.h"

namespace kestrune {

constexpr uint32_t kDsrMask = 0x20;   // MS_DSR_ON
constexpr uint32_t kCtsMask = 0x10;   // MS_CTS_ON
constexpr uint32_t kRingMask = 0x40;  // MS_RING_ON
constexpr uint32_t kRlsdMask = 0x80;  // MS_RLSD_ON

// Asks the port's modem status into ModemStatus; a failed call keeps the previous word.
void ReadModemStatus(PortRecord& record);

// Sets the command field (DtrCommand or RtsCommand) to code and sends the escape on
// WinHandle. Returns 0, or the system error when the driver refused it; a record without a
// handle sends nothing and gets 0.
DWORD SendLineCommand(PortRecord& record, int32_t PortRecord::*field, DWORD code);

// The line steps: a read gives ModemStatus from the port (kept when the call fails), then
// the line's field from it; a command sets its field (DTR 5/6, RTS 3/4), then sends the
// escape without looking at its result. All return 0. The exported modem-line functions
// and the cable test run them through PortExport.
int32_t ReadDsrLine(PortRecord& record);
int32_t ReadCtsLine(PortRecord& record);
int32_t ReadRingLine(PortRecord& record);
int32_t ReadCarrierLine(PortRecord& record);  // receive-line-signal-detect into ReceiveLineDetect
int32_t SetDtrLine(PortRecord& record);
int32_t ClearDtrLine(PortRecord& record);
int32_t SetRtsLine(PortRecord& record);
int32_t ClearRtsLine(PortRecord& record);

}  // namespace kestrune
