// Names in every script through the console: the cells a console gives them, the table fitted
// to 100 cells, the bytes each code page gets, and the road a writer takes to a console or to
// redirected output (through a seam: the system calls are the test's).
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "app/common/identity_view.h"
#include "app/console/console_writer.h"
#include "app/console/record_values.h"
#include "app/console/scan_tsv.h"
#include "app/console/scan_table.h"
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
    } widths[] = {
        {"COM3", 4}, {kFrench, 29}, {kGerman, 26}, {kRussian, 38}, {kChinese, 19},
        {"e\xCC\x81", 1},          // e and a combining acute accent
        {"\xEF\xBC\xA1\xEF\xBC\xA2", 4},  // full-width A B
        {"\xFF\xC3", 2},           // malformed bytes take a cell each
    };
    for (const auto& w : widths) EXPECT_EQ(DisplayWidth(w.text), w.cells) << w.text;

    const struct {
        const char* text;
        size_t width;
        const char* shortened;
    } cuts[] = {
        {kFrench, 12, "Périp...OM3)"},
        {kRussian, 14, "Послед...COM6)"},
        {"串行设备串行设备", 9, "串...设备"},
        {"串行设备串行设备", 8, "串...备"},  // a wide character that does not fit leaves a blank cell
        {"串行设备", 3, "串"},
        {kChinese, 40, kChinese},
    };
    for (const auto& c : cuts) {
        EXPECT_EQ(ShortenMiddle(c.text, c.width), c.shortened) << c.text << " in " << c.width;
        EXPECT_LE(DisplayWidth(ShortenMiddle(c.text, c.width)), c.width);
    }
    EXPECT_EQ(PadToWidth("串行", 6), "串行  ");
}

