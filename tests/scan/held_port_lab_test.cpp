// A port another program holds: scans read its lines and leave them, and its settings, exactly
// as the holder set them; a scan stopped on the way leaves no port held. Skipped when the lab
// is not up.
#include <gtest/gtest.h>

#include <new>
#include <string>
#include <vector>

#include "port/channel.h"
#include "scan/cable_test.h"
#include "scan/owner_search.h"
#include "scan/scan_driver.h"
#include "scan/status_probe.h"
#include "support/fixed_text.h"
#include "support/handles.h"
#include "scan_test_support.h"

using namespace kestrune;

namespace {

TEST(HeldPortLab, TwentyScansLeaveTheHoldersLinesAndSettings) {
    const lab::Layout layout = scan_test::LabLayout();
    if (layout.ports().empty()) GTEST_SKIP() << "serial lab is not up";
    // Held through a plug whose inputs follow the holder's outputs, so any drive shows.
    struct Case {
        lab::Kind kind;
        int dtr, rts;
    } cases[] = {{lab::Kind::Loopback, 1, 0}, {lab::Kind::Loopback, 0, 1}, {lab::Kind::DsrOnly, 1, 1}};
    for (const Case& c : cases) {
        const lab::Port* port = layout.FirstOfKind(c.kind);
        ASSERT_NE(port, nullptr) << lab::KindName(c.kind);
        SCOPED_TRACE(port->com + " dtr " + std::to_string(c.dtr) + " rts " + std::to_string(c.rts));
        lab::LineSettings settings;
        settings.baud = 19200;
        settings.data_bits = 7;
        settings.parity = 'e';
        settings.stop = "2";
        settings.dtr = c.dtr;
        settings.rts = c.rts;
        lab::Holder holder(port->com, settings);
        ASSERT_TRUE(holder.ok()) << holder.message();

        lab::HolderView before, after;
        lab_port slotBefore{}, slotAfter{};
        ASSERT_TRUE(holder.ReadView(before));
        ASSERT_TRUE(lab::ReadPortState(layout, port->com, slotBefore));
        for (int scan = 0; scan < 20; ++scan) {
            std::vector<PortRecord> records;
            ScanPorts(records, nullptr);
            for (const PortRecord& r : records) {
                if (Text(r.PortName) != port->com) continue;
                EXPECT_EQ(Text(r.Status), "In-Use");
                EXPECT_EQ(r.ProcessId, holder.pid());
                EXPECT_TRUE(CableNotTested(r)) << r.CableKind << " " << r.CableResponse << " " << r.DtrCommand;
                EXPECT_EQ(r.DataSendReady != 0, c.dtr == 1) << "the holder's DSR, read once";
            }
        }
        ASSERT_TRUE(holder.ReadView(after));
        ASSERT_TRUE(lab::ReadPortState(layout, port->com, slotAfter));
        EXPECT_EQ(after.Text(), before.Text());
        EXPECT_EQ(slotAfter.out_lines, slotBefore.out_lines);
        EXPECT_EQ(slotAfter.cflag, slotBefore.cflag);
        EXPECT_EQ(slotBefore.out_lines, (c.dtr ? LAB_LINE_DTR : 0u) | (c.rts ? LAB_LINE_RTS : 0u));
    }
}

}  // namespace

namespace {

TEST(ScanLab, AScanStoppedOnTheWayLeavesNothingOpen) {
    const lab::Layout layout = scan_test::LabLayout();
    if (layout.ports().empty()) GTEST_SKIP() << "serial lab is not up";
    const std::vector<lab::Kind> kinds = {lab::Kind::Free, lab::Kind::Held, lab::Kind::Loopback};
    std::vector<PortRecord> records(kinds.size());
    const DWORD handlesBefore = scan_test::HandleCount();
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        const lab::Port* port = layout.FirstOfKind(kinds[i]);
        ASSERT_NE(port, nullptr);
        records[i] = scan_test::ProbedRecord(*port);
    }
    FindPortOwners(records, nullptr);  // the scan's duplicates and owner handles
    try {
        UnfinishedRecords unfinished(records);
        unfinished.Ended(1);            // the first record's pass ended as usual
        EndRecordPass(records[0]);
        throw std::bad_alloc();         // the scan stops in the second record's pass
    } catch (const std::bad_alloc&) {
    }
    for (const PortRecord& r : records) EXPECT_FALSE(IsChannelOpen(r.RtHandle)) << Text(r.PortName);
    EXPECT_EQ(scan_test::HandleCount(), handlesBefore);
    for (lab::Kind kind : {lab::Kind::Free, lab::Kind::Loopback}) {  // free for the next program
        kestrune::UniqueHandle again(CreateFileA(layout.FirstOfKind(kind)->Path().c_str(),
                                                 GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        EXPECT_TRUE(again.valid()) << lab::KindName(kind);
    }
}

}  // namespace
