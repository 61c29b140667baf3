#pragma once
// How the scan reports progress. The scan fills a record's four progress texts and calls
// ProgressUpdate or ReportStep; where the texts go (a status bar, nowhere) and how the
// caller's window stays alive in the meantime is the business of a ProgressSink that the
// front end installs at its entry (scan/status_bar_progress.h). Without a sink, progress goes
// nowhere and nothing asks the scan to stop.
#include <array>
#include <cstdint>
#include <string_view>

#include "record/port_record.h"

namespace kestrune {

// The four progress texts of a record, bounded copies, and the window they are meant for.
struct ProgressTexts {
    uint32_t window = 0;
    std::array<std::array<char, kTextSize>, 4> parts{};  // FunctionName, StatusText1..3

    static ProgressTexts Of(const PortRecord& record);
    const char* part(size_t i) const { return parts[i].data(); }
};

class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    // A scan starts on this thread, reporting to statusWindow (0: none).
    virtual void ScanStarts(uint32_t statusWindow) {}
    // Shows the texts in texts.window and repaints it, when that window takes progress.
    virtual void Show(const ProgressTexts& texts) = 0;
    // Whether a window may receive progress at all.
    virtual bool TakesProgress(uint32_t window) = 0;
    // Lets at most one pending message of this thread run.
    virtual void Pump() = 0;
    // True once the program the scan works for is closing: the scan stops at its next step.
    virtual bool StopRequested() = 0;
};

// Makes sink the one progress goes to (null: none). Returns the sink it replaces.
ProgressSink* SetProgressSink(ProgressSink* sink);

// Installs a sink for as long as it lives and puts back the one it replaced.
class ProgressSinkScope {
public:
    explicit ProgressSinkScope(ProgressSink* sink) : previous_(SetProgressSink(sink)) {}
    ~ProgressSinkScope() { SetProgressSink(previous_); }
    ProgressSinkScope(const ProgressSinkScope&) = delete;
    ProgressSinkScope& operator=(const ProgressSinkScope&) = delete;

private:
    ProgressSink* previous_;
};

// Shows the record's four texts in its StatusWindow and lets one pending message run. Inside
// a ProgressBurst the texts are repainted at most once per kRepaintMilliseconds, and a
// pending message runs at most once per kPumpMilliseconds: looking for one costs a round
// trip to the window system, more than a cheap entry itself.
void ProgressUpdate(PortRecord& record);

// The per-step report: only when record.StatusWindow is not 0, FunctionName = routine,
// StatusText1 = step, StatusText2 = " ", StatusText3 = "", then shown at once.
void ReportStep(PortRecord& record, std::string_view routine, std::string_view step);

// Tells the sink that a scan starts on this thread (see ProgressSink::ScanStarts).
void ProgressScanStarts(uint32_t statusWindow);

// Whether progress for this window goes anywhere (false without a sink).
bool ProgressWindowTaken(uint32_t window);

// True once the scan should stop (see ProgressSink::StopRequested).
bool ScanStopRequested();

// Lets at most one pending message of this thread run, for a scan thread that waits on its
// workers: only when the scan reports to a status bar (statusWindow, as the records carry it,
// not 0) and a sink is installed. A caller that gave no status bar has no messages run.
void PumpProgressMessages(uint32_t statusWindow);

constexpr uint32_t kRepaintMilliseconds = 16;
constexpr uint32_t kPumpMilliseconds = 5;

// Decides whether something done now and then (a repaint, a look at the message queue) is
// done at this report: the first time always, later once the interval has passed since the
// last time. Times in milliseconds from any fixed start; a clock that goes back counts as
// time passed.
class IntervalGate {
public:
    explicit IntervalGate(uint32_t intervalMilliseconds) : interval_(intervalMilliseconds) {}
    bool Admit(uint64_t nowMilliseconds);

private:
    uint32_t interval_;
    bool done_ = false;
    uint64_t last_ = 0;
};

// A step that reports once per entry (the owner search): while it lives, ProgressUpdate
// repaints at most once per kRepaintMilliseconds, and when it ends the last texts reported
// are shown, so the bar always ends on the step's last entry. Bursts do not nest: an inner
// one leaves the outer in charge.
class ProgressBurst {
public:
    ProgressBurst();
    ~ProgressBurst();
    ProgressBurst(const ProgressBurst&) = delete;
    ProgressBurst& operator=(const ProgressBurst&) = delete;

    struct State {
        IntervalGate repaint{kRepaintMilliseconds};
        IntervalGate pump{kPumpMilliseconds};
        bool pending = false;
        ProgressTexts texts;  // the last texts reported while pending
    };

private:
    State state_;
    bool outermost_;
};

}  // namespace kestrune
