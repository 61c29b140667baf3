#include "scan/settings_readout.h"

#include <cstddef>
#include <cstring>
#include <string>

#include "scan/owner_port_reads.h"
#include "scan/progress.h"
#include "support/fixed_text.h"
#include "support/handles.h"

namespace kestrune {

const char kParametersRoutineName[] = "SerialPort_Get_Parameters";

std::optional<int64_t> StopBitsFromCode(uint32_t code) {
    switch (code) {
        case ONESTOPBIT: return 1 * kStopBitsScale;
        case ONE5STOPBITS: return kStopBitsScale + kStopBitsScale / 2;
        case TWOSTOPBITS: return 2 * kStopBitsScale;
        default: return std::nullopt;
    }
}

std::optional<std::string_view> ParityNameFromCode(int32_t code) {
    static constexpr std::string_view names[] = {"None", "Odd", "Even", "Mark", "Space"};
    if (code < 0 || code > 4) return std::nullopt;
    return names[code];
}

uint32_t FlowControlBitsFromFlags(uint32_t dcbFlags) {
    // Control-block bit of each member, from bit 0 of FlowControlBits upward.
    static constexpr uint32_t sourceBit[kFlowBitCount] = {0, 1, 2, 3, 4, 6, 7, 8, 9, 10, 11, 12, 14, 15};
    uint32_t bits = 0;
    for (uint32_t member = 0; member < kFlowBitCount; ++member)
        if (dcbFlags & (1u << sourceBit[member])) bits |= 1u << member;
    return bits;
}

uint32_t DcbFlagWord(const COMMCONFIG& config) {
    // DCB: DCBlength, BaudRate, then the 32-bit word of bit fields.
    uint32_t flags = 0;
    std::memcpy(&flags, reinterpret_cast<const unsigned char*>(&config.dcb) + 2 * sizeof(DWORD), sizeof flags);
    return flags;
}

void ApplyCommConfig(PortRecord& record) {
    const DCB& dcb = record.CommConfig.dcb;
    record.Baud = static_cast<int32_t>(dcb.BaudRate);
    record.DataBits = dcb.ByteSize;
    if (const auto stop = StopBitsFromCode(dcb.StopBits)) record.StopBits = *stop;
    record.Parity = dcb.Parity;
    if (const auto name = ParityNameFromCode(dcb.Parity)) SetText(record.ParityName, *name);
}

void ReadPortParameters(PortRecord& record) {
    ReportStep(record, kParametersRoutineName, "Get " + std::string(Text(record.PortName)) + " Parameters");
    COMMCONFIG config;
    std::memcpy(&config, &record.CommConfig, sizeof config);  // the record is packed
    if (ReadPortConfig(record, config)) std::memcpy(&record.CommConfig, &config, sizeof config);
    ApplyCommConfig(record);
}

int32_t ReadFlowControl(PortRecord& record) {
    COMMCONFIG config = {};
    if (!ReadPortConfig(record, config)) std::memset(&config, 0, sizeof config);
    record.FlowControlBits = FlowControlBitsFromFlags(DcbFlagWord(config));
    return 0;
}

}  // namespace kestrune
