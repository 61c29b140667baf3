// Modem lines of the lab's wirings, as Win32 sees them.
#include <memory>

#include "lab_test_util.h"

using labtest::LabTest;
using labtest::ModemBits;
using labtest::Port;

namespace {

struct LineCase {
    bool dtr, rts;      // driven with EscapeCommFunction
    DWORD expected;     // GetCommModemStatus afterwards
};

struct WiringCase {
    const char* name;
    lab::Wiring wiring;
    LineCase cases[4];
};

constexpr DWORD kDsr = MS_DSR_ON, kCts = MS_CTS_ON, kDcd = MS_RLSD_ON;

const WiringCase kWirings[] = {
    {"none", lab::Wiring::None, {{false, false, 0}, {true, false, 0}, {false, true, 0}, {true, true, 0}}},
    {"loopback",
     lab::Wiring::Loopback,
     {{false, false, 0}, {true, false, kDsr | kDcd}, {false, true, kCts}, {true, true, kDsr | kDcd | kCts}}},
    {"device",
     lab::Wiring::Device,
     {{false, false, kDsr | kDcd | kCts},
      {true, false, kDsr | kDcd | kCts},
      {false, true, kDsr | kDcd | kCts},
      {true, true, kDsr | kDcd | kCts}}},
    {"dsr-only", lab::Wiring::DsrOnly, {{false, false, 0}, {true, false, kDsr}, {false, true, 0}, {true, true, kDsr}}},
};

void CheckTable(const Port& port, const WiringCase& w) {
    for (const LineCase& c : w.cases) {
        port.Lines(c.dtr, c.rts);
        DWORD s = port.ModemStatus();
        EXPECT_EQ(s & (kDsr | kCts | kDcd | MS_RING_ON), c.expected)
            << w.name << " DTR=" << c.dtr << " RTS=" << c.rts << ": got " << ModemBits(s) << ", want "
            << ModemBits(c.expected);
    }
}

const lab::Port* PortOfWiring(const lab::Layout& layout, lab::Wiring w) {
    switch (w) {
    case lab::Wiring::None: return layout.FirstOfKind(lab::Kind::Free);
    case lab::Wiring::Loopback: return layout.FirstOfKind(lab::Kind::Loopback);
    case lab::Wiring::Device: return layout.FirstOfKind(lab::Kind::Device);
    case lab::Wiring::DsrOnly: return layout.FirstOfKind(lab::Kind::DsrOnly);
    default: return nullptr;
    }
}

}  // namespace

class LabLines : public LabTest {};

// Every wiring declared by the layout gives its lines on its own port.
TEST_F(LabLines, DeclaredWiringsGiveTheirLines) {
    for (const WiringCase& w : kWirings) {
        const lab::Port* p = PortOfWiring(layout, w.wiring);
        if (!p) continue;
        SCOPED_TRACE(p->com + " (" + w.name + ")");
        Port port(p->com);
        ASSERT_TRUE(port.ok()) << "open error " << port.error();
        CheckTable(port, w);
    }
}

// The same table when a free port is rewired at run time through the shared state.
TEST_F(LabLines, RuntimeWiringGivesTheSameLines) {
    const lab::Port* p = Need(lab::Kind::Free);
    ASSERT_NE(p, nullptr);
    lab::ScopedWiring restore(layout);
    Port port(p->com);
    ASSERT_TRUE(port.ok()) << "open error " << port.error();
    for (const WiringCase& w : kWirings) {
        SCOPED_TRACE(p->com + " rewired " + w.name);
        ASSERT_TRUE(lab::SetWiring(layout, p->com, w.wiring));
        CheckTable(port, w);
    }
}

// A far-end device's lines follow what the lab sets for it; ring shows as RI.
TEST_F(LabLines, FarEndDeviceLinesCanChange) {
    const lab::Port* p = Need(lab::Kind::Device);
    ASSERT_NE(p, nullptr);
    lab::ScopedWiring restore(layout);
    Port port(p->com);
    ASSERT_TRUE(port.ok());
    struct {
        bool dtr, rts, ri;
        DWORD expected;
    } const cases[] = {
        {false, false, false, 0},
        {true, false, false, kDsr | kDcd},
        {false, true, false, kCts},
        {true, true, true, kDsr | kDcd | kCts | MS_RING_ON},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(lab::SetFarLines(layout, p->com, c.dtr, c.rts, c.ri));
        DWORD s = port.ModemStatus();
        EXPECT_EQ(s, c.expected) << "far DTR=" << c.dtr << " RTS=" << c.rts << " RI=" << c.ri << ": " << ModemBits(s);
    }
}

