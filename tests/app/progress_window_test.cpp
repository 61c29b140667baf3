// Which windows the scan's progress may go to, fed every case as plain values.
#include <gtest/gtest.h>

#include "app/window/progress.h"

using namespace kestrune;

TEST(ProgressWindow, OnlyAStatusBarOfThisProcess) {
    constexpr uint32_t kOwnProcess = 40, kOwnThread = 41;
    const struct {
        const char* windowClass;
        uint32_t process, thread;
        ProgressTarget target;
    } cases[] = {
        {"msctls_statusbar32", kOwnProcess, kOwnThread, ProgressTarget::kThisThread},
        {"MSCTLS_STATUSBAR32", kOwnProcess, kOwnThread, ProgressTarget::kThisThread},
        {"msctls_statusbar32", kOwnProcess, 99, ProgressTarget::kOtherThread},
        {"msctls_statusbar32", 77, 99, ProgressTarget::kNone},         // another program's bar
        {"msctls_statusbar32", 0, 0, ProgressTarget::kNone},           // no such window
        {"Button", kOwnProcess, kOwnThread, ProgressTarget::kNone},    // a window, not a bar
        {"#32770", kOwnProcess, kOwnThread, ProgressTarget::kNone},
        {"msctls_statusbar", kOwnProcess, kOwnThread, ProgressTarget::kNone},
        {"msctls_statusbar32x", kOwnProcess, kOwnThread, ProgressTarget::kNone},
        {"", kOwnProcess, kOwnThread, ProgressTarget::kNone},
    };
    for (const auto& c : cases)
        EXPECT_EQ(JudgeProgressWindow(c.windowClass, c.process, c.thread, kOwnProcess, kOwnThread), c.target)
            << c.windowClass << " " << c.process << " " << c.thread;
}
