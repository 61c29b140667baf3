// What slow adapters and a stalled port cost a scan, over the bench64 lab layout (64 ports
// with a device, in a mix of wirings). Prints nothing in any other layout (bench.sh brings
// bench64 up for it after the other benchmarks). Prints:
//   scan_s_64_uart: median seconds of a whole scan with every port an on-board UART
//   scan_64_ftdi_over_64_uart: the same with every port a USB adapter whose modem status lags
//                      16 ms, over the UART figure
//   scan_stalled_port_cost_s: a scan with one port whose first request stalls 10 s, less
//                      the UART scan
//   ui_longest_gap_ms_with_stalled_port: in that scan (reporting progress as to the window),
//                      the longest time the scanning thread went without offering to run the
//                      window's messages (the progress sink's pump calls), start to end
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "lab/client/lab_client.h"
#include "scan/progress.h"
#include "scan/scan_driver.h"
#include "support/module_hold.h"

using namespace kestrune;
using Clock = std::chrono::steady_clock;

namespace {

// Records when the scan offers to run messages.
class GapSink : public ProgressSink {
public:
    void Show(const ProgressTexts&) override {}
    bool TakesProgress(uint32_t) override { return true; }  // as the window's status bar does
    void Pump() override { Mark(); }
    bool StopRequested() override { return false; }
    void Start() {
        start_ = last_ = Clock::now();
        longest_ = 0;
    }
    void Mark() {
        const auto now = Clock::now();
        const double gap = std::chrono::duration<double, std::milli>(now - last_).count();
        if (gap > longest_) {
            longest_ = gap;
            longestEnd_ = std::chrono::duration<double, std::milli>(now - start_).count();
        }
        last_ = now;
    }
    double longest() const { return longest_; }
    double longestEnd() const { return longestEnd_; }  // ms from the start to that gap's end

private:
    Clock::time_point start_, last_;
    double longest_ = 0, longestEnd_ = 0;
};

double ScanSeconds(const uint32_t* statusWindow = nullptr) {
    const auto start = Clock::now();
    std::vector<PortRecord> records;
    ScanPorts(records, statusWindow);
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double MedianScanSeconds(int runs) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) times.push_back(ScanSeconds());
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void SetAll(const lab::Layout& layout, lab::Driver driver) {
    for (const lab::Port& p : layout.ports())
        if (p.slot >= 0) lab::SetDriver(layout, p.com, driver);
}

}  // namespace

int main() {
    lab::Layout layout;
    if (!layout.Load() || layout.name() != "bench64") return 0;
    lab::ScopedWiring restore(layout);

    SetAll(layout, lab::Driver::Uart);
    ScanSeconds();  // warm-up
    const double uart = MedianScanSeconds(5);
    SetAll(layout, lab::Driver::Ftdi);
    ScanSeconds();
    const double ftdi = MedianScanSeconds(5);
    std::printf("scan_s_64_uart: %.3f\n", uart);
    std::printf("scan_64_ftdi_over_64_uart: %.3f\n", ftdi / uart);

    SetAll(layout, lab::Driver::Uart);
    const lab::Port* stalled = layout.FirstOfKind(lab::Kind::Free);
    if (!stalled) return 1;
    lab::SetDriver(layout, stalled->com, lab::Driver::Uart, 0, 10000);
    GapSink sink;
    ProgressSink* before = SetProgressSink(&sink);
    sink.Start();
    const uint32_t window = 1;  // taken by the sink: the scan reports as it does to the window
    const double withStall = ScanSeconds(&window);
    sink.Mark();
    SetProgressSink(before);
    std::printf("scan_stalled_port_cost_s: %.3f\n", withStall - uart);
    std::printf("ui_longest_gap_ms_with_stalled_port: %.1f\n", sink.longest());
    std::fprintf(stderr, "longest gap ended %.1f ms into a %.1f ms scan\n", sink.longestEnd(), withStall * 1000);
    std::fflush(stdout);

    // The stalled call returns after 10 s and closes its port: wait for it before leaving.
    for (int i = 0; i < 1500 && ModuleHolds() > 0; ++i) Sleep(10);
    lab::SetDriver(layout, stalled->com, lab::Driver::Uart, 0, 0);
    return 0;
}
