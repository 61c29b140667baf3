// What progress costs a scan: the same scan (SerialPort's whole scan driver) into the real
// window's status bar and without a status window, interleaved, with a helper process
// holding 2,000 extra file handles so that the owner search reports once per named handle.
// Prints:
//   scan_with_progress_over_without: median with a status bar over median without
//   scan_with_progress_over_without_min / _max: the smallest and largest ratio of one pair
//   scan_with_progress_pair_median: the median of the single pairs' ratios (pairs run back
//                      to back, so they share the machine's load)
//   scan_without_progress_ms, scan_with_progress_ms: the medians
//   progress_calls_ms_per_scan: time spent inside the progress sink (texts, repaints,
//                      messages) per scan with a status bar, measured around each call:
//                      what progress costs whatever else the shared machine does
//   progress_share_of_scan: that time over the median scan without a status bar: the
//                      ratio's target less one, measured without the machine's noise
//   progress_shows_per_scan, progress_pumps_per_scan: how often the sink was asked
// The window runs on a desktop of Wine's null driver, so no display is needed.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "app/window/main_dialog.h"
#include "app/window/progress.h"
#include "bench/helper_process.h"
#include "scan/scan_driver.h"
#include "support/handles.h"
#if __has_include("scan/progress.h")
#include "scan/progress.h"
#define KESTRUNE_HAS_SINK 1
#endif
#include "tests/gui/driver/null_desktop.h"

using namespace kestrune;
using Clock = std::chrono::steady_clock;

namespace {

constexpr char kDesktopPrefix[] = "kestrune-progress-bench-";
constexpr int kExtraHandles = 2000;
constexpr int kRuns = 21;

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

#ifdef KESTRUNE_HAS_SINK
// Wraps the installed sink and times every call into it.
class TimingSink : public ProgressSink {
public:
    TimingSink() : inner_(SetProgressSink(this)) {}
    ~TimingSink() override { SetProgressSink(inner_); }
    void Show(const ProgressTexts& texts) override {
        const auto start = Clock::now();
        inner_->Show(texts);
        const double spent = MillisecondsSince(start);
        ms += spent;
        showMs += spent;
        ++shows;
    }
    bool TakesProgress(uint32_t window) override {
        const auto start = Clock::now();
        const bool taken = inner_->TakesProgress(window);
        ms += MillisecondsSince(start);
        return taken;
    }
    void Pump() override {
        const auto start = Clock::now();
        inner_->Pump();
        ms += MillisecondsSince(start);
        ++pumps;
    }
    bool StopRequested() override { return inner_->StopRequested(); }

    double ms = 0, showMs = 0;
    long shows = 0, pumps = 0;

private:
    ProgressSink* inner_;
};
#endif

double TimedScan(const uint32_t* statusWindow) {
    std::vector<PortRecord> records;
    const auto start = Clock::now();
    ScanPorts(records, statusWindow);
    return MillisecondsSince(start);
}

int Run() {
    const std::string folder = kestrune_helpers::OwnFolder();
    const std::string heldFile = folder + "progress_scan_held.tmp";
    kestrune_helpers::HelperProcess helper;
    if (!helper.Start(folder + "helper_hold_handles.exe", std::to_string(kExtraHandles) + " \"" + heldFile + "\" -")) {
        std::fprintf(stderr, "progress_scan: the handle holder did not start\n");
        return 1;
    }
    HWND dialog = CreateMainDialog(GetModuleHandleA(nullptr));
    if (!dialog) return 1;
    ShowMainDialog(dialog);
    const uint32_t bar = HandleToField(GetDlgItem(dialog, kStatusBarId));

    TimedScan(nullptr);  // warm caches and the server
#ifdef KESTRUNE_HAS_SINK
    TimingSink timing;
#endif
    std::vector<double> without, with, ratios;
    for (int run = 0; run < kRuns; ++run) {
        // Alternate which goes first, so a drift in the machine's load favours neither.
        double a, b;
        if (run % 2) {
            b = TimedScan(&bar);
            a = TimedScan(nullptr);
        } else {
            a = TimedScan(nullptr);
            b = TimedScan(&bar);
        }
        without.push_back(a);
        with.push_back(b);
        ratios.push_back(a > 0 ? b / a : 0);
    }
    std::printf("scan_without_progress_ms: %.1f\n", Median(without));
    std::printf("scan_with_progress_ms: %.1f\n", Median(with));
    std::printf("scan_with_progress_over_without: %.3f\n", Median(without) > 0 ? Median(with) / Median(without) : 0);
    std::printf("scan_with_progress_pair_median: %.3f\n", Median(ratios));
    std::printf("scan_with_progress_over_without_min: %.3f\n", *std::min_element(ratios.begin(), ratios.end()));
    std::printf("scan_with_progress_over_without_max: %.3f\n", *std::max_element(ratios.begin(), ratios.end()));
#ifdef KESTRUNE_HAS_SINK
    std::printf("progress_calls_ms_per_scan: %.2f\n", timing.ms / kRuns);
    std::printf("progress_show_ms_per_scan: %.2f\n", timing.showMs / kRuns);
    std::printf("progress_share_of_scan: %.3f\n", Median(without) > 0 ? timing.ms / kRuns / Median(without) : 0);
    std::printf("progress_shows_per_scan: %.0f\n", static_cast<double>(timing.shows) / kRuns);
    std::printf("progress_pumps_per_scan: %.0f\n", static_cast<double>(timing.pumps) / kRuns);
#endif
    std::fflush(stdout);
    DestroyWindow(dialog);
    helper.Stop();
    DeleteFileA(heldFile.c_str());
    return 0;
}

}  // namespace

int main() {
    // The window program's sink, as the program installs it at its entry.
    kestrune::WindowProgress windowProgress;
    kestrune::ProgressSinkScope installed(&windowProgress);
    if (!kestrune_driver::OnDesktopNamed(kDesktopPrefix)) {
        const int code = kestrune_driver::RerunOnNullDesktop(kDesktopPrefix);
        return code < 0 ? 1 : code;
    }
    return Run();
}
