#include "support/number_text.h"

namespace kestrune {

std::string StopBitsText(int64_t stored) {
    uint64_t magnitude = stored < 0 ? 0 - static_cast<uint64_t>(stored) : static_cast<uint64_t>(stored);
    const uint64_t scale = 10000u;
    std::string text = (stored < 0 ? "-" : "") + std::to_string(magnitude / scale);
    uint64_t fraction = magnitude % scale;
    if (fraction != 0) {
        std::string digits = std::to_string(fraction);
        digits.insert(digits.begin(), 4 - digits.size(), '0');
        while (digits.back() == '0') digits.pop_back();
        text += "." + digits;
    }
    return text;
}

}  // namespace kestrune
