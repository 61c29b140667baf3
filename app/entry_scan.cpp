// kestrune-scan: runs one scan without a status window and prints its records as a
// tab-separated table, one header line and one line per port, each ending with the port's
// hardware identity; then, after an empty line, the COM number reservations.
#include <cstdio>
#include <vector>

#include "app/identity_view.h"
#include "app/scan_table.h"
#include "scan/identity_reader.h"
#include "scan/scan_driver.h"
#include "support/fixed_text.h"

int main() {
    std::vector<kestrune::PortRecord> ports;
    kestrune::ScanPorts(ports, nullptr);
    const kestrune::HardwareSnapshot hardware = kestrune::ReadHardwareSnapshot();
    std::printf("%s\t%s\n", kestrune::ScanTableHeader().c_str(), kestrune::IdentityTableHeader().c_str());
    for (const kestrune::PortRecord& record : ports) {
        const std::string_view name = kestrune::Text(record.PortName);
        std::printf("%s\t%s\n", kestrune::ScanTableLine(record).c_str(),
                    kestrune::IdentityTableCells(kestrune::FindIdentity(hardware.devices, name),
                                                 kestrune::FindReservation(hardware.reservations,
                                                                           kestrune::ComNumber(name)))
                        .c_str());
    }
    if (!hardware.reservations.empty()) {
        std::printf("\n");
        for (const std::string& line : kestrune::ReservationTableLines(hardware.reservations))
            std::printf("%s\n", line.c_str());
    }
    std::fflush(stdout);
    return 0;
}
