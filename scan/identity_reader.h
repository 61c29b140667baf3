#pragma once
// Reads port identities and COM number reservations from the system.
//
// Two readers of the same device entries: through SetupAPI (the ports class and the COM-port
// interface, present and non-present devices, the port name from each device's parameters
// key), as Windows' own tools do, and straight from the registry keys SetupAPI reads
// (SYSTEM\CurrentControlSet\Enum). ReadHardwareSnapshot uses SetupAPI and fills whatever it
// gives nothing for from the registry.
#include <string>
#include <string_view>
#include <vector>

#include "scan/port_identity.h"

namespace kestrune {

// The COM names the device map (HARDWARE\DEVICEMAP\SERIALCOMM) lists now.
std::vector<std::string> DeviceMapPorts();
// The COM names the port list (SOFTWARE\Microsoft\Windows NT\CurrentVersion\Ports) knows.
std::vector<std::string> PortListPorts();

// Every ports-class or COM-port-interface device that names a COM port, through SetupAPI.
std::vector<PortIdentity> ReadIdentitiesThroughSetupApi();
// The same devices read straight from the Enum tree; presence from the device map.
std::vector<PortIdentity> ReadIdentitiesFromRegistry();
// One device's entry from the Enum tree (instance id as SetupAPI gives it); false when the
// key does not exist.
bool ReadIdentityFromRegistry(std::string_view instanceId, PortIdentity& identity);

// The COM number database bitmap ("ComDB" under SYSTEM\CurrentControlSet\Control\COM Name
// Arbiter); false when it cannot be read.
bool ReadComDb(std::vector<uint8_t>& bitmap);

// Devices, with empty fields filled from the registry, and every reservation with its reason.
HardwareSnapshot ReadHardwareSnapshot();

// For callers that want one port: the identity of the device that names portName ("COM5"),
// from a fresh snapshot; empty fields (and present = false) when no device names it.
PortIdentity ReadPortIdentity(std::string_view portName);

}  // namespace kestrune
