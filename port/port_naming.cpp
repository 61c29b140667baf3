#include "port/port_naming.h"

namespace kestrune {

int32_t UsablePortNumber(int32_t number) { return (number == 0 || number > 255) ? 1 : number; }

ChannelPortChoice ChooseChannelPort(std::string_view portName, int32_t number) {
    if (!portName.empty()) return {std::string(portName), number};
    const int32_t usable = UsablePortNumber(number);
    return {"COM" + std::to_string(usable), usable};
}

std::string ChannelDevicePathFor(std::string_view portName) { return "\\\\.\\" + std::string(portName); }

std::string PortNameOfDevicePath(std::string_view devicePath) {
    constexpr std::string_view kDevicePrefix = "\\\\.\\";
    if (devicePath.substr(0, kDevicePrefix.size()) == kDevicePrefix) devicePath.remove_prefix(kDevicePrefix.size());
    return std::string(devicePath);
}

std::string NativePrefix(std::string_view name) {
    if (name.substr(0, kNativePrefix.size()) == kNativePrefix) return std::string(name);
    return std::string(kNativePrefix);
}

std::string NativeDevicePath(std::string_view prefix, int32_t number) {
    return std::string(prefix) + std::to_string(number);
}

}  // namespace kestrune
