#include "app/console/record_values.h"

#include "scan/device_type.h"
#include "support/fixed_text.h"
#include "support/number_text.h"
#include "support/utf8_text.h"

namespace kestrune {

std::string LineSettingsText(int32_t baud, int32_t dataBits, int32_t parity, int64_t stopBits) {
    if (baud == 0) return std::string();
    static const char kParityLetters[] = "NOEMS";
    const char letter = parity >= 0 && parity < 5 ? kParityLetters[parity] : '?';
    return std::to_string(baud) + " " + std::to_string(dataBits) + letter + StopBitsText(stopBits);
}

std::string LineSettingsText(const PortRecord& record) {
    return LineSettingsText(record.Baud, record.DataBits, record.Parity, record.StopBits);
}

namespace {
constexpr std::string_view kModeNames[] = {"disable", "enable", "handshake", "toggle"};
bool HasControlBlock(const PortRecord& record) { return record.CommConfig.dwSize != 0; }
}  // namespace

std::optional<std::string_view> DtrControlName(const PortRecord& record) {
    if (!HasControlBlock(record) || record.CommConfig.dcb.fDtrControl > 2) return std::nullopt;
    return kModeNames[record.CommConfig.dcb.fDtrControl];
}

std::optional<std::string_view> RtsControlName(const PortRecord& record) {
    if (!HasControlBlock(record)) return std::nullopt;
    return kModeNames[record.CommConfig.dcb.fRtsControl & 3];
}

const std::array<std::string_view, kFlowBitCount>& FlowFlagNames() {
    static const std::array<std::string_view, kFlowBitCount> names = {
        "Binary", "Parity", "OutxDtsFlow", "OutxDsrFlow", "DtrControl", "DsrSensitivity", "TXContinueOnXoff",
        "OutX", "InX", "ErrorChar", "NULL", "RtsControl", "AbortOnError", "Dummy2"};
    return names;
}

std::string ForeignOwnerText(const PortRecord& record) {
    if (record.ProcessId == 0 || record.ProcessId == record.DupProcessID) return std::string();
    std::string path(Text(record.ProgramPath));
    if (path.empty()) path = std::string(Text(record.ProgramName));
    return (path.empty() ? std::string("process") : path) + " (pid " + std::to_string(record.ProcessId) + ")";
}

std::string WholeOwnerPath(const PortRecord& record, std::string_view pathRead) {
    if (pathRead.empty() || ForeignOwnerText(record).empty()) return std::string();
    return Utf8ToAnsiAsSystem(pathRead) == Text(record.ProgramPath) ? std::string(pathRead) : std::string();
}

std::string ForeignOwnerTextUtf8(const PortRecord& record, std::string_view wholePath) {
    const std::string owner = ForeignOwnerText(record);
    if (owner.empty() || wholePath.empty()) return AnsiToUtf8(owner);
    return std::string(wholePath) + " (pid " + std::to_string(record.ProcessId) + ")";
}

std::optional<std::string> WholeOwnerField(std::string_view field, std::string_view wholePath) {
    if (wholePath.empty()) return std::nullopt;
    if (field == "ProgramPath") return std::string(wholePath);
    const ProgramPathParts parts = SplitProgramPath(wholePath);
    if (field == "ProgramFolder") return parts.folder;
    if (field == "ProgramName") return parts.name;
    return std::nullopt;
}

}  // namespace kestrune
