#pragma once
// Port discovery: the working list of ports from the device map and the port list.
#include <string>
#include <vector>

#include "registry/registry.h"

namespace kestrune {

// One entry of the working list: the three names discovery fills, held as the record's
// text fields will hold them (cut at 259 bytes and at an embedded NUL).
struct DiscoveredPort {
    std::string portName;
    std::string deviceName;
    std::string objName;
    bool operator==(const DiscoveredPort& o) const {
        return portName == o.portName && deviceName == o.deviceName && objName == o.objName;
    }
};

// Device-map ports first (value name = device, data = COM name), in enumeration order,
// then every port-list name holding "COM" whose colon-less form is not already a listed
// port name (compared case-insensitively). Never empty: with nothing known the list holds one blank entry.
std::vector<DiscoveredPort> BuildWorkingList(const RegValueList& deviceMap, const RegValueList& portList);

// Reads both keys from HKEY_LOCAL_MACHINE and builds the working list.
std::vector<DiscoveredPort> DiscoverPorts();

extern const char kDeviceMapKey[];
extern const char kPortListKey[];

}  // namespace kestrune
