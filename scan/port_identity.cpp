#include "scan/port_identity.h"

#include <algorithm>
#include <cctype>

#include "support/fixed_text.h"

namespace kestrune {

namespace {

constexpr uint32_t kConfigSuccess = 0x00;        // CR_SUCCESS
constexpr uint32_t kConfigNoSuchDevNode = 0x0D;  // CR_NO_SUCH_DEVNODE
constexpr uint32_t kConfigNoSuchDevInst = 0x25;  // CR_NO_SUCH_DEVINST

bool IsHex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

// The four hex digits after tag ("VID_") in id, where tag starts the id's text or follows a
// separator; upper-cased. Empty when there are none.
std::string TaggedHex(std::string_view id, std::string_view tag, std::size_t digits) {
    const std::string upper = UpperAnsi(id);
    for (std::size_t at = upper.find(tag); at != std::string::npos; at = upper.find(tag, at + 1)) {
        if (at > 0 && upper[at - 1] != '&' && upper[at - 1] != '+' && upper[at - 1] != '\\') continue;
        const std::size_t start = at + tag.size();
        if (start + digits > upper.size()) continue;
        if (!std::all_of(upper.begin() + static_cast<std::ptrdiff_t>(start),
                         upper.begin() + static_cast<std::ptrdiff_t>(start + digits), IsHex))
            continue;
        // Exactly that many digits: the next character ends the field.
        if (start + digits < upper.size() && IsHex(upper[start + digits])) continue;
        return upper.substr(start, digits);
    }
    return {};
}

std::vector<std::string_view> SplitOn(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos) return parts;
        start = end + 1;
    }
}

}  // namespace

std::string VidPidFromHardwareIds(const std::vector<std::string>& hardwareIds) {
    for (const std::string& id : hardwareIds) {
        const std::string vid = TaggedHex(id, "VID_", 4);
        const std::string pid = TaggedHex(id, "PID_", 4);
        if (!vid.empty() && !pid.empty()) return vid + ":" + pid;
    }
    return {};
}

std::string InterfaceFromHardwareIds(const std::vector<std::string>& hardwareIds) {
    for (const std::string& id : hardwareIds) {
        const std::string mi = TaggedHex(id, "MI_", 2);
        if (!mi.empty()) return mi;
    }
    return {};
}

std::string SerialFromInstanceId(std::string_view instanceId) {
    const std::vector<std::string_view> parts = SplitOn(instanceId, '\\');
    if (parts.size() != 3 || parts[2].empty()) return {};
    const std::string bus = UpperAnsi(parts[0]);
    if (bus == "USB") {
        // A composite device's interfaces carry made-up ids; so does a device without a serial.
        if (!TaggedHex(parts[1], "MI_", 2).empty()) return {};
        if (parts[2].find('&') != std::string_view::npos) return {};
        return std::string(parts[2]);
    }
    if (bus == "FTDIBUS") {
        // FTDIBUS\VID_0403+PID_6001+A50285BIA\0000: the serial with the port letter appended.
        const std::vector<std::string_view> fields = SplitOn(parts[1], '+');
        if (fields.size() != 3 || fields[2].size() < 2) return {};
        return std::string(fields[2].substr(0, fields[2].size() - 1));
    }
    return {};
}

std::string DisplayTextOfRegistryString(std::string_view value) {
    if (!value.empty() && value.front() == '@') {
        const std::size_t semicolon = value.rfind(';');
        return semicolon == std::string_view::npos ? std::string() : std::string(value.substr(semicolon + 1));
    }
    return std::string(value);
}

int ComNumber(std::string_view text) {
    while (!text.empty() && text.back() == ':') text.remove_suffix(1);
    if (text.size() < 4 || text.size() > 7) return 0;
    if (UpperAnsi(text.substr(0, 3)) != "COM") return 0;
    if (text[3] == '0') return 0;
    int number = 0;
    for (char c : text.substr(3)) {
        if (c < '0' || c > '9') return 0;
        number = number * 10 + (c - '0');
    }
    return number >= 1 && number <= kMaxComNumber ? number : 0;
}

