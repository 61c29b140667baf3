// kestrune-scan: runs one scan without a status window and prints its records as a
// tab-separated table, one header line and one line per port.
#include <cstdio>
#include <vector>

#include "app/scan_table.h"
#include "scan/scan_driver.h"

int main() {
    std::vector<kestrune::PortRecord> ports;
    kestrune::ScanPorts(ports, nullptr);
    std::printf("%s\n", kestrune::ScanTableHeader().c_str());
    for (const kestrune::PortRecord& record : ports) std::printf("%s\n", kestrune::ScanTableLine(record).c_str());
    std::fflush(stdout);
    return 0;
}
