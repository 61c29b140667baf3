#pragma once
// How the open functions turn a record's names into a device path. Plain values in, plain
// values out.
#include <cstdint>
#include <string>
#include <string_view>

namespace kestrune {

// The port number a name is built from: 0 and anything above 255 become 1; a negative
// number stays as it is (and names a port that does not exist).
int32_t UsablePortNumber(int32_t number);

// The channel open: a non-empty port name is used as it is; an empty one becomes "COM"
// followed by the usable number.
struct ChannelPortChoice {
    std::string portName;
    int32_t number;
};
ChannelPortChoice ChooseChannelPort(std::string_view portName, int32_t number);

// "\\.\" followed by the port name.
std::string ChannelDevicePathFor(std::string_view portName);

// The port name of a device path: what follows "\\.\", or the path itself.
std::string PortNameOfDevicePath(std::string_view devicePath);

// The native-handle open: the prefix is the record's Name when its first 7 bytes are
// exactly "\\.\COM" (case counts), else "\\.\COM"; the number is the usable number; the
// path is the prefix followed by the number in decimal.
constexpr std::string_view kNativePrefix = "\\\\.\\COM";
std::string NativePrefix(std::string_view name);
std::string NativeDevicePath(std::string_view prefix, int32_t number);

}  // namespace kestrune
