#pragma once
// The eight exported modem-line functions, on the record's WinHandle (scan/modem_lines.h).
// Getters: ModemStatus from the port (kept when the call fails), then the line's field from
// it. Setters: the command field (DTR 5/6, RTS 3/4) is set, then the escape is sent; its
// result is not looked at. All return 0; 9 for a null record.
#include <cstdint>

#include "record/port_record.h"
#include "support/export.h"

KESTRUNE_API int32_t WINAPI SerialPort_Get_Dsr(kestrune::PortRecord* record);
KESTRUNE_API int32_t WINAPI SerialPort_Get_Cts(kestrune::PortRecord* record);
KESTRUNE_API int32_t WINAPI SerialPort_Get_Ring(kestrune::PortRecord* record);
KESTRUNE_API int32_t WINAPI SerialPort_Get_ReceiveLineSignalDetect(kestrune::PortRecord* record);
KESTRUNE_API int32_t WINAPI SerialPort_Set_Dtr(kestrune::PortRecord* record);
KESTRUNE_API int32_t WINAPI SerialPort_Clear_Dtr(kestrune::PortRecord* record);
KESTRUNE_API int32_t WINAPI SerialPort_Set_Rts(kestrune::PortRecord* record);
KESTRUNE_API int32_t WINAPI SerialPort_Clear_Rts(kestrune::PortRecord* record);
