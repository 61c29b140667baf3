// The real dialog, created in this process on the test desktop: its start-up state, the
// refresh command over whatever ports the registry lists, headers, cells, colours, and
// the message handling around closing and progress.
#include <gtest/gtest.h>

#include <cstring>
#include <algorithm>
#include <fstream>
#include <vector>

#include "app/window/main_dialog.h"
#include "app/window/progress.h"
#include "app/window/refresh.h"
#include "app/window/result_cells.h"
#include "app/window/results_view.h"
#include "app/window/row_colours.h"
#include "app/window/shell_state.h"
#include "gui_desktop.h"
#include "gui_helpers.h"
#include "lab/client/lab_client.h"
#include "lab_kind_outcomes.h"
#include "support/fixed_text.h"
#include "support/handles.h"

using namespace kestrune;
using namespace kestrune_test;

namespace {

PortRecord MakeRecord(const char* port, const char* status) {
    PortRecord record{};
    SetText(record.PortName, port);
    SetText(record.DeviceName, "\\Device\\Serial0");
    SetText(record.Status, status);
    return record;
}

class MainDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        Shell() = ShellState{};
        dialog_ = CreateMainDialog(GetModuleHandleA(nullptr));
        ASSERT_NE(dialog_, nullptr) << "error " << GetLastError();
        list_ = ResultList(dialog_);
        bar_ = StatusBar(dialog_);
    }
    void TearDown() override {
        if (IsWindow(dialog_)) DestroyWindow(dialog_);
        DrainMessages();
        Shell() = ShellState{};
    }

    // The command a click on a button sends.
    void Command(int id, int code = BN_CLICKED) {
        SendMessageA(dialog_, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(GetDlgItem(dialog_, id)));
    }

    // Shows records as a finished direct refresh would leave them.
    void ShowRecords(const std::vector<PortRecord>& records) {
        ShellState& shell = Shell();
        shell.LastCommandId = kRefreshId;
        shell.DirectResults = records;
        ++shell.ResultsGeneration;
        ClearResultList(dialog_);
        FillResultRows(dialog_, shell.DirectResults);
        SetResultHeaders(dialog_, shell.DirectResults);
    }

    NMLVCUSTOMDRAW DrawNotice(DWORD stage, DWORD_PTR row, int subItem) {
        NMLVCUSTOMDRAW draw{};
        draw.nmcd.hdr.hwndFrom = list_;
        draw.nmcd.hdr.idFrom = kResultsListId;
        draw.nmcd.hdr.code = static_cast<UINT>(NM_CUSTOMDRAW);
        draw.nmcd.dwDrawStage = stage;
        draw.nmcd.dwItemSpec = row;
        draw.iSubItem = subItem;
        draw.clrText = 0x123456;
        draw.clrTextBk = 0x654321;
        return draw;
    }

    LRESULT SendDraw(NMLVCUSTOMDRAW& draw) {
        return SendMessageA(dialog_, WM_NOTIFY, kResultsListId, reinterpret_cast<LPARAM>(&draw));
    }

    HWND dialog_ = nullptr;
    HWND list_ = nullptr;
    HWND bar_ = nullptr;
};

TEST_F(MainDialogTest, StartsHiddenWithTheStartTextAndEmptyColumns) {
    EXPECT_FALSE(IsWindowVisible(dialog_));
    EXPECT_EQ(Title(dialog_), "Kestrune");
    EXPECT_EQ(StatusText(bar_, 0), " Press \"Refresh\" to begin");
    for (int part = 1; part < 4; ++part) EXPECT_EQ(StatusText(bar_, part), "") << part;

    EXPECT_EQ(ColumnCount(list_), kResultColumnCount) << "the designed 46 and the identity columns";
    EXPECT_EQ(ColumnCount(GetDlgItem(dialog_, kLinesListId)), 4);
    for (int column = 1; column <= kResultColumnCount; ++column) EXPECT_EQ(HeaderText(list_, column), "") << column;
    EXPECT_EQ(RowCount(list_), 0);
    EXPECT_EQ(SendMessageA(list_, LVM_GETBKCOLOR, 0, 0), 0);
    EXPECT_EQ(SendMessageA(GetDlgItem(dialog_, kLinesListId), LVM_GETBKCOLOR, 0, 0), 0);

    const LONG style = GetWindowLongA(dialog_, GWL_STYLE);
    EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), WS_CAPTION | WS_SYSMENU |
                                                                                       WS_MINIMIZEBOX | WS_MAXIMIZEBOX);
    EXPECT_EQ(style & WS_THICKFRAME, 0) << "no sizing border";
}

