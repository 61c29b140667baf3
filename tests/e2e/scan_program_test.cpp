// End to end: kestrune-scan.exe --tsv over the lab's test layout, its table checked against the
// layout and the registry the lab wrote.
#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/console_output.h"
#include "lab/client/lab_client.h"
#include "lab_kind_outcomes.h"
#include "support/handles.h"

namespace kestrune {
namespace {

using console_test::Row;

// Runs the console scan with --tsv; the table's cells unescaped, "<cells>" set in a row
// whose cell count differs from the header's.
bool RunScanProgram(DWORD& exitCode, std::vector<Row>& rows, std::string& output) {
    const console_test::Finished run = console_test::RunToEnd("--tsv");
    if (run.status < 0) return false;
    exitCode = static_cast<DWORD>(run.status);
    output = run.out;
    rows = console_test::ParseTsv(run.out);
    for (Row& row : rows)
        for (auto& cell : row)
            if (cell.first != "<cells>" && !console_test::TsvUnescape(std::string(cell.second), cell.second))
                cell.second = "<bad escape>";
    return true;
}

// The device map's COM names in the order the registry enumerates them.
std::vector<std::string> DeviceMapOrder() {
    std::vector<std::string> order;
    UniqueRegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return order;
    for (DWORD i = 0;; ++i) {
        char name[260];
        BYTE data[260] = {};
        DWORD nameLength = sizeof name, dataLength = sizeof data - 1, type = 0;
        if (RegEnumValueA(key.get(), i, name, &nameLength, nullptr, &type, data, &dataLength) != ERROR_SUCCESS) break;
        order.push_back(reinterpret_cast<const char*>(data));
    }
    return order;
}

class ScanProgram : public testing::Test {
protected:
    void SetUp() override {
        std::string error;
        if (!layout_.Load(&error)) GTEST_SKIP() << "serial lab is not up: " << error;
        DWORD exitCode = 1;
        std::string output;
        ASSERT_TRUE(RunScanProgram(exitCode, rows_, output));
        EXPECT_EQ(exitCode, 0u);
        ASSERT_FALSE(rows_.empty()) << output;
        for (const Row& row : rows_) byPort_[row.at("PortName")] = row;
    }
    const Row& RowOf(const std::string& com) { return byPort_[com]; }

    lab::Layout layout_;
    std::vector<Row> rows_;
    std::map<std::string, Row> byPort_;
};

TEST_F(ScanProgram, OneRowPerLayoutPortDeviceMapFirstInRegistryOrder) {
    std::vector<std::string> expected = DeviceMapOrder();
    for (const lab::Port& port : layout_.ports())
        if (port.kind == lab::Kind::PortListOnly) expected.push_back(port.com);
    ASSERT_EQ(rows_.size(), expected.size());
    for (size_t i = 0; i < rows_.size(); ++i) {
        EXPECT_EQ(rows_[i].at("PortName"), expected[i]) << "row " << i;
        EXPECT_EQ(rows_[i].count("<cells>"), 0u) << "row " << i << " has one cell per column";
        EXPECT_EQ(rows_[i].at("LBOUND"), "0");
        EXPECT_EQ(rows_[i].at("UBOUND"), std::to_string(rows_.size() - 1));
    }
    EXPECT_EQ(rows_.size(), layout_.ports().size());
}

TEST_F(ScanProgram, NamesComeFromTheRegistry) {
    for (const lab::Port& port : layout_.ports()) {
        const Row& row = RowOf(port.com);
        ASSERT_FALSE(row.empty()) << port.com << " missing from the scan";
        const std::string device = port.kind == lab::Kind::PortListOnly ? port.com : port.device_map_name;
        EXPECT_EQ(row.at("DeviceName"), device) << port.com;
        EXPECT_EQ(row.at("sObjName"), device) << port.com;
        EXPECT_EQ(row.at("Name"), port.com) << port.com;
    }
}

TEST_F(ScanProgram, StatusCableAndOwnerFollowTheLayout) {
    for (const lab_outcomes::KindOutcome& e : lab_outcomes::kKindOutcomes) {
        for (const lab::Port* port : layout_.OfKind(e.kind)) {
            const Row& row = RowOf(port->com);
            ASSERT_FALSE(row.empty()) << port->com;
            EXPECT_EQ(row.at("Status"), e.status) << port->com << " (" << lab::KindName(e.kind) << ")";
            if (e.cableKind != lab_outcomes::kAny) {
                EXPECT_EQ(row.at("CableKind"), std::to_string(e.cableKind)) << port->com;
            }
            EXPECT_EQ(row.at("WinError"), std::to_string(e.openError)) << port->com;
            // Every channel the scan opened is closed again.
            EXPECT_EQ(row.at("RtHandle"), "0") << port->com;
            EXPECT_EQ(row.at("WinHandle"), "0") << port->com;
            EXPECT_EQ(row.at("State"), "1") << port->com;
        }
    }
    const lab::Port* held = layout_.FirstOfKind(lab::Kind::Held);
    ASSERT_NE(held, nullptr);
    const Row& row = RowOf(held->com);
    EXPECT_EQ(row.at("ProcessId"), std::to_string(held->holder_pid));
    EXPECT_EQ(row.at("ProgramPath"), "C:\\lab\\holder.exe");
    EXPECT_EQ(row.at("ProgramName"), "holder.exe");
    EXPECT_EQ(row.at("RtError"), "69");
    EXPECT_EQ(row.at("Baud"), std::to_string(held->holder_settings.baud)) << "read through the holder's handle";
}

}  // namespace
}  // namespace kestrune
