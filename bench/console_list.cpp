// The console's gentle listing against the full scan, same layout, same run: what
// kestrune-scan --list saves by opening no port and touching no other process.
// Prints list_ms, scan_ms and list_over_scan_ratio.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "app/console/port_listing.h"
#include "scan/identity_reader.h"
#include "scan/scan_driver.h"

using namespace kestrune;
using Clock = std::chrono::steady_clock;

namespace {

double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The best of interleaved runs: the machine is shared, the least disturbed run is the
// closest to each path's own cost.
double Best(const std::vector<double>& values) {
    return values.empty() ? 0 : *std::min_element(values.begin(), values.end());
}

}  // namespace

int main() {
    constexpr int kRounds = 7;
    std::vector<double> list, scan;
    size_t listed = 0, scanned = 0;
    for (int round = 0; round < kRounds; ++round) {
        auto start = Clock::now();
        const std::vector<ConsoleRow> rows = ListingRows(ListPorts({}));
        list.push_back(MillisecondsSince(start));
        listed = rows.size();

        std::vector<PortRecord> records;
        start = Clock::now();
        ScanPorts(records, nullptr);
        // The console scan reads the device identities too, as the listing does.
        const HardwareSnapshot hardware = ReadHardwareSnapshot();
        (void)hardware;
        scan.push_back(MillisecondsSince(start));
        scanned = records.size();
    }
    std::fprintf(stderr, "ports listed %zu, scanned %zu\n", listed, scanned);
    const double listMs = Best(list), scanMs = Best(scan);
    std::printf("list_ms: %.3f\n", listMs);
    std::printf("scan_ms: %.3f\n", scanMs);
    std::printf("list_over_scan_ratio: %.4f\n", scanMs > 0 ? listMs / scanMs : 0.0);
    return 0;
}
