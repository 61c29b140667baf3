#include "app/window/result_cells.h"

#include <array>
#include <cstdio>
#include <string_view>

#include "app/common/identity_view.h"
#include "app/common/shown_record.h"
#include "support/fixed_text.h"
#include "support/number_text.h"

namespace kestrune {

namespace {

bool DiffersIgnoringCase(std::string_view a, std::string_view b) {
    return UpperAnsi(a) != UpperAnsi(b);
}

// The flow-control flag headers, columns 28 to 41 (bit 0 upward).
constexpr std::array<const char*, 14> kFlagHeaders = {
    "Binary", "Parity", "OutDtsFlow", "OutDsrFlow", "DtrCntrl", "DsrSense", "TxContOnXoff",
    "OutX",   "InX",    "ErrChar",    "NULL",       "RtsCntrl", "AbortOnErr", "Dummy2"};

// Headers of columns 28 to 46.
std::string LineHeader(int column) {
    if (column <= 41) return kFlagHeaders[static_cast<size_t>(column - 28)];
    switch (column) {
        case 43: return "DTR";
        case 44: return "DSR";
        case 45: return "RTS";
        case 46: return "CTS";
        default: return "";  // 42, the divider
    }
}

}  // namespace

std::string Hex4(uint32_t value) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "%04X", value & 0xFFFFu);
    return buffer;
}

std::string HandleCellText(uint32_t value) {
    return SignedDecimal(value) + " (&H" + Hex4(value) + ")";
}

bool OwnerTestHolds(const PortRecord& record, uint32_t ownProcessId) {
    return record.ProcessId != 0 && record.ProcessId != ownProcessId;
}

bool LineTestHolds(const PortRecord& record) {
    const std::string_view status = Text(record.Status);
    return !status.empty() && UpperAnsi(status) != "DISCONNECTED";
}

std::vector<CellWrite> ResultRowCells(const PortRecord& r, uint32_t ownProcessId) {
    using W = ColumnWidth;
    std::vector<CellWrite> cells;
    cells.reserve(kResultColumnCount);
    const bool hasPort = !TextEmpty(r.PortName);
    auto add = [&](int column, std::string text, W width) { cells.push_back({column, std::move(text), width}); };
    auto addText = [&](int column, std::string_view text) {
        if (!text.empty()) add(column, std::string(text), W::kAutosizeContent);
    };

    add(1, std::string(Text(r.PortName)), W::kUnchanged);
    if (r.Baud != 0 && hasPort) add(2, TrimmedDecimal(r.Baud), W::kAutosizeContent);
    if (!TextEmpty(r.ParityName) && hasPort) add(3, std::string(Text(r.ParityName)), W::kAutosizeContent);
    if (r.DataBits != 0 && hasPort) add(4, TrimmedDecimal(r.DataBits), W::kAutosizeContent);
    if (r.StopBits != 0 && hasPort) add(5, StopBitsText(r.StopBits), W::kAutosizeContent);
    add(6, std::string(Text(r.Status)), W::kAutosizeContent);
    add(7, "", W::kUnchanged);
    if (!TextEmpty(r.DeviceName) && DiffersIgnoringCase(Text(r.DeviceName), Text(r.PortName)))
        add(8, std::string(Text(r.DeviceName)), W::kAutosizeContent);
    addText(9, Text(r.DeviceType));
    add(10, "", W::kAutosizeContent);
    if (ShowsOwnerProgram(r, ownProcessId)) {
        addText(11, Text(r.ProgramFolder));
        addText(12, Text(r.ProgramName));
        addText(13, Text(r.ProgramVersion));
    }
    add(14, "", W::kAutosizeContent);
    if (auto cable = ShownCableText(r)) add(15, *cable, W::kAutosizeContent);
    addText(16, Text(r.AttachedDevice));
    addText(17, Text(r.AttachedVersion));
    addText(18, Text(r.AttachedDate));
    add(19, "", W::kAutosizeContent);
    const bool owner = OwnerTestHolds(r, ownProcessId);
    if (owner) {
        add(20, SignedDecimal(r.ProcessId), W::kAutosizeContent);
        add(21, HandleCellText(r.ObjHandle), W::kAutosizeContent);
        add(22, HandleCellText(r.ObjAddress), W::kAutosizeContent);
    }
    add(23, "", W::kAutosizeContent);
    if (owner) {
        add(24, SignedDecimal(r.DupProcessID), W::kAutosizeContent);
        add(25, HandleCellText(r.DupObjHandle), W::kAutosizeContent);
        add(26, HandleCellText(r.DupObjAddress), W::kAutosizeContent);
        add(27, "", W::kAutosizeContent);
    }
    if (LineTestHolds(r)) {
        for (int bit = 0; bit < 14; ++bit)
            add(28 + bit, SignedDecimal((r.FlowControlBits >> bit) & 1u), W::kUnchanged);
        add(42, "", W::kUnchanged);
        if (r.DtrCommand == 5) add(43, "%SETDTR", W::kUnchanged);
        if (r.DtrCommand == 6) add(43, "%CLRDTR", W::kUnchanged);
        add(44, r.DataSendReady != 0 ? "%ON" : "%OFF", W::kUnchanged);
        if (r.RtsCommand == 3) add(45, "%SETRTS", W::kUnchanged);
        if (r.RtsCommand == 4) add(45, "%CLRRTS", W::kUnchanged);
        add(46, r.ClearToSend != 0 ? "%ON" : "%OFF", W::kUnchanged);
    }
    for (CellWrite& cell : IdentityRowCells(ShownIdentity(r))) cells.push_back(std::move(cell));
    return cells;
}

