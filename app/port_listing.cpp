#include "app/port_listing.h"

#include <algorithm>

#include "scan/port_selection.h"
#include "support/fixed_text.h"

namespace kestrune {

std::vector<DiscoveredPort> ListPorts(const std::vector<std::string>& names) {
    std::vector<DiscoveredPort> ports = SelectPorts(DiscoverPorts(), names);
    ports.erase(std::remove_if(ports.begin(), ports.end(),
                               [](const DiscoveredPort& port) { return port.portName.empty(); }),
                ports.end());
    return ports;
}

std::vector<ConsoleRow> ListingRows(const std::vector<DiscoveredPort>& ports) {
    std::vector<std::string> names;
    for (const DiscoveredPort& port : ports) names.push_back(port.portName);
    std::vector<IdentityFields> identities = ReadPortIdentities(names);
    std::vector<ConsoleRow> rows(ports.size());
    for (std::size_t i = 0; i < ports.size(); ++i) {
        PortRecord& record = rows[i].record;
        SetText(record.PortName, ports[i].portName);
        SetText(record.DeviceName, ports[i].deviceName);
        SetText(record.sObjName, ports[i].objName);
        SetText(record.Name, ports[i].portName);
        if (i < identities.size()) rows[i].identity = std::move(identities[i]);
    }
    return rows;
}

}  // namespace kestrune
