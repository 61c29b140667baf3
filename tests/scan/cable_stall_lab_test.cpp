// Ports that stall past the end of the scan, more of them than the pool has workers, beside
// ports that answer: the scan returns within its bounds with the answering ports' cable
// verdicts, the caller frees everything, and when the stalls end nothing crashes and every
// handle and port is back. Skipped when the lab is not up.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "scan/cable_neighbours.h"
#include "scan/cable_test.h"
#include "scan/scan_driver.h"
#include "support/fixed_text.h"
#include "support/handles.h"
#include "support/module_hold.h"
#include "scan_test_support.h"
#include "test_helpers.h"

using namespace kestrune;

namespace {

// Waits, bounded, until every late task and lane has ended (each holds the module) and the
// named ports open again.
bool EverythingBack(const std::vector<std::string>& ports, DWORD limitMs) {
    return test_helpers::PollUntil(
        [&] {
            if (ModuleHolds() != 0) return false;
            for (const std::string& com : ports) {
                UniqueHandle h(CreateFileA(("\\\\.\\" + com).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                           OPEN_EXISTING, 0, nullptr));
                if (!h.valid()) return false;
            }
            return true;
        },
        limitMs);
}

}  // namespace

TEST(CableStall, StalledPortsBeyondThePoolEndAfterTheScanHarmlessly) {
    const lab::Layout layout = scan_test::LabLayout();
    if (layout.ports().empty()) GTEST_SKIP() << "serial lab is not up";
    lab::ScopedWiring restore(layout);
    const std::vector<std::string> stalled = {"COM2", "COM6", "COM9"};
    const std::vector<std::string> names = {"COM2", "COM6", "COM7", "COM8", "COM9", "COM10"};
    constexpr DWORD kStallMs = 4000;
    ScanPassOptions options;
    options.workers = 2;  // fewer than the stalled ports
    options.boundMilliseconds = 1000;

    { std::vector<PortRecord> warm; ScanNamedPorts(warm, nullptr, names, {}, options); }  // first-use allocations
    ASSERT_TRUE(EverythingBack(names, 5000));
    const DWORD handles = scan_test::HandleCount();
    for (const std::string& com : stalled) ASSERT_TRUE(lab::SetDriver(layout, com, lab::Driver::Uart, 0, kStallMs));

    const ULONGLONG start = GetTickCount64();
    {
        std::vector<PortRecord> records;
        ScanNamedPorts(records, nullptr, names, {}, options);
        EXPECT_LT(GetTickCount64() - start, kStallMs) << "the scan waited for a stalled call";
        ASSERT_EQ(records.size(), names.size());
        for (const PortRecord& r : records) {
            const std::string com(Text(r.PortName));
            SCOPED_TRACE(com);
            const bool stalls = std::find(stalled.begin(), stalled.end(), com) != stalled.end();
            if (stalls) {
                EXPECT_EQ(Text(r.Status), "Disconnected");
                EXPECT_EQ(r.WinError, static_cast<uint32_t>(ERROR_TIMEOUT));
                EXPECT_TRUE(CableNotTested(r)) << r.CableKind << " " << r.DtrCommand << "/" << r.RtsCommand;
            } else {
                EXPECT_EQ(Text(r.Status), "Available");
                EXPECT_EQ(CabledTo(r), com == "COM7" ? "COM8" : com == "COM8" ? "COM7" : "");
            }
        }
    }  // the records go while the stalled calls are still under way
    for (const std::string& com : stalled) ASSERT_TRUE(lab::SetDriver(layout, com, lab::Driver::Uart, 0, 0));
    ASSERT_TRUE(EverythingBack(names, kStallMs + 5000)) << "a late task never ended or left a port open";
    EXPECT_LE(scan_test::HandleCount(), handles + 2);
}
