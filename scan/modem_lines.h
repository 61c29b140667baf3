#pragma once
// The eight modem-line functions: read DSR, CTS, ring and carrier into the record, raise
// or lower DTR and RTS, each on the record's WinHandle. The line fields hold the masked
// status bit itself (DSR 0 or 32, CTS 0 or 16, ring 0 or 64, carrier 0 or 128).
#include <windows.h>

#include <cstdint>

#include "record/port_record.h"
#include "support/export.h"

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

}  // namespace kestrune

// Getters: ModemStatus from the port (kept when the call fails), then the line's field from
// it. Setters: the command field (DTR 5/6, RTS 3/4) is set, then the escape is sent; its
// result is not looked at. All return 0; 9 for a null record.
KESTRUNE_API int32_t WINAPI SerialPort_Get_Dsr(kestrune::PortRecord* record);
KESTRUNE_API int32_t WINAPI SerialPort_Get_Cts(kestrune::PortRecord* record);
KESTRUNE_API int32_t WINAPI SerialPort_Get_Ring(kestrune::PortRecord* record);
KESTRUNE_API int32_t WINAPI SerialPort_Get_ReceiveLineSignalDetect(kestrune::PortRecord* record);
KESTRUNE_API int32_t WINAPI SerialPort_Set_Dtr(kestrune::PortRecord* record);
KESTRUNE_API int32_t WINAPI SerialPort_Clear_Dtr(kestrune::PortRecord* record);
KESTRUNE_API int32_t WINAPI SerialPort_Set_Rts(kestrune::PortRecord* record);
KESTRUNE_API int32_t WINAPI SerialPort_Clear_Rts(kestrune::PortRecord* record);