TEST_F(MainDialogTest, ShowsOnlyTheRefreshButtonAtItsPlace) {
    ShowMainDialog(dialog_);
    EXPECT_TRUE(IsWindowVisible(dialog_));
    char text[64] = {};
    GetWindowTextA(GetDlgItem(dialog_, kRefreshId), text, sizeof text);
    EXPECT_STREQ(text, "Refresh");
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(dialog_, kRefreshId)));
    for (int id : {kRefreshEarlyBoundId, kRefreshLateBoundId, kRefreshNoRegistryId}) {
        ASSERT_NE(GetDlgItem(dialog_, id), nullptr) << id;
        EXPECT_FALSE(IsWindowVisible(GetDlgItem(dialog_, id))) << id;
    }
    RECT expected{183, 120, 183 + 45, 120 + 15};
    MapDialogRect(dialog_, &expected);
    RECT actual{};
    GetWindowRect(GetDlgItem(dialog_, kRefreshId), &actual);
    MapWindowPoints(nullptr, dialog_, reinterpret_cast<POINT*>(&actual), 2);
    EXPECT_EQ(actual.left, expected.left);
    EXPECT_EQ(actual.top, expected.top);
    EXPECT_EQ(actual.right - actual.left, expected.right - expected.left);
    EXPECT_EQ(actual.bottom - actual.top, expected.bottom - expected.top);
}

TEST_F(MainDialogTest, StatusBarHasFourPartsEndingAtItsWidth) {
    RECT client{};
    GetClientRect(bar_, &client);
    int edges[8] = {};
    ASSERT_EQ(SendMessageA(bar_, SB_GETPARTS, 8, reinterpret_cast<LPARAM>(edges)), 4);
    const std::array<int, 4> expected = StatusPartEdges(client.right);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(edges[i], expected[static_cast<size_t>(i)]) << i;
    EXPECT_EQ(edges[3], client.right);
}

// The program's own icon (this test program carries the same icon resource), drawn at the
// sizes the system asks for: large for the taskbar and switcher, small for the caption.
TEST_F(MainDialogTest, ClassCarriesTheProgramIconAtBothSizes) {
    const struct {
        int index, width, height;
    } kIcons[] = {{GCLP_HICON, GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON)},
                  {GCLP_HICONSM, GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON)}};
    for (const auto& expected : kIcons) {
        const auto icon = reinterpret_cast<HICON>(GetClassLongPtrA(dialog_, expected.index));
        ASSERT_NE(icon, nullptr) << expected.index;
        EXPECT_NE(icon, LoadIconA(nullptr, IDI_INFORMATION)) << expected.index;
        ICONINFO info{};
        ASSERT_TRUE(GetIconInfo(icon, &info)) << expected.index;
        BITMAP colour{};
        GetObjectA(info.hbmColor, sizeof colour, &colour);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        EXPECT_EQ(colour.bmWidth, expected.width) << expected.index;
        EXPECT_EQ(colour.bmHeight, expected.height) << expected.index;
    }
}