TEST(ConsoleText, TableKeepsOneHundredCellsWithEveryName) {
    std::string longChinese = std::string(kChinese) + " ";
    for (int i = 0; i < 10; ++i) longChinese += "串行设备";  // 80 cells more
    const char* names[] = {kFrench, kGerman, kRussian, longChinese.c_str()};
    std::vector<ConsoleRow> rows;
    HardwareSnapshot hardware;
    for (int i = 0; i < 4; ++i) {
        PortIdentity device;
        device.portName = "COM" + std::to_string(3 + i);
        device.friendlyName = names[i];
        device.present = true;
        hardware.devices.push_back(device);
        ConsoleRow row;
        SetText(row.record.PortName, device.portName);
        SetText(row.record.Status, "Available");
        SetText(row.record.DeviceName, "\\Device\\Serial" + std::to_string(i));
        row.record.Baud = 9600;
        row.record.DataBits = 8;
        row.record.StopBits = 10000;
        row.identity = IdentityFieldsOf(hardware, device.portName);
        rows.push_back(row);
    }
    for (RowSource source : {RowSource::kScan, RowSource::kListing}) {
        const std::vector<std::string> lines = console_test::Lines(RenderTable(rows, source));
        ASSERT_EQ(lines.size(), 6u);
        for (const std::string& line : lines) EXPECT_LE(DisplayWidth(line), kTableWidth) << line;
        // Every row's device starts under the header's "Device", counted in cells.
        const size_t column = DisplayWidth(lines[0].substr(0, lines[0].find("Device")));
        for (int i = 0; i < 3; ++i) EXPECT_EQ(lines[1 + i].substr(lines[1 + i].size() - std::string(names[i]).size()),
                                              names[i]);
        // The long name is cut at the last cell (one blank where a wide character would not fit).
        EXPECT_GE(DisplayWidth(lines[4]), kTableWidth - 1) << lines[4];
        EXPECT_NE(lines[4].find("..."), std::string::npos) << lines[4];
        EXPECT_EQ(DisplayWidth(lines[4].substr(0, lines[4].find("USB 串行"))), column);
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
    // Names x settings (Western: OEM 850, ANSI 1252; Russian: 866, 1251) x outputs.
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
        EXPECT_EQ(RedirectedBytes(std::string(row.name) + "\n", row.codePage), row.bytes)
            << row.name << " in " << row.codePage;

    const struct {
        bool console;
        OutputEncoding encoding;
        bool wide;
        unsigned codePage;
    } roads[] = {
        {true, OutputEncoding::kUtf8, true, 65001}, {true, OutputEncoding::kOem, true, 866},
        {false, OutputEncoding::kUtf8, false, 65001}, {false, OutputEncoding::kOem, false, 866},
        {false, OutputEncoding::kAnsi, false, 1251},
    };
    for (const auto& r : roads) {
        const OutputRoad road = ChooseOutputRoad(r.console, r.encoding, 866, 1251);
        EXPECT_EQ(road.console, r.wide);
        EXPECT_EQ(road.codePage, r.codePage);
        // The writer asks the system once and takes that road for every text.
        Seen::console = r.console;
        Seen::wide.clear();
        Seen::bytes.clear();
        const OutputWriter writer(nullptr, r.encoding, kFakeCalls);
        EXPECT_TRUE(writer.Write(std::string(kChinese) + "\n"));
        Seen::console = !r.console;
        EXPECT_TRUE(writer.Write(kRussian));
        if (r.wide) {
            EXPECT_EQ(Seen::wide, L"USB \u4E32\u884C\u8BBE\u5907 (COM5)\n"
                                  L"\u041F\u043E\u0441\u043B\u0435\u0434\u043E\u0432\u0430\u0442\u0435\u043B\u044C"
                                  L"\u043D\u043E\u0435 \u0443\u0441\u0442\u0440\u043E\u0439\u0441\u0442\u0432\u043E"
                                  L" USB (COM6)");
            EXPECT_EQ(Seen::bytes, "");
        } else {
            EXPECT_EQ(Seen::wide, L"");
            EXPECT_EQ(Seen::bytes.rfind(r.codePage == 65001 ? "USB \xE4\xB8\xB2" : "USB ???? (COM5)\r\n", 0), 0u);
        }
    }
}

TEST(ConsoleText, EncodingOption) {
    const struct {
        std::vector<std::string> args;
        bool ok;
        OutputEncoding encoding;
    } cases[] = {
        {{}, true, OutputEncoding::kUtf8},
        {{"--encoding", "OEM"}, true, OutputEncoding::kOem},
        {{"--list", "--encoding", "ansi", "--json"}, true, OutputEncoding::kAnsi},
        {{"--encoding", "utf8"}, true, OutputEncoding::kUtf8},
        {{"--encoding", "latin1"}, false, OutputEncoding::kUtf8},
        {{"--encoding"}, false, OutputEncoding::kUtf8},
    };
    for (const auto& c : cases) {
        const CommandLine line = ParseCommandLine(c.args);
        EXPECT_EQ(line.action == CommandLine::Action::kRun, c.ok) << line.text;
        if (c.ok) {
            EXPECT_EQ(line.options.encoding, c.encoding);
        }
    }
}

TEST(ConsoleText, OwnerPathShownWholeWhenItIsTheRecordsOne) {
    if (GetACP() != 1252) GTEST_SKIP() << "a Western ANSI code page is expected";
    PortRecord held{};
    SetText(held.PortName, "COM3");
    SetText(held.ProgramPath, "C:\\Users\\??\\term.exe");  // what the ANSI query gives
    held.ProcessId = 312;
    held.DupProcessID = 7;
    PortRecord own = held;
    own.ProcessId = 7;
    const std::string whole = "C:\\Users\\张伟\\term.exe";
    const struct {
        const PortRecord* record;
        std::string read, kept;
    } cases[] = {
        {&held, whole, whole},
        {&held, "C:\\Users\\ab\\term.exe", ""},  // another program has the process id by now
        {&held, "", ""},
        {&own, whole, ""},  // the scanner itself is no owner
    };
    for (const auto& c : cases) EXPECT_EQ(WholeOwnerPath(*c.record, c.read), c.kept) << c.read;
    EXPECT_EQ(ForeignOwnerTextUtf8(held, whole), whole + " (pid 312)");
    EXPECT_EQ(ForeignOwnerTextUtf8(held, ""), "C:\\Users\\??\\term.exe (pid 312)");
    ConsoleRow row;
    row.record = held;
    row.ownerPath = whole;
    const std::vector<console_test::Row> tsv = console_test::ParseTsv(RenderTsv({row}, RowSource::kScan));
    ASSERT_EQ(tsv.size(), 1u);
    EXPECT_EQ(tsv[0].at("ProgramPath"), "C:\\\\Users\\\\张伟\\\\term.exe");
    EXPECT_EQ(tsv[0].at("ProgramName"), "term.exe");
    EXPECT_NE(RenderTable({row}, RowSource::kScan).find("张伟"), std::string::npos);
}

TEST(ConsoleText, JsonForAnOldCodePageLosesNothing) {
    const nlohmann::ordered_json document = {{"FriendlyName", kChinese}, {"clef", "\xF0\x9D\x84\x9E"}, {"ascii", "COM3"}};
    const std::string ascii = AsciiJson(document.dump());
    EXPECT_EQ(ascii, "{\"FriendlyName\":\"USB \\u4e32\\u884c\\u8bbe\\u5907 (COM5)\",\"clef\":\"\\ud834\\udd1e\","
                     "\"ascii\":\"COM3\"}");
    EXPECT_EQ(nlohmann::ordered_json::parse(ascii), document);
}

TEST(ConsoleText, WindowAndReportTakeTheNamesInTheirAnsiCodePage) {
    if (GetACP() != 1252) GTEST_SKIP() << "a Western ANSI code page is expected";
    PortIdentity device;
    device.portName = "COM3";
    device.friendlyName = kFrench;
    EXPECT_EQ(IdentityCellText(&device, kFirstIdentityColumn + 1), "P\xE9riph\xE9rique s\xE9rie USB (COM3)");
    device.friendlyName = kChinese;
    EXPECT_EQ(IdentityCellText(&device, kFirstIdentityColumn + 1), "USB ???? (COM5)");
    HardwareSnapshot hardware;
    hardware.devices = {device};
    const std::vector<std::string> lines = HardwareReportLines({}, hardware);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "     Friendly Name =      USB ???? (COM5)"), lines.end());
}

}  // namespace
