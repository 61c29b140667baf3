#include "scan/modem_lines.h"

#include "scan/owner_port_reads.h"
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
int32_t Escape(PortRecord& record, int32_t PortRecord::*field, DWORD code) {
    SendLineCommand(record, field, code);
    return 0;
}

int32_t ReadLine(PortRecord& record, int32_t PortRecord::*field, uint32_t mask) {
    ReadModemStatus(record);
    record.*field = static_cast<int32_t>(record.ModemStatus & mask);
    return 0;
}
}  // namespace

int32_t ReadDsrLine(PortRecord& record) { return ReadLine(record, &PortRecord::DataSendReady, kDsrMask); }
int32_t ReadCtsLine(PortRecord& record) { return ReadLine(record, &PortRecord::ClearToSend, kCtsMask); }
int32_t ReadRingLine(PortRecord& record) { return ReadLine(record, &PortRecord::RING, kRingMask); }
int32_t ReadCarrierLine(PortRecord& record) { return ReadLine(record, &PortRecord::ReceiveLineDetect, kRlsdMask); }
int32_t SetDtrLine(PortRecord& record) { return Escape(record, &PortRecord::DtrCommand, SETDTR); }
int32_t ClearDtrLine(PortRecord& record) { return Escape(record, &PortRecord::DtrCommand, CLRDTR); }
int32_t SetRtsLine(PortRecord& record) { return Escape(record, &PortRecord::RtsCommand, SETRTS); }
int32_t ClearRtsLine(PortRecord& record) { return Escape(record, &PortRecord::RtsCommand, CLRRTS); }

}  // namespace kestrune
