#include "app/common/found_ports.h"

#include "scan/status_probe.h"
#include "support/fixed_text.h"

namespace kestrune {

bool NoSerialPortsFound(const std::vector<PortRecord>& records) {
    if (records.size() != 1) return false;
    const PortRecord& only = records.front();
    return TextEmpty(only.DeviceName) && !TextEmpty(only.Status) && Text(only.Status) != kStatusAvailable;
}

}  // namespace kestrune
