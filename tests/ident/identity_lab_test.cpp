// Port identity over the lab: the device entries, ports class and COM number database the
// lab writes where Windows keeps them, read through SetupAPI and straight from the registry,
// and shown in the scan's records, the list's trailing columns, the report and the console.
// Expectations come from the lab's layout, so the tests hold for every layout; the identity
// layout (lab/layouts/ident.ini) has the four cases: an on-board port, a USB adapter with a
// serial number, a phantom adapter still reserving COM7 and a stale reservation of COM9.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <windows.h>

#include <algorithm>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "app/common/identity_view.h"
#include "app/common/report.h"
#include "app/window/result_cells.h"
#include "e2e/console_output.h"
#include "gui/driver/window_driver.h"
#include "lab/client/lab_client.h"
#include "scan/identity_reader.h"
#include "scan/scan_driver.h"
#include "support/fixed_text.h"
#include "support/handles.h"
#include "test_helpers.h"

namespace kestrune {
namespace {

std::string ExpectedVidPid(const lab::Port& port) { return port.vid.empty() ? "" : port.vid + ":" + port.pid; }

class IdentityLab : public testing::Test {
protected:
    void SetUp() override {
        std::string error;
        if (!layout_.Load(&error)) GTEST_SKIP() << "serial lab is not up: " << error;
    }
    // What the COM number database should say about a number, from the layout.
    std::string ExpectedReason(const std::string& com) const {
        const lab::Port* port = layout_.Find(com);
        if (port && !port->instance_id.empty()) return port->phantom ? "phantom device" : "present device";
        return "stale";  // the lab reserves only ports with a device entry and numbers with none
    }
    lab::Layout layout_;
};

// Measured under Wine: SetupAPI lists the lab's device entries, phantoms included, with their
// port names but none of their texts; the snapshot fills those from the registry. So the port
// name and presence always agree, and whatever SetupAPI answers the registry reader answers
// alike: a registry reader that loses a field fails here, and EveryPortIsNamedAsTheLayoutSays
// holds the filled snapshot to the layout.
TEST_F(IdentityLab, TheRegistryReaderAnswersWhatSetupApiAnswers) {
    const std::vector<PortIdentity> setupApi = ReadIdentitiesThroughSetupApi();
    const std::vector<PortIdentity> registry = ReadIdentitiesFromRegistry();
    ASSERT_EQ(setupApi.size(), registry.size());
    for (const PortIdentity& a : setupApi) {
        SCOPED_TRACE(a.instanceId);
        auto match = std::find_if(registry.begin(), registry.end(), [&](const PortIdentity& b) {
            return UpperAnsi(b.instanceId) == UpperAnsi(a.instanceId);
        });
        ASSERT_NE(match, registry.end());
        EXPECT_FALSE(a.portName.empty());
        const std::pair<const std::string*, const std::string*> fields[] = {
            {&a.portName, &match->portName},         {&a.friendlyName, &match->friendlyName},
            {&a.description, &match->description},   {&a.manufacturer, &match->manufacturer},
            {&a.hardwareId, &match->hardwareId},     {&a.vidPid, &match->vidPid},
            {&a.serialNumber, &match->serialNumber}, {&a.location, &match->location},
            {&a.service, &match->service},           {&a.interfaceNumber, &match->interfaceNumber},
        };
        for (const auto& field : fields) {
            if (!field.first->empty()) {
                EXPECT_EQ(*field.first, *field.second);
            }
        }
        EXPECT_EQ(a.present, match->present);
    }
}

TEST_F(IdentityLab, EveryPortIsNamedAsTheLayoutSays) {
    const HardwareSnapshot hardware = ReadHardwareSnapshot();
    for (const lab::Port& port : layout_.ports()) {
        SCOPED_TRACE(port.com);
        const PortIdentity* device = FindIdentity(hardware.devices, port.com);
        if (port.instance_id.empty()) {
            EXPECT_EQ(device, nullptr) << "no device entry, empty identity";
            continue;
        }
        ASSERT_NE(device, nullptr);
        EXPECT_EQ(device->instanceId, port.instance_id);
        EXPECT_EQ(device->friendlyName, port.friendly);
        EXPECT_EQ(device->description, port.description);
        EXPECT_EQ(device->manufacturer, port.mfg);
        EXPECT_EQ(device->vidPid, ExpectedVidPid(port));
        EXPECT_EQ(device->serialNumber, port.serial);
        EXPECT_EQ(device->location, port.location);
        EXPECT_EQ(device->service, port.service);
        EXPECT_EQ(device->present, !port.phantom);
    }
    ASSERT_TRUE(hardware.comDbRead);
    std::vector<std::string> reserved;
    for (const ComReservation& r : hardware.reservations) {
        const std::string com = "COM" + std::to_string(r.number);
        reserved.push_back(com);
        EXPECT_EQ(ReservationReasonText(r.reason), ExpectedReason(com)) << com;
        if (const lab::Port* port = layout_.Find(com)) {
            EXPECT_EQ(r.vidPid, ExpectedVidPid(*port)) << com;
        }
    }
    EXPECT_EQ(reserved, layout_.comdb());
}

TEST_F(IdentityLab, RecordsColumnsAndReportNameEachPort) {
    std::vector<PortRecord> records;
    ScanPorts(records, nullptr);
    SetShownHardware(ReadHardwareSnapshot());
    std::map<std::string, const PortRecord*> byPort;
    for (const PortRecord& record : records) byPort[std::string(Text(record.PortName))] = &record;

    for (const lab::Port& port : layout_.ports()) {
        SCOPED_TRACE(port.com);
        ASSERT_TRUE(byPort.count(port.com));
        const PortRecord& record = *byPort[port.com];
        if (port.phantom) {
            EXPECT_EQ(Text(record.Status), "Disconnected") << "a phantom's port is gone";
        }
        std::map<int, std::string> cells;
        for (const CellWrite& cell : ResultRowCells(record, GetCurrentProcessId())) cells[cell.column] = cell.text;
        EXPECT_EQ(cells[48], port.friendly);
        EXPECT_EQ(cells[49], ExpectedVidPid(port));
        EXPECT_EQ(cells[50], port.serial.empty() ? port.instance_id : port.serial);
    }

    // The report file ends with the hardware block: each port with its status and device,
    // then every reserved number and why.
    char folder[MAX_PATH];
    ASSERT_NE(GetTempPathA(sizeof folder, folder), 0u);
    const std::string path = std::string(folder) + "identity-report.txt";
    ASSERT_EQ(WriteDiagnosticReportTo(path.c_str(), records), static_cast<DWORD>(ERROR_SUCCESS));
    const std::string report = test_helpers::ReadWholeFile(path);
    DeleteFileA(path.c_str());
    const size_t block = report.rfind("\r\nHardware Identity\r\n");
    ASSERT_NE(block, std::string::npos);
    const std::string tail = report.substr(block);
    for (const lab::Port& port : layout_.ports()) {
        EXPECT_NE(tail.find("\r\n" + port.com + " = " + std::string(Text(byPort[port.com]->Status)) + "\r\n"),
                  std::string::npos) << port.com;
        if (!port.friendly.empty()) { EXPECT_NE(tail.find(port.friendly), std::string::npos) << port.com; }
    }
    const size_t reservations = tail.find("\r\nCOM Number Reservations\r\n");
    ASSERT_NE(reservations, std::string::npos);
    const std::string reserved = tail.substr(reservations);
    for (const std::string& com : layout_.comdb())
        EXPECT_TRUE(std::regex_search(reserved, std::regex("\r\n" + com + " {2,}" + ExpectedReason(com)))) << com;
}

TEST_F(IdentityLab, ConsoleScanNamesEachPortAndReservation) {
    const console_test::Finished tsv = console_test::RunToEnd("--tsv");
    ASSERT_EQ(tsv.status, 0) << tsv.err;
    std::map<std::string, console_test::Row> rows;
    for (console_test::Row& row : console_test::ParseTsv(tsv.out)) {
        ASSERT_EQ(row.count("<cells>"), 0u);
        for (auto& [field, cell] : row) ASSERT_TRUE(console_test::TsvUnescape(std::string(cell), cell)) << field;
        rows[row["PortName"]] = row;
    }
    for (const lab::Port& port : layout_.ports()) {
        SCOPED_TRACE(port.com);
        ASSERT_TRUE(rows.count(port.com));
        console_test::Row& row = rows[port.com];
        EXPECT_EQ(row["FriendlyName"], port.friendly);
        EXPECT_EQ(row["VidPid"], ExpectedVidPid(port));
        EXPECT_EQ(row["SerialNumber"], port.serial);
        EXPECT_EQ(row["InstanceId"], port.instance_id);
        EXPECT_EQ(row["Device"], port.instance_id.empty() ? "" : port.phantom ? "phantom" : "present");
    }
    // Every reserved number and why, in the JSON document and under the table.
    const console_test::Finished json = console_test::RunToEnd("--json");
    ASSERT_EQ(json.status, 0) << json.err;
    std::map<std::string, std::string> reasons;
    const nlohmann::json document = nlohmann::json::parse(json.out);
    for (const nlohmann::json& r : document.at("reservations"))
        reasons[r.at("port").get<std::string>()] = r.at("reason").get<std::string>();
    EXPECT_EQ(reasons.size(), layout_.comdb().size());
    for (const std::string& com : layout_.comdb()) EXPECT_EQ(reasons[com], ExpectedReason(com)) << com;
    const console_test::Finished table = console_test::RunToEnd("");
    // The block is aligned: a number is padded to the widest one (COM300) before its reason.
    for (const std::string& com : layout_.comdb())
        EXPECT_TRUE(std::regex_search(table.out, std::regex("\n" + com + " {2,}" + ExpectedReason(com))))
            << com << "\n" << table.out;
}

// Unplugging a USB adapter leaves a phantom that still holds its number; plugging it back
// makes it present again.
TEST_F(IdentityLab, UnpluggedAdapterIsAPhantomUntilPluggedBack) {
    const lab::Port* adapter = nullptr;
    for (const lab::Port& port : layout_.ports())
        if (!adapter && !port.vid.empty() && port.present && port.kind != lab::Kind::Held) adapter = &port;
    if (!adapter) GTEST_SKIP() << "no USB adapter without a holder in this layout";
    const std::string com = adapter->com;
    const int number = ComNumber(com);

    ASSERT_TRUE(lab::RemovePort(layout_, com));
    const HardwareSnapshot unplugged = ReadHardwareSnapshot();
    const bool replugged = lab::ReplugPort(layout_, com);
    const PortIdentity* gone = FindIdentity(unplugged.devices, com);
    ASSERT_NE(gone, nullptr);
    EXPECT_FALSE(gone->present);
    ASSERT_NE(FindReservation(unplugged.reservations, number), nullptr);
    EXPECT_EQ(FindReservation(unplugged.reservations, number)->reason, ReservationReason::kPhantomDevice);

    ASSERT_TRUE(replugged);
    const HardwareSnapshot back = ReadHardwareSnapshot();
    ASSERT_NE(FindIdentity(back.devices, com), nullptr);
    EXPECT_TRUE(FindIdentity(back.devices, com)->present);
    EXPECT_EQ(FindReservation(back.reservations, number)->reason, ReservationReason::kPresentDevice);
}

// Each layout's cases by name: a USB adapter, an on-board port, and what the COM number
// database says about chosen numbers (past 256 it still names the device holding one).
TEST_F(IdentityLab, NamedCasesOfTheLayout) {
    struct Device { const char* layout; const char* com; const char* vidPid; const char* serial; };
    const Device devices[] = {
        {"ident", "COM3", "067B:2303", "A7C3F21B"}, {"ident", "COM2", "", ""},
        {"ident", "COM300", "1A86:7523", "CH300"},  {"test", "COM6", "067B:2303", "A7C3F21B"},
        {"test", "COM2", "", ""},
    };
    struct Reservation { const char* layout; int number; const char* text; };
    const Reservation reservations[] = {
        {"ident", 7, "COM7  phantom device  USB Serial Port (COM7) [0403:6001]"},
        {"ident", 9, "COM9  stale"},
        {"ident", 300, "COM300  phantom device  USB-SERIAL CH340 (COM300) [1A86:7523]"},
        {"test", 6, "COM6  present device  USB Serial Device (COM6) [067B:2303]"},
    };
    const HardwareSnapshot hardware = ReadHardwareSnapshot();
    int checked = 0;
    for (const Device& d : devices) {
        if (layout_.name() != d.layout) continue;
        ++checked;
        const PortIdentity* identity = FindIdentity(hardware.devices, d.com);
        ASSERT_NE(identity, nullptr) << d.com;
        EXPECT_EQ(identity->vidPid, d.vidPid) << d.com;
        EXPECT_EQ(identity->serialNumber, d.serial) << d.com;
    }
    for (const Reservation& r : reservations) {
        if (layout_.name() != r.layout) continue;
        ++checked;
        const ComReservation* found = FindReservation(hardware.reservations, r.number);
        ASSERT_NE(found, nullptr) << r.number;
        EXPECT_EQ(ReservationText(*found), r.text);
    }
    EXPECT_GT(checked, 0) << "no cases for the layout " << layout_.name();
}

}  // namespace
}  // namespace kestrune
