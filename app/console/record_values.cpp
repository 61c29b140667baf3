#include "app/console/record_values.h"

#include "support/fixed_text.h"
#include "support/number_text.h"

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

}  // namespace kestrune
