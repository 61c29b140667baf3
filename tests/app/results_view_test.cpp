// The list's decisions over records: cell texts, which cells and headers are written, the
// widths, and the colours by status.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "support/number_text.h"
#include "app/window/result_cells.h"
#include "app/window/row_colours.h"
#include "app/common/shown_record.h"
#include "support/fixed_text.h"

using namespace kestrune;

namespace {

constexpr uint32_t kOwnPid = 500;

PortRecord Record(const char* port, const char* status) {
    PortRecord record{};
    SetText(record.PortName, port);
    SetText(record.Status, status);
    return record;
}

std::map<int, CellWrite> CellsByColumn(const PortRecord& record) {
    std::map<int, CellWrite> cells;
    for (CellWrite& cell : ResultRowCells(record, kOwnPid)) cells.emplace(cell.column, cell);
    return cells;
}

TEST(ResultTexts, Hex4KeepsFourDigits) {
    const struct {
        uint32_t value;
        const char* text;
    } cases[] = {{0, "0000"}, {10, "000A"}, {4660, "1234"}, {74565, "2345"}, {0xFFFFFFFF, "FFFF"}};
    for (const auto& c : cases) EXPECT_EQ(Hex4(c.value), c.text) << c.value;
}

TEST(ResultTexts, HandleCellText) {
    EXPECT_EQ(HandleCellText(4660), " 4660 (&H1234)");
    EXPECT_EQ(HandleCellText(74565), " 74565 (&H2345)");
    EXPECT_EQ(HandleCellText(10), " 10 (&H000A)");
    EXPECT_EQ(HandleCellText(0), " 0 (&H0000)");
}

TEST(ResultTexts, StopBits) {
    EXPECT_EQ(StopBitsText(15000), "1.5");
    EXPECT_EQ(StopBitsText(10000), "1");
    EXPECT_EQ(StopBitsText(20000), "2");
}

TEST(ResultTests, OwnerAndLineTests) {
    PortRecord record = Record("COM1", "In-Use");
    EXPECT_FALSE(OwnerTestHolds(record, kOwnPid)) << "no owner";
    record.ProcessId = kOwnPid;
    EXPECT_FALSE(OwnerTestHolds(record, kOwnPid)) << "the program itself";
    record.ProcessId = kOwnPid + 1;
    EXPECT_TRUE(OwnerTestHolds(record, kOwnPid));

    const struct {
        const char* status;
        bool holds;
    } cases[] = {{"", false}, {"Disconnected", false}, {"DISCONNECTED", false}, {"disconnected", false},
                 {"In-Use", true}, {"Available", true}, {"Disconnected ", true}};
    for (const auto& c : cases) EXPECT_EQ(LineTestHolds(Record("COM1", c.status)), c.holds) << c.status;
}

TEST(ResultRows, ZeroSettingsLeaveTheirCellsOut) {
    const auto cells = CellsByColumn(Record("COM1", "Disconnected"));
    for (int column : {2, 3, 4, 5, 8, 9, 11, 12, 13, 20, 21, 22, 24, 25, 26, 27, 28, 43, 46})
        EXPECT_EQ(cells.count(column), 0u) << column;
    EXPECT_EQ(cells.at(15).text, "Cross-Over") << "CableKind 0 is a verdict";
    for (int column : {1, 6, 7, 10, 14, 19, 23}) EXPECT_EQ(cells.count(column), 1u) << column;
    EXPECT_EQ(cells.at(6).text, "Disconnected");
    EXPECT_EQ(cells.at(1).width, ColumnWidth::kUnchanged);
    EXPECT_EQ(cells.at(7).width, ColumnWidth::kUnchanged);
    EXPECT_EQ(cells.at(10).width, ColumnWidth::kAutosizeContent);
}

TEST(ResultRows, EmptyPortNameHidesTheSettings) {
    PortRecord record = Record("", "Available");
    record.Baud = 9600;
    record.DataBits = 8;
    record.StopBits = 10000;
    SetText(record.ParityName, "None");
    const auto cells = CellsByColumn(record);
    for (int column = 2; column <= 5; ++column) EXPECT_EQ(cells.count(column), 0u) << column;
    EXPECT_EQ(cells.at(1).text, "");
}

TEST(ResultRows, SettingsOwnerAndLineCells) {
    PortRecord record = Record("COM2", "In-Use");
    record.Baud = 115200;
    record.DataBits = 8;
    record.StopBits = 15000;
    SetText(record.ParityName, "None");
    record.ProcessId = 1234;
    record.ObjHandle = 74565;
    record.DupObjAddress = 10;
    record.FlowControlBits = 5;
    record.DtrCommand = 6;
    record.RtsCommand = 0;
    record.DataSendReady = 1;
    record.CableKind = -1;
    const auto cells = CellsByColumn(record);
    for (int column : {2, 3, 4, 5, 15, 20, 21, 26, 27, 28, 42, 43, 44, 46}) ASSERT_EQ(cells.count(column), 1u) << column;
    EXPECT_EQ(cells.at(2).text, "115200");
    EXPECT_EQ(cells.at(3).text, "None");
    EXPECT_EQ(cells.at(4).text, "8");
    EXPECT_EQ(cells.at(5).text, "1.5");
    EXPECT_EQ(cells.at(15).text, "Unknown");
    EXPECT_EQ(cells.at(20).text, " 1234");
    EXPECT_EQ(cells.at(21).text, " 74565 (&H2345)");
    EXPECT_EQ(cells.at(26).text, " 10 (&H000A)");
    EXPECT_EQ(cells.at(27).text, "");
    const char* bits[14] = {" 1", " 0", " 1", " 0", " 0", " 0", " 0", " 0", " 0", " 0", " 0", " 0", " 0", " 0"};
    for (int bit = 0; bit < 14; ++bit) EXPECT_EQ(cells.at(28 + bit).text, bits[bit]) << bit;
    EXPECT_EQ(cells.at(42).text, "");
    EXPECT_EQ(cells.at(43).text, "%CLRDTR");
    EXPECT_EQ(cells.at(44).text, "%ON");
    EXPECT_EQ(cells.count(45), 0u) << "RtsCommand 0 writes nothing";
    EXPECT_EQ(cells.at(46).text, "%OFF");
    for (int column = 28; column <= 46; ++column)
        if (column != 45) { EXPECT_EQ(cells.at(column).width, ColumnWidth::kUnchanged) << column; }
}

TEST(ResultRows, CellsAreWrittenInAscendingColumnOrder) {
    PortRecord record = Record("COM2", "Available");
    record.ProcessId = 77;
    record.DtrCommand = 5;
    record.RtsCommand = 3;
    const std::vector<CellWrite> cells = ResultRowCells(record, kOwnPid);
    EXPECT_TRUE(std::is_sorted(cells.begin(), cells.end(),
                               [](const CellWrite& a, const CellWrite& b) { return a.column < b.column; }));
    const auto byColumn = CellsByColumn(record);
    EXPECT_EQ(byColumn.at(43).text, "%SETDTR");
    EXPECT_EQ(byColumn.at(45).text, "%SETRTS");
}

TEST(ResultRows, RealNameComparesIgnoringCaseForTheCellButExactlyForTheHeader) {
    PortRecord record = Record("COM3", "Available");
    SetText(record.DeviceName, "com3");
    EXPECT_EQ(CellsByColumn(record).count(8), 0u);
    const auto outcome = FinalHeaderOutcome({record}, kOwnPid);
    EXPECT_EQ(outcome[8].header, std::optional<std::string>("Real Name"));
    EXPECT_EQ(outcome[8].width, ColumnWidth::kAutosizeWithHeader) << "no content autosize for a case-only difference";

    SetText(record.DeviceName, "\\Device\\Serial2");
    EXPECT_EQ(CellsByColumn(record).at(8).text, "\\Device\\Serial2");
    EXPECT_EQ(FinalHeaderOutcome({record}, kOwnPid)[8].width, ColumnWidth::kAutosizeContent);
}

TEST(ResultHeaders, GroupsAppearOnlyWhenSomeRecordFillsThem) {
    PortRecord plain = Record("COM1", "Disconnected");
    plain.CableKind = 2;
    auto outcome = FinalHeaderOutcome({plain}, kOwnPid);
    EXPECT_EQ(outcome[1].header, std::optional<std::string>("Port"));
    EXPECT_EQ(outcome[6].header, std::optional<std::string>("Status"));
    for (int column : {2, 3, 4, 5, 8, 9, 11, 15, 20, 24, 28, 43}) EXPECT_FALSE(outcome[column].header) << column;
    EXPECT_EQ(outcome[10].header, std::optional<std::string>(""));
    EXPECT_EQ(outcome[10].width, ColumnWidth::kUnchanged);
    EXPECT_EQ(outcome[23].width, ColumnWidth::kAutosizeWithHeader);

    PortRecord busy = Record("COM2", "In-Use");
    busy.ProcessId = 9;
    busy.Baud = 9600;
    busy.CableKind = 0;
    outcome = FinalHeaderOutcome({plain, busy}, kOwnPid);
    EXPECT_EQ(outcome[2].header, std::optional<std::string>("Baud"));
    EXPECT_EQ(outcome[15].header, std::optional<std::string>("Cable"));
    EXPECT_EQ(outcome[15].width, ColumnWidth::kAutosizeContent);
    const char* owner[] = {"ProcID", "ObjHndl", "ObjAddr", "", "DupProcID", "DupObjHndl", "DupObjAddr", ""};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(outcome[20 + i].header, std::optional<std::string>(owner[i])) << 20 + i;
    EXPECT_EQ(outcome[28].header, std::optional<std::string>("Binary"));
    EXPECT_EQ(outcome[34].header, std::optional<std::string>("TxContOnXoff"));
    EXPECT_EQ(outcome[42].header, std::optional<std::string>(""));
    EXPECT_EQ(outcome[44].header, std::optional<std::string>("DSR"));
}

TEST(ResultHeaders, StatusHeaderNeedsStatusOrPortName) {
    EXPECT_FALSE(FinalHeaderOutcome({Record("", "")}, kOwnPid)[6].header);
    EXPECT_TRUE(FinalHeaderOutcome({Record("", "In-Use")}, kOwnPid)[6].header);
    EXPECT_TRUE(FinalHeaderOutcome({Record("COM1", "")}, kOwnPid)[6].header);
}

TEST(ResultHeaders, OwnProcessHidesTheOwnerGroup) {
    PortRecord record = Record("COM1", "In-Use");
    record.ProcessId = kOwnPid;
    EXPECT_FALSE(FinalHeaderOutcome({record}, kOwnPid)[20].header);
}

TEST(ResultColours, SeparatorsAndStatuses) {
    const DWORD cell = CDDS_ITEMPREPAINT | CDDS_SUBITEM;
    EXPECT_EQ(DecideCustomDraw(CDDS_PREPAINT, 0, std::nullopt).result, CDRF_NOTIFYSUBITEMDRAW);
    EXPECT_EQ(DecideCustomDraw(CDDS_ITEMPREPAINT, 3, std::nullopt).result, CDRF_NOTIFYSUBITEMDRAW);
    EXPECT_EQ(DecideCustomDraw(CDDS_POSTPAINT, 0, std::nullopt).result, CDRF_DODEFAULT);
    EXPECT_FALSE(DecideCustomDraw(CDDS_POSTPAINT, 0, std::nullopt).background);

    for (int subItem = 0; subItem < 46; ++subItem) {
        const bool separator = subItem == 6 || subItem == 9 || subItem == 13 || subItem == 18 || subItem == 26 ||
                               subItem == 41;
        EXPECT_EQ(IsSeparatorSubItem(subItem), separator) << subItem;
        const CustomDrawAnswer answer = DecideCustomDraw(cell, subItem, std::string_view("Available"));
        EXPECT_EQ(answer.result, CDRF_NEWFONT);
        EXPECT_EQ(answer.text, std::optional<COLORREF>(separator ? 0x238E6B : 0x00FF00)) << subItem;
        EXPECT_EQ(answer.background, std::optional<COLORREF>(separator ? 0xFF0000 : 0)) << subItem;
    }
    const struct {
        const char* status;
        std::optional<COLORREF> text;
    } cases[] = {{"In-Use", 0x00FFFF},       {"in-use", 0x00FFFF},  {"AVAILABLE", 0x00FF00},
                 {"Disconnected", 0x0000FF}, {"", std::nullopt},    {"In Use", std::nullopt}};
    for (const auto& c : cases) {
        const CustomDrawAnswer answer = DecideCustomDraw(cell, 1, std::string_view(c.status));
        EXPECT_EQ(answer.text, c.text) << c.status;
        EXPECT_EQ(answer.background, std::optional<COLORREF>(0)) << c.status;
    }
}

}  // namespace

namespace {

TEST(ShownRecord, CableText) {
    const struct {
        int32_t kind, response, dtr, rts;
        std::optional<std::string> text;
        uint32_t winError = 0;
        const char* status = "Available";
    } cables[] = {
        {-1, 0, 0, 0, "Not Tested", 5, "In-Use"},  // a held port the test only read
        {-1, 0, 5, 3, "Unknown"},                  // driven, no answer
        {0, 0, 0, 0, "Cross-Over"},                // a zero record
        {2, 0, 0, 0, std::nullopt},
        {-1, 0, 5, 0, "Not Supported", 31},        // the driver refused DTR
        {-1, 0, 5, 3, "Unknown", 2, "Disconnected"},  // no port to drive: the open's error
        {-1, -1, 5, 3, "Unknown", 31},             // an answer, whatever the error fields say
    };
    for (const auto& c : cables) {
        PortRecord record{};
        record.CableKind = c.kind;
        record.CableResponse = c.response;
        record.DtrCommand = c.dtr;
        record.RtsCommand = c.rts;
        record.WinError = c.winError;
        SetText(record.Status, c.status);
        EXPECT_EQ(ShownCableText(record), c.text) << c.kind << " " << c.response << " " << c.dtr;
    }
}

}  // namespace
