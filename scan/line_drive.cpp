#include "scan/line_drive.h"

#include <atomic>

#include "scan/modem_lines.h"
#include "support/handles.h"

namespace kestrune {

namespace {
// When this process last changed a line (GetTickCount64), for LetNeighboursSettle.
std::atomic<uint64_t> lastLineChange{0};

void NoteLineChange() { lastLineChange.store(GetTickCount64()); }
}  // namespace

bool InputsAnswered(uint32_t modemStatus, int32_t dsrBefore, int32_t ctsBefore) {
    const bool dsrMoved = static_cast<int32_t>(modemStatus & kDsrMask) != dsrBefore;
    const bool ctsMoved = static_cast<int32_t>(modemStatus & kCtsMask) != ctsBefore;
    return dsrMoved && ctsMoved;
}

DWORD DriveAgainst(PortRecord& record, int32_t dsrBefore, int32_t ctsBefore) {
    const DWORD dtr = dsrBefore == 0 ? SETDTR : CLRDTR;
    const DWORD rts = ctsBefore == 0 ? SETRTS : CLRRTS;
    if (record.WinHandle != 0) NoteLineChange();
    for (const auto& [field, code] : {std::pair{&PortRecord::DtrCommand, dtr}, std::pair{&PortRecord::RtsCommand, rts},
                                      std::pair{&PortRecord::DtrCommand, dtr}}) {
        if (const DWORD error = SendLineCommand(record, field, code)) return error;
    }
    return 0;
}

void WaitForInputs(PortRecord& record, int32_t dsrBefore, int32_t ctsBefore, DWORD boundMilliseconds) {
    if (record.WinHandle == 0) return;
    const uint64_t start = GetTickCount64();
    for (;;) {
        ReadModemStatus(record);
        if (InputsAnswered(record.ModemStatus, dsrBefore, ctsBefore)) return;
        if (GetTickCount64() - start >= boundMilliseconds) return;
        Sleep(1);
    }
}

void LetNeighboursSettle(PortRecord& record) {
    if (record.WinHandle == 0 || (record.ModemStatus & (kDsrMask | kCtsMask)) == 0) return;
    const uint64_t since = GetTickCount64() - lastLineChange.load();
    if (since >= kSettleMilliseconds) return;
    Sleep(static_cast<DWORD>(kSettleMilliseconds - since));
    ReadModemStatus(record);
}

SavedLines SaveLines(HANDLE port) {
    SavedLines saved;
    saved.dcb.DCBlength = sizeof(DCB);
    saved.known = port != nullptr && GetCommState(port, &saved.dcb) != 0;
    return saved;
}

void RestoreLines(HANDLE port, const SavedLines& saved) {
    if (!saved.known) return;
    NoteLineChange();
    if (saved.dcb.fRtsControl == RTS_CONTROL_ENABLE) EscapeCommFunction(port, SETRTS);
    else if (saved.dcb.fRtsControl == RTS_CONTROL_DISABLE) EscapeCommFunction(port, CLRRTS);
    if (saved.dcb.fDtrControl == DTR_CONTROL_ENABLE) EscapeCommFunction(port, SETDTR);
    else if (saved.dcb.fDtrControl == DTR_CONTROL_DISABLE) EscapeCommFunction(port, CLRDTR);
}

}  // namespace kestrune
