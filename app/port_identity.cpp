#include "app/port_identity.h"

namespace kestrune {

const std::vector<std::string>& IdentityFieldNames() {
    // Filled as the hardware identity reader lands; until then no port has identity fields.
    static const std::vector<std::string> names;
    return names;
}

std::vector<PortIdentity> ReadPortIdentities(const std::vector<std::string>& portNames) {
    return std::vector<PortIdentity>(portNames.size());
}

std::string IdentityText(const PortIdentity& identity, const std::string& name) {
    for (const IdentityField& field : identity) {
        if (field.name != name) continue;
        if (const auto* text = std::get_if<std::string>(&field.value)) return *text;
        if (const auto* number = std::get_if<int64_t>(&field.value)) return std::to_string(*number);
        return std::get<bool>(field.value) ? "yes" : "no";
    }
    return std::string();
}

std::string IdentitySummary(const PortIdentity& identity) {
    for (const char* name : {"Description", "FriendlyName", "HardwareId"}) {
        std::string text = IdentityText(identity, name);
        if (!text.empty()) return text;
    }
    return std::string();
}

}  // namespace kestrune
