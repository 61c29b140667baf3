#pragma once
// How long a port's inputs may take to show a line change at its far end: the settle bound
// the cable experiment waits for after each drive.
//
// An on-board UART shows a change within a millisecond. An FTDI adapter reports the modem
// status in its next status packet, at most its latency timer later (1-255 ms, default 16:
// the DWORD LatencyTimer under the device's Enum\FTDIBUS\...\Device Parameters key). Any
// other driver gets the general bound.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrune {

constexpr uint32_t kOnBoardSettleMilliseconds = 1;
constexpr uint32_t kUnknownSettleMilliseconds = 50;
constexpr uint32_t kFtdiDefaultLatencyMilliseconds = 16;
// The longest any adapter may take: the largest latency timer and a USB frame or two.
constexpr uint32_t kLongestSettleMilliseconds = 260;

// The bound of a device by its instance id ("FTDIBUS\VID_0403+PID_6001+A1B2C3D4A\0000",
// "ACPI\PNP0501\1") and, for an FTDI device, its LatencyTimer value when it has one.
uint32_t SettleBoundOf(std::string_view instanceId, std::optional<uint32_t> latencyTimer);

// The bound of each named port ("COM5"), from the device entries that name them; the
// general bound for a port no entry names.
std::vector<uint32_t> ReadSettleBounds(const std::vector<std::string>& portNames);

}  // namespace kestrune
