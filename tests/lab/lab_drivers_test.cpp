// The lab's driver personalities, seen from a plain Win32 client on a loopback plug.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "lab_test_util.h"
#include "test_helpers.h"

using labtest::LabTest;
using labtest::ModemBits;
using labtest::Port;

namespace {

struct DriverCase {
    lab::Driver driver;
    DWORD escapeError;     // what EscapeCommFunction fails with; 0 when it works
    int dsrAtOnce;         // DSR shows in the status read right after SETDTR (1), not yet (0); -1 either
                           // (usbser's 2 ms are shorter than a slow read)
    bool rtsAloneReaches;  // CTS follows an RTS-only request
};

const DriverCase kDrivers[] = {
    {lab::Driver::Uart, 0, 1, true},
    {lab::Driver::Ftdi, 0, 0, true},
    {lab::Driver::UsbSer, 0, -1, false},
    {lab::Driver::NoLines, ERROR_GEN_FAILURE, -1, false},
};

// Milliseconds until the status shows all of `bits`; -1 when it does not within a second.
int WaitForBits(const Port& port, DWORD bits) {
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const bool seen = test_helpers::PollUntil(
        [&] {
            DWORD s = 0;
            return GetCommModemStatus(port.get(), &s) && (s & bits) == bits;
        },
        1000);
    return seen ? static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count())
                : -1;
}

// The lab's slot of a port, as the lab keeps it now.
lab_port SlotOf(const lab::Layout& layout, const std::string& com) {
    lab_port slot{};
    EXPECT_TRUE(lab::ReadPortState(layout, com, slot)) << com;
    return slot;
}

}  // namespace

class LabDrivers : public LabTest {};

TEST_F(LabDrivers, EachPersonalityOnALoopbackPlug) {
    const lab::Port* p = Need(lab::Kind::Loopback);
    ASSERT_NE(p, nullptr);
    lab::ScopedWiring restore(layout);
    for (const DriverCase& c : kDrivers) {
        SCOPED_TRACE(lab::DriverName(c.driver));
        ASSERT_TRUE(lab::SetDriver(layout, p->com, c.driver));
        Port port(p->com);
        ASSERT_TRUE(port.ok()) << "open error " << port.error();
        if (c.escapeError == 0) {  // lowered, and past any latency: DSR shows it (usbser keeps an RTS change)
            port.Lines(false, false);
            ASSERT_TRUE(test_helpers::PollUntil([&] { return (port.ModemStatus() & MS_DSR_ON) == 0; }, 1000));
        }

        SetLastError(0);
        const BOOL escaped = EscapeCommFunction(port.get(), SETDTR);
        if (c.escapeError != 0) {
            EXPECT_FALSE(escaped);
            EXPECT_EQ(GetLastError(), c.escapeError);
            EXPECT_FALSE(EscapeCommFunction(port.get(), SETRTS));
            EXPECT_EQ(GetLastError(), c.escapeError);
            DWORD s = 0;
            EXPECT_TRUE(GetCommModemStatus(port.get(), &s)) << GetLastError();
            DCB dcb{};
            dcb.DCBlength = sizeof dcb;
            EXPECT_TRUE(GetCommState(port.get(), &dcb)) << GetLastError();
            continue;
        }
        ASSERT_TRUE(escaped) << GetLastError();
        const DWORD first = port.ModemStatus();
        if (c.dsrAtOnce >= 0) EXPECT_EQ((first & MS_DSR_ON) != 0, c.dsrAtOnce == 1) << ModemBits(first);
        const int lag = WaitForBits(port, MS_DSR_ON);
        EXPECT_GE(lag, 0) << "DSR never followed DTR";

        // Whether an RTS-only request reaches the far side is the lab's own record, at once;
        // a far side that got it shows CTS within the latency.
        port.Escape(SETRTS);
        EXPECT_EQ((SlotOf(layout, p->com).out_lines & LAB_LINE_RTS) != 0, c.rtsAloneReaches);
        if (c.rtsAloneReaches) {
            EXPECT_GE(WaitForBits(port, MS_CTS_ON), 0) << "CTS never followed RTS alone";
        } else {
            const DWORD afterRts = port.ModemStatus();
            EXPECT_EQ(afterRts & MS_CTS_ON, 0u) << ModemBits(afterRts);
        }
        // Sending the DTR state again carries RTS to the far side on every driver.
        port.Escape(SETDTR);
        EXPECT_GE(WaitForBits(port, MS_DSR_ON | MS_CTS_ON), 0) << "CTS never followed RTS";
        std::printf("[ lab ] %s: DSR followed DTR after %d ms\n", lab::DriverName(c.driver), lag);
    }
}

