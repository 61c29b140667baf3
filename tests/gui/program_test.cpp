// Kestrune.exe as a program of its own, driven from this one: it shows its window, runs a
// refresh on the button's command, and ends with 0 however it is closed, also mid-scan.
#include <gtest/gtest.h>

#include <regex>

#include "driver/window_driver.h"
#include "gui_desktop.h"
#include "scan/scan_driver.h"
#include "support/handles.h"
#include "test_helpers.h"

using namespace kestrune_driver;
using namespace kestrune_test;

namespace {

// Generous bounds: only a hang reaches them.
constexpr DWORD kWindowWait = 30000;
constexpr DWORD kExitWait = 60000;
constexpr DWORD kScanWait = 180000;

class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(StartProgram(KestruneExePath(), GuiWorkFolder(), GuiDesktopName(), child_))
            << KestruneExePath() << ": error " << GetLastError();
        window_ = FindMainWindow(child_.processId, kWindowWait);
        ASSERT_NE(window_, nullptr) << "no window appeared";
    }
    // Presses "Refresh" and waits until the scan runs: the button stays greyed while it does.
    void StartScan() {
        PressRefresh(window_);
        ASSERT_TRUE(test_helpers::PollUntil([this] { return !IsWindowEnabled(GetDlgItem(window_, kRefreshButton)); },
                                            kWindowWait))
            << "no scan started";
    }
    Child child_;
    HWND window_ = nullptr;
};

TEST_F(ProgramTest, ShowsTheStartTextAndOnlyTheRefreshButton) {
    EXPECT_EQ(WindowTitle(window_), "Kestrune");
    EXPECT_EQ(RemoteStatusText(window_, 0), " Press \"Refresh\" to begin");
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(window_, kRefreshButton)));
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(window_, 1027)));
    PostMessageA(window_, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForExit(child_.process, kExitWait), 0u);
}

TEST_F(ProgramTest, CloseMessageFromAnotherProgramEndsItWithZero) {
    PostMessageA(window_, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForExit(child_.process, kExitWait), 0u);
}

TEST_F(ProgramTest, CloseButtonEndsItWithZero) {
    PostMessageA(window_, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(WaitForExit(child_.process, kExitWait), 0u);
}

TEST_F(ProgramTest, RefreshCountsThePortsInTheTitle) {
    PressRefresh(window_);
    ASSERT_TRUE(WaitForScanComplete(window_, kScanWait));
    EXPECT_TRUE(std::regex_match(WindowTitle(window_), std::regex("Kestrune - [1-9][0-9]* USB and Serial Ports found")))
        << WindowTitle(window_);
    for (int part = 1; part < 4; ++part) EXPECT_EQ(RemoteStatusText(window_, part), " ") << part;
    PostMessageA(window_, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(WaitForExit(child_.process, kExitWait), 0u);
}

TEST_F(ProgramTest, CloseMessageDuringAScanEndsItWithZero) {
    StartScan();
    PostMessageA(window_, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForExit(child_.process, kExitWait), 0u);
}

TEST_F(ProgramTest, CloseButtonDuringAScanEndsItWithZero) {
    StartScan();
    PostMessageA(window_, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(WaitForExit(child_.process, kExitWait), 0u);
}

TEST_F(ProgramTest, AScanHereSendsNoProgressToItsStatusBar) {
    // Another process's status bar handed in as the status window: no text is sent to it.
    uint32_t bar = kestrune::HandleToField(GetDlgItem(window_, 1030));
    ASSERT_NE(bar, 0u);
    std::vector<kestrune::PortRecord> records;
    kestrune::ScanPorts(records, &bar);
    EXPECT_EQ(RemoteStatusText(window_, 0), " Press \"Refresh\" to begin");
    for (const kestrune::PortRecord& record : records) EXPECT_EQ(record.StatusWindow, 0u);
    PostMessageA(window_, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForExit(child_.process, kExitWait), 0u);
}

}  // namespace
