// The scan and the real window around it: which windows take progress, the last text of a
// burst, the virtual results list answering cell requests in both character sets, and a
// window closed in the middle of a real scan.
#include <gtest/gtest.h>

#include <cwchar>
#include <fstream>
#include <string>
#include <vector>

#include "app/window/main_dialog.h"
#include "app/window/progress.h"
#include "app/window/refresh.h"
#include "app/window/results_view.h"
#include "app/window/shell_state.h"
#include "gui_desktop.h"
#include "gui_helpers.h"
#include "scan/scan_driver.h"
#include "support/fixed_text.h"
#include "support/handles.h"

using namespace kestrune;
using namespace kestrune_test;

namespace {

class ScanWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        Shell() = ShellState{};
        dialog_ = CreateMainDialog(GetModuleHandleA(nullptr));
        ASSERT_NE(dialog_, nullptr);
        list_ = ResultList(dialog_);
        bar_ = StatusBar(dialog_);
        DrainMessages();
    }
    void TearDown() override {
        if (IsWindow(dialog_)) DestroyWindow(dialog_);
        DrainMessages();
        Shell() = ShellState{};
    }
    HWND dialog_ = nullptr;
    HWND list_ = nullptr;
    HWND bar_ = nullptr;
};

TEST_F(ScanWindowTest, AWindowThatIsNoStatusBarGetsNoProgressAndNoMessagesRun) {
    HWND button = GetDlgItem(dialog_, kRefreshId);
    for (uint32_t window : {HandleToField(button), HandleToField(dialog_), 0xFFFFu, 0x7FFF0000u}) {
        PostMessageA(dialog_, WM_APP + 3, 0, 0);
        std::vector<PortRecord> records;
        ScanPorts(records, &window);
        MSG pending;
        EXPECT_TRUE(PeekMessageA(&pending, dialog_, WM_APP + 3, WM_APP + 3, PM_REMOVE)) << window << ": a message ran";
        EXPECT_EQ(Title(button), "Refresh") << window;
        for (const PortRecord& record : records) {
            EXPECT_EQ(record.StatusWindow, 0u) << window;
            EXPECT_TRUE(TextEmpty(record.StatusText1)) << window;
        }
    }
}

TEST_F(ScanWindowTest, AStatusBarOfThisProcessShowsTheLastTextOfABurst) {
    PortRecord record{};
    record.StatusWindow = HandleToField(bar_);
    SetText(record.FunctionName, "SerialPort_Enum");
    SetText(record.StatusText1, "Scanning");
    {
        ProgressBurst burst;
        for (int i = 0; i < 500; ++i) {
            SetText(record.StatusText2, " name " + std::to_string(i));
            ProgressUpdate(record);
        }
    }
    EXPECT_EQ(StatusText(bar_, 0), "SerialPort_Enum");
    EXPECT_EQ(StatusText(bar_, 2), " name 499");
}

// A machine without ports: the scan's placeholder record ("COM1 Disconnected", no device)
// shows no row; a real port of the same name that the device map lists does.
TEST_F(ScanWindowTest, PlaceholderOfAMachineWithoutPortsShowsNoRow) {
    PortRecord placeholder{};
    SetText(placeholder.PortName, "COM1");
    SetText(placeholder.Status, "Disconnected");
    const std::vector<PortRecord> records = {placeholder};
    ShowResults(dialog_, records);
    EXPECT_EQ(RowCount(list_), 0);
    PortRecord listed = placeholder;
    SetText(listed.DeviceName, "\\Device\\Serial0");
    ShowResults(dialog_, {listed});
    EXPECT_EQ(RowCount(list_), 1);
}

TEST_F(ScanWindowTest, VirtualListAnswersBothCharacterSetsAndCutsToTheBuffer) {
    PortRecord record{};
    SetText(record.PortName, "COM7");
    SetText(record.Status, "Available");
    SetText(record.ProgramFolder, "C:\\Program Files\\Terminal\\");
    ShowResults(dialog_, {record});
    ASSERT_EQ(RowCount(list_), 1);

    const struct {
        int column;
        const char* text;
    } cells[] = {{1, "COM7"}, {6, "Available"}, {11, "C:\\Program Files\\Terminal\\"}, {2, ""}, {46, "%OFF"}};
    for (const auto& cell : cells) {
        EXPECT_EQ(CellText(list_, 0, cell.column), cell.text) << cell.column;
        wchar_t wide[300] = {};
        LVITEMW item{};
        item.iSubItem = cell.column - 1;
        item.pszText = wide;
        item.cchTextMax = 300;
        SendMessageW(list_, LVM_GETITEMTEXTW, 0, reinterpret_cast<LPARAM>(&item));
        EXPECT_EQ(std::wstring(item.pszText), std::wstring(cell.text, cell.text + std::strlen(cell.text)))
            << cell.column;
    }
    char small[5] = {'x', 'x', 'x', 'x', 'x'};
    LVITEMA item{};
    item.iSubItem = 10;
    item.pszText = small;
    item.cchTextMax = sizeof small;
    SendMessageA(list_, LVM_GETITEMTEXTA, 0, reinterpret_cast<LPARAM>(&item));
    EXPECT_STREQ(item.pszText, "C:\\P");
    EXPECT_EQ(CellText(list_, 5, 1), "") << "a row past the end";
}

TEST_F(ScanWindowTest, ClosingTheWindowDuringARealScanStopsItAndWritesNoReport) {
    ShowMainDialog(dialog_);
    DrainMessages();
    std::ofstream("SerialPort.Kestrune") << "previous report\n";
    PostMessageA(dialog_, WM_SYSCOMMAND, SC_CLOSE, 0);
    ASSERT_TRUE(RunRefreshCommand(dialog_, kRefreshId));
    EXPECT_FALSE(IsWindow(dialog_));
    EXPECT_FALSE(Shell().RefreshRunning);
    ASSERT_FALSE(Shell().DirectResults.empty());
    for (const PortRecord& record : Shell().DirectResults) {
        EXPECT_EQ(record.RtHandle, 0) << Text(record.PortName) << ": every channel is closed after the scan";
        EXPECT_EQ(record.Baud, 0) << Text(record.PortName) << ": the scan went on to the port's settings";
    }
    std::ifstream report("SerialPort.Kestrune");
    std::string line;
    std::getline(report, line);
    EXPECT_EQ(line, "previous report") << "a stopped scan writes no report";
    MSG pending;
    ASSERT_TRUE(PeekMessageA(&pending, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE)) << "the quit message was lost";
    EXPECT_EQ(RunMessageLoop(), 0);
}

}  // namespace
