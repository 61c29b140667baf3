#include "exports/modem_line_exports.h"

#include "port/port_export.h"
#include "scan/modem_lines.h"

using namespace kestrune;

KESTRUNE_API int32_t WINAPI SerialPort_Get_Dsr(PortRecord* record) { return PortExport(record, ReadDsrLine); }
KESTRUNE_API int32_t WINAPI SerialPort_Get_Cts(PortRecord* record) { return PortExport(record, ReadCtsLine); }
KESTRUNE_API int32_t WINAPI SerialPort_Get_Ring(PortRecord* record) { return PortExport(record, ReadRingLine); }
KESTRUNE_API int32_t WINAPI SerialPort_Get_ReceiveLineSignalDetect(PortRecord* record) {
    return PortExport(record, ReadCarrierLine);
}
KESTRUNE_API int32_t WINAPI SerialPort_Set_Dtr(PortRecord* record) { return PortExport(record, SetDtrLine); }
KESTRUNE_API int32_t WINAPI SerialPort_Clear_Dtr(PortRecord* record) { return PortExport(record, ClearDtrLine); }
KESTRUNE_API int32_t WINAPI SerialPort_Set_Rts(PortRecord* record) { return PortExport(record, SetRtsLine); }
KESTRUNE_API int32_t WINAPI SerialPort_Clear_Rts(PortRecord* record) { return PortExport(record, ClearRtsLine); }
