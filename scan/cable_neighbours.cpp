#include "scan/cable_neighbours.h"

#include <string_view>

#include "support/fixed_text.h"

namespace kestrune {

std::string CabledTo(const PortRecord& record) {
    const std::string_view text = Text(record.AttachedDevice);
    const std::string_view prefix = kCabledToPrefix;
    if (text.substr(0, prefix.size()) != prefix) return {};
    return std::string(text.substr(prefix.size()));
}

}  // namespace kestrune
