#include "scan/cable_test.h"

#include <windows.h>

#include "port/channel.h"
#include "port/channel_errors.h"
#include "port/error_capture.h"
#include "port/port_export.h"
#include "scan/cable_neighbours.h"
#include "scan/line_drive.h"
#include "scan/progress.h"
#include "scan/modem_lines.h"
#include "scan/status_probe.h"
#include "support/fixed_text.h"
#include "support/handles.h"

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

const char kCableNotSupportedText[] = "Not Supported";

bool CableNotSupported(const PortRecord& record) {
    return record.CableKind == -1 && record.CableResponse == 0 && record.WinError != 0 &&
           (record.DtrCommand != 0 || record.RtsCommand != 0) && Text(record.Status) == kStatusAvailable;
}

const char* CableKindName(int32_t kind) {
    switch (kind) {
        case 1: return "Pass-Through";
        case 0: return "Cross-Over";
        default: return "Unknown";
    }
}

namespace {
// A driver that refuses line control: no verdict, and the refused request's error.
void MarkNotSupported(PortRecord& record, DWORD error) {
    record.CableKind = -1;
    record.CableResponse = 0;
    ResetChannelError();
    SetLastError(error);
    CaptureErrors(record);
    SetLastError(0);
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

    PortExport(&record, ReadDsrLine);
    PortExport(&record, ReadCtsLine);
    PortExport(&record, ReadCarrierLine);
    PortExport(&record, ReadRingLine);
    LetNeighboursSettle(record);
    const int32_t dsrBefore = static_cast<int32_t>(record.ModemStatus & kDsrMask);
    const int32_t ctsBefore = static_cast<int32_t>(record.ModemStatus & kCtsMask);
    const HANDLE port = FieldToHandle(record.WinHandle);
    const SavedLines saved = SaveLines(port);

    const CableNeighbours* neighbours = port ? ActiveCableNeighbours() : nullptr;
    const std::string self(Text(record.PortName));
    CableNeighbours::Reading neighboursBefore;
    if (neighbours) neighboursBefore = neighbours->Read(self);

    if (const DWORD refused = DriveAgainst(record, dsrBefore, ctsBefore)) {
        MarkNotSupported(record, refused);
        return;
    }
    WaitForInputs(record, dsrBefore, ctsBefore);
    if (neighbours) {
        const std::string peer =
            neighbours->Answering(self, neighboursBefore, neighbours->Read(self), dsrBefore == 0, ctsBefore == 0);
        if (!peer.empty()) SetText(record.AttachedDevice, std::string(kCabledToPrefix) + peer);
    }
    PortExport(&record, ReadDsrLine);
    PortExport(&record, ReadCtsLine);
    PortExport(&record, ReadRingLine);
    PortExport(&record, ReadCarrierLine);
    const int32_t dsrAfter = record.DataSendReady;
    const int32_t ctsAfter = record.ClearToSend;

    DriveAgainst(record, dsrBefore, ctsBefore);
    PortExport(&record, ReadDsrLine);
    PortExport(&record, ReadCtsLine);
    PortExport(&record, ReadRingLine);
    PortExport(&record, ReadCarrierLine);
    PortExport(&record, ReadRingLine);

    const CableVerdict verdict = DecideCable(dsrBefore, ctsBefore, dsrAfter, ctsAfter);
    record.CableKind = verdict.kind;
    record.CableResponse = verdict.response;
    // A free port is handed back with the lines it had when the scan opened it.
    RestoreLines(port, saved);
}

}  // namespace kestrune
