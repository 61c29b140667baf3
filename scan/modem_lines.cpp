#include "scan/modem_lines.h"

#include "port/port_export.h"
#include "scan/owner_port_reads.h"
#include "record/result_codes.h"
#include "support/handles.h"

namespace kestrune {

void ReadModemStatus(PortRecord& record) {
    DWORD status = 0;
    if (ReadPortModemStatus(record, status)) record.ModemStatus = status;
}

DWORD SendLineCommand(PortRecord& record, int32_t PortRecord::*field, DWORD code) {
    record.*field = static_cast<int32_t>(code);
    if (record.WinHandle == 0) return 0;
    if (EscapeCommFunction(FieldToHandle(record.WinHandle), code)) return 0;
    const DWORD error = GetLastError();
    return error != 0 ? error : ERROR_GEN_FAILURE;
}

namespace {
int32_t Escape(PortRecord* record, int32_t PortRecord::*field, DWORD code) {
    return PortExport(record, [&](PortRecord& r) {
        SendLineCommand(r, field, code);
        return 0;
    });
}

int32_t ReadLine(PortRecord* record, int32_t PortRecord::*field, uint32_t mask) {
    return PortExport(record, [&](PortRecord& r) {
        ReadModemStatus(r);
        r.*field = static_cast<int32_t>(r.ModemStatus & mask);
        return 0;
    });
}
}  // namespace

}  // namespace kestrune

using namespace kestrune;

KESTRUNE_API int32_t WINAPI SerialPort_Get_Dsr(PortRecord* record) {
    return ReadLine(record, &PortRecord::DataSendReady, kDsrMask);
}
KESTRUNE_API int32_t WINAPI SerialPort_Get_Cts(PortRecord* record) {
    return ReadLine(record, &PortRecord::ClearToSend, kCtsMask);
}
KESTRUNE_API int32_t WINAPI SerialPort_Get_Ring(PortRecord* record) {
    return ReadLine(record, &PortRecord::RING, kRingMask);
}
KESTRUNE_API int32_t WINAPI SerialPort_Get_ReceiveLineSignalDetect(PortRecord* record) {
    return ReadLine(record, &PortRecord::ReceiveLineDetect, kRlsdMask);
}
KESTRUNE_API int32_t WINAPI SerialPort_Set_Dtr(PortRecord* record) {
    return Escape(record, &PortRecord::DtrCommand, SETDTR);
}
KESTRUNE_API int32_t WINAPI SerialPort_Clear_Dtr(PortRecord* record) {
    return Escape(record, &PortRecord::DtrCommand, CLRDTR);
}
KESTRUNE_API int32_t WINAPI SerialPort_Set_Rts(PortRecord* record) {
    return Escape(record, &PortRecord::RtsCommand, SETRTS);
}
KESTRUNE_API int32_t WINAPI SerialPort_Clear_Rts(PortRecord* record) {
    return Escape(record, &PortRecord::RtsCommand, CLRRTS);
}
