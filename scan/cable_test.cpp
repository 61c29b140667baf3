#include "scan/cable_test.h"

#include <windows.h>

#include "port/channel.h"
#include "scan/progress.h"
#include "scan/modem_lines.h"
#include "scan/status_probe.h"
#include "support/fixed_text.h"

namespace kestrune {

const char kCableRoutineName[] = "SerialPort_Test_Cable";

CableVerdict DecideCable(int32_t dsrBefore, int32_t ctsBefore, int32_t dsrAfter, int32_t ctsAfter) {
    const bool dsrChanged = dsrAfter != dsrBefore;
    const bool ctsChanged = ctsAfter != ctsBefore;
    if (dsrChanged && ctsChanged) return {1, 1};
    if (dsrChanged != ctsChanged) return {-1, -1};
    if (dsrBefore == 0 && ctsBefore == 0 && dsrAfter == 0 && ctsAfter == 0) return {-1, 0};
    return {0, 1};
}

const char* CableKindName(int32_t kind) {
    switch (kind) {
        case 1: return "Pass-Through";
        case 0: return "Cross-Over";
        default: return "Unknown";
    }
}

namespace {
// Drives each output against its input as first found: a line that was off gets its
// output raised, a line that was on gets it lowered.
void DriveAgainst(PortRecord& record, int32_t dsrBefore, int32_t ctsBefore) {
    if (dsrBefore == 0) SerialPort_Set_Dtr(&record);
    else if (dsrBefore == static_cast<int32_t>(kDsrMask)) SerialPort_Clear_Dtr(&record);
    if (ctsBefore == 0) SerialPort_Set_Rts(&record);
    else if (ctsBefore == static_cast<int32_t>(kCtsMask)) SerialPort_Clear_Rts(&record);
}
}  // namespace

CableTestMode ChooseCableTestMode(bool ownChannelOpen, std::string_view status, uint32_t ownerProcessId,
                                  uint32_t ownProcessId) {
    if (ownChannelOpen) return CableTestMode::kDrive;
    const bool heldElsewhere = status == kStatusInUse || (ownerProcessId != 0 && ownerProcessId != ownProcessId);
    return heldElsewhere ? CableTestMode::kReadOnly : CableTestMode::kDrive;
}

bool CableNotTested(const PortRecord& record) {
    return record.CableKind == -1 && record.CableResponse == 0 && record.DtrCommand == 0 && record.RtsCommand == 0;
}

void RunCableTest(PortRecord& record) {
    ReportStep(record, kCableRoutineName, "");

    const bool ownChannelOpen = record.RtHandle != 0 && IsChannelOpen(record.RtHandle);
    if (ChooseCableTestMode(ownChannelOpen, Text(record.Status), record.ProcessId, GetCurrentProcessId()) ==
        CableTestMode::kReadOnly) {
        ReadModemStatus(record);
        record.DataSendReady = static_cast<int32_t>(record.ModemStatus & kDsrMask);
        record.ClearToSend = static_cast<int32_t>(record.ModemStatus & kCtsMask);
        record.RING = static_cast<int32_t>(record.ModemStatus & kRingMask);
        record.ReceiveLineDetect = static_cast<int32_t>(record.ModemStatus & kRlsdMask);
        record.DtrCommand = 0;
        record.RtsCommand = 0;
        record.CableKind = -1;
        record.CableResponse = 0;
        return;
    }

    SerialPort_Get_Dsr(&record);
    SerialPort_Get_Cts(&record);
    SerialPort_Get_ReceiveLineSignalDetect(&record);
    SerialPort_Get_Ring(&record);
    const int32_t dsrBefore = record.DataSendReady;
    const int32_t ctsBefore = record.ClearToSend;

    DriveAgainst(record, dsrBefore, ctsBefore);
    SerialPort_Get_Dsr(&record);
    SerialPort_Get_Cts(&record);
    SerialPort_Get_Ring(&record);
    SerialPort_Get_ReceiveLineSignalDetect(&record);
    const int32_t dsrAfter = record.DataSendReady;
    const int32_t ctsAfter = record.ClearToSend;

    DriveAgainst(record, dsrBefore, ctsBefore);
    SerialPort_Get_Dsr(&record);
    SerialPort_Get_Cts(&record);
    SerialPort_Get_Ring(&record);
    SerialPort_Get_ReceiveLineSignalDetect(&record);
    SerialPort_Get_Ring(&record);

    const CableVerdict verdict = DecideCable(dsrBefore, ctsBefore, dsrAfter, ctsAfter);
    record.CableKind = verdict.kind;
    record.CableResponse = verdict.response;
}

}  // namespace kestrune