// Null-modem pair: each side's DTR shows as the other's DSR+DCD, RTS as CTS, both ways.
TEST_F(LabLines, NullModemPairBothDirections) {
    const lab::Port* a = Need(lab::Kind::NullModem);
    ASSERT_NE(a, nullptr);
    ASSERT_FALSE(a->peer.empty());
    Port pa(a->com), pb(a->peer);
    ASSERT_TRUE(pa.ok()) << pa.error();
    ASSERT_TRUE(pb.ok()) << pb.error();
    const struct {
        bool dtr, rts;
        DWORD expected;
    } cases[] = {{false, false, 0}, {true, false, kDsr | kDcd}, {false, true, kCts}, {true, true, kDsr | kDcd | kCts}};
    for (int dir = 0; dir < 2; dir++) {
        const Port& driver = dir == 0 ? pa : pb;
        const Port& reader = dir == 0 ? pb : pa;
        SCOPED_TRACE(dir == 0 ? a->com + " -> " + a->peer : a->peer + " -> " + a->com);
        reader.Lines(false, false);
        for (const auto& c : cases) {
            driver.Lines(c.dtr, c.rts);
            DWORD s = reader.ModemStatus();
            EXPECT_EQ(s & (kDsr | kCts | kDcd), c.expected) << "DTR=" << c.dtr << " RTS=" << c.rts << ": " << ModemBits(s);
            // The driving side sees only what the other side drives (off).
            EXPECT_EQ(driver.ModemStatus() & (kDsr | kCts | kDcd), 0u);
        }
        driver.Lines(false, false);
    }
}

// Closing a port drops its DTR and RTS, as a serial driver does.
TEST_F(LabLines, ClosingAPortDropsItsLines) {
    const lab::Port* a = Need(lab::Kind::NullModem);
    ASSERT_NE(a, nullptr);
    Port reader(a->peer);
    ASSERT_TRUE(reader.ok());
    {
        Port driver(a->com);
        ASSERT_TRUE(driver.ok());
        driver.Lines(true, true);
        EXPECT_EQ(reader.ModemStatus() & (kDsr | kCts | kDcd), kDsr | kCts | kDcd);
    }
    EXPECT_EQ(reader.ModemStatus() & (kDsr | kCts | kDcd), 0u);
}

// WaitCommEvent wakes up when the far end changes DSR. The wait is started (pending) before
// DTR rises, and waited for with a bound.
TEST_F(LabLines, WaitCommEventSeesDsrChange) {
    const lab::Port* a = Need(lab::Kind::NullModem);
    ASSERT_NE(a, nullptr);
    Port driver(a->com), reader(a->peer, 0, FILE_FLAG_OVERLAPPED);
    ASSERT_TRUE(driver.ok() && reader.ok());
    driver.Lines(false, false);
    ASSERT_TRUE(SetCommMask(reader.get(), EV_DSR));
    // On the heap: a wait that never ends is left to the system, not completed into this stack.
    struct PendingWait {
        OVERLAPPED overlapped{};
        DWORD mask = 0;
    };
    auto wait = std::make_unique<PendingWait>();
    wait->overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_FALSE(WaitCommEvent(reader.get(), &wait->mask, &wait->overlapped)) << "the wait ended before DSR changed";
    ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
    driver.Escape(SETDTR);
    if (WaitForSingleObject(wait->overlapped.hEvent, 5000) != WAIT_OBJECT_0) {
        wait.release();  // still pending (cancelling it does not end it under Wine)
        FAIL() << "DSR rose but the wait went on";
    }
    DWORD ignored = 0;
    EXPECT_TRUE(GetOverlappedResult(reader.get(), &wait->overlapped, &ignored, FALSE)) << GetLastError();
    EXPECT_TRUE(wait->mask & EV_DSR);
    CloseHandle(wait->overlapped.hEvent);
}
