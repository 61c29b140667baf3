#pragma once
// The status probe: opens each port of a scan on its channel and names what it found.
#include <string_view>

#include "scan/port_record.h"

namespace kestrune {

constexpr std::string_view kStatusAvailable = "Available";
constexpr std::string_view kStatusInUse = "In-Use";
constexpr std::string_view kStatusDisconnected = "Disconnected";

// A port that opened is available. One that did not is disconnected when it has no device
// of its own (discovery gives a port that only the port list knows its port name as device
// name; compared byte for byte), and in use when it has one.
std::string_view DecideStatus(bool opened, std::string_view deviceName, std::string_view portName);

// Opens the record's port as channel RtHandle (set by the scan beforehand) and sets Status.
// A port that opens stays open, with WinHandle its handle, until the scan closes it. After
// a refused open the error fields stay in the record, and the channel error and the
// thread's last error are cleared so nothing carries over to the next step.
void ProbePortStatus(PortRecord& record);

}  // namespace kestrune
