#pragma once
// Progress shown in a status bar of this process, and the pump that keeps the caller's
// window alive on its own thread while the scan runs. Every front end that shows a window,
// and the class library for its hosts, installs one of these (or a kind of it) at its entry.
#include <cstdint>
#include <string_view>

#include "scan/progress.h"

namespace kestrune {

// Takes at most one message of this thread off the queue and dispatches it, then sleeps.
// A quit message is put back on the queue so that the main loop still sees it. Returns
// whether the message taken was the quit message.
bool PumpOneMessage(int32_t& sleepMilliseconds);

// Where progress texts for a window may go: nowhere, to a status bar of this thread (sent
// and repainted at once), or to a status bar of another thread of this process (sent with
// a bound, so a hung thread cannot stop the scan; that thread repaints it itself).
enum class ProgressTarget { kNone, kThisThread, kOtherThread };

// Only a status bar ("msctls_statusbar32", any case) that belongs to this process takes
// progress. windowProcessId 0 means the window does not exist.
ProgressTarget JudgeProgressWindow(std::string_view windowClass, uint32_t windowProcessId, uint32_t windowThreadId,
                                   uint32_t ownProcessId, uint32_t ownThreadId);

// Why a scan on this thread should stop, from what the sink has seen: the quit message met by
// the pump since the scan started (the program is ending), or the status bar the scan reports
// to gone (its window was closed).
bool StopFromSignals(bool quitSeen, bool reportsToWindow, bool windowExists);

// The status bar and pump the scan reports to. A host stops a running scan by ending its
// message loop (the quit message) or by destroying the scan's status bar.
class StatusBarProgress : public ProgressSink {
public:
    void ScanStarts(uint32_t statusWindow) override;
    void Show(const ProgressTexts& texts) override;
    bool TakesProgress(uint32_t window) override;
    void Pump() override;
    bool StopRequested() override;
};

}  // namespace kestrune
