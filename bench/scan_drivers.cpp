// What slow adapters and a stalled port cost a scan, over the bench64 lab layout (64 ports
// with a device, in a mix of wirings). Prints nothing in any other layout (bench.sh brings
// bench64 up for it after the other benchmarks). Prints:
//   scan_s_64_uart: median seconds of a whole scan with every port an on-board UART
//   scan_64_ftdi_over_64_uart: the same with every port a USB adapter whose modem status lags
//                      16 ms, over the UART figure
//   scan_64_ftdi40_over_64_uart: the same with a 40 ms lag, over the UART figure
//   scan_s_64_devices: median seconds of a whole scan with a powered device on every port
//   scan_64_over_8_devices, scan_64_over_8_nothing: a scan of all 64 ports over a scan of 8 of
//                      them, every port with a powered device / with nothing attached
//   scan_64_devices_over_64_loopback: 64 powered devices over 64 loopback plugs
//   cable_rounds_64: the settle windows the cable experiment over the 64 ports waited
//   scan_stalled_port_cost_s: a scan with one port whose first request stalls 10 s, less
//                      the UART scan
//   scan_stalled_9_cost_s: the same with nine such ports
//   ui_longest_gap_ms_with_stalled_port: in that scan (reporting progress as to the window),
//                      the longest time the scanning thread went without offering to run the
//                      window's messages (the progress sink's pump calls), start to end
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "lab/client/lab_client.h"
#include "port/channel.h"
#include "exports/port_functions.h"
#include "scan/cable_experiment.h"
#include "scan/progress.h"
#include "scan/scan_driver.h"
#include "scan/status_probe.h"
#include "support/fixed_text.h"
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

double ScanSeconds(const uint32_t* statusWindow = nullptr, const std::vector<std::string>& names = {}) {
    const auto start = Clock::now();
    std::vector<PortRecord> records;
    ScanNamedPorts(records, statusWindow, names);
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double MedianScanSeconds(int runs, const std::vector<std::string>& names = {}) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) times.push_back(ScanSeconds(nullptr, names));
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void SetAll(const lab::Layout& layout, lab::Driver driver, int latency = -1) {
    for (const lab::Port& p : layout.ports())
        if (p.slot >= 0) lab::SetDriver(layout, p.com, driver, latency);
}

void WireAll(const lab::Layout& layout, lab::Wiring wiring) {
    for (const lab::Port& p : layout.ports())
        if (p.slot >= 0) lab::SetWiring(layout, p.com, wiring);
}

// Settle windows of one cable experiment over every port of the layout, opened as the scan does.
std::size_t CableRounds(const lab::Layout& layout) {
    std::vector<PortRecord> records;
    for (const lab::Port& p : layout.ports()) {
        if (p.slot < 0) continue;
        PortRecord r{};
        SetText(r.PortName, p.com);
        SetText(r.DeviceName, p.device_map_name);
        r.RtHandle = NextChannelNumber();
        ProbePortStatus(r);
        records.push_back(r);
    }
    const auto start = Clock::now();
    const CableExperimentReport report = RunCableExperiment(records, {});
    std::fprintf(stderr, "cable experiment over %zu ports: %.3f s\n", records.size(),
                 std::chrono::duration<double>(Clock::now() - start).count());
    for (PortRecord& r : records) SerialPort_Close_Rt(&r);
    return report.settleWindows;
}

// The worst wiring against the best, and 64 ports against 8; the layout's mix of wirings
// comes back afterwards.
void WiringFigures(const lab::Layout& layout) {
    lab::ScopedWiring mixed(layout);
    std::vector<std::string> eight;
    for (const lab::Port& p : layout.ports())
        if (p.slot >= 0 && eight.size() < 8) eight.push_back(p.com);
    WireAll(layout, lab::Wiring::Device);
    const double devices64 = MedianScanSeconds(3), devices8 = MedianScanSeconds(3, eight);
    WireAll(layout, lab::Wiring::None);
    const double nothing64 = MedianScanSeconds(3), nothing8 = MedianScanSeconds(3, eight);
    WireAll(layout, lab::Wiring::Loopback);
    const double loopback64 = MedianScanSeconds(3);
    std::printf("scan_s_64_devices: %.3f\n", devices64);
    std::printf("scan_64_over_8_devices: %.3f\n", devices64 / devices8);
    std::printf("scan_64_over_8_nothing: %.3f\n", nothing64 / nothing8);
    std::printf("scan_64_devices_over_64_loopback: %.3f\n", devices64 / loopback64);
    std::printf("cable_rounds_64: %zu\n", CableRounds(layout));
    std::fflush(stdout);
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
    SetAll(layout, lab::Driver::Ftdi, 40);
    const double ftdi40 = MedianScanSeconds(3);
    std::printf("scan_s_64_uart: %.3f\n", uart);
    std::printf("scan_64_ftdi_over_64_uart: %.3f\n", ftdi / uart);
    std::printf("scan_64_ftdi40_over_64_uart: %.3f\n", ftdi40 / uart);
    std::fflush(stdout);

    SetAll(layout, lab::Driver::Uart);
    WiringFigures(layout);

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

    // Nine stalled ports, more than the pool's workers.
    std::vector<std::string> nine;
    for (const lab::Port& p : layout.ports())
        if (p.slot >= 0 && nine.size() < 9) nine.push_back(p.com);
    for (const std::string& com : nine) lab::SetDriver(layout, com, lab::Driver::Uart, 0, 10000);
    const double withNine = ScanSeconds();
    std::printf("scan_stalled_9_cost_s: %.3f\n", withNine - uart);
    std::fflush(stdout);
    for (int i = 0; i < 1500 && ModuleHolds() > 0; ++i) Sleep(10);
    for (const std::string& com : nine) lab::SetDriver(layout, com, lab::Driver::Uart, 0, 0);
    return 0;
}
