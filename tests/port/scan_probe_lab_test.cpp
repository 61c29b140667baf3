// The status probe inside the scan, over the lab's ports.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "lab_fixture.h"
#include "lab_kind_outcomes.h"
#include "port/channel.h"
#include "port/channel_errors.h"
#include "scan/scan_driver.h"
#include "scan/status_probe.h"
#include "support/handles.h"

namespace porttest {
namespace {

using kestrune::SetText;
using kestrune::Text;

std::map<std::string, std::string> StatusByPort(const std::vector<PortRecord>& ports) {
    std::map<std::string, std::string> statuses;
    for (const PortRecord& r : ports) statuses[std::string(Text(r.PortName))] = std::string(Text(r.Status));
    return statuses;
}

TEST_F(LabTest, ScanNamesEveryLabPort) {
    const std::size_t openBefore = kestrune::OpenChannelCount();
    std::vector<PortRecord> ports;
    kestrune::ScanPorts(ports, nullptr);
    std::map<std::string, const PortRecord*> byPort;
    for (const PortRecord& r : ports) byPort[std::string(Text(r.PortName))] = &r;
    for (const lab::Port& port : layout_.ports()) {
        if (!port.present && port.kind != lab::Kind::PortListOnly && port.kind != lab::Kind::DeviceMapUnopenable)
            continue;
        SCOPED_TRACE(port.com);
        ASSERT_EQ(byPort.count(port.com), 1u);
        const lab_outcomes::KindOutcome* expected = lab_outcomes::OutcomeOf(port.kind);
        ASSERT_NE(expected, nullptr);
        const PortRecord& r = *byPort.at(port.com);
        EXPECT_EQ(Text(r.Status), expected->status);
        EXPECT_EQ(r.RtHandle, 0);  // closed at the end of the record's pass
        EXPECT_EQ(r.State, 1);
        if (expected->openError != 0) {
            EXPECT_EQ(r.RtError, 69);
            EXPECT_EQ(r.WinError, expected->openError);
        }
    }
    EXPECT_EQ(kestrune::OpenChannelCount(), openBefore);
}

TEST_F(LabTest, TwoScansInARowAgree) {
    std::vector<PortRecord> first, second;
    kestrune::ScanPorts(first, nullptr);
    kestrune::ScanPorts(second, nullptr);
    EXPECT_EQ(StatusByPort(first), StatusByPort(second));
}

TEST_F(LabTest, ProbeKeepsAnOpenedPortOpenWithItsHandle) {
    PortRecord free{}, held{};
    SetText(held.PortName, PortOf(lab::Kind::Held));
    SetText(held.DeviceName, "\\Device\\Serial9");
    SetText(free.PortName, PortOf(lab::Kind::Free));
    SetText(free.DeviceName, "\\Device\\Serial1");
    held.RtHandle = kestrune::NextChannelNumber();
    free.RtHandle = kestrune::NextChannelNumber();
    ASSERT_NE(held.RtHandle, free.RtHandle);

    kestrune::ProbePortStatus(held);
    EXPECT_EQ(Text(held.Status), "In-Use");
    EXPECT_EQ(held.WinHandle, 0u);
    EXPECT_EQ(held.RtError, 69);
    EXPECT_EQ(kestrune::ChannelError(), 0);  // nothing carries over
    EXPECT_EQ(GetLastError(), 0u);

    kestrune::ProbePortStatus(free);
    EXPECT_EQ(Text(free.Status), "Available");
    EXPECT_TRUE(kestrune::IsChannelOpen(free.RtHandle));
    EXPECT_EQ(free.WinHandle, kestrune::HandleToField(kestrune::ChannelNativeHandle(free.RtHandle)));

    SerialPort_Close_Rt(&held);  // does nothing to the other record's channel
    EXPECT_TRUE(kestrune::IsChannelOpen(free.RtHandle));
    SerialPort_Close_Rt(&free);
    EXPECT_FALSE(kestrune::IsChannelOpen(free.RtHandle));
}

TEST_F(LabTest, TheBlankRecordOfAnEmptyRegistryDescribesComOne) {
    PortRecord record{};
    record.RtHandle = kestrune::NextChannelNumber();
    kestrune::ProbePortStatus(record);
    EXPECT_EQ(Text(record.PortName), "COM1");
    EXPECT_EQ(record.Number, 1);
    // Available when this machine has a COM1 that opens; a COM1 that does not exist is
    // disconnected, never a made-up "In-Use".
    EXPECT_EQ(Text(record.Status), kestrune::IsChannelOpen(record.RtHandle) ? "Available" : "Disconnected");
    SerialPort_Close_Rt(&record);
}

TEST_F(LabTest, APortWhosePtyVanishesBeforeTheProbe) {
    // A port nobody else uses in these tests.
    const lab::Port* victim = layout_.FirstOfKind(lab::Kind::DsrOnly);
    if (!victim) victim = layout_.FirstOfKind(lab::Kind::Device);
    ASSERT_NE(victim, nullptr);
    PortRecord record{};  // as discovery left it
    SetText(record.PortName, victim->com);
    SetText(record.DeviceName, victim->device_map_name);
    record.RtHandle = kestrune::NextChannelNumber();

    ASSERT_TRUE(lab::RemovePort(layout_, victim->com));
    kestrune::ProbePortStatus(record);
    const bool replugged = lab::ReplugPort(layout_, victim->com);

    EXPECT_NE(Text(record.Status), "Available");
    EXPECT_EQ(record.RtError, 69);
    EXPECT_EQ(Text(record.RtErrorDescription), "Comm error");
    EXPECT_EQ(record.WinHandle, 0u);
    EXPECT_FALSE(kestrune::IsChannelOpen(record.RtHandle));
    SerialPort_Close_Rt(&record);
    EXPECT_TRUE(replugged);
}

TEST_F(LabTest, FiftyScansLeaveNoHandleBehind) {
    std::vector<PortRecord> ports;
    kestrune::ScanPorts(ports, nullptr);  // first-use allocations happen here
    DWORD before = 0, after = 0;
    ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &before));
    for (int i = 0; i < 50; ++i) kestrune::ScanPorts(ports, nullptr);
    ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &after));
    EXPECT_EQ(after, before);
}

}  // namespace
}  // namespace porttest
