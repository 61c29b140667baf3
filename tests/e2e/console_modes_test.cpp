// End to end: every mode of kestrune-scan.exe over the lab's test layout.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/console/record_values.h"
#include "e2e/console_output.h"
#include "lab/client/lab_client.h"
#include "lab_kind_outcomes.h"
#include "support/handles.h"

namespace kestrune {
namespace {

using console_test::Finished;
using console_test::Lines;
using console_test::Row;
using console_test::RunToEnd;

class ConsoleModes : public testing::Test {
protected:
    void SetUp() override {
        std::string error;
        if (!layout_.Load(&error)) GTEST_SKIP() << "serial lab is not up: " << error;
    }
    lab::Layout layout_;
};

std::map<std::string, Row> ByPort(const std::vector<Row>& rows, const char* column) {
    std::map<std::string, Row> byPort;
    for (const Row& row : rows) byPort[row.at(column)] = row;
    return byPort;
}

TEST_F(ConsoleModes, TableColumnsForEveryKindOfPort) {
    const Finished run = RunToEnd("");
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<std::string> lines = Lines(run.out);
    ASSERT_GE(lines.size(), 2u);
    for (const std::string& line : lines) EXPECT_LE(line.size(), 100u) << line;
    std::map<std::string, Row> table = ByPort(console_test::ParseTable(lines), "Port");

    const lab::Port* held = layout_.FirstOfKind(lab::Kind::Held);
    ASSERT_NE(held, nullptr);
    const std::string heldOwner = "C:\\lab\\holder.exe (pid " + std::to_string(held->holder_pid) + ")";
    size_t checked = 0;
    for (const lab_outcomes::KindOutcome& e : lab_outcomes::kKindOutcomes) {
        for (const lab::Port* port : layout_.OfKind(e.kind)) {
            SCOPED_TRACE(port->com + " (" + lab::KindName(e.kind) + ")");
            ASSERT_EQ(table.count(port->com), 1u) << run.out;
            const Row& row = table[port->com];
            EXPECT_EQ(row.at("Status"), e.status);
            if (e.cable) {
                EXPECT_EQ(row.at("Cable"), e.cable);
            }
            if (e.owned || e.openError == ERROR_FILE_NOT_FOUND) {
                EXPECT_EQ(row.at("Settings"), e.owned ? "19200 7E2" : "-");
            }
            EXPECT_EQ(row.at("Owner"), e.owned ? heldOwner : "-");
            // The device's friendly name where the lab gives it one (shortened in the middle when
            // it does not fit), its device object otherwise.
            const std::string device = !port->friendly.empty()                ? port->friendly
                                       : e.kind == lab::Kind::PortListOnly ? port->com
                                                                             : port->device_map_name;
            const std::string& shown = row.at("Device");
            const size_t cut = shown.find("...");
            if (cut == std::string::npos) {
                EXPECT_EQ(shown, device);
            } else {
                EXPECT_EQ(device.rfind(shown.substr(0, cut), 0), 0u) << shown;
                EXPECT_EQ(device.substr(device.size() - (shown.size() - cut - 3)), shown.substr(cut + 3)) << shown;
            }
            ++checked;
        }
    }
    EXPECT_EQ(checked, layout_.ports().size());
    const std::string& summary = lines[table.size() + 1];
    EXPECT_EQ(summary.rfind(std::to_string(layout_.ports().size()) + " ports: ", 0), 0u) << summary;
    EXPECT_NE(summary.find("1 held by another program"), std::string::npos) << summary;
}

// Values that belong to one run of the program (its own process, the handles it made).
bool PerRun(const std::string& field) {
    return field == "ProcessId" || field == "ObjHandle" || field == "ProgramPath" || field == "ProgramFolder" ||
           field == "DupProcessID" || field == "DupObjHandle" || field == "DupObjAddress";
}

TEST_F(ConsoleModes, JsonAndTsvOfTwoRunsAgreeFieldByField) {
    const Finished tsv = RunToEnd("--tsv");
    const Finished json = RunToEnd("--json");
    ASSERT_EQ(tsv.status, 0) << tsv.err;
    ASSERT_EQ(json.status, 0) << json.err;
    const nlohmann::json document = nlohmann::json::parse(json.out);
    EXPECT_EQ(document.at("mode"), "scan");
    const nlohmann::json& ports = document.at("ports");
    const std::vector<Row> rows = console_test::ParseTsv(tsv.out);
    ASSERT_EQ(rows.size(), ports.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        // The identity fields are columns of their own in the TSV and one object in the JSON.
        nlohmann::json port = ports[i];
        for (const auto& item : ports[i].at("Identity").items()) port[item.key()] = item.value();
        port.erase("Identity");
        SCOPED_TRACE(port.at("PortName").get<std::string>());
        for (const auto& [field, cell] : rows[i]) {
            if (PerRun(field)) continue;
            if (!port.contains(field)) {  // an identity field this port does not have
                EXPECT_EQ(cell, "") << field;
                continue;
            }
            const nlohmann::json& value = port.at(field);
            if (field == "FlowControlBits") {
                uint32_t bits = 0;
                for (uint32_t bit = 0; bit < kFlowBitCount; ++bit)
                    bits |= (value.at(std::string(FlowFlagNames()[bit])).get<bool>() ? 1u : 0u) << bit;
                EXPECT_EQ(std::to_string(bits), cell);
            } else if (value.is_string()) {
                std::string text;
                ASSERT_TRUE(console_test::TsvUnescape(cell, text)) << field << ": " << cell;
                EXPECT_EQ(value.get<std::string>(), text) << field;
            } else if (value.is_null()) {
                EXPECT_EQ(cell, "") << field;
            } else if (value.is_boolean()) {
                EXPECT_EQ(value.get<bool>() ? "1" : "0", cell) << field;
            } else {
                EXPECT_DOUBLE_EQ(value.get<double>(), std::stod(cell)) << field;
            }
        }
    }
}

// Every lab port's slot: lines driven, settings, opens.
std::map<std::string, lab_port> Slots(const lab::Layout& layout) {
    std::map<std::string, lab_port> slots;
    for (const lab::Port& port : layout.ports()) {
        lab_port state = {};
        if (port.slot >= 0 && lab::ReadPortState(layout, port.com, state)) slots[port.com] = state;
    }
    return slots;
}

TEST_F(ConsoleModes, ListingOpensNoPortAndLeavesTheLinesAlone) {
    const lab::Port* loopback = layout_.FirstOfKind(lab::Kind::Loopback);
    const lab::Port* device = layout_.FirstOfKind(lab::Kind::Device);
    ASSERT_TRUE(loopback && device);
    struct Case {
        const char* arguments;
        bool opensPorts;
    };
    const Case cases[] = {{"--list", false}, {"--list --json", false}, {"--list --tsv --port " , false},
                          {"--port ", true}};
    for (const Case& c : cases) {
        std::string arguments = c.arguments;
        if (arguments.back() == ' ') arguments += loopback->com + " --port " + device->com;
        SCOPED_TRACE(arguments);
        const std::map<std::string, lab_port> before = Slots(layout_);
        const Finished run = RunToEnd(arguments);
        ASSERT_EQ(run.status, 0) << run.err;
        const std::map<std::string, lab_port> after = Slots(layout_);
        ASSERT_EQ(before.size(), after.size());
        for (const auto& [com, state] : before) {
            const lab_port& now = after.at(com);
            const bool scanned = com == loopback->com || com == device->com;
            EXPECT_EQ(now.opened > state.opened, c.opensPorts && scanned) << com;
            if (c.opensPorts) continue;
            EXPECT_EQ(now.out_lines, state.out_lines) << com;
            EXPECT_EQ(now.opens, state.opens) << com;
            EXPECT_EQ(now.cflag, state.cflag) << com;
            EXPECT_EQ(now.cflag_set, state.cflag_set) << com;
        }
    }
}

TEST_F(ConsoleModes, ListingNamesEveryPortAndWhetherItsDeviceIsThere) {
    const Finished run = RunToEnd("--list --tsv");
    ASSERT_EQ(run.status, 0) << run.err;
    std::map<std::string, Row> rows = ByPort(console_test::ParseTsv(run.out), "PortName");
    ASSERT_EQ(rows.size(), layout_.ports().size()) << run.out;
    for (const lab::Port& port : layout_.ports()) {
        const bool listedOnly = port.kind == lab::Kind::PortListOnly;
        EXPECT_EQ(rows[port.com]["Present"], listedOnly ? "0" : "1") << port.com;
        std::string device;
        ASSERT_TRUE(console_test::TsvUnescape(rows[port.com]["DeviceName"], device));
        EXPECT_EQ(device, listedOnly ? port.com : port.device_map_name) << port.com;
    }
}

TEST_F(ConsoleModes, WatchSeesAPortRemovedAndPluggedInAgain) {
    const lab::Port* device = layout_.FirstOfKind(lab::Kind::Device);
    ASSERT_NE(device, nullptr);
    console_test::ConsoleRun watch("--watch");
    ASSERT_TRUE(watch.started());
    size_t at = watch.WaitFor("no port opened", 0, 30000);
    ASSERT_NE(at, std::string::npos) << watch.out() << watch.err();

    struct Step {
        const char* action;
        const char* event;
    };
    for (const Step& step : {Step{"remove", "removed"}, Step{"replug", "arrived"}}) {
        SCOPED_TRACE(step.action);
        ASSERT_EQ(lab::RunSerlab(layout_, std::string(step.action) + " " + device->com), 0);
        const auto changed = std::chrono::steady_clock::now();
        const std::string line = std::string(step.event) + "   " + device->com;
        at = watch.WaitFor(line, at, 10000);
        ASSERT_NE(at, std::string::npos) << watch.out();
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - changed).count();
        RecordProperty(std::string(step.event) + "_after_ms", static_cast<int>(ms));
    }
    // One line per change of the port. The lab rewrites the whole device map, so another port
    // may show a transient removal and arrival while it does; never one without the other.
    std::map<std::string, int> balance, deviceEvents;
    for (const std::string& line : Lines(watch.out())) {
        const bool removed = line.find("  removed  ") != std::string::npos;
        const bool arrived = line.find("  arrived  ") != std::string::npos;
        if (!removed && !arrived) continue;
        const size_t name = line.find("COM", line.find(removed ? "removed" : "arrived"));
        const std::string com = line.substr(name, line.find(' ', name) - name);
        balance[com] += removed ? -1 : 1;
        ++deviceEvents[com];
    }
    EXPECT_EQ(deviceEvents[device->com], 2) << watch.out();
    for (const auto& [com, sum] : balance) EXPECT_EQ(sum, 0) << com << "\n" << watch.out();
    watch.Stop();
    layout_.Load();
}

// A named port this machine does not have is said on standard error and fails the run;
// the other named ports are still scanned or listed.
TEST_F(ConsoleModes, ANamedPortThatDoesNotExistFailsTheRun) {
    for (const char* arguments : {"--port COM99,COM2 --json", "--list --port com99 --port COM2 --json"}) {
        SCOPED_TRACE(arguments);
        const Finished run = RunToEnd(arguments);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(Lines(run.err), std::vector<std::string>{"kestrune-scan: COM99: no such port"});
        const nlohmann::json document = nlohmann::json::parse(run.out);
        std::vector<std::string> ports;
        for (const auto& port : document.at("ports")) ports.push_back(port.at("PortName").get<std::string>());
        EXPECT_EQ(ports, std::vector<std::string>{"COM2"});
    }
}

// --report writes the window's report and says where; the environment's values only when
// asked for by --whole-environment.
TEST_F(ConsoleModes, ReportOnRequestWithTheEnvironmentAsAsked) {
    ASSERT_TRUE(SetEnvironmentVariableA("KESTRUNE_TEST_PAT", "ghp_s3cr3t"));
    const struct {
        const char* arguments;
        const char* line;
    } cases[] = {{"--port COM2 --report", "KESTRUNE_TEST_PAT=(hidden)"},
                 {"--port COM2 --report --whole-environment", "KESTRUNE_TEST_PAT=ghp_s3cr3t"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        const Finished run = RunToEnd(c.arguments);
        EXPECT_EQ(run.status, 0) << run.err;
        const std::vector<std::string> lines = Lines(run.err);
        ASSERT_EQ(lines.size(), 1u) << run.err;
        ASSERT_EQ(lines[0].rfind("kestrune-scan: report: ", 0), 0u) << lines[0];
        const std::string path = lines[0].substr(std::string("kestrune-scan: report: ").size());
        std::string text;
        {
            UniqueHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
            char buffer[4096];
            DWORD got = 0;
            while (file && ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got) text.append(buffer, got);
        }
        EXPECT_NE(text.find(std::string("\r\n") + c.line + "\r\n"), std::string::npos) << path;
        EXPECT_NE(text.find("\r\nCOM2 "), std::string::npos) << "the scanned port's table line";
        DeleteFileA(path.c_str());
    }
    SetEnvironmentVariableA("KESTRUNE_TEST_PAT", nullptr);
}

TEST(ConsoleUsage, ExitStatusesAndTheOneLineUsageError) {
    const char* const cases[] = {"--bogus", "--port", "--port COMX", "--port COM0", "--tsv --json", "extra"};
    for (const char* arguments : cases) {
        SCOPED_TRACE(arguments);
        const Finished run = RunToEnd(arguments);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.out, "");
        const std::vector<std::string> lines = Lines(run.err);
        ASSERT_EQ(lines.size(), 1u) << run.err;
        EXPECT_EQ(lines[0].rfind("kestrune-scan: ", 0), 0u) << lines[0];
    }
    // Output that goes away (a reader that has closed its end) is a failed run.
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, &inherit, 0));
    CloseHandle(readEnd);
    UniqueHandle writer(writeEnd);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writer.get();
    startup.hStdError = writer.get();
    std::string command = "\"" + kestrune_driver::WindowsPath(KESTRUNE_BIN_DIR "/kestrune-scan.exe") + "\" --list";
    PROCESS_INFORMATION info = {};
    ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info));
    UniqueHandle process(info.hProcess), thread(info.hThread);
    ASSERT_EQ(WaitForSingleObject(process.get(), 60000), WAIT_OBJECT_0);
    DWORD code = 0;
    GetExitCodeProcess(process.get(), &code);
    EXPECT_EQ(code, 1u);

    for (const char* arguments : {"--help", "/?", "--version"}) {
        const Finished run = RunToEnd(arguments);
        EXPECT_EQ(run.status, 0) << arguments;
        EXPECT_NE(run.out.find("kestrune-scan"), std::string::npos) << arguments;
    }
}

}  // namespace
}  // namespace kestrune
