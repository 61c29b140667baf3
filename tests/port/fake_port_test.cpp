// The record-driven setters and getters end to end, for the parts of a port that the
// emulated lab ports cannot keep (the system drops the parity-check flag, the replacement
// character and its switch, and reports fixed queue sizes): a stand-in port behind a real
// channel keeps them.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <functional>

#include "port/channel.h"
#include "port/channel_errors.h"
#include "exports/port_functions.h"
#include "stand_in_port.h"
#include "support/fixed_text.h"

namespace {

using kestrune::ChannelError;

class FakeCommPort final : public kestrune::PortIo {
public:
    struct Memory {
        DCB dcb{};
        DWORD input = 4096, output = 2048;
        DWORD lines = 0;
    };
    explicit FakeCommPort(Memory& memory) : m_(memory) {}
    HANDLE Native() const override { return reinterpret_cast<HANDLE>(0x4440); }
    bool GetState(DCB& dcb) override { return (dcb = m_.dcb), true; }
    bool SetState(const DCB& dcb) override {
        if (dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.StopBits > TWOSTOPBITS) return false;
        m_.dcb = dcb;
        return true;
    }
    bool GetProperties(COMMPROP& p) override {
        p.dwCurrentRxQueue = m_.input;
        p.dwCurrentTxQueue = m_.output;
        return true;
    }
    bool SetQueues(DWORD input, DWORD output) override {
        m_.input = input;
        m_.output = output;
        return true;
    }
    bool GetModemStatus(DWORD& lines) override { return (lines = m_.lines), true; }
    bool ClearError(DWORD& errors, COMSTAT& status) override {
        errors = 0;
        status = COMSTAT{};
        return true;
    }
    bool GetTimeouts(COMMTIMEOUTS& t) override { return (t = COMMTIMEOUTS{}), true; }
    bool SetTimeouts(const COMMTIMEOUTS&) override { return true; }
    bool Read(void*, DWORD, DWORD& got) override { return (got = 0), true; }
    bool Write(const void*, DWORD size, DWORD& written) override { return (written = size), true; }

private:
    Memory& m_;
};

class FakePortTest : public ::testing::Test {
protected:
    void SetUp() override {
        memory_.dcb.DCBlength = sizeof(DCB);
        memory_.dcb.BaudRate = 9600;
        memory_.dcb.ByteSize = 8;
        record_.RtHandle = kestrune::NextChannelNumber();
        ASSERT_TRUE(kestrune::OpenChannelOn(record_.RtHandle, "\\\\.\\FAKE",
                                            std::make_unique<FakeCommPort>(memory_)));
        record_.WinHandle = 0x4440;  // the record names its channel, as an open does
    }
    void TearDown() override { SerialPort_Close_Rt(&record_); }

