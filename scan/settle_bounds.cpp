#include "scan/settle_bounds.h"

#include <windows.h>

#include <algorithm>
#include <map>

#include "scan/port_identity.h"
#include "support/handles.h"

namespace kestrune {

namespace {

constexpr char kEnumKey[] = "SYSTEM\\CurrentControlSet\\Enum";
// The USB frame the status packet waits for after the timer ran out.
constexpr uint32_t kUsbFrameMilliseconds = 2;

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    auto upper = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; };
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (upper(text[i]) != upper(prefix[i])) return false;
    return true;
}

std::vector<std::string> SubKeys(HKEY key) {
    std::vector<std::string> names;
    for (DWORD index = 0;; ++index) {
        char name[256];
        DWORD length = sizeof name;
        if (RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name, length);
    }
    return names;
}

// Every instance below Enum\<bus> whose parameters name a COM port: port name -> bound.
void ReadBus(const char* bus, std::map<std::string, uint32_t>& bounds) {
    UniqueRegKey busKey;
    const std::string busPath = std::string(kEnumKey) + "\\" + bus;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, busPath.c_str(), 0, KEY_READ, busKey.put()) != ERROR_SUCCESS) return;
    for (const std::string& device : SubKeys(busKey.get())) {
        UniqueRegKey deviceKey;
        if (RegOpenKeyExA(busKey.get(), device.c_str(), 0, KEY_READ, deviceKey.put()) != ERROR_SUCCESS) continue;
        for (const std::string& instance : SubKeys(deviceKey.get())) {
            UniqueRegKey parameters;
            const std::string path = instance + "\\Device Parameters";
            if (RegOpenKeyExA(deviceKey.get(), path.c_str(), 0, KEY_READ, parameters.put()) != ERROR_SUCCESS) continue;
            char name[64] = {};
            DWORD type = 0, size = sizeof name - 1;
            if (RegQueryValueExA(parameters.get(), "PortName", nullptr, &type, reinterpret_cast<BYTE*>(name), &size) !=
                    ERROR_SUCCESS ||
                type != REG_SZ)
                continue;
            const std::string port = NormalComName(name);
            if (port.empty()) continue;
            DWORD timer = 0, timerType = 0, timerSize = sizeof timer;
            std::optional<uint32_t> latency;
            if (RegQueryValueExA(parameters.get(), "LatencyTimer", nullptr, &timerType, reinterpret_cast<BYTE*>(&timer),
                                 &timerSize) == ERROR_SUCCESS &&
                timerType == REG_DWORD)
                latency = timer;
            bounds[port] = SettleBoundOf(busPath.substr(sizeof kEnumKey) + "\\" + device + "\\" + instance, latency);
        }
    }
}

}  // namespace

uint32_t SettleBoundOf(std::string_view instanceId, std::optional<uint32_t> latencyTimer) {
    if (StartsWithNoCase(instanceId, "FTDIBUS\\")) {
        const uint32_t timer = latencyTimer.value_or(kFtdiDefaultLatencyMilliseconds);
        return std::clamp<uint32_t>(timer, 1, 255) + kUsbFrameMilliseconds;
    }
    if (StartsWithNoCase(instanceId, "ACPI\\PNP0501\\")) return kOnBoardSettleMilliseconds;
    return kUnknownSettleMilliseconds;
}

std::vector<uint32_t> ReadSettleBounds(const std::vector<std::string>& portNames) {
    std::map<std::string, uint32_t> known;
    ReadBus("FTDIBUS", known);
    ReadBus("ACPI", known);
    std::vector<uint32_t> bounds;
    bounds.reserve(portNames.size());
    for (const std::string& name : portNames) {
        const auto found = known.find(NormalComName(name));
        bounds.push_back(found == known.end() ? kUnknownSettleMilliseconds : found->second);
    }
    return bounds;
}

}  // namespace kestrune
