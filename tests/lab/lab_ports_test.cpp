// The lab machine's ports: opening rules, exclusivity, settings, data paths.
#include <algorithm>
#include <cstring>

#include "lab_test_util.h"

using labtest::LabTest;
using labtest::Port;

class LabPorts : public LabTest {};

TEST_F(LabPorts, FreePortOpens) {
    for (const lab::Port* p : layout.OfKind(lab::Kind::Free)) {
        Port port(p->com);
        EXPECT_TRUE(port.ok()) << p->com << " error " << port.error();
        if (port.ok()) {
            EXPECT_EQ(GetFileType(port.get()), static_cast<DWORD>(FILE_TYPE_CHAR));
        }
    }
}

TEST_F(LabPorts, PortListOnlyGivesFileNotFound) {
    const lab::Port* p = Need(lab::Kind::PortListOnly);
    ASSERT_NE(p, nullptr);
    Port port(p->com);
    EXPECT_FALSE(port.ok());
    EXPECT_EQ(port.error(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(LabPorts, DeviceMapUnopenableCannotBeOpened) {
    const lab::Port* p = Need(lab::Kind::DeviceMapUnopenable);
    ASSERT_NE(p, nullptr);
    EXPECT_FALSE(p->device_map_name.empty());
    Port port(p->com);
    EXPECT_FALSE(port.ok());
    EXPECT_EQ(port.error(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

// A second open of a port that a program holds fails with ERROR_ACCESS_DENIED, as on Windows.
TEST_F(LabPorts, SecondOpenIsDeniedUntilTheFirstCloses) {
    const lab::Port* p = Need(lab::Kind::Free);
    ASSERT_NE(p, nullptr);
    {
        Port first(p->com);
        ASSERT_TRUE(first.ok()) << first.error();
        Port second(p->com);
        EXPECT_FALSE(second.ok());
        EXPECT_EQ(second.error(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
        Port shared(p->com, FILE_SHARE_READ | FILE_SHARE_WRITE);
        EXPECT_EQ(shared.error(), static_cast<DWORD>(ERROR_ACCESS_DENIED)) << "share flags do not matter for a COM port";
    }
    Port again(p->com);
    EXPECT_TRUE(again.ok()) << again.error();
}

// A duplicate of an open handle is the same open: it keeps the port busy after the original closes.
TEST_F(LabPorts, DuplicateKeepsThePortBusy) {
    const lab::Port* p = Need(lab::Kind::Free);
    ASSERT_NE(p, nullptr);
    HANDLE dup = nullptr;
    {
        Port first(p->com);
        ASSERT_TRUE(first.ok());
        ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), first.get(), GetCurrentProcess(), &dup, 0, FALSE,
                                    DUPLICATE_SAME_ACCESS));
    }
    Port second(p->com);
    EXPECT_EQ(second.error(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    CloseHandle(dup);
    Port third(p->com);
    EXPECT_TRUE(third.ok()) << third.error();
}

TEST_F(LabPorts, HolderHoldsAndReleasesOnStop) {
    const lab::Port* p = Need(lab::Kind::Free);
    ASSERT_NE(p, nullptr);
    {
        lab::Holder holder(p->com);
        ASSERT_TRUE(holder.ok()) << holder.message();
        Port port(p->com);
        EXPECT_EQ(port.error(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    }
    Port port(p->com);
    EXPECT_TRUE(port.ok()) << port.error();
}

TEST_F(LabPorts, KillingTheHolderFreesThePort) {
    const lab::Port* p = Need(lab::Kind::Free);
    ASSERT_NE(p, nullptr);
    lab::Holder holder(p->com);
    ASSERT_TRUE(holder.ok()) << holder.message();
    EXPECT_EQ(Port(p->com).error(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    holder.Kill();
    Port port(p->com);
    EXPECT_TRUE(port.ok()) << port.error();
}

TEST_F(LabPorts, HolderReportsWhyItCouldNotHold) {
    const lab::Port* p = Need(lab::Kind::PortListOnly);
    ASSERT_NE(p, nullptr);
    lab::Holder holder(p->com);
    EXPECT_FALSE(holder.ok());
    EXPECT_EQ(holder.open_error(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND)) << holder.message();
}

// The layout's held port is held by the lab's holder.
TEST_F(LabPorts, HeldPortIsInUse) {
    const lab::Port* p = Need(lab::Kind::Held);
    ASSERT_NE(p, nullptr);
    EXPECT_NE(p->holder_pid, 0u);
    Port port(p->com);
    EXPECT_EQ(port.error(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

// A holder copied anywhere in the prefix (here a folder whose name holds "System") works the same.
TEST_F(LabPorts, HolderRunsFromAnyFolder) {
    const lab::Port* p = Need(lab::Kind::Free);
    ASSERT_NE(p, nullptr);
    const std::string exe = "C:\\lab\\System Tools\\holder.exe";
    ASSERT_TRUE(lab::InstallHolder(exe));
    lab::Holder holder(p->com, {}, exe);
    ASSERT_TRUE(holder.ok()) << holder.message();
    EXPECT_EQ(Port(p->com).error(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

// Data bits and parity that a pty cannot keep read back as set.
TEST_F(LabPorts, SevenEvenTwoReadsBack) {
    const lab::Port* p = Need(lab::Kind::Free);
    ASSERT_NE(p, nullptr);
    Port port(p->com);
    ASSERT_TRUE(port.ok());
    const struct {
        DWORD baud;
        BYTE data, parity, stop;
    } cases[] = {
        {19200, 7, EVENPARITY, TWOSTOPBITS}, {9600, 8, NOPARITY, ONESTOPBIT},  {4800, 7, ODDPARITY, ONESTOPBIT},
        {115200, 8, MARKPARITY, ONESTOPBIT}, {2400, 7, SPACEPARITY, TWOSTOPBITS}, {38400, 6, NOPARITY, ONESTOPBIT},
    };
    for (const auto& c : cases) {
        DCB dcb = {};
        dcb.DCBlength = sizeof dcb;
        ASSERT_TRUE(GetCommState(port.get(), &dcb));
        dcb.BaudRate = c.baud;
        dcb.ByteSize = c.data;
        dcb.Parity = c.parity;
        dcb.StopBits = c.stop;
        dcb.fParity = c.parity != NOPARITY;
        EXPECT_TRUE(SetCommState(port.get(), &dcb)) << GetLastError();
        DCB back = {};
        back.DCBlength = sizeof back;
        ASSERT_TRUE(GetCommState(port.get(), &back));
        EXPECT_EQ(back.BaudRate, c.baud);
        EXPECT_EQ(back.ByteSize, c.data);
        EXPECT_EQ(back.Parity, c.parity);
        EXPECT_EQ(back.StopBits, c.stop);
    }
}

// Settings made by one process are what another process reads on the next open.
TEST_F(LabPorts, SettingsOutliveTheHolder) {
    const lab::Port* p = Need(lab::Kind::Free);
    ASSERT_NE(p, nullptr);
    lab::LineSettings s;
    s.baud = 19200;
    s.data_bits = 7;
    s.parity = 'e';
    s.stop = "2";
    {
        lab::Holder holder(p->com, s);
        ASSERT_TRUE(holder.ok()) << holder.message();
    }
    Port port(p->com);
    ASSERT_TRUE(port.ok());
    DCB dcb = {};
    dcb.DCBlength = sizeof dcb;
    ASSERT_TRUE(GetCommState(port.get(), &dcb));
    EXPECT_EQ(dcb.BaudRate, 19200u);
    EXPECT_EQ(dcb.ByteSize, 7);
    EXPECT_EQ(dcb.Parity, EVENPARITY);
    EXPECT_EQ(dcb.StopBits, TWOSTOPBITS);
}

namespace {

bool WriteAll(HANDLE h, const char* text) {
    DWORD n = 0;
    return WriteFile(h, text, static_cast<DWORD>(strlen(text)), &n, nullptr) && n == strlen(text);
}

std::string ReadSome(HANDLE h, size_t want) {
    COMMTIMEOUTS t = {};
    t.ReadTotalTimeoutConstant = 3000;
    SetCommTimeouts(h, &t);
    std::string out;
    char buf[256];
    DWORD start = GetTickCount();
    while (out.size() < want && GetTickCount() - start < 5000) {
        DWORD n = 0;
        if (!ReadFile(h, buf, static_cast<DWORD>(std::min(sizeof buf, want - out.size())), &n, nullptr)) break;
        out.append(buf, n);
    }
    return out;
}

}  // namespace

TEST_F(LabPorts, TextCrossesNullModemPair) {
    const lab::Port* a = Need(lab::Kind::NullModem);
    ASSERT_NE(a, nullptr);
    Port pa(a->com), pb(a->peer);
    ASSERT_TRUE(pa.ok() && pb.ok());
    PurgeComm(pa.get(), PURGE_RXCLEAR | PURGE_TXCLEAR);
    PurgeComm(pb.get(), PURGE_RXCLEAR | PURGE_TXCLEAR);
    ASSERT_TRUE(WriteAll(pa.get(), "hello over the cable\r\n"));
    EXPECT_EQ(ReadSome(pb.get(), 22), "hello over the cable\r\n");
    ASSERT_TRUE(WriteAll(pb.get(), "and back"));
    EXPECT_EQ(ReadSome(pa.get(), 8), "and back");
}

TEST_F(LabPorts, LoopbackPlugEchoesText) {
    const lab::Port* p = Need(lab::Kind::Loopback);
    ASSERT_NE(p, nullptr);
    Port port(p->com);
    ASSERT_TRUE(port.ok());
    PurgeComm(port.get(), PURGE_RXCLEAR | PURGE_TXCLEAR);
    ASSERT_TRUE(WriteAll(port.get(), "ping"));
    EXPECT_EQ(ReadSome(port.get(), 4), "ping");
}
