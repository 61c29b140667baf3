// What progress costs a scan: the same scan (SerialPort's whole scan driver) into the real
// window's status bar and without a status window, interleaved, with a helper process
// holding 5,000 extra file handles so that the owner search reports once per named handle.
// Prints:
//   scan_with_progress_over_without: median with a status bar over median without
//   scan_with_progress_over_without_min / _max: the smallest and largest ratio of one pair
//   scan_without_progress_ms, scan_with_progress_ms: the medians
// The window runs on a desktop of Wine's null driver, so no display is needed.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "app/main_dialog.h"
#include "bench/helper_process.h"
#include "scan/scan_driver.h"
#include "support/handles.h"
#include "tests/gui/driver/null_desktop.h"

using namespace kestrune;
using Clock = std::chrono::steady_clock;

namespace {

constexpr char kDesktopPrefix[] = "kestrune-progress-bench-";
constexpr int kExtraHandles = 5000;
constexpr int kRuns = 9;

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

double TimedScan(const uint32_t* statusWindow) {
    std::vector<PortRecord> records;
    const auto start = Clock::now();
    ScanPorts(records, statusWindow);
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
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
    std::printf("scan_with_progress_over_without_min: %.3f\n", *std::min_element(ratios.begin(), ratios.end()));
    std::printf("scan_with_progress_over_without_max: %.3f\n", *std::max_element(ratios.begin(), ratios.end()));
    std::fflush(stdout);
    DestroyWindow(dialog);
    helper.Stop();
    DeleteFileA(heldFile.c_str());
    return 0;
}

}  // namespace

int main() {
    if (!kestrune_driver::OnDesktopNamed(kDesktopPrefix)) {
        const int code = kestrune_driver::RerunOnNullDesktop(kDesktopPrefix);
        return code < 0 ? 1 : code;
    }
    return Run();
}