std::vector<HeaderStep> ResultHeaderSteps(const PortRecord& r, uint32_t ownProcessId) {
    using W = ColumnWidth;
    std::vector<HeaderStep> steps;
    auto add = [&](int column, std::optional<std::string> text, W width) {
        steps.push_back({column, std::move(text), width});
    };
    const bool hasPort = !TextEmpty(r.PortName);
    if (hasPort) add(1, "Port", W::kAutosizeWithHeader);
    if (r.Baud != 0 && hasPort) add(2, "Baud", W::kAutosizeWithHeader);
    if (!TextEmpty(r.ParityName) && hasPort) add(3, "Parity", W::kAutosizeWithHeader);
    if (r.DataBits != 0 && hasPort) add(4, "Data", W::kAutosizeWithHeader);
    if (r.StopBits != 0 && hasPort) add(5, "Stop", W::kAutosizeWithHeader);
    if (!TextEmpty(r.Status) || hasPort) add(6, "Status", W::kAutosizeWithHeader);
    add(7, "", W::kAutosizeWithHeader);
    if (!TextEmpty(r.DeviceName) && Text(r.DeviceName) != Text(r.PortName))
        add(8, "Real Name", W::kAutosizeWithHeader);
    if (!TextEmpty(r.DeviceType)) add(9, "Type", W::kAutosizeWithHeader);
    add(10, "", W::kUnchanged);
    if (ShowsOwnerProgram(r, ownProcessId)) {
        if (!TextEmpty(r.ProgramFolder)) add(11, "Path", W::kAutosizeWithHeader);
        if (!TextEmpty(r.ProgramName)) add(12, "Name", W::kAutosizeWithHeader);
        if (!TextEmpty(r.ProgramVersion)) add(13, "Version", W::kAutosizeWithHeader);
    }
    add(14, "", W::kAutosizeWithHeader);
    if (ShownCableText(r)) add(15, "Cable", W::kAutosizeContent);
    if (!TextEmpty(r.DeviceName) && DiffersIgnoringCase(Text(r.DeviceName), Text(r.PortName)))
        add(8, std::nullopt, W::kAutosizeContent);
    if (!TextEmpty(r.AttachedDevice)) add(16, "Device", W::kAutosizeWithHeader);
    if (!TextEmpty(r.AttachedVersion)) add(17, "Version", W::kAutosizeWithHeader);
    if (!TextEmpty(r.AttachedDate)) add(18, "Date", W::kAutosizeWithHeader);
    add(19, "", W::kAutosizeWithHeader);
    const bool owner = OwnerTestHolds(r, ownProcessId);
    if (owner) {
        add(20, "ProcID", W::kAutosizeWithHeader);
        add(21, "ObjHndl", W::kAutosizeWithHeader);
        add(22, "ObjAddr", W::kAutosizeWithHeader);
    }
    add(23, "", W::kAutosizeWithHeader);
    if (owner) {
        add(24, "DupProcID", W::kAutosizeWithHeader);
        add(25, "DupObjHndl", W::kAutosizeWithHeader);
        add(26, "DupObjAddr", W::kAutosizeWithHeader);
        add(27, "", W::kAutosizeWithHeader);
    }
    if (LineTestHolds(r))
        for (int column = 28; column <= 46; ++column) add(column, LineHeader(column), W::kAutosizeWithHeader);
    for (HeaderStep& step : IdentityHeaderSteps(ShownIdentity(r))) steps.push_back(std::move(step));
    return steps;
}

std::vector<ColumnOutcome> FinalHeaderOutcome(const std::vector<PortRecord>& records, uint32_t ownProcessId) {
    std::vector<ColumnOutcome> outcome(kResultColumnCount + 1);  // indexed by column number
    for (const PortRecord& record : records) {
        for (HeaderStep& step : ResultHeaderSteps(record, ownProcessId)) {
            ColumnOutcome& column = outcome[static_cast<size_t>(step.column)];
            if (step.text) column.header = std::move(step.text);
            if (step.width != ColumnWidth::kUnchanged) column.width = step.width;
        }
    }
    return outcome;
}

}  // namespace kestrune