// A stalled port blocks its first control request after each open, in the calling thread
// only: another thread of the same process works on another port meanwhile, and a second
// request on the same open does not stall again.
TEST_F(LabDrivers, StallBlocksOnlyTheCallingThread) {
    const lab::Port* stalled = Need(lab::Kind::Loopback);
    const lab::Port* other = Need(lab::Kind::Free);
    ASSERT_TRUE(stalled && other);
    lab::ScopedWiring restore(layout);
    ASSERT_TRUE(lab::SetDriver(layout, stalled->com, lab::Driver::Uart, 0, 1500));
    for (int round = 0; round < 2; ++round) {  // each open stalls once
        SCOPED_TRACE(round);
        const ULONGLONG opening = GetTickCount64();
        Port port(stalled->com);
        ASSERT_TRUE(port.ok()) << port.error();
        EXPECT_LT(GetTickCount64() - opening, 1000u) << "the open itself stalled";
        std::atomic<bool> ended{false};
        DWORD stalledTook = 0;
        std::thread worker([&] {
            const ULONGLONG t = GetTickCount64();
            DCB dcb{};
            dcb.DCBlength = sizeof dcb;
            EXPECT_TRUE(GetCommState(port.get(), &dcb));
            stalledTook = static_cast<DWORD>(GetTickCount64() - t);
            ended = true;
        });
        ASSERT_TRUE(test_helpers::PollUntil([&] { return SlotOf(layout, stalled->com).busy_tid != 0; }, 5000))
            << "the stalled call never began";
        {
            Port free(other->com);
            ASSERT_TRUE(free.ok()) << free.error();
            for (int i = 0; i < 20; ++i) free.ModemStatus();
            EXPECT_FALSE(ended.load()) << "the stalled call ended before the other port's work";
        }
        worker.join();
        EXPECT_GE(stalledTook, 1400u);
        const ULONGLONG again = GetTickCount64();
        port.ModemStatus();
        EXPECT_LT(GetTickCount64() - again, 1000u) << "a second request stalled too";
    }
}

