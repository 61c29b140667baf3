#pragma once
// The status probe: opens each port of a scan on its channel and names what it found.
#include <cstdint>
#include <string_view>

#include "record/port_record.h"

namespace kestrune {

constexpr std::string_view kStatusAvailable = "Available";
constexpr std::string_view kStatusInUse = "In-Use";
constexpr std::string_view kStatusDisconnected = "Disconnected";

// A port that opened is available. One that did not is in use only when the system refused
// it because someone holds it (access denied or sharing violation); any other reason (no
// such file or path, a device that is gone, ...) means nothing usable is there: disconnected.
std::string_view DecideStatus(bool opened, uint32_t openError);

// Opens the record's port as channel RtHandle (set by the scan beforehand) and sets Status.
// A port that opens stays open, with WinHandle its handle, until the scan closes it. After
// a refused open the error fields stay in the record, and the channel error and the
// thread's last error are cleared so nothing carries over to the next step.
void ProbePortStatus(PortRecord& record);

}  // namespace kestrune