TEST_F(MainDialogTest, MinimumTrackingSizeIs402By180) {
    MINMAXINFO limits{};
    limits.ptMinTrackSize = POINT{1, 1};
    SendMessageA(dialog_, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
    EXPECT_EQ(limits.ptMinTrackSize.x, 402);
    EXPECT_EQ(limits.ptMinTrackSize.y, 180);
}

// The lab's ports land in the list: each row's port, status and cable as the lab's kind gives
// them (the cells' formatting is pinned by the unit tables).
TEST_F(MainDialogTest, RefreshFillsRowsTitleStatusAndReport) {
    lab::Layout layout;
    std::string error;
    ASSERT_TRUE(layout.Load(&error)) << "serial lab is not up: " << error;
    DeleteFileA("SerialPort.Kestrune");
    Command(kRefreshId);

    const size_t ports = layout.ports().size();
    EXPECT_EQ(Shell().LastCommandId, static_cast<uint32_t>(kRefreshId));
    EXPECT_EQ(Title(dialog_), "Kestrune - " + std::to_string(ports) + " USB and Serial Ports found");
    EXPECT_EQ(StatusText(bar_, 0), " Scan Complete");
    for (int part = 1; part < 4; ++part) EXPECT_EQ(StatusText(bar_, part), " ") << part;
    for (int id : {kRefreshId, kRefreshEarlyBoundId, kRefreshLateBoundId, kRefreshNoRegistryId})
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog_, id))) << id;

    ASSERT_EQ(RowCount(list_), static_cast<int>(ports));
    for (int row = 0; row < RowCount(list_); ++row) {
        const lab::Port* port = layout.Find(CellText(list_, row, 1));
        ASSERT_NE(port, nullptr) << "row " << row << ": " << CellText(list_, row, 1);
        SCOPED_TRACE(port->com);
        const lab_outcomes::KindOutcome* expected = lab_outcomes::OutcomeOf(port->kind);
        ASSERT_NE(expected, nullptr);
        EXPECT_EQ(CellText(list_, row, 6), expected->status);
        if (expected->cable) { EXPECT_EQ(CellText(list_, row, 15), expected->cable); }
        if (expected->owned) { EXPECT_EQ(CellText(list_, row, 12), "holder.exe"); }
    }
    const std::pair<int, const char*> headers[] = {{1, "Port"}, {2, "Baud"}, {6, "Status"}, {12, "Name"},
                                                   {15, "Cable"}, {20, "ProcID"}, {43, "DTR"}, {46, "CTS"}};
    for (const auto& [column, header] : headers) EXPECT_EQ(HeaderText(list_, column), header) << column;

    std::ifstream report("SerialPort.Kestrune");
    EXPECT_TRUE(report.good()) << "the refresh writes its report into the current folder";
}