// The keys that make the lab as unkind as the hardware, each seen from a plain client: the
// lines a port has right after its first open, a lagging adapter seen late from the other end
// of a null-modem cable too, and a stalled request holding back the port's later requests
// from any handle.
TEST_F(LabDrivers, LinesAtOpenFarSideLagAndOneRequestAtATime) {
    const lab::Port* loop = Need(lab::Kind::Loopback);
    const std::vector<const lab::Port*> pair = layout.OfKind(lab::Kind::NullModem);
    ASSERT_TRUE(loop && pair.size() == 2);
    lab::ScopedWiring restore(layout);

    struct OpenRow {
        lab::Driver driver;
        bool high;
    } openRows[] = {{lab::Driver::Uart, true}, {lab::Driver::Uart, false}, {lab::Driver::Ftdi, true},
                    {lab::Driver::NoLines, true}};
    for (const OpenRow& row : openRows) {
        SCOPED_TRACE(std::string(lab::DriverName(row.driver)) + (row.high ? " high" : " low"));
        ASSERT_TRUE(lab::SetDriver(layout, loop->com, row.driver, 0));
        ASSERT_TRUE(lab::SetOpenLines(layout, loop->com, row.high));
        {
            Port port(loop->com);
            ASSERT_TRUE(port.ok()) << port.error();
            const DWORD both = MS_DSR_ON | MS_CTS_ON;
            EXPECT_EQ(port.ModemStatus() & both, row.high ? both : 0u) << "the plug shows the lines at open";
            DCB dcb{};
            dcb.DCBlength = sizeof dcb;
            ASSERT_TRUE(GetCommState(port.get(), &dcb));
            EXPECT_EQ(dcb.fDtrControl, row.high ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE);
        }
        lab_port slot{};
        ASSERT_TRUE(lab::ReadPortState(layout, loop->com, slot));
        EXPECT_EQ(slot.out_lines, 0u) << "lines stay up after the last close";
    }

    // Two 40 ms adapters at the ends of a null-modem cable: each sees the other late. A UART
    // reading a 40 ms adapter sees it late too: the adapter sends its lines late.
    struct LagRow {
        int latencyA, latencyB;
    } lagRows[] = {{40, 40}, {40, 0}, {0, 40}};
    for (const LagRow& row : lagRows) {
        SCOPED_TRACE(std::to_string(row.latencyA) + " ms / " + std::to_string(row.latencyB) + " ms");
        ASSERT_TRUE(lab::SetDriver(layout, pair[0]->com, row.latencyA ? lab::Driver::Ftdi : lab::Driver::Uart, row.latencyA));
        ASSERT_TRUE(lab::SetDriver(layout, pair[1]->com, row.latencyB ? lab::Driver::Ftdi : lab::Driver::Uart, row.latencyB));
        ASSERT_TRUE(lab::SetOpenLines(layout, pair[0]->com, false));
        ASSERT_TRUE(lab::SetOpenLines(layout, pair[1]->com, false));
        Port a(pair[0]->com), b(pair[1]->com);
        ASSERT_TRUE(a.ok() && b.ok());
        for (const auto& [from, to] : {std::pair{&a, &b}, std::pair{&b, &a}}) {
            ASSERT_TRUE(test_helpers::PollUntil([&] { return (to->ModemStatus() & MS_DSR_ON) == 0; }, 1000));
            from->Escape(SETDTR);
            EXPECT_EQ(to->ModemStatus() & MS_DSR_ON, 0u) << "the far end saw the change at once";
            EXPECT_GE(WaitForBits(*to, MS_DSR_ON), 0) << "the far end never saw it";
            from->Escape(CLRDTR);
        }
    }

    // A stalled request holds back the port's next request, made on another thread through a
    // duplicated handle, until it ends.
    ASSERT_TRUE(lab::SetDriver(layout, loop->com, lab::Driver::Uart, 0, 1500));
    Port port(loop->com);
    ASSERT_TRUE(port.ok());
    HANDLE copy = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), port.get(), GetCurrentProcess(), &copy, 0, FALSE,
                                DUPLICATE_SAME_ACCESS));
    std::thread stalledCall([&] {
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        GetCommState(port.get(), &dcb);
    });
    ASSERT_TRUE(test_helpers::PollUntil([&] { return SlotOf(layout, loop->com).busy_tid != 0; }, 5000))
        << "the stalled call never began";
    // The lab serialises each tty request, not a whole Win32 call, so the stalled call's later
    // requests may come after this one: what must hold is that this one waited out the stall
    // (1500 ms; run beside it, it returns within a few milliseconds).
    const ULONGLONG start = GetTickCount64();
    DWORD status = 0;
    EXPECT_TRUE(GetCommModemStatus(copy, &status));
    EXPECT_GE(GetTickCount64() - start, 750u) << "a request ran while a stalled one held the port";
    stalledCall.join();
    CloseHandle(copy);
}
