// The lab's driver personalities, seen from a plain Win32 client on a loopback plug.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "lab_test_util.h"

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
    for (;;) {
        const int ms = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
        if (ms >= 1000) return -1;
        DWORD s = 0;
        if (GetCommModemStatus(port.get(), &s) && (s & bits) == bits) return ms;
        Sleep(1);
    }
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
        if (c.escapeError == 0) port.Lines(false, false);
        Sleep(60);  // past any latency: the inputs show the lowered lines

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

        port.Escape(SETRTS);
        Sleep(60);
        const DWORD afterRts = port.ModemStatus();
        EXPECT_EQ((afterRts & MS_CTS_ON) != 0, c.rtsAloneReaches) << ModemBits(afterRts);
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
        std::atomic<bool> inside{true};
        DWORD stalledTook = 0;
        std::thread worker([&] {
            const ULONGLONG t = GetTickCount64();
            DCB dcb{};
            dcb.DCBlength = sizeof dcb;
            EXPECT_TRUE(GetCommState(port.get(), &dcb));
            stalledTook = static_cast<DWORD>(GetTickCount64() - t);
            inside = false;
        });
        Sleep(100);
        {
            Port free(other->com);
            ASSERT_TRUE(free.ok()) << free.error();
            for (int i = 0; i < 20; ++i) free.ModemStatus();
            EXPECT_TRUE(inside.load()) << "the stalled call ended before the other port's work";
        }
        worker.join();
        EXPECT_GE(stalledTook, 1400u);
        const ULONGLONG again = GetTickCount64();
        port.ModemStatus();
        EXPECT_LT(GetTickCount64() - again, 1000u) << "a second request stalled too";
    }
}