TEST_F(MainDialogTest, RefreshReportListsEveryLabPort) {
    lab::Layout layout;
    std::string error;
    if (!layout.Load(&error)) GTEST_SKIP() << "serial lab is not up: " << error;
    DeleteFileA("SerialPort.Kestrune");
    Command(kRefreshId);

    std::ifstream report("SerialPort.Kestrune", std::ios::binary);
    ASSERT_TRUE(report.good());
    std::vector<std::string> lines;
    for (std::string line; std::getline(report, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    // The port table: a header starting with "Port", an underline, then one line per record.
    size_t header = 0;
    while (header < lines.size() && lines[header].rfind("Port ", 0) != 0) ++header;
    ASSERT_LT(header + 2, lines.size()) << "no port table";
    std::vector<std::string> tablePorts;
    for (size_t i = header + 2; i < lines.size(); ++i) {
        if (lines[i].empty()) break;  // the hardware block follows the table
        const std::string first = lines[i].substr(0, lines[i].find(' '));
        if (!first.empty()) tablePorts.push_back(first);
    }
    ASSERT_EQ(tablePorts.size(), layout.ports().size());
    for (const lab::Port& port : layout.ports())
        EXPECT_NE(std::find(tablePorts.begin(), tablePorts.end(), port.com), tablePorts.end()) << port.com;
}

TEST_F(MainDialogTest, HeldPortsGetNoLineCommandsAndTheScanNeverNamesItself) {
    lab::Layout layout;
    std::string error;
    if (!layout.Load(&error)) GTEST_SKIP() << "serial lab is not up: " << error;
    Command(kRefreshId);
    int held = 0, own = 0;
    const std::vector<PortRecord>& records = Shell().DirectResults;
    for (size_t row = 0; row < records.size(); ++row) {
        const PortRecord& record = records[row];
        const lab::Port* port = layout.Find(std::string(Text(record.PortName)));
        SCOPED_TRACE(std::string(Text(record.PortName)));
        const int r = static_cast<int>(row);
        if (port && port->kind == lab::Kind::Held) {
            ++held;
            EXPECT_EQ(CellText(list_, r, 43), "");  // no DTR command sent
            EXPECT_EQ(CellText(list_, r, 45), "");
        }
        if (record.ProcessId == GetCurrentProcessId()) {
            ++own;
            EXPECT_FALSE(TextEmpty(record.ProgramName));  // the record keeps it for callers
            for (int column : {11, 12, 13}) EXPECT_EQ(CellText(list_, r, column), "") << column;
        }
    }
    EXPECT_GT(held, 0);
    EXPECT_GT(own, 0) << "the free ports are found held by the scan's own handle";
}

TEST_F(MainDialogTest, SecondRefreshRebuildsTheRows) {
    Command(kRefreshId);
    const int first = RowCount(list_);
    Command(kRefreshId);
    EXPECT_EQ(RowCount(list_), first);
    EXPECT_EQ(RowCount(list_), static_cast<int>(Shell().DirectResults.size()));
    EXPECT_EQ(Title(dialog_), FoundPortsTitle(Shell().DirectResults.size()));
}

TEST_F(MainDialogTest, CommandWithNotificationCodeTwoIsIgnored) {
    Command(kRefreshId, 2);
    EXPECT_EQ(Shell().LastCommandId, 0u);
    EXPECT_EQ(Title(dialog_), "Kestrune");
    EXPECT_EQ(StatusText(bar_, 0), " Press \"Refresh\" to begin");
    EXPECT_TRUE(Shell().DirectResults.empty());
}

TEST_F(MainDialogTest, IdentifierTwoClearsTheListAndLeavesTheTitle) {
    Command(kRefreshId);
    ASSERT_GT(RowCount(list_), 0);
    const std::string title = Title(dialog_);
    SendMessageA(bar_, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>("busy"));

    Command(2);
    EXPECT_EQ(Shell().LastCommandId, 2u);
    EXPECT_EQ(RowCount(list_), 0);
    EXPECT_EQ(Title(dialog_), title);
    EXPECT_EQ(StatusText(bar_, 0), " Scan Complete");
    // Every road array now holds one zero record.
    for (uint32_t id = kRefreshId; id <= kRefreshNoRegistryId; ++id) {
        ASSERT_EQ(RoadResults(Shell(), id)->size(), 1u);
        EXPECT_TRUE(TextEmpty((*RoadResults(Shell(), id))[0].PortName));
    }
}

TEST_F(MainDialogTest, AReportThatCannotBeWrittenShowsInTheStatusBar) {
    std::ofstream("SerialPort.Kestrune") << "previous";
    {
        UniqueHandle holder(CreateFileA("SerialPort.Kestrune", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(holder.valid());
        Command(2);  // the command that runs no scan still writes the report
    }
    EXPECT_EQ(StatusText(bar_, 0), " Scan Complete");
    EXPECT_EQ(StatusText(bar_, 1).rfind(" Report not written: ", 0), 0u) << StatusText(bar_, 1);
    Command(2);
    EXPECT_EQ(StatusText(bar_, 1), " ");
    DeleteFileA("SerialPort.Kestrune");
}

TEST_F(MainDialogTest, ClassRoadButtonsCountTheirSingleZeroRecord) {
    Command(kRefreshLateBoundId);
    EXPECT_EQ(Title(dialog_), "Kestrune - 1 USB and Serial Ports found");
    EXPECT_EQ(RowCount(list_), 0);
}

TEST_F(MainDialogTest, CommandArrivingDuringARefreshIsDropped) {
    Command(kRefreshId);
    const int rows = RowCount(list_);
    Shell().RefreshRunning = true;  // as while the scan pumps messages
    Command(2);
    EXPECT_EQ(Shell().LastCommandId, static_cast<uint32_t>(kRefreshId));
    EXPECT_EQ(RowCount(list_), rows);
    EXPECT_FALSE(RunRefreshCommand(dialog_, kRefreshId));
    Shell().RefreshRunning = false;
}

// The texts the unit tables pin land in the list's cells and headers, rows the owner or line
// tests leave out stay blank there, and the content widths are applied.
TEST_F(MainDialogTest, CellsAndHeadersOfTheListedEdgeCases) {
    PortRecord owned = MakeRecord("COM3", "In-Use");
    owned.ProcessId = GetCurrentProcessId() + 4;
    owned.ObjHandle = 74565;
    owned.StopBits = 15000;
    owned.Baud = 9600;
    owned.DtrCommand = 6;
    PortRecord self = MakeRecord("COM4", "Available");
    self.ProcessId = GetCurrentProcessId();
    PortRecord gone = MakeRecord("COM5", "Disconnected");
    ShowRecords({owned, self, gone});
    ASSERT_EQ(RowCount(list_), 3);

    const struct { int row, column; const char* text; } cells[] = {
        {0, 2, "9600"}, {0, 5, "1.5"}, {0, 8, "\\Device\\Serial0"}, {0, 21, " 74565 (&H2345)"}, {0, 43, "%CLRDTR"},
        {1, 20, ""},    {1, 21, ""},   {1, 44, "%OFF"},               {2, 28, ""},                 {2, 44, ""},
    };
    for (const auto& c : cells) EXPECT_EQ(CellText(list_, c.row, c.column), c.text) << c.row << "," << c.column;
    const std::pair<int, const char*> headers[] = {{1, "Port"}, {2, "Baud"}, {3, ""}, {5, "Stop"}, {20, "ProcID"},
                                                   {28, "Binary"}, {43, "DTR"}, {46, "CTS"}};
    for (const auto& [column, header] : headers) EXPECT_EQ(HeaderText(list_, column), header) << column;
    EXPECT_GT(ColumnPixels(list_, 21), ColumnPixels(list_, 23)) << "content widths were applied";
}

TEST_F(MainDialogTest, OnePassGivesTheSameRowsHeadersAndWidthsAsTheTwoSteps) {
    std::vector<PortRecord> records;
    for (int i = 0; i < 12; ++i) {
        PortRecord record = MakeRecord(("COM" + std::to_string(i + 1)).c_str(), i % 3 ? "In-Use" : "Disconnected");
        record.Baud = i % 2 ? 9600 : 0;
        record.ProcessId = i % 4 ? 1000 + i : 0;
        record.ObjHandle = 4660 * i;
        if (i == 5) SetText(record.ProgramName, "a rather long program name.exe");
        record.CableKind = i % 4 - 1;
        records.push_back(record);
    }
    FillResultRows(dialog_, records);
    SetResultHeaders(dialog_, records);
    HWND other = CreateMainDialog(GetModuleHandleA(nullptr));
    ASSERT_NE(other, nullptr);
    ShowResults(other, records);
    HWND otherList = ResultList(other);
    ASSERT_EQ(RowCount(otherList), RowCount(list_));
    for (int column = 1; column <= 46; ++column) {
        EXPECT_EQ(HeaderText(otherList, column), HeaderText(list_, column)) << column;
        EXPECT_EQ(ColumnPixels(otherList, column), ColumnPixels(list_, column)) << column;
        for (int row = 0; row < RowCount(list_); ++row)
            EXPECT_EQ(CellText(otherList, row, column), CellText(list_, row, column)) << row << "," << column;
    }
    DestroyWindow(other);
}

TEST_F(MainDialogTest, HeadersStayWhenALaterRefreshHasNoDataForThem) {
    PortRecord first = MakeRecord("COM1", "Available");
    first.Baud = 9600;
    ShowRecords({first});
    ASSERT_EQ(HeaderText(list_, 2), "Baud");
    ShowRecords({MakeRecord("COM1", "Disconnected")});
    EXPECT_EQ(HeaderText(list_, 2), "Baud");
    EXPECT_EQ(CellText(list_, 0, 2), "");
}

TEST_F(MainDialogTest, ColouringCopiesTheResultsOncePerRefreshNotPerCell) {
    ShowRecords({MakeRecord("COM1", "Available"), MakeRecord("COM2", "In-Use")});
    constexpr DWORD kCell = CDDS_ITEMPREPAINT | CDDS_SUBITEM;
    NMLVCUSTOMDRAW first = DrawNotice(kCell, 0, 1);  // the first coloured cell copies the results
    SendDraw(first);
    EXPECT_EQ(first.clrText, 0x00FF00u);
    // The scan's array changes without a new refresh: every later cell keeps the copy's colour.
    SetText(Shell().DirectResults[0].Status, "Disconnected");
    for (int repeat = 0; repeat < 10; ++repeat) {
        NMLVCUSTOMDRAW cell = DrawNotice(kCell, 0, 1 + repeat % 5);
        EXPECT_EQ(SendDraw(cell), CDRF_NEWFONT);
        EXPECT_EQ(cell.clrText, 0x00FF00u) << "the results were copied again for cell " << repeat;
    }
    // A new refresh result is picked up by the next coloured cell.
    ShowRecords({MakeRecord("COM7", "Disconnected")});
    NMLVCUSTOMDRAW cell = DrawNotice(kCell, 0, 1);
    SendDraw(cell);
    EXPECT_EQ(cell.clrText, 0x0000FFu);
    // A row the copy does not have gets the black background and no text colour.
    NMLVCUSTOMDRAW past = DrawNotice(kCell, 1, 1);
    EXPECT_EQ(SendDraw(past), CDRF_NEWFONT);
    EXPECT_EQ(past.clrText, 0x123456u);
    EXPECT_EQ(past.clrTextBk, 0u);
}

// Painting the list for real asks the dialog for the colours cell by cell.
struct PaintedCell {
    DWORD_PTR row;
    int subItem;
    COLORREF text;
    COLORREF background;
};
std::vector<PaintedCell>* g_painted = nullptr;

LRESULT CALLBACK RecordCustomDraw(int code, WPARAM wParam, LPARAM lParam) {
    auto* sent = reinterpret_cast<CWPRETSTRUCT*>(lParam);
    if (code == HC_ACTION && g_painted && sent->message == WM_NOTIFY) {
        auto* header = reinterpret_cast<NMHDR*>(sent->lParam);
        if (header->code == static_cast<UINT>(NM_CUSTOMDRAW) && header->idFrom == kResultsListId) {
            auto* draw = reinterpret_cast<NMLVCUSTOMDRAW*>(sent->lParam);
            if (draw->nmcd.dwDrawStage == (CDDS_ITEMPREPAINT | CDDS_SUBITEM))
                g_painted->push_back({draw->nmcd.dwItemSpec, draw->iSubItem, draw->clrText, draw->clrTextBk});
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST_F(MainDialogTest, PaintingTheListColoursRowsByStatus) {
    ShowMainDialog(dialog_);
    ShowRecords({MakeRecord("COM1", "In-Use"), MakeRecord("COM2", "AVAILABLE"), MakeRecord("COM3", "Disconnected")});
    std::vector<PaintedCell> painted;
    g_painted = &painted;
    HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROCRET, RecordCustomDraw, nullptr, GetCurrentThreadId());
    ASSERT_NE(hook, nullptr);
    RedrawWindow(list_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    UnhookWindowsHookEx(hook);
    g_painted = nullptr;

    ASSERT_FALSE(painted.empty()) << "the list painted no cell";
    const COLORREF rowText[] = {0x00FFFF, 0x00FF00, 0x0000FF};
    bool seen[3] = {};
    for (const PaintedCell& cell : painted) {
        ASSERT_LT(cell.row, 3u);
        if (IsSeparatorSubItem(cell.subItem)) {
            EXPECT_EQ(cell.text, 0x238E6Bu);
            EXPECT_EQ(cell.background, 0xFF0000u);
        } else {
            EXPECT_EQ(cell.text, rowText[cell.row]) << "row " << cell.row << " subitem " << cell.subItem;
            EXPECT_EQ(cell.background, 0u);
            seen[cell.row] = true;
        }
    }
    EXPECT_TRUE(seen[0] && seen[1] && seen[2]);
}

TEST_F(MainDialogTest, ProgressUpdateWritesTheFourPartsBounded) {
    PortRecord record{};
    record.StatusWindow = HandleToField(bar_);
    SetText(record.FunctionName, "SerialPort_Enum");
    SetText(record.StatusText1, "Scanning");
    std::memset(record.StatusText2, 'x', sizeof record.StatusText2);  // unterminated
    SetText(record.StatusText3, "");
    ProgressUpdate(record);
    EXPECT_EQ(StatusText(bar_, 0), "SerialPort_Enum");
    EXPECT_EQ(StatusText(bar_, 1), "Scanning");
    EXPECT_EQ(StatusText(bar_, 2), std::string(259, 'x'));
    EXPECT_EQ(StatusText(bar_, 3), "");
}

TEST_F(MainDialogTest, CloseDuringAScanStillEndsTheMessageLoop) {
    DrainMessages();
    PostMessageA(dialog_, WM_SYSCOMMAND, SC_CLOSE, 0);
    PortRecord record{};
    record.StatusWindow = HandleToField(bar_);
    SetText(record.StatusText1, "Scanning");
    // The scan's progress reports pump the close, and several more reports follow it.
    for (int report = 0; report < 5; ++report) ProgressUpdate(record);
    EXPECT_FALSE(IsWindow(dialog_)) << "the close button destroys the window at once";
    MSG pending;
    ASSERT_TRUE(PeekMessageA(&pending, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE)) << "the quit message was lost";
    EXPECT_EQ(RunMessageLoop(), 0);
}

TEST_F(MainDialogTest, CloseButtonPressedDuringARealScanEndsTheProgram) {
    ShowMainDialog(dialog_);
    DrainMessages();
    PostMessageA(dialog_, WM_SYSCOMMAND, SC_CLOSE, 0);
    Command(kRefreshId);  // the scan's progress reports pump the close
    EXPECT_FALSE(IsWindow(dialog_)) << "the close was not handled during the scan";
    MSG pending;
    ASSERT_TRUE(PeekMessageA(&pending, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE)) << "the quit message was lost";
    EXPECT_EQ(RunMessageLoop(), 0);
}

TEST_F(MainDialogTest, CommandPostedDuringARealScanDoesNotStartASecondOne) {
    ShowMainDialog(dialog_);
    DrainMessages();
    PostMessageA(dialog_, WM_COMMAND, MAKEWPARAM(2, 0), 0);
    Command(kRefreshId);
    MSG pending;
    ASSERT_FALSE(PeekMessageA(&pending, dialog_, WM_COMMAND, WM_COMMAND, PM_NOREMOVE))
        << "the scan pumped no message";
    EXPECT_EQ(Shell().LastCommandId, static_cast<uint32_t>(kRefreshId));
    EXPECT_EQ(RowCount(list_), static_cast<int>(Shell().DirectResults.size()));
    EXPECT_EQ(Title(dialog_), FoundPortsTitle(Shell().DirectResults.size()));
}

TEST_F(MainDialogTest, CloseMessageEndsTheLoopWithoutAnotherCommand) {
    DrainMessages();
    SendMessageA(dialog_, WM_CLOSE, 0, 0);
    MSG pending;
    ASSERT_TRUE(PeekMessageA(&pending, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));
    EXPECT_EQ(RunMessageLoop(), 0);
    EXPECT_EQ(Shell().LastCommandId, 0u) << "no cancel command follows the close";
    EXPECT_EQ(Title(dialog_), "Kestrune");
}

// ---- progress and the pump, on a window of their own -----------------------------------

int g_handled = 0;
LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP + 1) {
        ++g_handled;
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

class PumpTest : public ::testing::Test {
protected:
    void SetUp() override {
        DrainMessages();
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = CountingProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "KestrunePumpTest";
        RegisterClassA(&windowClass);
        window_ = CreateWindowExA(0, "KestrunePumpTest", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  windowClass.hInstance, nullptr);
        ASSERT_NE(window_, nullptr);
        g_handled = 0;
    }
    void TearDown() override {
        DestroyWindow(window_);
        DrainMessages();
    }
    HWND window_ = nullptr;
};

TEST_F(PumpTest, ProgressUpdateWithoutStatusWindowHandlesOnePendingMessage) {
    PostMessageA(window_, WM_APP + 1, 0, 0);
    PostMessageA(window_, WM_APP + 1, 0, 0);
    PortRecord record{};
    SetText(record.FunctionName, "not shown");
    ProgressUpdate(record);
    EXPECT_EQ(g_handled, 1);
    ProgressUpdate(record);
    EXPECT_EQ(g_handled, 2);
}

TEST_F(PumpTest, PumpPutsTheQuitMessageBack) {
    PostQuitMessage(7);
    int32_t sleep = 0;
    PumpOneMessage(sleep);
    PumpOneMessage(sleep);
    MSG pending{};
    ASSERT_TRUE(PeekMessageA(&pending, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));
    EXPECT_EQ(pending.wParam, 7u);
    EXPECT_EQ(RunMessageLoop(), 7);
}

TEST_F(PumpTest, ReportStepWithoutStatusWindowLeavesTheRecordAlone) {
    PostMessageA(window_, WM_APP + 1, 0, 0);
    PortRecord record{};
    ReportStep(record, "SerialPort_Get_Baud_RT", "Get COM1 Parameters");
    EXPECT_TRUE(TextEmpty(record.FunctionName));
    EXPECT_EQ(g_handled, 0) << "no report, no pump";
}

}  // namespace
