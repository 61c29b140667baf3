#pragma once
// The gentle listing: the ports the system knows, from the registry and the device data
// alone. No port is opened, no line driven, no handle of another process touched.
#include <string>
#include <string_view>
#include <vector>

#include "app/console/console_row.h"
#include "scan/port_identity.h"
#include "scan/discovery.h"

namespace kestrune {

// The working list restricted to names (all ports when empty), without the blank entry
// discovery makes when it knows no port.
std::vector<DiscoveredPort> ListPorts(const std::vector<std::string>& names);

// Whether a port named on the command line is no port of this machine: discovery (known)
// does not list it, letter case aside, and opening it found nothing (status Disconnected).
bool NoSuchPort(std::string_view name, const std::vector<DiscoveredPort>& known, std::string_view status);

// Rows holding each port's names and identity.
std::vector<ConsoleRow> ListingRows(const std::vector<DiscoveredPort>& ports);
// The same with the identities taken from a snapshot the caller already read.
std::vector<ConsoleRow> ListingRows(const std::vector<DiscoveredPort>& ports, const HardwareSnapshot& hardware);

}  // namespace kestrune
