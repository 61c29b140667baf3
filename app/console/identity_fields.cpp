#include "app/console/identity_fields.h"

#include "scan/identity_reader.h"

namespace kestrune {

const std::vector<std::string>& IdentityFieldNames() {
    static const std::vector<std::string> names = {
        "FriendlyName", "Description", "Manufacturer", "HardwareId", "VidPid", "Interface", "SerialNumber",
        "InstanceId",   "Location",    "Service",      "Device",     "ComDB"};
    return names;
}

IdentityFields IdentityFieldsOf(const HardwareSnapshot& hardware, const std::string& portName) {
    IdentityFields fields;
    if (const PortIdentity* d = FindIdentity(hardware.devices, portName)) {
        fields = {{"FriendlyName", d->friendlyName}, {"Description", d->description},
                  {"Manufacturer", d->manufacturer}, {"HardwareId", d->hardwareId},
                  {"VidPid", d->vidPid},             {"Interface", d->interfaceNumber},
                  {"SerialNumber", d->serialNumber}, {"InstanceId", d->instanceId},
                  {"Location", d->location},         {"Service", d->service},
                  {"Device", std::string(PresenceText(*d))}};
    }
    if (const ComReservation* r = FindReservation(hardware.reservations, ComNumber(portName)))
        fields.push_back({"ComDB", std::string(ReservationReasonText(r->reason))});
    return fields;
}

std::vector<IdentityFields> ReadPortIdentities(const std::vector<std::string>& portNames) {
    if (portNames.empty()) return {};
    const HardwareSnapshot hardware = ReadHardwareSnapshot();
    std::vector<IdentityFields> identities;
    identities.reserve(portNames.size());
    for (const std::string& name : portNames) identities.push_back(IdentityFieldsOf(hardware, name));
    return identities;
}

std::string IdentityText(const IdentityFields& identity, const std::string& name) {
    for (const IdentityField& field : identity) {
        if (field.name != name) continue;
        if (const auto* text = std::get_if<std::string>(&field.value)) return *text;
        if (const auto* number = std::get_if<int64_t>(&field.value)) return std::to_string(*number);
        return std::get<bool>(field.value) ? "yes" : "no";
    }
    return std::string();
}

std::string IdentitySummary(const IdentityFields& identity) {
    for (const char* name : {"FriendlyName", "Description", "HardwareId"}) {
        std::string text = IdentityText(identity, name);
        if (!text.empty()) return text;
    }
    return std::string();
}

}  // namespace kestrune
