#pragma once
// Ctrl+C, Ctrl+Break or a closing console during a scan or a release: the console's
// progress sink, which shows nothing and asks the scan to stop at its next step once one
// of those came. The scan then closes what it opened; the caller prints nothing and exits
// with kExitInterrupted. While it lives, the console's stop does not end the process.
#include <atomic>

#include "scan/progress.h"

namespace kestrune {

class ConsoleStop : public ProgressSink {
public:
    ConsoleStop();
    ~ConsoleStop() override;
    ConsoleStop(const ConsoleStop&) = delete;
    ConsoleStop& operator=(const ConsoleStop&) = delete;

    void Show(const ProgressTexts&) override {}
    bool TakesProgress(uint32_t) override { return false; }
    void Pump() override {}
    bool StopRequested() override { return stop_.load(); }

private:
    std::atomic<bool> stop_{false};
    ProgressSink* previous_ = nullptr;
};

}  // namespace kestrune
