// The scan's worker pool and its bounds: the pool gives the records of the port-by-port
// scan, and a port that stalls costs the bound, reads "Disconnected" with a time-out, and
// is closed when its stalled call returns. Skipped when the lab is not up.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scan/cable_neighbours.h"
#include "scan/scan_driver.h"
#include "support/fixed_text.h"
#include "support/module_hold.h"
#include "scan_test_support.h"
#include "test_helpers.h"

using namespace kestrune;

namespace {

// The fields a scan decides; handle values and channel numbers differ from scan to scan.
std::string Decided(const PortRecord& r) {
    std::string s;
    for (const std::string_view text : {Text(r.PortName), Text(r.DeviceName), Text(r.Status), Text(r.ParityName),
                                         Text(r.DeviceType), Text(r.ProgramName), Text(r.AttachedDevice)})
        s += std::string(text) + "|";
    for (int64_t v : {int64_t{r.Baud}, int64_t{r.DataBits}, int64_t{r.Parity}, int64_t{r.StopBits},
                      int64_t{r.FlowControlBits}, int64_t{r.ModemStatus}, int64_t{r.DataSendReady},
                      int64_t{r.ClearToSend}, int64_t{r.RING}, int64_t{r.ReceiveLineDetect}, int64_t{r.DtrCommand},
                      int64_t{r.RtsCommand}, int64_t{r.CableKind}, int64_t{r.CableResponse}, int64_t{r.WinError},
                      int64_t{r.RtError}, int64_t{r.AppError}, int64_t{r.ProcessId}, int64_t{r.LBOUND},
                      int64_t{r.UBOUND}})
        s += std::to_string(v) + "|";
    return s;
}

// Every late task has ended (each holds the module while it runs).
bool LateTasksEnded() { return ModuleHolds() == 0; }

bool PortOpens(const std::string& com) {
    UniqueHandle h(CreateFileA(("\\\\.\\" + com).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                               nullptr));
    return h.valid();
}

}  // namespace

TEST(ScanPool, PoolGivesThePortByPortRecords) {
    const lab::Layout layout = scan_test::LabLayout();
    if (layout.ports().empty()) GTEST_SKIP() << "serial lab is not up";
    lab::ScopedWiring restore(layout);
    // Slow adapters on both ends of the null-modem pair and on the loopback plug.
    for (const lab::Port* p : layout.OfKind(lab::Kind::NullModem)) ASSERT_TRUE(lab::SetDriver(layout, p->com, lab::Driver::Ftdi));
    const lab::Port* loop = layout.FirstOfKind(lab::Kind::Loopback);
    ASSERT_NE(loop, nullptr);
    ASSERT_TRUE(lab::SetDriver(layout, loop->com, lab::Driver::UsbSer));

    ScanPassOptions one;
    one.workers = 1;
    std::vector<PortRecord> byOne, pooled;
    ScanPorts(byOne, nullptr, {}, one);
    ScanPorts(pooled, nullptr);
    ASSERT_EQ(byOne.size(), pooled.size());
    for (size_t i = 0; i < byOne.size(); ++i) EXPECT_EQ(Decided(byOne[i]), Decided(pooled[i])) << i;
    for (const lab::Port* p : layout.OfKind(lab::Kind::NullModem)) {
        for (const PortRecord& r : pooled) {
            if (Text(r.PortName) != p->com) continue;
            EXPECT_NE(r.CableKind, 1) << p->com << " read as a loopback plug";
            EXPECT_EQ(CabledTo(r), p->peer) << p->com;
        }
    }
    for (const PortRecord& r : pooled) {
        const lab::Port* p = layout.Find(std::string(Text(r.PortName)));
        if (p && p->kind != lab::Kind::NullModem) {
            EXPECT_EQ(CabledTo(r), "") << p->com;
        }
    }
}

TEST(ScanPool, StalledPortCostsTheBoundAndIsClosedLater) {
    const lab::Layout layout = scan_test::LabLayout();
    if (layout.ports().empty()) GTEST_SKIP() << "serial lab is not up";
    const lab::Port* port = layout.FirstOfKind(lab::Kind::Free);
    ASSERT_NE(port, nullptr);
    lab::ScopedWiring restore(layout);
    ASSERT_TRUE(lab::SetDriver(layout, port->com, lab::Driver::Uart, 0, 3000));
    ScanPassOptions options;
    options.boundMilliseconds = 1000;

    { std::vector<PortRecord> warm; ScanPorts(warm, nullptr, {}, options); }  // first-use allocations
    ASSERT_TRUE(test_helpers::PollUntil(LateTasksEnded));
    const DWORD handles = scan_test::HandleCount();
    for (int scan = 0; scan < 20; ++scan) {
        SCOPED_TRACE(scan);
        const ULONGLONG start = GetTickCount64();
        std::vector<PortRecord> records;
        ScanPorts(records, nullptr, {}, options);
        const ULONGLONG took = GetTickCount64() - start;
        bool seen = false;
        for (const PortRecord& r : records) {
            if (Text(r.PortName) != port->com) {
                EXPECT_NE(r.WinError, static_cast<uint32_t>(ERROR_TIMEOUT)) << Text(r.PortName) << " stalled too";
                continue;
            }
            seen = true;
            EXPECT_EQ(Text(r.Status), "Disconnected");
            EXPECT_EQ(r.WinError, static_cast<uint32_t>(ERROR_TIMEOUT));
            EXPECT_NE(Text(r.WinErrorDescription), "");
            EXPECT_EQ(r.WinHandle, 0u);
        }
        EXPECT_TRUE(seen);
        EXPECT_LT(took, 3000u) << "the scan waited for the stalled call";
        ASSERT_TRUE(test_helpers::PollUntil(LateTasksEnded)) << "a late task never ended";
        EXPECT_TRUE(PortOpens(port->com)) << "the late task left the port open";
    }
    EXPECT_LE(scan_test::HandleCount(), handles + 2);
}
