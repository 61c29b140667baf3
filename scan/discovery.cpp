#include "scan/discovery.h"

#include <algorithm>

#include "record/port_record.h"
#include "support/fixed_text.h"

namespace kestrune {

const char kDeviceMapKey[] = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
const char kPortListKey[] = "SOFTWARE\\MicroSoft\\Windows NT\\CurrentVersion\\Ports";

namespace {

// The value a record's text field would keep.
std::string AsField(const std::string& s) {
    std::string cut = s.substr(0, BoundedLength(s.data(), s.size()));
    if (cut.size() > kTextSize - 1) cut.resize(kTextSize - 1);
    return cut;
}

// Listed means the same name, compared case-insensitively: COM1 listed does not hide COM10.
bool NameAlreadyListed(const std::vector<DiscoveredPort>& list, const std::string& upperName) {
    return std::any_of(list.begin(), list.end(), [&](const DiscoveredPort& p) {
        return !p.portName.empty() && UpperAnsi(p.portName) == upperName;
    });
}

}  // namespace

std::vector<DiscoveredPort> BuildWorkingList(const RegValueList& deviceMap, const RegValueList& portList) {
    std::vector<DiscoveredPort> list;
    const size_t mapped = std::min(deviceMap.names.size(), deviceMap.data.size());
    for (size_t i = 0; i < mapped; ++i) {
        const std::string device = AsField(deviceMap.names[i]);
        list.push_back({AsField(deviceMap.data[i]), device, device});
    }
    if (list.empty()) list.push_back({});

    for (const std::string& value : portList.names) {
        std::string name = AsField(value);
        if (UpperAnsi(name).find("COM") == std::string::npos) continue;
        name.erase(std::remove(name.begin(), name.end(), ':'), name.end());
        if (NameAlreadyListed(list, UpperAnsi(name))) continue;
        // The blank entry of an empty device map is taken over; a device-map entry that
        // names a device but no COM port is kept.
        const DiscoveredPort& last = list.back();
        if (!last.portName.empty() || !last.deviceName.empty()) list.push_back({});
        list.back() = {name, name, name};
    }
    return list;
}

std::vector<DiscoveredPort> DiscoverPorts() {
    RegValueList deviceMap, portList;
    ReadRegistryValues(HKEY_LOCAL_MACHINE, kDeviceMapKey, deviceMap);
    ReadRegistryValues(HKEY_LOCAL_MACHINE, kPortListKey, portList);
    return BuildWorkingList(deviceMap, portList);
}

}  // namespace kestrune
