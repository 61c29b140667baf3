#include "scan/progress.h"

#include <windows.h>

#include <cstring>

#include "support/fixed_text.h"

namespace kestrune {

namespace {

ProgressSink* g_sink = nullptr;

// The state of the burst in charge on this thread, if any. Per thread: the class is
// apartment threaded, so two threads of one program may scan at once, each with its own
// status bar, and a burst lives in the frame of the thread that scans.
thread_local ProgressBurst::State* t_burst = nullptr;

uint64_t NowMilliseconds() {
    static const LONGLONG frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f.QuadPart > 0 ? f.QuadPart : 1;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<uint64_t>(now.QuadPart) * 1000u / static_cast<uint64_t>(frequency);
}

void CopyPart(std::array<char, kTextSize>& to, const char (&from)[kTextSize]) {
    // Fields may come from another program unterminated: keep at most 259 characters.
    const std::string_view text = Text(from);
    std::memcpy(to.data(), text.data(), text.size());
    to[text.size()] = '\0';
}

void Pump() {
    if (g_sink) g_sink->Pump();
}

}  // namespace

ProgressTexts ProgressTexts::Of(const PortRecord& record) {
    ProgressTexts texts;
    texts.window = record.StatusWindow;
    CopyPart(texts.parts[0], record.FunctionName);
    CopyPart(texts.parts[1], record.StatusText1);
    CopyPart(texts.parts[2], record.StatusText2);
    CopyPart(texts.parts[3], record.StatusText3);
    return texts;
}

ProgressSink* SetProgressSink(ProgressSink* sink) {
    ProgressSink* before = g_sink;
    g_sink = sink;
    return before;
}

bool IntervalGate::Admit(uint64_t nowMilliseconds) {
    if (done_ && nowMilliseconds >= last_ && nowMilliseconds - last_ < interval_) return false;
    done_ = true;
    last_ = nowMilliseconds;
    return true;
}

void ProgressUpdate(PortRecord& record) {
    if (!t_burst) {
        if (g_sink && record.StatusWindow != 0) g_sink->Show(ProgressTexts::Of(record));
        Pump();
        return;
    }
    const uint64_t now = NowMilliseconds();
    if (g_sink && record.StatusWindow != 0) {
        if (t_burst->repaint.Admit(now)) {
            t_burst->pending = false;
            g_sink->Show(ProgressTexts::Of(record));
        } else {
            t_burst->pending = true;
            t_burst->texts = ProgressTexts::Of(record);
        }
    }
    if (t_burst->pump.Admit(now)) Pump();
}

void ReportStep(PortRecord& record, std::string_view routine, std::string_view step) {
    if (record.StatusWindow == 0) return;
    SetText(record.FunctionName, routine);
    SetText(record.StatusText1, step);
    SetText(record.StatusText2, " ");
    SetText(record.StatusText3, "");
    if (g_sink) g_sink->Show(ProgressTexts::Of(record));
    Pump();
}

void ProgressScanStarts(uint32_t statusWindow) {
    if (g_sink) g_sink->ScanStarts(statusWindow);
}

bool ProgressWindowTaken(uint32_t window) { return g_sink && g_sink->TakesProgress(window); }

bool ScanStopRequested() { return g_sink && g_sink->StopRequested(); }

void PumpProgressMessages(uint32_t statusWindow) {
    if (statusWindow != 0) Pump();
}

ProgressBurst::ProgressBurst() : outermost_(t_burst == nullptr) {
    if (outermost_) t_burst = &state_;
}

ProgressBurst::~ProgressBurst() {
    if (!outermost_) return;
    t_burst = nullptr;
    if (state_.pending && g_sink) g_sink->Show(state_.texts);
}

}  // namespace kestrune
