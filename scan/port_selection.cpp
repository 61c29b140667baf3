#include "scan/port_selection.h"

#include <algorithm>

#include "support/fixed_text.h"

namespace kestrune {

std::vector<DiscoveredPort> SelectPorts(const std::vector<DiscoveredPort>& working,
                                        const std::vector<std::string>& names) {
    if (names.empty()) return working;
    std::vector<std::string> wanted;
    for (const std::string& name : names) {
        const std::string upper = UpperAnsi(name);
        if (!upper.empty() && std::find(wanted.begin(), wanted.end(), upper) == wanted.end())
            wanted.push_back(upper);
    }
    std::vector<DiscoveredPort> chosen;
    std::vector<bool> found(wanted.size(), false);
    for (const DiscoveredPort& port : working) {
        const auto it = std::find(wanted.begin(), wanted.end(), UpperAnsi(port.portName));
        if (it == wanted.end()) continue;
        found[static_cast<size_t>(it - wanted.begin())] = true;
        chosen.push_back(port);
    }
    for (size_t i = 0; i < wanted.size(); ++i) {
        if (found[i]) continue;
        // Named as given, so that "com3" is opened and shown as the user wrote it.
        for (const std::string& name : names)
            if (UpperAnsi(name) == wanted[i]) {
                chosen.push_back({name, name, name});
                break;
            }
    }
    return chosen;
}

}  // namespace kestrune
