#include "app/console/port_listing.h"

#include <algorithm>

#include "scan/identity_reader.h"
#include "scan/port_selection.h"
#include "scan/status_probe.h"
#include "support/fixed_text.h"

namespace kestrune {

std::vector<DiscoveredPort> ListPorts(const std::vector<std::string>& names) {
    std::vector<DiscoveredPort> ports = SelectPorts(DiscoverPorts(), names);
    ports.erase(std::remove_if(ports.begin(), ports.end(),
                               [](const DiscoveredPort& port) { return port.portName.empty(); }),
                ports.end());
    return ports;
}

bool NoSuchPort(std::string_view name, const std::vector<DiscoveredPort>& known, std::string_view status) {
    if (status != kStatusDisconnected) return false;
    const std::string upper = UpperAnsi(name);
    return std::none_of(known.begin(), known.end(),
                        [&upper](const DiscoveredPort& port) { return UpperAnsi(port.portName) == upper; });
}

std::vector<ConsoleRow> ListingRows(const std::vector<DiscoveredPort>& ports) {
    return ListingRows(ports, ReadHardwareSnapshot());
}

std::vector<ConsoleRow> ListingRows(const std::vector<DiscoveredPort>& ports, const HardwareSnapshot& hardware) {
    std::vector<ConsoleRow> rows(ports.size());
    for (std::size_t i = 0; i < ports.size(); ++i) {
        PortRecord& record = rows[i].record;
        SetText(record.PortName, ports[i].portName);
        SetText(record.DeviceName, ports[i].deviceName);
        SetText(record.sObjName, ports[i].objName);
        SetText(record.Name, ports[i].portName);
        rows[i].identity = IdentityFieldsOf(hardware, ports[i].portName);
        rows[i].discoveryIndex = i;
    }
    return rows;
}

}  // namespace kestrune
