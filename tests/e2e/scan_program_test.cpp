// End to end: kestrune-scan.exe over the lab's test layout, its table checked against the
// layout and the registry the lab wrote.
#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "gui/driver/window_driver.h"
#include "lab/client/lab_client.h"
#include "support/handles.h"

namespace kestrune {
namespace {

using Row = std::map<std::string, std::string>;

std::vector<std::string> Split(const std::string& line, char sep) {
    std::vector<std::string> parts;
    std::stringstream in(line);
    std::string part;
    while (std::getline(in, part, sep)) parts.push_back(part);
    if (!line.empty() && line.back() == sep) parts.push_back("");
    return parts;
}

// Runs the console scan and returns its exit code and standard output.
bool RunScanProgram(DWORD& exitCode, std::string& output) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return false;
    UniqueHandle reader(readEnd), writer(writeEnd);
    SetHandleInformation(reader.get(), HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writer.get();
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    startup.hStdInput = nullptr;
    std::string command = "\"" + kestrune_driver::WindowsPath(KESTRUNE_BIN_DIR "/kestrune-scan.exe") + "\"";
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info))
        return false;
    UniqueHandle process(info.hProcess), thread(info.hThread);
    writer.reset();

    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(reader.get(), buffer, sizeof buffer, &got, nullptr) && got) output.append(buffer, got);
    if (WaitForSingleObject(process.get(), 60000) != WAIT_OBJECT_0) return false;
    return GetExitCodeProcess(process.get(), &exitCode) != 0;
}

std::vector<Row> ParseTable(const std::string& output) {
    std::vector<std::string> lines;
    for (std::string& line : Split(output, '\n')) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) lines.push_back(line);
    }
    std::vector<Row> rows;
    if (lines.empty()) return rows;
    const std::vector<std::string> header = Split(lines[0], '\t');
    for (size_t i = 1; i < lines.size(); ++i) {
        const std::vector<std::string> cells = Split(lines[i], '\t');
        Row row;
        for (size_t c = 0; c < header.size(); ++c) row[header[c]] = c < cells.size() ? cells[c] : "<missing>";
        row["<cells>"] = std::to_string(cells.size());
        row["<header>"] = std::to_string(header.size());
        rows.push_back(row);
    }
    return rows;
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
        ASSERT_TRUE(RunScanProgram(exitCode, output));
        EXPECT_EQ(exitCode, 0u);
        rows_ = ParseTable(output);
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
        EXPECT_EQ(rows_[i].at("<cells>"), rows_[i].at("<header>")) << "row " << i << " has one cell per column";
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
    struct Expect {
        lab::Kind kind;
        const char* status;
        const char* cableKind;  // nullptr: not checked
    };
    const Expect table[] = {
        {lab::Kind::Free, "Available", "-1"},
        {lab::Kind::Loopback, "Available", "1"},
        {lab::Kind::Device, "Available", "0"},
        {lab::Kind::DsrOnly, "Available", "-1"},
        {lab::Kind::NullModem, "Available", nullptr},
        {lab::Kind::Held, "In-Use", nullptr},
        {lab::Kind::DeviceMapUnopenable, "Disconnected", nullptr},
        {lab::Kind::PortListOnly, "Disconnected", nullptr},
    };
    for (const Expect& e : table) {
        for (const lab::Port* port : layout_.OfKind(e.kind)) {
            const Row& row = RowOf(port->com);
            ASSERT_FALSE(row.empty()) << port->com;
            EXPECT_EQ(row.at("Status"), e.status) << port->com << " (" << lab::KindName(e.kind) << ")";
            if (e.cableKind) EXPECT_EQ(row.at("CableKind"), e.cableKind) << port->com;
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
    EXPECT_EQ(row.at("WinError"), "5");
    EXPECT_EQ(row.at("Baud"), std::to_string(held->holder_settings.baud)) << "read through the holder's handle";

    const lab::Port* gone = layout_.FirstOfKind(lab::Kind::PortListOnly);
    ASSERT_NE(gone, nullptr);
    EXPECT_EQ(RowOf(gone->com).at("WinError"), "2");
}

}  // namespace
}  // namespace kestrune
