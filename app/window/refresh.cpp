#include "app/window/refresh.h"

#include <commctrl.h>

#include "app/common/found_ports.h"
#include "app/common/identity_view.h"
#include "app/common/report.h"
#include "app/window/class_roads.h"
#include "app/window/control_ids.h"
#include "app/window/results_view.h"
#include "app/window/shell_state.h"
#include "scan/identity_reader.h"
#include "scan/owner_process.h"
#include "scan/scan_driver.h"
#include "scan/status_probe.h"
#include "support/boundary.h"
#include "support/fixed_text.h"
#include "support/handles.h"

namespace kestrune {

namespace {

constexpr int kRefreshButtons[] = {kRefreshId, kRefreshEarlyBoundId, kRefreshLateBoundId, kRefreshNoRegistryId};

void EnableRefreshButtons(HWND dialog, BOOL enable) {
    for (int id : kRefreshButtons) EnableWindow(GetDlgItem(dialog, id), enable);
}

// The shell's own status texts go through a 260-byte buffer, so at most 259 characters
// reach the bar.
void SetStatusPart(HWND bar, int part, std::string_view text) {
    char buffer[kTextSize];
    StoreText(buffer, sizeof buffer, text);
    SendMessageA(bar, SB_SETTEXTA, static_cast<WPARAM>(part), reinterpret_cast<LPARAM>(buffer));
}

class RunningFlag {
public:
    explicit RunningFlag(bool& flag) : flag_(flag) { flag_ = true; }
    ~RunningFlag() { flag_ = false; }
    RunningFlag(const RunningFlag&) = delete;
    RunningFlag& operator=(const RunningFlag&) = delete;

private:
    bool& flag_;
};

void RunDirectRoad(HWND dialog, HWND statusBar, ShellState& shell) {
    // The scan reads the bar's handle afresh at each report.
    const uint32_t statusWindow = HandleToField(statusBar);
    // A scan that fails on the way (out of memory on a large handle table) has closed what
    // it opened; the window then shows the one blank record instead of ending.
    const int32_t failure = CallAtBoundary(
        [&]() -> int32_t {
            ScanPorts(shell.DirectResults, &statusWindow);
            SetShownHardware(ReadHardwareSnapshot());  // what each port is, beside the records
            return 0;
        },
        [](int32_t number) { return number; });
    if (failure != 0) shell.DirectResults.assign(1, PortRecord{});
    ++shell.ResultsGeneration;
    if (shell.CloseRequested || !IsWindow(dialog)) return;
    ShowResults(dialog, shell.DirectResults);  // the rows, then the headers
}

}  // namespace

std::string FoundPortsTitle(size_t recordCount) {
    return "Kestrune - " + std::to_string(recordCount) + " USB and Serial Ports found";
}

std::string NoPortsTitle() { return "Kestrune - No USB and Serial Ports found"; }

bool RunRefreshCommand(HWND dialog, uint32_t commandId) {
    ShellState& shell = Shell();
    if (shell.RefreshRunning) return false;
    RunningFlag running(shell.RefreshRunning);

    EnableRefreshButtons(dialog, FALSE);
    ClearResultList(dialog);
    HWND statusBar = GetDlgItem(dialog, kStatusBarId);
    for (std::vector<PortRecord>* road : {&shell.DirectResults, &shell.EarlyBoundResults,
                                          &shell.LateBoundResults, &shell.NoRegistryResults})
        road->assign(1, PortRecord{});
    ++shell.ResultsGeneration;

    switch (commandId) {
        case kRefreshId: RunDirectRoad(dialog, statusBar, shell); break;
        case kRefreshEarlyBoundId: RunEarlyBoundRoad(dialog, statusBar); break;
        case kRefreshLateBoundId: RunLateBoundRoad(dialog, statusBar); break;
        case kRefreshNoRegistryId: RunNoRegistryRoad(dialog, statusBar); break;
        default: break;
    }
    if (shell.CloseRequested || !IsWindow(dialog)) return true;

    const std::vector<PortRecord>* road = RoadResults(shell, commandId);
    if (road)
        SetWindowTextA(dialog, (NoSerialPortsFound(*road) ? NoPortsTitle() : FoundPortsTitle(road->size())).c_str());

    SetStatusPart(statusBar, 0, " Scan Complete");
    for (int part = 1; part < 4; ++part) SetStatusPart(statusBar, part, " ");
    // Without elevation services' and other users' ports may show no owner: say so.
    if (const std::string_view notice = OwnerSearchNotice(ProcessIsElevated()); !notice.empty())
        SetStatusPart(statusBar, 1, " " + std::string(notice));
    EnableRefreshButtons(dialog, TRUE);

    // The report of the road that ran; a command without a road reports what was shown.
    // A report that could not be written says so instead of leaving "Scan Complete" alone.
    // One written elsewhere than the current folder (which this user cannot write) says where.
    std::string reportPath;
    const DWORD reportError = WriteDiagnosticReport(road ? *road : shell.DisplayResults, &reportPath);
    if (reportError != ERROR_SUCCESS) SetStatusPart(statusBar, 1, ReportFailureText(reportError));
    else if (reportPath != DiagnosticReportPath()) SetStatusPart(statusBar, 1, ReportElsewhereText(reportPath));
    return true;
}

}  // namespace kestrune
