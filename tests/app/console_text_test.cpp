// Names in every script through the console: the cells a console gives them, the table fitted
// to 100 cells, the bytes each code page gets, and the road a writer takes to a console or to
// redirected output (through a seam: the system calls are the test's).
#include <gtest/gtest.h>

#include <cstring>

#include <nlohmann/json.hpp>

#include "app/common/identity_view.h"
#include "app/console/console_writer.h"
#include "app/console/record_values.h"
#include "app/console/scan_table.h"
#include "app/console/scan_tsv.h"
#include "app/console/text_fit.h"
#include "e2e/console_output.h"
#include "support/fixed_text.h"

using namespace kestrune;

namespace {

// The generic USB serial driver's names on a French, German, Russian and Chinese Windows.
const char kFrench[] = "Périphérique série USB (COM3)";
const char kGerman[] = "Serielles USB-Gerät (COM4)";
const char kRussian[] = "Последовательное устройство USB (COM6)";
const char kChinese[] = "USB 串行设备 (COM5)";

TEST(ConsoleText, CellsAndShorteningInEveryScript) {
    const struct {
        const char* text;
        size_t cells;
    } widths[] = {{"COM3", 4}, {kFrench, 29}, {kGerman, 26}, {kRussian, 38}, {kChinese, 19},
                  {"e\xCC\x81", 1},                 // e and a combining acute accent
                  {"\xEF\xBC\xA1\xEF\xBC\xA2", 4},  // full-width A B
                  {"\xFF\xC3", 2}};                 // malformed bytes take a cell each
    for (const auto& w : widths) EXPECT_EQ(DisplayWidth(w.text), w.cells) << w.text;
    const struct {
        const char* text;
        size_t width;
        const char* shortened;
    } cuts[] = {{kFrench, 12, "Périp...OM3)"}, {kRussian, 14, "Послед...COM6)"}, {"串行设备串行设备", 9, "串...设备"},
                {"串行设备串行设备", 8, "串...备"},  // a wide character that does not fit leaves a blank cell
                {"串行设备", 3, "串"},             {kChinese, 40, kChinese}};
    for (const auto& c : cuts) EXPECT_EQ(ShortenMiddle(c.text, c.width), c.shortened) << c.text << " in " << c.width;
    EXPECT_EQ(PadToWidth("串行", 6), "串行  ");
}

TEST(ConsoleText, TableKeepsOneHundredCellsWithEveryName) {
    std::string longChinese = std::string(kChinese) + " ";
    for (int i = 0; i < 10; ++i) longChinese += "串行设备";  // 80 cells more
    const char* names[] = {kFrench, kGerman, kRussian, longChinese.c_str()};
    std::vector<ConsoleRow> rows(4);
    HardwareSnapshot hardware;
    for (int i = 0; i < 4; ++i) {
        PortIdentity device;
        device.portName = "COM" + std::to_string(3 + i);
        device.friendlyName = names[i];
        hardware.devices.push_back(device);
        SetText(rows[i].record.PortName, device.portName);
        SetText(rows[i].record.Status, "Available");
        SetText(rows[i].record.DeviceName, "\\Device\\Serial" + std::to_string(i));
        rows[i].record.Baud = 9600;
        rows[i].identity = IdentityFieldsOf(hardware, device.portName);
    }
    for (RowSource source : {RowSource::kScan, RowSource::kListing}) {
        const std::vector<std::string> lines = console_test::Lines(RenderTable(rows, source));
        ASSERT_EQ(lines.size(), 6u);
        for (const std::string& line : lines) EXPECT_LE(DisplayWidth(line), kTableWidth) << line;
        for (int i = 0; i < 3; ++i) EXPECT_EQ(lines[1 + i].substr(lines[1 + i].size() - strlen(names[i])), names[i]);
        // The long name is cut at the last cell (one blank where a wide character would not fit),
        // and starts under the header's "Device", counted in cells.
        EXPECT_GE(DisplayWidth(lines[4]), kTableWidth - 1) << lines[4];
        EXPECT_NE(lines[4].find("..."), std::string::npos) << lines[4];
        EXPECT_EQ(DisplayWidth(lines[4].substr(0, lines[4].find("USB 串行"))), lines[0].find("Device"));
    }
}

// What a writer did, through the seam.
struct Seen {
    static inline bool console = false;
    static inline std::wstring wide;
    static inline std::string bytes;
};
const ConsoleCalls kFakeCalls = {
    [](HANDLE) { return Seen::console; },
    [](HANDLE, std::wstring_view text) { return Seen::wide.append(text), true; },
    [](HANDLE, std::string_view bytes) { return Seen::bytes.append(bytes), true; },
};

TEST(ConsoleText, ConsoleGetsUtf16AndRedirectedOutputItsCodePage) {
    // Names x settings (Western: OEM 850, ANSI 1252; Russian: 866, 1251) x redirected outputs.
    const struct {
        const char* name;
        unsigned codePage;
        const char* bytes;
    } table[] = {
        {kFrench, 65001, "P\xC3\xA9riph\xC3\xA9rique s\xC3\xA9rie USB (COM3)\r\n"},
        {kFrench, 850, "P\x82riph\x82rique s\x82rie USB (COM3)\r\n"},
        {kFrench, 1252, "P\xE9riph\xE9rique s\xE9rie USB (COM3)\r\n"},
        {kFrench, 866, "P?riph?rique s?rie USB (COM3)\r\n"},
        {kFrench, 1251, "P?riph?rique s?rie USB (COM3)\r\n"},
        {kGerman, 850, "Serielles USB-Ger\x84t (COM4)\r\n"},
        {kGerman, 1252, "Serielles USB-Ger\xE4t (COM4)\r\n"},
        {kGerman, 866, "Serielles USB-Ger?t (COM4)\r\n"},
        {kRussian, 866, "\x8F\xAE\xE1\xAB\xA5\xA4\xAE\xA2\xA0\xE2\xA5\xAB\xEC\xAD\xAE\xA5 \xE3\xE1\xE2\xE0\xAE\xA9"
                        "\xE1\xE2\xA2\xAE USB (COM6)\r\n"},
        {kRussian, 1251, "\xCF\xEE\xF1\xEB\xE5\xE4\xEE\xE2\xE0\xF2\xE5\xEB\xFC\xED\xEE\xE5 \xF3\xF1\xF2\xF0\xEE\xE9"
                         "\xF1\xF2\xE2\xEE USB (COM6)\r\n"},
        {kRussian, 850, "???????????????? ?????????? USB (COM6)\r\n"},
        {kChinese, 65001, "USB \xE4\xB8\xB2\xE8\xA1\x8C\xE8\xAE\xBE\xE5\xA4\x87 (COM5)\r\n"},
        {kChinese, 1252, "USB ???? (COM5)\r\n"},
        {kChinese, 866, "USB ???? (COM5)\r\n"},
    };
    for (const auto& row : table)
        EXPECT_EQ(RedirectedBytes(std::string(row.name) + "\n", row.codePage), row.bytes) << row.codePage;

    const struct {
        bool console;
        OutputEncoding encoding;
        unsigned codePage;
    } roads[] = {{true, OutputEncoding::kUtf8, 65001}, {true, OutputEncoding::kOem, 866},
                 {false, OutputEncoding::kUtf8, 65001}, {false, OutputEncoding::kOem, 866},
                 {false, OutputEncoding::kAnsi, 1251}};
    for (const auto& r : roads) {
        const OutputRoad road = ChooseOutputRoad(r.console, r.encoding, 866, 1251);
        EXPECT_EQ(road.console, r.console);
        EXPECT_EQ(road.codePage, r.codePage);
        // The writer asks the system once and takes that road for every text.
        Seen::console = r.console;
        Seen::wide.clear();
        Seen::bytes.clear();
        const OutputWriter writer(nullptr, r.encoding, kFakeCalls);
        EXPECT_TRUE(writer.Write(std::string(kChinese) + "\n"));
        Seen::console = !r.console;
        EXPECT_TRUE(writer.Write("x"));
        EXPECT_EQ(Seen::wide, r.console ? L"USB \u4E32\u884C\u8BBE\u5907 (COM5)\r\nx" : L"");
        const std::string bytes = r.console ? "" : r.codePage == 65001 ? "USB \xE4\xB8\xB2" : "USB ???? (COM5)\r\nx";
        EXPECT_EQ(Seen::bytes.substr(0, bytes.size()), bytes);
        EXPECT_EQ(Seen::bytes.empty(), r.console);
    }
    for (const char* bad : {"latin1", "--list"}) EXPECT_EQ(ParseCommandLine({"--encoding", bad}).action,
                                                           CommandLine::Action::kUsageError);
    EXPECT_EQ(ParseCommandLine({"--list", "--encoding", "OEM"}).options.encoding, OutputEncoding::kOem);
    EXPECT_EQ(ParseCommandLine({}).options.encoding, OutputEncoding::kUtf8);
}

TEST(ConsoleText, OwnerPathShownWholeWhenItIsTheRecordsOne) {
    if (GetACP() != 1252) GTEST_SKIP() << "a Western ANSI code page is expected";
    PortRecord held{};
    SetText(held.ProgramPath, "C:\\Users\\??\\term.exe");  // what the ANSI query gives
    held.ProcessId = 312;
    held.DupProcessID = 7;
    PortRecord own = held;
    own.ProcessId = 7;
    const std::string whole = "C:\\Users\\张伟\\term.exe";
    EXPECT_EQ(WholeOwnerPath(held, whole), whole);
    EXPECT_EQ(WholeOwnerPath(held, "C:\\Users\\ab\\term.exe"), "") << "another program has the process id by now";
    EXPECT_EQ(WholeOwnerPath(own, whole), "") << "the scanner itself is no owner";
    EXPECT_EQ(ForeignOwnerTextUtf8(held, ""), "C:\\Users\\??\\term.exe (pid 312)");
    ConsoleRow row;
    row.record = held;
    row.ownerPath = whole;
    const std::vector<console_test::Row> tsv = console_test::ParseTsv(RenderTsv({row}, RowSource::kScan));
    EXPECT_EQ(tsv.at(0).at("ProgramPath"), "C:\\\\Users\\\\张伟\\\\term.exe");
    EXPECT_EQ(tsv.at(0).at("ProgramName"), "term.exe");
    EXPECT_NE(RenderTable({row}, RowSource::kScan).find("张伟\\term.exe (pid 312)"), std::string::npos);
    // The window and the report take identity texts in their ANSI code page.
    PortIdentity device;
    device.portName = "COM5";
    device.friendlyName = kFrench;
    EXPECT_EQ(IdentityCellText(&device, kFirstIdentityColumn + 1), "P\xE9riph\xE9rique s\xE9rie USB (COM3)");
    device.friendlyName = kChinese;
    const std::vector<std::string> lines = HardwareReportLines({}, {{device}, {}, true});
    EXPECT_NE(std::find(lines.begin(), lines.end(), "     Friendly Name =      USB ???? (COM5)"), lines.end());
}

TEST(ConsoleText, JsonForAnOldCodePageLosesNothing) {
    const nlohmann::ordered_json document = {{"FriendlyName", kChinese}, {"clef", "\xF0\x9D\x84\x9E"}, {"a", "COM3"}};
    const std::string ascii = AsciiJson(document.dump());
    EXPECT_EQ(ascii, R"j({"FriendlyName":"USB \u4e32\u884c\u8bbe\u5907 (COM5)","clef":"\ud834\udd1e","a":"COM3"})j");
    EXPECT_EQ(nlohmann::ordered_json::parse(ascii), document);
}

}  // namespace
