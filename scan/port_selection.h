#pragma once
// A scan of named ports only: which entries of the working list a caller asked for.
#include <string>
#include <vector>

#include "scan/discovery.h"

namespace kestrune {

// The entries of working whose port name equals one of names (letter case aside), in the
// working list's order, followed by a port-list-style entry (device name = port name) for
// every name that discovery does not know, in the order given. A name given twice counts
// once. With no names at all, the working list unchanged.
std::vector<DiscoveredPort> SelectPorts(const std::vector<DiscoveredPort>& working,
                                        const std::vector<std::string>& names);

}  // namespace kestrune
