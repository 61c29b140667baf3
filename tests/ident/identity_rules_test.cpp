// Port identity decisions as plain functions: hardware and instance ids, presence, the COM
// number database and the reasons of its reservations, and the texts people see.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/common/identity_view.h"
#include "app/common/report.h"
#include "app/window/row_colours.h"
#include "scan/port_identity.h"
#include "support/fixed_text.h"

namespace kestrune {
namespace {

TEST(IdentityRules, VidPidAndInterfaceFromHardwareIds) {
    const struct {
        std::vector<std::string> ids;
        const char* vidPid;
        const char* interfaceNumber;
    } cases[] = {
        {{"USB\\VID_067B&PID_2303&REV_0300", "USB\\VID_067B&PID_2303"}, "067B:2303", ""},
        {{"usb\\vid_2341&pid_8036&mi_00"}, "2341:8036", "00"},
        {{"FTDIBUS\\COMPORT&VID_0403&PID_6001"}, "0403:6001", ""},
        {{"FTDIBUS\\VID_0403+PID_6015+DK0AHAUTA"}, "0403:6015", ""},
        {{"ACPI\\PNP0501", "*PNP0501"}, "", ""},
        {{"USB\\XVID_067B&PID_2303"}, "", ""},          // not a field of its own
        {{"USB\\VID_067&PID_2303"}, "", ""},            // three digits
        {{"USB\\VID_067BC&PID_2303"}, "", ""},          // five digits
        {{"USB\\VID_067B", "USB\\VID_1A86&PID_7523"}, "1A86:7523", ""},  // the first id with both
        {{}, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ids.empty() ? std::string("(none)") : c.ids.front());
        EXPECT_EQ(VidPidFromHardwareIds(c.ids), c.vidPid);
        EXPECT_EQ(InterfaceFromHardwareIds(c.ids), c.interfaceNumber);
    }
}

TEST(IdentityRules, SerialNumberFromInstanceId) {
    const struct {
        const char* id;
        const char* serial;
    } cases[] = {
        {"USB\\VID_067B&PID_2303\\A7C3F21B", "A7C3F21B"},
        {"USB\\VID_067B&PID_2303\\5&1A2B3C4D&0&3", ""},         // made up by the system: no serial
        {"USB\\VID_2341&PID_8036&MI_00\\6&2B1C9E0&0&0000", ""},  // an interface of a composite device
        {"FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000", "A50285BI"},
        {"ACPI\\PNP0501\\1", ""},
        {"USB\\VID_067B&PID_2303", ""},
        {"USB\\VID_067B&PID_2303\\", ""},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(SerialFromInstanceId(c.id), c.serial) << c.id;
}

TEST(IdentityRules, ComNamesAndRegistryTexts) {
    const struct {
        const char* text;
        int number;
    } names[] = {{"COM5", 5}, {"com12:", 12}, {"COM256", 256}, {"COM257", 257}, {"COM300", 300},
                 {"com4096", 4096}, {"COM4097", 0}, {"COM10000", 0}, {"COM0", 0}, {"COM05", 0},
                 {"COM", 0},  {"LPT1", 0},    {"COM1x", 0},    {"", 0}};
    for (const auto& n : names) {
        EXPECT_EQ(ComNumber(n.text), n.number) << n.text;
        EXPECT_EQ(NormalComName(n.text), n.number ? "COM" + std::to_string(n.number) : "") << n.text;
    }
    EXPECT_EQ(DisplayTextOfRegistryString("@oem12.inf,%ser.desc%;Prolific USB-to-Serial Comm Port"),
              "Prolific USB-to-Serial Comm Port");
    EXPECT_EQ(DisplayTextOfRegistryString("@msports.inf,%PNP0501.DeviceDesc%"), "");
    EXPECT_EQ(DisplayTextOfRegistryString("Communications Port"), "Communications Port");
}

TEST(IdentityRules, Presence) {
    constexpr uint32_t kNoSuchDevInst = 0x25, kNoSuchDevNode = 0x0D, kFailure = 0x13, kStarted = 0x0100000A;
    EXPECT_EQ(PresenceFromDevNode(0, kStarted), Presence::kPresent);
    EXPECT_EQ(PresenceFromDevNode(kNoSuchDevInst, 0), Presence::kAbsent);
    EXPECT_EQ(PresenceFromDevNode(kNoSuchDevNode, 0), Presence::kAbsent);
    EXPECT_EQ(PresenceFromDevNode(0, 0), Presence::kUnknown) << "a system that keeps no device nodes";
    EXPECT_EQ(PresenceFromDevNode(kFailure, 0), Presence::kUnknown);

    const struct {
        bool listedPresent;
        Presence node;
        bool inDeviceMap;
        bool present;
    } cases[] = {
        {true, Presence::kPresent, false, true},  {true, Presence::kAbsent, true, false},
        {true, Presence::kUnknown, true, true},   {true, Presence::kUnknown, false, false},
        {false, Presence::kPresent, true, false}, {false, Presence::kUnknown, true, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DecidePresent(c.listedPresent, c.node, c.inDeviceMap), c.present)
            << c.listedPresent << " " << static_cast<int>(c.node) << " " << c.inDeviceMap;
}

TEST(IdentityRules, ReservedNumbersFromTheBitmap) {
    EXPECT_EQ(ReservedComNumbers({0x56, 0x01}), (std::vector<int>{2, 3, 5, 7, 9}));
    EXPECT_EQ(ReservedComNumbers({0x00, 0x00, 0x80}), (std::vector<int>{24}));
    std::vector<uint8_t> full(32, 0);
    full[31] = 0x80;
    EXPECT_EQ(ReservedComNumbers(full), (std::vector<int>{256}));
    EXPECT_TRUE(ReservedComNumbers({}).empty());
}

PortIdentity Device(const char* port, const char* friendly, const char* vidPid, bool present) {
    PortIdentity d;
    d.portName = port;
    d.friendlyName = friendly;
    d.vidPid = vidPid;
    d.present = present;
    d.instanceId = std::string("X\\") + port;
    return d;
}

// The lab's identity layout as plain values: an on-board COM2, a USB adapter on COM3, a phantom
// adapter still holding COM7, COM9 reserved by nothing, COM4 only in the port list.
std::vector<PortIdentity> FourCases() {
    std::vector<PortIdentity> devices = {
        Device("COM2", "Communications Port (COM2)", "", true),
        Device("COM3", "Prolific USB-to-Serial Comm Port (COM3)", "067B:2303", true),
        Device("COM7", "USB Serial Port (COM7)", "0403:6001", false),
    };
    devices[1].serialNumber = "A7C3F21B";
    return devices;
}

TEST(IdentityRules, ReservationReasons) {
    std::vector<PortIdentity> devices = FourCases();
    // A remembered device on COM3 too: the present one names the reservation.
    devices.push_back(Device("COM3", "Old Adapter (COM3)", "1A86:7523", false));
    const std::vector<ComReservation> reasons =
        DecideReservations({2, 3, 4, 7, 9}, devices, {"COM2", "COM3", "COM4", "COM7"});
    ASSERT_EQ(reasons.size(), 5u);
    const struct {
        int number;
        ReservationReason reason;
        const char* text;
    } expected[] = {
        {2, ReservationReason::kPresentDevice, "COM2  present device  Communications Port (COM2)"},
        {3, ReservationReason::kPresentDevice, "COM3  present device  Prolific USB-to-Serial Comm Port (COM3) [067B:2303]"},
        {4, ReservationReason::kListedPort, "COM4  listed port without a device entry"},
        {7, ReservationReason::kPhantomDevice, "COM7  phantom device  USB Serial Port (COM7) [0403:6001]"},
        {9, ReservationReason::kStale, "COM9  stale"},
    };
    for (size_t i = 0; i < reasons.size(); ++i) {
        EXPECT_EQ(reasons[i].number, expected[i].number);
        EXPECT_EQ(reasons[i].reason, expected[i].reason) << expected[i].number;
        EXPECT_EQ(ReservationText(reasons[i]), expected[i].text);
    }
    EXPECT_EQ(FindIdentity(devices, "com3")->friendlyName, "Prolific USB-to-Serial Comm Port (COM3)");
    EXPECT_EQ(FindIdentity(devices, "COM7:")->present, false);
    EXPECT_EQ(FindIdentity(devices, "COM4"), nullptr);
    EXPECT_EQ(FindReservation(reasons, 9)->reason, ReservationReason::kStale);
    EXPECT_EQ(FindReservation(reasons, 8), nullptr);
}

TEST(IdentityView, TrailingColumnsAndTheirHeaders) {
    const std::vector<PortIdentity> devices = FourCases();
    PortIdentity noFriendly = devices[1];
    noFriendly.friendlyName.clear();
    noFriendly.description = "USB Serial Device";
    noFriendly.serialNumber.clear();
    noFriendly.instanceId = "USB\\VID_067B&PID_2303\\5&1A2B3C4D&0&3";
    const struct {
        const PortIdentity* identity;
        const char* description;
        const char* vidPid;
        const char* serial;
    } cases[] = {
        {&devices[1], "Prolific USB-to-Serial Comm Port (COM3)", "067B:2303", "A7C3F21B"},
        {&devices[0], "Communications Port (COM2)", "", "X\\COM2"},
        {&noFriendly, "USB Serial Device", "067B:2303", "USB\\VID_067B&PID_2303\\5&1A2B3C4D&0&3"},
        {nullptr, "", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IdentityCellText(c.identity, 48), c.description);
        EXPECT_EQ(IdentityCellText(c.identity, 49), c.vidPid);
        EXPECT_EQ(IdentityCellText(c.identity, 50), c.serial);
        EXPECT_EQ(IdentityCellText(c.identity, 47), "");
        const std::vector<CellWrite> cells = IdentityRowCells(c.identity);
        const std::vector<HeaderStep> steps = IdentityHeaderSteps(c.identity);
        ASSERT_EQ(cells.size(), steps.size()) << "a header for every filled cell";
        for (size_t i = 0; i < cells.size(); ++i) {
            EXPECT_EQ(cells[i].column, steps[i].column);
            EXPECT_EQ(steps[i].text.value_or("?"), IdentityColumnHeader(cells[i].column));
        }
    }
    EXPECT_STREQ(IdentityColumnHeader(48), "Description");
    EXPECT_STREQ(IdentityColumnHeader(49), "VID:PID");
    EXPECT_STREQ(IdentityColumnHeader(50), "Serial Number");
    EXPECT_TRUE(IsSeparatorSubItem(46)) << "the divider before the identity columns";
    EXPECT_FALSE(IsSeparatorSubItem(47));
}

PortRecord Record(const char* port, const char* status) {
    PortRecord record{};
    SetText(record.PortName, port);
    SetText(record.Status, status);
    return record;
}

TEST(IdentityView, ReportBlockComesAfterTheUnchangedReport) {
    HardwareSnapshot hardware;
    hardware.devices = FourCases();
    hardware.comDbRead = true;
    hardware.reservations = DecideReservations({2, 3, 7, 9}, hardware.devices, {"COM2", "COM3", "COM4"});
    const std::vector<PortRecord> records = {Record("COM2", "Available"), Record("COM3", "Available"),
                                             Record("COM4", "Disconnected")};
    const OsInfoRecord info{};
    const std::string before = BuildDiagnosticReport(records, info, "A=1");
    const std::string after = BuildDiagnosticReport(records, info, "A=1", hardware);
    ASSERT_EQ(after.compare(0, before.size(), before), 0) << "the designed report stays byte for byte";
    const std::string block = after.substr(before.size());
    const std::vector<std::string> expected = {
        "",
        "",
        "Hardware Identity",
        "COM2 = Available",
        "     Device =      present",
        "     Friendly Name =      Communications Port (COM2)",
        "     Instance Id =      X\\COM2",
        "COM3 = Available",
        "     Device =      present",
        "     Friendly Name =      Prolific USB-to-Serial Comm Port (COM3)",
        "     VID:PID =      067B:2303",
        "     Serial Number =      A7C3F21B",
        "     Instance Id =      X\\COM3",
        "COM4 = Disconnected",
        "     Device =      no device entry",
        "COM7 = (no scanned port)",
        "     Device =      phantom",
        "     Friendly Name =      USB Serial Port (COM7)",
        "     VID:PID =      0403:6001",
        "     Instance Id =      X\\COM7",
        "",
        "COM Number Reservations",
        "COM2  present device  Communications Port (COM2)",
        "COM3  present device  Prolific USB-to-Serial Comm Port (COM3) [067B:2303]",
        "COM7  phantom device  USB Serial Port (COM7) [0403:6001]",
        "COM9  stale",
    };
    std::string joined;
    for (const std::string& line : expected) joined += line + "\r\n";
    EXPECT_EQ(block, joined);
}

}  // namespace
}  // namespace kestrune
