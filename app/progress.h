#pragma once
// The window's side of progress: the status bar that shows the scan's texts and the pump
// that keeps the window alive on the single UI thread while the scan runs. The scan
// reaches it through the ProgressSink of scan/progress.h, installed at start-up.
#include <cstdint>
#include <string_view>

#include "scan/progress.h"

namespace kestrune {

// Takes at most one message of this thread off the queue and dispatches it, then sleeps.
// A quit message is put back on the queue so that the main loop still sees it.
void PumpOneMessage(int32_t& sleepMilliseconds);

// Where progress texts for a window may go: nowhere, to a status bar of this thread (sent
// and repainted at once), or to a status bar of another thread of this process (sent with
// a bound, so a hung thread cannot stop the scan; that thread repaints it itself).
enum class ProgressTarget { kNone, kThisThread, kOtherThread };

// Only a status bar ("msctls_statusbar32", any case) that belongs to this process takes
// progress. windowProcessId 0 means the window does not exist.
ProgressTarget JudgeProgressWindow(std::string_view windowClass, uint32_t windowProcessId, uint32_t windowThreadId,
                                   uint32_t ownProcessId, uint32_t ownThreadId);

// The status bar and pump the scan reports to; stop requested once the main window is
// closing. Installed for the whole run.
class StatusBarProgress : public ProgressSink {
public:
    void Show(const ProgressTexts& texts) override;
    bool TakesProgress(uint32_t window) override;
    void Pump() override;
    bool StopRequested() override;
};

}  // namespace kestrune
