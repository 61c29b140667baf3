// The console front end's plain decisions: the command line, the TSV escaping, fitting the
// table into 100 columns, the named record values, the watch's events, and the JSON and
// TSV of the same records agreeing field by field.
#include <gtest/gtest.h>

#include <cstring>

#include <nlohmann/json.hpp>

#include "app/console/identity_fields.h"
#include "app/console/port_watch.h"
#include "app/console/record_values.h"
#include "app/console/scan_json.h"
#include "app/console/scan_options.h"
#include "app/console/scan_table.h"
#include "app/console/scan_tsv.h"
#include "app/console/text_fit.h"
#include "e2e/console_output.h"
#include "scan/port_selection.h"
#include "support/fixed_text.h"

using namespace kestrune;

namespace {

TEST(ConsoleCommandLine, ModesFormatsPortsAndErrors) {
    using A = CommandLine::Action;
    struct Case {
        std::vector<std::string> args;
        A action;
        RunMode mode;
        OutputFormat format;
        std::vector<std::string> ports;
    };
    const Case cases[] = {
        {{}, A::kRun, RunMode::kScan, OutputFormat::kTable, {}},
        {{"--tsv"}, A::kRun, RunMode::kScan, OutputFormat::kTsv, {}},
        {{"--list", "--json"}, A::kRun, RunMode::kList, OutputFormat::kJson, {}},
        {{"--watch", "--list"}, A::kRun, RunMode::kWatch, OutputFormat::kTable, {}},
        {{"--port", "com3", "--port", "COM10:", "--port", "COM3"}, A::kRun, RunMode::kScan, OutputFormat::kTable,
         {"COM3", "COM10"}},
        {{"--port", "COM4,COM2"}, A::kRun, RunMode::kScan, OutputFormat::kTable, {"COM4", "COM2"}},
        {{"--help"}, A::kHelp, RunMode::kScan, OutputFormat::kTable, {}},
        {{"/?"}, A::kHelp, RunMode::kScan, OutputFormat::kTable, {}},
        {{"--report", "--whole-environment", "--json"}, A::kRun, RunMode::kScan, OutputFormat::kJson, {}},
        {{"--list", "--report"}, A::kUsageError, RunMode::kScan, OutputFormat::kTable, {}},
        {{"--whole-environment"}, A::kUsageError, RunMode::kScan, OutputFormat::kTable, {}},
        {{"--list", "/?"}, A::kHelp, RunMode::kScan, OutputFormat::kTable, {}},
        {{"--version"}, A::kVersion, RunMode::kScan, OutputFormat::kTable, {}},
        {{"--tsv", "--json"}, A::kUsageError, RunMode::kScan, OutputFormat::kTable, {}},
        {{"--port", "LPT1"}, A::kUsageError, RunMode::kScan, OutputFormat::kTable, {}},
        {{"--port", "COM01"}, A::kUsageError, RunMode::kScan, OutputFormat::kTable, {}},
        {{"--port"}, A::kUsageError, RunMode::kScan, OutputFormat::kTable, {}},
        {{"COM3"}, A::kUsageError, RunMode::kScan, OutputFormat::kTable, {}},
        {{"--lsit"}, A::kUsageError, RunMode::kScan, OutputFormat::kTable, {}},
    };
    for (const Case& c : cases) {
        std::string joined;
        for (const std::string& a : c.args) joined += a + " ";
        SCOPED_TRACE(joined);
        const CommandLine line = ParseCommandLine(c.args);
        EXPECT_EQ(line.action, c.action);
        if (c.action == A::kUsageError) {
            EXPECT_EQ(line.text.find('\n'), std::string::npos) << line.text;
            EXPECT_EQ(line.text.rfind("kestrune-scan: ", 0), 0u) << line.text;
            continue;
        }
        EXPECT_EQ(line.options.mode, c.mode);
        EXPECT_EQ(line.options.format, c.format);
        EXPECT_EQ(line.options.ports, c.ports);
    }
    const std::string help = ParseCommandLine({"--help"}).text;
    EXPECT_NE(help.find("\\\\"), std::string::npos) << "help tells the TSV escaping";
    EXPECT_EQ(help.find("Excludes"), std::string::npos) << "no parser clutter";
    EXPECT_EQ(ParseCommandLine({"/?"}).text, help);
}

TEST(ConsoleTsv, EscapingIsUnambiguousAndReversible) {
    const struct {
        std::string raw, escaped;
    } cases[] = {
        {"C:\\tools", "C:\\\\tools"},  // no longer reads back as a tab
        {"a\tb", "a\\tb"},
        {"line\r\nnext", "line\\r\\nnext"},
        {"\\t", "\\\\t"},
        {std::string("bell\x07", 5), "bell\\x07"},
        {"\x7f", "\\x7F"},
        {"plain text", "plain text"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TsvEscape(c.raw), c.escaped);
        std::string back;
        ASSERT_TRUE(console_test::TsvUnescape(c.escaped, back));
        EXPECT_EQ(back, c.raw);
    }
}

TEST(ConsoleTable, ShortenInTheMiddleAndShrinkTheWidestColumn) {
    EXPECT_EQ(ShortenMiddle("C:\\Program Files\\Vendor\\tool.exe", 20), "C:\\Progra...tool.exe");
    EXPECT_EQ(ShortenMiddle("short", 20), "short");
    EXPECT_EQ(ShortenMiddle("abcdef", 3), "abc");
    EXPECT_EQ(ShortenMiddle("abcdef", 5), "a...f");
    EXPECT_EQ(ShortenMiddleKeepingTail("C:\\Tools\\Vendor\\t.exe (pid 42)", 21, 20), "C:\\T....exe (pid 42)");
    EXPECT_EQ(ShortenMiddleKeepingTail("C:\\t.exe (pid 4242424242)", 8, 12), "C:\\t....242)");  // tail too long
    const struct {
        std::vector<size_t> natural, minimum;
        size_t total;
        std::vector<size_t> widths;
        std::vector<int> yieldOrder;
    } cases[] = {
        {{4, 10, 30}, {4, 10, 8}, 100, {4, 10, 30}},  // fits
        {{4, 40, 60}, {4, 8, 8}, 50, {4, 21, 21}},    // the widest gives first, then both
        {{4, 40, 60}, {4, 40, 60}, 50, {4, 40, 60}},  // nothing may shrink
        {{4, 40, 60}, {4, 30, 30}, 10, {4, 30, 30}},  // down to the minimums only
        {{4, 40, 60}, {4, 8, 8}, 50, {4, 34, 8}, {0, 1, 0}},   // the last column yields first
        {{4, 40, 60}, {4, 8, 20}, 50, {4, 22, 20}, {0, 1, 0}},  // down to its minimum, then the next
    };
    for (const auto& c : cases) EXPECT_EQ(FitColumnWidths(c.natural, c.minimum, 2, c.total, c.yieldOrder), c.widths);
}

PortRecord Record(const char* port, const char* status, const char* device) {
    PortRecord r{};
    SetText(r.PortName, port);
    SetText(r.Status, status);
    SetText(r.DeviceName, device);
    SetText(r.sObjName, device);
    return r;
}

TEST(ConsoleTable, FitsOneHundredColumnsWithLongPaths) {
    std::vector<ConsoleRow> rows(2);
    rows[0].record = Record("COM3", "In-Use", "\\Device\\VeryLongVendorSerialDeviceName_With_A_Long_Suffix_000123");
    rows[0].record.ProcessId = 4242;
    rows[0].record.DupProcessID = 7;
    SetText(rows[0].record.ProgramPath,
            "C:\\Program Files (x86)\\Some Vendor\\Terminal Suite 2024\\bin\\x86\\terminal-program.exe");
    rows[0].record.Baud = 115200;
    rows[0].record.DataBits = 8;
    rows[0].record.StopBits = 15000;
    rows[1].record = Record("COM12", "Available", "\\Device\\Serial1");
    const std::vector<std::string> lines = console_test::Lines(RenderTable(rows, RowSource::kScan));
    ASSERT_EQ(lines.size(), 4u);
    for (const std::string& line : lines) EXPECT_LE(line.size(), kTableWidth) << line;
    EXPECT_NE(lines[1].find("115200 8N1.5"), std::string::npos) << lines[1];
    // The owner is capped and keeps its process id; the device takes what is left.
    EXPECT_NE(lines[1].find(".exe (pid 4242)  "), std::string::npos) << lines[1];
    EXPECT_EQ(lines[0].find("Type"), std::string::npos) << "a column empty in every row takes no room";
    EXPECT_GE(lines[1].size() - lines[0].find("Device"), 24u) << lines[1];
    // Rows in COM-number order: COM3 before COM12.
    EXPECT_EQ(lines[1].rfind("COM3", 0), 0u);
    EXPECT_EQ(lines[2].rfind("COM12", 0), 0u);
    EXPECT_EQ(lines[3], "2 ports: 1 available, 1 in use, 0 disconnected; 1 held by another program");
}

TEST(ConsoleValues, SettingsControlModesAndOwners) {
    const struct {
        int32_t baud, data, parity;
        int64_t stop;
        const char* text;
    } settings[] = {
        {9600, 8, 0, 10000, "9600 8N1"},   {19200, 7, 2, 20000, "19200 7E2"}, {300, 5, 1, 15000, "300 5O1.5"},
        {1200, 8, 3, 10000, "1200 8M1"},   {1200, 8, 4, 10000, "1200 8S1"},   {1200, 8, 9, 10000, "1200 8?1"},
        {0, 8, 0, 10000, ""},
    };
    for (const auto& s : settings) EXPECT_EQ(LineSettingsText(s.baud, s.data, s.parity, s.stop), s.text);

    PortRecord r{};
    EXPECT_FALSE(DtrControlName(r).has_value()) << "no control block read";
    r.CommConfig.dwSize = sizeof r.CommConfig;
    const char* const dtr[] = {"disable", "enable", "handshake", nullptr};
    const char* const rts[] = {"disable", "enable", "handshake", "toggle"};
    for (unsigned mode = 0; mode < 4; ++mode) {
        r.CommConfig.dcb.fDtrControl = mode;
        r.CommConfig.dcb.fRtsControl = mode;
        EXPECT_EQ(DtrControlName(r).value_or("none"), dtr[mode] ? dtr[mode] : "none");
        EXPECT_EQ(RtsControlName(r).value_or("none"), rts[mode]);
    }

    PortRecord own{};
    own.ProcessId = own.DupProcessID = 10;
    SetText(own.ProgramPath, "C:\\kestrune-scan.exe");
    EXPECT_EQ(ForeignOwnerText(own), "") << "the scanner itself is no owner to report";
    own.ProcessId = 11;
    EXPECT_EQ(ForeignOwnerText(own), "C:\\kestrune-scan.exe (pid 11)");
}

TEST(ConsoleWatch, EventsBetweenTwoListings) {
    using K = WatchEventKind;
    const DiscoveredPort com2{"COM2", "\\Device\\Serial1", "\\Device\\Serial1"};
    const DiscoveredPort com2Other{"COM2", "\\Device\\Serial7", "\\Device\\Serial7"};
    const DiscoveredPort com3{"COM3", "\\Device\\Serial2", "\\Device\\Serial2"};
    const DiscoveredPort com3Listed{"COM3", "COM3", "COM3"};
    const DiscoveredPort com4Listed{"COM4", "COM4", "COM4"};
    const struct {
        std::vector<DiscoveredPort> before, after;
        std::vector<std::pair<K, std::string>> events;
    } cases[] = {
        {{com2, com3}, {com2, com3}, {}},
        {{com2, com3}, {com2, com3Listed}, {{K::kRemoved, "COM3"}}},  // device gone, port list keeps the name
        {{com2, com3Listed}, {com2, com3}, {{K::kArrived, "COM3"}}},
        {{com2}, {com2, com3}, {{K::kArrived, "COM3"}}},
        {{com2, com3}, {com2}, {{K::kRemoved, "COM3"}}},
        {{com2}, {com2, com4Listed}, {{K::kListed, "COM4"}}},
        {{com2, com4Listed}, {com2}, {{K::kUnlisted, "COM4"}}},
        {{com2}, {com2Other}, {{K::kRemoved, "COM2"}, {K::kArrived, "COM2"}}},
        {{com2, com3}, {com3Listed, com4Listed}, {{K::kRemoved, "COM2"}, {K::kRemoved, "COM3"}, {K::kListed, "COM4"}}},
        {{DiscoveredPort{}}, {com2}, {{K::kArrived, "COM2"}}},  // the blank entry of an empty machine
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        std::vector<std::pair<K, std::string>> got;
        for (const WatchEvent& e : DiffListings(cases[i].before, cases[i].after)) got.push_back({e.kind, e.port.portName});
        EXPECT_EQ(got, cases[i].events) << "case " << i;
    }
    WatchEvent event;
    event.kind = K::kArrived;
    event.port = com3;
    event.time = "2026-12-08 16:40:12.345";
    EXPECT_EQ(WatchEventLine(event), "2026-12-08 16:40:12.345  arrived   COM3    \\Device\\Serial2\n");
    EXPECT_EQ(WatchEventTsvLine(event), "2026-12-08 16:40:12.345\tarrived\tCOM3\t\\\\Device\\\\Serial2\t1" +
                                            std::string(IdentityFieldNames().size(), '\t') + "\n");
    const nlohmann::json line = nlohmann::json::parse(JsonEventLine(event));
    EXPECT_EQ(line.at("event"), "arrived");
    EXPECT_EQ(line.at("DeviceName"), "\\Device\\Serial2");
}

TEST(ConsoleSelection, NamedPortsOnly) {
    const std::vector<DiscoveredPort> working = {{"COM1", "\\Device\\Serial0", "\\Device\\Serial0"},
                                                 {"COM5", "\\Device\\Serial4", "\\Device\\Serial4"},
                                                 {"COM2", "COM2", "COM2"}};
    auto names = [](const std::vector<DiscoveredPort>& ports) {
        std::vector<std::string> out;
        for (const DiscoveredPort& p : ports) out.push_back(p.portName + "=" + p.deviceName);
        return out;
    };
    const struct {
        std::vector<std::string> wanted, result;
    } cases[] = {
        {{}, {"COM1=\\Device\\Serial0", "COM5=\\Device\\Serial4", "COM2=COM2"}},
        {{"COM2", "com1"}, {"COM1=\\Device\\Serial0", "COM2=COM2"}},  // working-list order
        {{"COM9", "COM5", "COM5"}, {"COM5=\\Device\\Serial4", "COM9=COM9"}},  // unknown names probed as given
    };
    for (const auto& c : cases) EXPECT_EQ(names(SelectPorts(working, c.wanted)), c.result);
}

// The same records through both machine formats: every TSV cell and its JSON value agree.
TEST(ConsoleFormats, JsonAndTsvAgreeOnEveryField) {
    std::vector<ConsoleRow> rows(2);
    rows[0].record = Record("COM3", "In-Use", "\\Device\\Serial2");
    SetText(rows[0].record.ProgramPath, "C:\\tools\\term\tx.exe");
    SetText(rows[0].record.WinErrorDescription, "Access is denied.\r\n");
    SetText(rows[0].record.AppErrorDescription, "caf\xE9");  // not ASCII: UTF-8 in both
    rows[0].record.StopBits = 15000;
    rows[0].record.FlowControlBits = 0x2811;
    rows[0].record.ProcessId = 0xFFFFFFF0u;
    rows[0].record.CableKind = -1;
    rows[0].record.CommConfig.dwSize = sizeof rows[0].record.CommConfig;
    rows[0].record.CommConfig.dcb.fRtsControl = 3;
    rows[1].record = Record("COM4", "Available", "COM4");
    // A free port the scan itself holds: its own process is no owner to show.
    rows[1].record.ProcessId = rows[1].record.DupProcessID = GetCurrentProcessId();
    SetText(rows[1].record.ProgramPath, "C:\\kestrune-scan.exe");
    SetText(rows[1].record.ProgramName, "kestrune-scan.exe");
    HardwareSnapshot hardware;
    PortIdentity adapter;
    adapter.portName = "COM3";
    adapter.friendlyName = "USB Serial Device (COM3)";
    adapter.vidPid = "067B:2303";
    adapter.present = true;
    hardware.devices = {adapter};
    hardware.reservations = {{3, ReservationReason::kPresentDevice, adapter.friendlyName, adapter.vidPid}};
    rows[0].identity = IdentityFieldsOf(hardware, "COM3");
    for (RowSource source : {RowSource::kScan, RowSource::kListing}) {
        const nlohmann::json ports = nlohmann::json::parse(RenderJson(rows, source)).at("ports");
        const std::vector<console_test::Row> tsv = console_test::ParseTsv(RenderTsv(rows, source));
        ASSERT_EQ(tsv.size(), ports.size());
        for (size_t i = 0; i < tsv.size(); ++i) {
            EXPECT_EQ(tsv[i].size(), TsvColumns(source).size());
            for (const auto& [field, cell] : tsv[i]) {
                SCOPED_TRACE(field);
                const nlohmann::json& identity = ports[i].at("Identity");
                const nlohmann::json value = ports[i].contains(field) ? ports[i].at(field)
                                             : identity.contains(field) ? identity.at(field)
                                                                        : nlohmann::json();
                std::string text;
                ASSERT_TRUE(console_test::TsvUnescape(cell, text));
                if (field == "FlowControlBits") {
                    for (size_t bit = 0; bit < kFlowBitCount; ++bit)
                        EXPECT_EQ(value.at(std::string(FlowFlagNames()[bit])).get<bool>(),
                                  ((std::stoul(cell) >> bit) & 1) != 0);
                } else if (value.is_string()) {
                    EXPECT_EQ(value.get<std::string>(), text);
                } else if (value.is_null()) {
                    EXPECT_EQ(cell, "");
                } else if (value.is_boolean()) {
                    EXPECT_EQ(cell, value.get<bool>() ? "1" : "0");
                } else {
                    EXPECT_EQ(value.dump(), cell);
                }
            }
        }
    }
    const nlohmann::json first = nlohmann::json::parse(RenderJson(rows, RowSource::kScan)).at("ports")[0];
    EXPECT_EQ(first.at("StopBits"), 1.5);
    EXPECT_EQ(first.at("RtsControl"), "toggle");
    EXPECT_EQ(first.at("AppErrorDescription"), "caf\xC3\xA9");
    EXPECT_EQ(first.at("Identity").at("VidPid"), "067B:2303");
    EXPECT_EQ(first.at("Identity").at("ComDB"), "present device");
    EXPECT_EQ(first.at("WinErrorDescription"), "Access is denied.");  // no line end
    EXPECT_EQ(first.at("ProcessId"), 0xFFFFFFF0u);
    const nlohmann::json own = nlohmann::json::parse(RenderJson(rows, RowSource::kScan)).at("ports")[1];
    for (const char* field : {"ProcessId", "DupProcessID", "ObjHandle", "ProgramPath", "ProgramName", "ProgramFolder"})
        EXPECT_TRUE(own.at(field).is_null()) << field;
    EXPECT_EQ(own.at("PortName"), "COM4");
}

TEST(ConsoleCommandLine, ReleaseAndRestoreOptions) {
    using A = CommandLine::Action;
    const struct {
        std::vector<std::string> args;
        A action;
        RunMode mode;
        std::vector<int> numbers;
        bool stale, absent, dryRun;
    } cases[] = {
        {{"--release", "COM9", "com12", "COM9"}, A::kRun, RunMode::kRelease, {9, 12}, false, false, false},
        {{"--release", "COM9,COM3", "--dry-run"}, A::kRun, RunMode::kRelease, {9, 3}, false, false, true},
        {{"--release-stale"}, A::kRun, RunMode::kRelease, {}, true, false, false},
        {{"--release-absent", "--json", "--backup", "b.txt"}, A::kRun, RunMode::kRelease, {}, false, true, false},
        {{"--restore", "b.txt", "--dry-run"}, A::kRun, RunMode::kRestore, {}, false, false, true},
        {{"--restore", "b.txt", "--force"}, A::kRun, RunMode::kRestore, {}, false, false, false},
        {{"--release", "COM9", "--force"}, A::kUsageError, RunMode::kScan, {}, false, false, false},
        {{"--force"}, A::kUsageError, RunMode::kScan, {}, false, false, false},
        {{"--release", "LPT1"}, A::kUsageError, RunMode::kScan, {}, false, false, false},
        {{"--release"}, A::kUsageError, RunMode::kScan, {}, false, false, false},
        {{"--release-stale", "--list"}, A::kUsageError, RunMode::kScan, {}, false, false, false},
        {{"--release", "COM9", "--tsv"}, A::kUsageError, RunMode::kScan, {}, false, false, false},
        {{"--release", "COM9", "--restore", "b.txt"}, A::kUsageError, RunMode::kScan, {}, false, false, false},
        {{"--restore", "b.txt", "--watch"}, A::kUsageError, RunMode::kScan, {}, false, false, false},
        {{"--dry-run"}, A::kUsageError, RunMode::kScan, {}, false, false, false},
        {{"--list", "--backup", "b.txt"}, A::kUsageError, RunMode::kScan, {}, false, false, false},
    };
    for (const auto& c : cases) {
        std::string joined;
        for (const std::string& a : c.args) joined += a + " ";
        SCOPED_TRACE(joined);
        const CommandLine line = ParseCommandLine(c.args);
        ASSERT_EQ(line.action, c.action) << line.text;
        if (c.action == A::kUsageError) {
            EXPECT_EQ(line.text.find('\n'), std::string::npos) << line.text;
            continue;
        }
        EXPECT_EQ(line.options.mode, c.mode);
        EXPECT_EQ(line.options.releaseNumbers, c.numbers);
        EXPECT_EQ(line.options.releaseStale, c.stale);
        EXPECT_EQ(line.options.releaseAbsent, c.absent);
        EXPECT_EQ(line.options.dryRun, c.dryRun);
    }
}

// The outputs people read: control characters escaped, the reservations aligned and fitted,
// rows in COM-number order; a machine without ports says so. The machine formats keep the
// scan's order and say it.
TEST(ConsoleTable, HumanOutputsKeepTheirLayout) {
    std::vector<ConsoleRow> rows(3);
    rows[0].record = Record("COM10", "Available", "\\Device\\Serial9");
    rows[1].record = Record("COM2", "Available", "\\Device\\Serial1");
    rows[2].record = Record("COM3", "Available", "\\Device\\Serial2");
    HardwareSnapshot hardware;
    PortIdentity tabbed;
    tabbed.portName = "COM2";
    tabbed.friendlyName = "Tab\there (COM2)";
    tabbed.present = true;
    hardware.devices = {tabbed};
    for (size_t i = 0; i < rows.size(); ++i) {
        rows[i].identity = IdentityFieldsOf(hardware, std::string(Text(rows[i].record.PortName)));
        rows[i].discoveryIndex = i;
    }
    for (RowSource source : {RowSource::kScan, RowSource::kListing}) {
        const std::vector<std::string> lines = console_test::Lines(RenderTable(rows, source));
        ASSERT_EQ(lines.size(), 5u);
        EXPECT_EQ(lines[1].rfind("COM2 ", 0), 0u);
        EXPECT_EQ(lines[2].rfind("COM3 ", 0), 0u);
        EXPECT_EQ(lines[3].rfind("COM10", 0), 0u);
        EXPECT_NE(lines[1].find("Tab\\there (COM2)"), std::string::npos) << lines[1];
        for (const std::string& line : lines) EXPECT_EQ(line.find('\t'), std::string::npos);
        // TSV and JSON: the scan's order, and each row's place in it.
        const std::vector<console_test::Row> tsv = console_test::ParseTsv(RenderTsv(rows, source));
        const nlohmann::json ports = nlohmann::json::parse(RenderJson(rows, source)).at("ports");
        for (size_t i = 0; i < rows.size(); ++i) {
            EXPECT_EQ(tsv[i].at("PortName"), Text(rows[i].record.PortName));
            EXPECT_EQ(tsv[i].at("DiscoveryIndex"), std::to_string(i));
            EXPECT_EQ(ports[i].at("DiscoveryIndex"), i);
        }
        EXPECT_EQ(tsv[1].at("FriendlyName"), "Tab\\there (COM2)") << "TSV escapes as before";
        EXPECT_EQ(RenderTable({}, source), "No USB and Serial Ports found\n");
    }

    const std::string longName(120, 'N');
    const std::vector<ComReservation> reservations = {
        {2, ReservationReason::kPresentDevice, "Tab\there (COM2)", "067B:2303"},
        {10, ReservationReason::kListedPort, "", ""},
        {27, ReservationReason::kPhantomDevice, longName, "0403:6001"},
        {9, ReservationReason::kStale, "", ""},
    };
    const std::vector<std::string> block = console_test::Lines(ReservationsBlock(reservations));
    ASSERT_EQ(block.size(), 6u);
    EXPECT_EQ(block[0], "");
    EXPECT_EQ(block[1], "COM number reservations");
    EXPECT_EQ(block[2].rfind("COM2   present device  ", 0), 0u) << block[2];
    EXPECT_EQ(block[3], "COM10  listed port without a device entry");
    EXPECT_EQ(block[5], "COM9   stale");
    const size_t deviceColumn = std::string("COM10  listed port without a device entry  ").size();
    EXPECT_EQ(block[2].substr(deviceColumn), "Tab\\there (COM2) [067B:2303]");
    EXPECT_EQ(block[4].find('N'), deviceColumn);
    EXPECT_EQ(block[4].size(), kTableWidth);
    EXPECT_EQ(block[4].substr(block[4].size() - 13), "N [0403:6001]");
    EXPECT_NE(block[4].find("..."), std::string::npos);
    EXPECT_EQ(ReservationsBlock({}), "");
}

}  // namespace