std::string NormalComName(std::string_view text) {
    const int number = ComNumber(text);
    return number ? "COM" + std::to_string(number) : std::string();
}

Presence PresenceFromDevNode(uint32_t configResult, uint32_t statusFlags) {
    if (configResult == kConfigNoSuchDevInst || configResult == kConfigNoSuchDevNode) return Presence::kAbsent;
    if (configResult == kConfigSuccess && statusFlags != 0) return Presence::kPresent;
    return Presence::kUnknown;
}

bool DecidePresent(bool inPresentList, Presence devNode, bool portInDeviceMap) {
    if (!inPresentList) return false;
    switch (devNode) {
        case Presence::kPresent: return true;
        case Presence::kAbsent: return false;
        case Presence::kUnknown: return portInDeviceMap;
    }
    return false;
}

std::vector<int> ReservedComNumbers(const std::vector<uint8_t>& bitmap) {
    std::vector<int> numbers;
    for (std::size_t byte = 0; byte < bitmap.size(); ++byte)
        for (int bit = 0; bit < 8; ++bit)
            if (bitmap[byte] & (1u << bit)) numbers.push_back(static_cast<int>(byte * 8) + bit + 1);
    return numbers;
}

const PortIdentity* FindIdentity(const std::vector<PortIdentity>& devices, std::string_view portName) {
    const int number = ComNumber(portName);
    if (!number) return nullptr;
    const PortIdentity* found = nullptr;
    for (const PortIdentity& device : devices) {
        if (ComNumber(device.portName) != number) continue;
        if (device.present) return &device;
        if (!found) found = &device;
    }
    return found;
}

const ComReservation* FindReservation(const std::vector<ComReservation>& reservations, int number) {
    for (const ComReservation& reservation : reservations)
        if (reservation.number == number) return &reservation;
    return nullptr;
}

std::vector<ComReservation> DecideReservations(const std::vector<int>& reservedNumbers,
                                               const std::vector<PortIdentity>& devices,
                                               const std::vector<std::string>& listedPorts) {
    std::vector<ComReservation> out;
    for (int number : reservedNumbers) {
        ComReservation reservation;
        reservation.number = number;
        const std::string name = "COM" + std::to_string(number);
        if (const PortIdentity* device = FindIdentity(devices, name)) {
            reservation.reason = device->present ? ReservationReason::kPresentDevice : ReservationReason::kPhantomDevice;
            reservation.device = !device->friendlyName.empty() ? device->friendlyName : device->description;
            if (reservation.device.empty()) reservation.device = device->instanceId;
            reservation.vidPid = device->vidPid;
        } else if (std::any_of(listedPorts.begin(), listedPorts.end(),
                               [number](const std::string& port) { return ComNumber(port) == number; })) {
            reservation.reason = ReservationReason::kListedPort;
        } else {
            reservation.reason = ReservationReason::kStale;
        }
        out.push_back(std::move(reservation));
    }
    return out;
}

const char* ReservationReasonText(ReservationReason reason) {
    switch (reason) {
        case ReservationReason::kPresentDevice: return "present device";
        case ReservationReason::kPhantomDevice: return "phantom device";
        case ReservationReason::kListedPort: return "listed port without a device entry";
        case ReservationReason::kStale: return "stale";
    }
    return "";
}

std::string ReservationText(const ComReservation& reservation) {
    std::string text = "COM" + std::to_string(reservation.number) + "  " + ReservationReasonText(reservation.reason);
    if (!reservation.device.empty()) text += "  " + reservation.device;
    if (!reservation.vidPid.empty()) text += " [" + reservation.vidPid + "]";
    return text;
}

std::string SerialOrInstanceId(const PortIdentity& identity) {
    return identity.serialNumber.empty() ? identity.instanceId : identity.serialNumber;
}

const char* PresenceText(const PortIdentity& identity) { return identity.present ? "present" : "phantom"; }

}  // namespace kestrune