    FakeCommPort::Memory memory_;
    PortRecord record_{};
};

struct Row {
    const char* name;
    std::function<void(PortRecord&)> put;
    int32_t(WINAPI* set)(PortRecord*);
    int32_t(WINAPI* get)(PortRecord*);
    int32_t PortRecord::*field;
    int32_t expected;
};

TEST_F(FakePortTest, SettersAndGettersTheEmulatedPortsCannotKeep) {
    const Row rows[] = {
        {"parity on", [](PortRecord& r) { r.Parity = 3; }, SerialPort_Set_Parity_RT, RtSerialPortGetParity,
         &PortRecord::Parity, -1},
        {"parity off", [](PortRecord& r) { r.Parity = 0; }, SerialPort_Set_Parity_RT, RtSerialPortGetParity,
         &PortRecord::Parity, 0},
        {"replacement char", [](PortRecord& r) { r.ParityChar = 'A'; }, SerialPort_Set_Parity_RTChar,
         RtSerialPortGetParityChar, &PortRecord::ParityChar, 'A'},
        {"replacement char default", [](PortRecord& r) { r.ParityChar = 0; }, SerialPort_Set_Parity_RTChar,
         RtSerialPortGetParityChar, &PortRecord::ParityChar, '?'},
        {"replacement switch default on", [](PortRecord& r) { r.ParityReplace = 0; },
         SerialPort_Set_ParityReplace_RT, SerialPort_Get_ParityReplace_RT, &PortRecord::ParityReplace, -1},
        {"output queue", [](PortRecord& r) { r.XmitBufferSize = 2000; }, RtSerialPortSetXmitBufferSize,
         RtSerialPortGetXmitBufferSize, &PortRecord::XmitBufferSize, 2000},
        {"output queue default", [](PortRecord& r) { r.XmitBufferSize = 0; }, RtSerialPortSetXmitBufferSize,
         RtSerialPortGetXmitBufferSize, &PortRecord::XmitBufferSize, 1024},
        {"input queue", [](PortRecord& r) { r.RecBufferSize = 5000; }, RtSerialPortSetRecBufferSize,
         RtSerialPortGetRecBufferSize, &PortRecord::RecBufferSize, 5000},
        {"input queue default", [](PortRecord& r) { r.RecBufferSize = 0; }, RtSerialPortSetRecBufferSize,
         RtSerialPortGetRecBufferSize, &PortRecord::RecBufferSize, 32768},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        row.put(record_);
        EXPECT_EQ(row.set(&record_), 0);
        EXPECT_EQ(ChannelError(), 0);
        record_.*row.field = 0x1111;
        EXPECT_EQ(row.get(&record_), 0);
        EXPECT_EQ(record_.*row.field, row.expected);
    }
    // Each queue setter keeps the other queue's size.
    EXPECT_EQ(memory_.input, 32768u);
    EXPECT_EQ(memory_.output, 1024u);
}

TEST_F(FakePortTest, ReplacementSwitchesOffOnlyThroughTheFlagSetter) {
    const int32_t off = 0;
    RtSerialPortEnableParityReplace(&record_, &off);
    SerialPort_Get_ParityReplace_RT(&record_);
    EXPECT_EQ(record_.ParityReplace, 0);
    record_.ParityReplace = 0;
    SerialPort_Set_ParityReplace_RT(&record_);
    EXPECT_EQ(memory_.dcb.fErrorChar, 1u);
}

TEST_F(FakePortTest, FlagSettersSetTheirFlags) {
    const int32_t on = 1;
    RtSerialPortFlowEnable(&record_, &on);
    RtSerialPortEnableDsrSense(&record_, &on);
    RtSerialPortDiscardNulls(&record_, &on);
    EXPECT_EQ(memory_.dcb.fOutxCtsFlow, 1u);
    EXPECT_EQ(memory_.dcb.fOutxDsrFlow, 1u);
    EXPECT_EQ(memory_.dcb.fDsrSensitivity, 1u);
    EXPECT_EQ(memory_.dcb.fNull, 1u);
    RtSerialPortFlowEnableDTR(&record_, &on);
    EXPECT_EQ(memory_.dcb.fDtrControl, static_cast<DWORD>(DTR_CONTROL_HANDSHAKE));
}

TEST_F(FakePortTest, ARejectedChangeIsError5AndChangesNothing) {
    const DCB before = memory_.dcb;
    record_.StopBits = 30000;  // code 3: no such stop-bit setting
    RtSerialPortSetStopBits(&record_);
    EXPECT_EQ(ChannelError(), 5);
    EXPECT_EQ(memcmp(&before, &memory_.dcb, sizeof(DCB)), 0);
}

TEST_F(FakePortTest, ModemLinesAnswerMinusOneWhenOn) {
    memory_.lines = MS_RLSD_ON | MS_RING_ON;
    SerialPort_Get_CarrierLine_RT(&record_);
    SerialPort_Get_ReceiveLine_RT(&record_);
    RtSerialPortEnableRing(&record_);
    EXPECT_EQ(record_.CarrierLineDetect, -1);
    EXPECT_EQ(record_.ReceiveLineDetect, -1);
    EXPECT_EQ(record_.RING, -1);
    memory_.lines = 0;
    SerialPort_Get_CarrierLine_RT(&record_);
    EXPECT_EQ(record_.CarrierLineDetect, 0);
}

TEST(ReadAhead, TheCountNeverWraps) {
    const struct {
        int64_t queued;
        std::size_t buffered;
        int32_t count;
    } counts[] = {{0, 0, 0},   {10, 5, 15},  {-1, 5, 5}, {0xFFFFFFFFll, 0, INT32_MAX},
                  {0x7FFFFFFFll, 1, INT32_MAX}, {0x7FFFFFFEll, 1, INT32_MAX}, {0x7FFFFFFDll, 1, INT32_MAX - 1}};
    for (const auto& row : counts)
        EXPECT_EQ(kestrune::BytesWaitingCount(row.queued, row.buffered), row.count) << row.queued << " " << row.buffered;
}

TEST(ReadAhead, ADeviceFasterThanTheReaderFillsOnlyTheBuffer) {
    for (DWORD queued : {DWORD{300}, DWORD{70000}, DWORD{0xFFFFFFFF}}) {
        SCOPED_TRACE(queued);
        uint64_t delivered = 0;
        PortRecord record{};
        record.RtHandle = kestrune::NextChannelNumber();
        ASSERT_TRUE(kestrune::OpenChannelOn(record.RtHandle, "\\.\FLOOD",
                                            std::make_unique<porttest::StandInPort>(0x4444, queued, nullptr, &delivered)));
        record.WinHandle = 0x4444;
        constexpr int kReads = 2000;
        for (int i = 0; i < kReads; ++i) {
            SerialPort_Receive_Rt(&record);
            ASSERT_EQ(kestrune::Text(record.RecBuffer).size(), 259u);
        }
        // What left the driver's queue is what the caller got plus at most one full buffer.
        EXPECT_LE(delivered, uint64_t{kReads} * 259 + kestrune::kReadAheadLimit);
        const int32_t waiting = kestrune::QueryChannelProperty(record.RtHandle, kestrune::ChannelProperty::kBytesWaiting);
        EXPECT_GE(waiting, static_cast<int32_t>(std::min<DWORD>(queued, INT32_MAX)));
        SerialPort_Close_Rt(&record);
        EXPECT_FALSE(kestrune::IsChannelOpen(record.RtHandle));
    }
}

}  // namespace
