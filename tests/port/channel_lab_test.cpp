// The channel functions on the lab's virtual ports.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "lab_fixture.h"
#include "port/channel.h"
#include "port/channel_errors.h"
#include "support/handles.h"
#include "test_helpers.h"

namespace porttest {
namespace {

using kestrune::ChannelError;
using kestrune::SetText;
using kestrune::Text;

// Reads what the receiving record gets until it holds `count` bytes or the bound passes (a
// lost byte fails the comparison).
std::string ReceiveAtLeast(PortRecord& receiver, std::size_t count) {
    std::string got;
    test_helpers::PollUntil([&] {
        SerialPort_Receive_Rt(&receiver);
        got += Text(receiver.RecBuffer);
        return got.size() >= count;
    });
    return got;
}

DCB PortState(const PortRecord& record) {
    DCB dcb{};
    dcb.DCBlength = sizeof(dcb);
    EXPECT_TRUE(GetCommState(kestrune::FieldToHandle(record.WinHandle), &dcb));
    return dcb;
}

TEST_F(LabTest, OpenAndCloseAFreePort) {
    const std::string com = PortOf(lab::Kind::Free);
    ASSERT_FALSE(com.empty());
    PortRecord record{};
    SetText(record.PortName, com);
    EXPECT_EQ(SerialPort_Open_Rt(&record), 0);
    EXPECT_EQ(record.State, 0);
    EXPECT_EQ(Text(record.StateDescription), "%SerialPortOpen");
    EXPECT_NE(record.WinHandle, 0u);
    EXPECT_GE(record.RtHandle, 1);
    EXPECT_LE(record.RtHandle, 32767);
    EXPECT_EQ(GetFileType(kestrune::FieldToHandle(record.WinHandle)), static_cast<DWORD>(FILE_TYPE_CHAR));

    SerialPort_Get_Name_Rt(&record);
    EXPECT_EQ(Text(record.PortName), com);

    const int32_t channel = record.RtHandle;
    EXPECT_EQ(SerialPort_Close_Rt(&record), 0);
    EXPECT_EQ(record.State, 1);
    EXPECT_EQ(Text(record.StateDescription), "%SerialPortClosed");
    EXPECT_EQ(record.RtHandle, 0);
    EXPECT_EQ(record.WinHandle, 0u);
    EXPECT_FALSE(kestrune::IsChannelOpen(channel));

    // The port is free again.
    OpenRecord again(com);
    EXPECT_EQ(again.result, 0);
}

TEST_F(LabTest, CloseWithoutChannelStillReportsClosed) {
    PortRecord record{};
    EXPECT_EQ(SerialPort_Close_Rt(&record), 0);
    EXPECT_EQ(record.State, 1);
    EXPECT_EQ(Text(record.StateDescription), "%SerialPortClosed");
}

TEST_F(LabTest, TextCrossesANullModemCable) {
    const std::vector<const lab::Port*> pair = layout_.OfKind(lab::Kind::NullModem);
    ASSERT_GE(pair.size(), 2u);
    OpenRecord sender(pair[0]->com);
    OpenRecord receiver(pair[0]->peer);
    ASSERT_EQ(sender.result, 0);
    ASSERT_EQ(receiver.result, 0);
    sender.record.HwndTerminal = 1;
    receiver.record.HwndTerminal = 1;
    sender.record.ColorTextBackGround = 5;

    SetText(sender.record.XmitBuffer, "Hello, far end");
    EXPECT_EQ(SerialPort_Send_Rt(&sender.record), 0);
    EXPECT_EQ(ChannelError(), 0);
    EXPECT_EQ(sender.record.ColorText, 0x00FFFF00);
    EXPECT_EQ(sender.record.ColorTextBackGround, 0);

    EXPECT_EQ(ReceiveAtLeast(receiver.record, 14), "Hello, far end");
    EXPECT_EQ(receiver.record.ColorText, 0x0000FFFF);
}

TEST_F(LabTest, NothingWaitingGivesAnEmptyText) {
    OpenRecord port(PortOf(lab::Kind::Free));
    ASSERT_EQ(port.result, 0);
    SetText(port.record.RecBuffer, "stale");
    EXPECT_EQ(SerialPort_Receive_Rt(&port.record), 0);
    EXPECT_EQ(Text(port.record.RecBuffer), "");
}

TEST_F(LabTest, MoreThanATextWaitingIsCutAndKeptForTheNextReceive) {
    const std::vector<const lab::Port*> pair = layout_.OfKind(lab::Kind::NullModem);
    ASSERT_GE(pair.size(), 2u);
    OpenRecord sender(pair[0]->com);
    OpenRecord receiver(pair[0]->peer);
    ASSERT_EQ(receiver.result, 0);

    std::string sent;
    for (int i = 0; i < 300; ++i) sent += static_cast<char>('A' + i % 26);
    SetText(sender.record.XmitBuffer, sent.substr(0, 200));
    SerialPort_Send_Rt(&sender.record);
    SetText(sender.record.XmitBuffer, sent.substr(200));
    SerialPort_Send_Rt(&sender.record);
    const int32_t channel = receiver.record.RtHandle;
    ASSERT_TRUE(test_helpers::PollUntil([&] {
        return kestrune::QueryChannelProperty(channel, kestrune::ChannelProperty::kBytesWaiting) >= 300;
    }));

    receiver.record.CableKind = 0x5A5A5A5A;  // the field after RecBuffer
    SerialPort_Receive_Rt(&receiver.record);
    EXPECT_EQ(Text(receiver.record.RecBuffer), sent.substr(0, 259));
    EXPECT_EQ(receiver.record.RecBuffer[259], '\0');
    EXPECT_EQ(receiver.record.CableKind, 0x5A5A5A5A);

    SerialPort_Receive_Rt(&receiver.record);
    EXPECT_EQ(Text(receiver.record.RecBuffer), sent.substr(259));
}

// One row: put a value into the record, run the setter, clear the field, run the getter.
struct SettingRow {
    const char* name;
    std::function<void(PortRecord&)> put;
    int32_t(WINAPI* set)(PortRecord*);
    int32_t(WINAPI* get)(PortRecord*);
    std::function<int64_t(const PortRecord&)> read;
    int64_t expected;
};

// The lab's ports keep baud, data bits, parity scheme and stop bits. The parity-check flag,
// the replacement character and its switch are dropped by the system's emulation and its
// queue sizes are fixed; fake_port_test.cpp covers those.
TEST_F(LabTest, EachSetterChangesThePortAndItsGetterReadsItBack) {
    OpenRecord port(PortOf(lab::Kind::Free));
    ASSERT_EQ(port.result, 0);
    const SettingRow rows[] = {
        {"baud 19200", [](PortRecord& r) { r.Baud = 19200; }, SerialPort_Set_Baud_RT, SerialPort_Get_Baud_RT,
         [](const PortRecord& r) { return r.Baud; }, 19200},
        {"baud default", [](PortRecord& r) { r.Baud = 0; }, SerialPort_Set_Baud_RT, SerialPort_Get_Baud_RT,
         [](const PortRecord& r) { return r.Baud; }, 9600},
        {"data bits 7", [](PortRecord& r) { r.DataBits = 7; }, SerialPort_Set_DataBits_RT,
         SerialPort_Get_DataBits_RT, [](const PortRecord& r) { return r.DataBits; }, 7},
        {"data bits default", [](PortRecord& r) { r.DataBits = 0; }, SerialPort_Set_DataBits_RT,
         SerialPort_Get_DataBits_RT, [](const PortRecord& r) { return r.DataBits; }, 8},
        {"parity off", [](PortRecord& r) { r.Parity = 0; }, SerialPort_Set_Parity_RT, RtSerialPortGetParity,
         [](const PortRecord& r) { return r.Parity; }, 0},
        {"stop bits two", [](PortRecord& r) { r.StopBits = 20000; }, RtSerialPortSetStopBits,
         RtSerialPortGetStopBits, [](const PortRecord& r) { return r.StopBits; }, 20000},
        {"stop bits one, as a scan stores it", [](PortRecord& r) { r.StopBits = 10000; }, RtSerialPortSetStopBits,
         RtSerialPortGetStopBits, [](const PortRecord& r) { return r.StopBits; }, 0},
        {"stop bits two again", [](PortRecord& r) { r.StopBits = 20000; }, RtSerialPortSetStopBits,
         RtSerialPortGetStopBits, [](const PortRecord& r) { return r.StopBits; }, 20000},
        {"stop bits default", [](PortRecord& r) { r.StopBits = 0; }, RtSerialPortSetStopBits,
         RtSerialPortGetStopBits, [](const PortRecord& r) { return r.StopBits; }, 0},
    };
    for (const SettingRow& row : rows) {
        SCOPED_TRACE(row.name);
        row.put(port.record);
        EXPECT_EQ(row.set(&port.record), 0);
        EXPECT_EQ(ChannelError(), 0);
        PortRecord readBack = port.record;
        std::memset(&readBack.Baud, 0x11, offsetof(PortRecord, ModemStatus) - offsetof(PortRecord, Baud));
        readBack.XmitBufferSize = readBack.RecBufferSize = 0x11;
        EXPECT_EQ(row.get(&readBack), 0);
        EXPECT_EQ(row.read(readBack), row.expected);
    }
    SerialPort_Set_Default_RT(&port.record);
}

TEST_F(LabTest, QueueGettersReportWhatThePortReports) {
    OpenRecord port(PortOf(lab::Kind::Free));
    ASSERT_EQ(port.result, 0);
    port.record.XmitBufferSize = 2048;
    port.record.RecBufferSize = 4096;
    RtSerialPortSetXmitBufferSize(&port.record);
    EXPECT_EQ(ChannelError(), 0);
    RtSerialPortSetRecBufferSize(&port.record);
    EXPECT_EQ(ChannelError(), 0);
    COMMPROP props{};
    props.wPacketLength = sizeof(props);
    ASSERT_TRUE(GetCommProperties(kestrune::FieldToHandle(port.record.WinHandle), &props));
    RtSerialPortGetXmitBufferSize(&port.record);
    RtSerialPortGetRecBufferSize(&port.record);
    EXPECT_EQ(static_cast<DWORD>(port.record.XmitBufferSize), props.dwCurrentTxQueue);
    EXPECT_EQ(static_cast<DWORD>(port.record.RecBufferSize), props.dwCurrentRxQueue);
}

TEST_F(LabTest, DataBitsResetStopBitsAndParity) {
    OpenRecord port(PortOf(lab::Kind::Free));
    ASSERT_EQ(port.result, 0);
    port.record.StopBits = 20000;
    port.record.Parity = 1;
    RtSerialPortSetStopBits(&port.record);
    SerialPort_Set_Parity_RT(&port.record);
    int32_t even = EVENPARITY;
    RtSerialPortParityType(&port.record, &even);
    ASSERT_EQ(PortState(port.record).StopBits, TWOSTOPBITS);

    port.record.DataBits = 0;
    SerialPort_Set_DataBits_RT(&port.record);
    const DCB dcb = PortState(port.record);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
    EXPECT_EQ(dcb.Parity, NOPARITY);
    RtSerialPortGetParity(&port.record);
    EXPECT_EQ(port.record.Parity, 0);
}

TEST_F(LabTest, OneAndAHalfStopBitsWithFiveDataBits) {
    OpenRecord port(PortOf(lab::Kind::Free));
    ASSERT_EQ(port.result, 0);
    port.record.DataBits = 5;
    SerialPort_Set_DataBits_RT(&port.record);
    port.record.StopBits = 15000;  // as a scan stores one and a half
    RtSerialPortSetStopBits(&port.record);
    port.record.StopBits = 0;
    RtSerialPortGetStopBits(&port.record);
    EXPECT_EQ(port.record.StopBits, 10000);  // code 1
    EXPECT_EQ(PortState(port.record).StopBits, ONE5STOPBITS);
}

TEST_F(LabTest, SetDefaultGivesTheStandardSettings) {
    OpenRecord port(PortOf(lab::Kind::Free));
    ASSERT_EQ(port.result, 0);
    port.record.Baud = 0;
    port.record.DataBits = 0;
    port.record.Parity = 0;
    port.record.StopBits = 0;
    EXPECT_EQ(SerialPort_Set_Default_RT(&port.record), 0);
    const DCB dcb = PortState(port.record);
    EXPECT_EQ(dcb.BaudRate, 9600u);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.fParity, 0u);
    EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
}

struct FlagRow {
    const char* name;
    int32_t(WINAPI* set)(PortRecord*, const int32_t*);
    int32_t value;
    std::function<bool(const DCB&)> holds;
};

// What the lab's ports keep; the flags the emulation drops are in fake_port_test.cpp.
TEST_F(LabTest, SingleFlagSettersChangeThePort) {
    OpenRecord port(PortOf(lab::Kind::Free));
    ASSERT_EQ(port.result, 0);
    const FlagRow rows[] = {
        {"parity scheme odd", RtSerialPortParityType, ODDPARITY, [](const DCB& d) { return d.Parity == ODDPARITY; }},
        {"parity scheme none", RtSerialPortParityType, NOPARITY, [](const DCB& d) { return d.Parity == NOPARITY; }},
        {"CTS flow on", SerialPort_Set_FlowEnableCts_RT, 1, [](const DCB& d) { return d.fOutxCtsFlow == 1; }},
        {"CTS flow off", SerialPort_Set_FlowEnableCts_RT, 0, [](const DCB& d) { return d.fOutxCtsFlow == 0; }},
        {"RTS on", RtSerialPortFlowEnableRTS, RTS_CONTROL_ENABLE,
         [](const DCB& d) { return d.fRtsControl == RTS_CONTROL_ENABLE; }},
        {"RTS off", RtSerialPortFlowEnableRTS, RTS_CONTROL_DISABLE,
         [](const DCB& d) { return d.fRtsControl == RTS_CONTROL_DISABLE; }},
        {"DTR line on", RtSerialPortEnableDtrLine, 1, [](const DCB& d) { return d.fDtrControl == DTR_CONTROL_ENABLE; }},
        {"DTR line off", RtSerialPortEnableDtrLine, 0, [](const DCB& d) { return d.fDtrControl == DTR_CONTROL_DISABLE; }},
        {"parity checking off", RtSerialPortEnableParity, 0, [](const DCB& d) { return d.fParity == 0; }},
    };
    for (const FlagRow& row : rows) {
        SCOPED_TRACE(row.name);
        const int32_t value = row.value;
        EXPECT_EQ(row.set(&port.record, &value), 0);
        EXPECT_EQ(ChannelError(), 0);
        EXPECT_TRUE(row.holds(PortState(port.record)));
    }
    // The value is not kept in the record.
    EXPECT_EQ(port.record.CTSFLOW, 0);
}

TEST_F(LabTest, SingleFlagSettersOnAClosedRecordChangeNothing) {
    using Setter = int32_t(WINAPI*)(PortRecord*, const int32_t*);
    const Setter setters[] = {
        SerialPort_Set_FlowEnableCts_RT, RtSerialPortFlowEnableDSR, RtSerialPortFlowEnable,
        RtSerialPortEnableDsrSense, RtSerialPortFlowEnableDTR, RtSerialPortEnableDtrLine,
        RtSerialPortFlowEnableRTS, RtSerialPortDiscardNulls, RtSerialPortEnableParity,
        RtSerialPortParityChar, RtSerialPortEnableParityReplace, RtSerialPortParityType,
    };
    OpenRecord other(PortOf(lab::Kind::Free));  // a neighbour whose port must stay as it is
    ASSERT_EQ(other.result, 0);
    const DCB before = PortState(other.record);
    for (const int32_t channel : {0, 32000}) {
        PortRecord record{};
        record.RtHandle = channel;
        record.Baud = 1234;
        PortRecord expected = record;
        expected.State = 1;
        SetText(expected.StateDescription, "%SerialPortClosed");
        const int32_t value = 1;
        for (Setter set : setters) {
            EXPECT_EQ(set(&record, &value), 0);
            EXPECT_EQ(std::memcmp(&record, &expected, sizeof(record)), 0);
        }
    }
    const DCB after = PortState(other.record);
    EXPECT_EQ(std::memcmp(&before, &after, sizeof(DCB)), 0);
}

TEST_F(LabTest, AHeldPortIsACommErrorWithAccessDenied) {
    const std::string com = PortOf(lab::Kind::Held);
    ASSERT_FALSE(com.empty());
    PortRecord record{};
    SetText(record.PortName, com);
    record.AppError = 4242;
    SetText(record.AppErrorDescription, "earlier");
    record.State = 7;
    EXPECT_EQ(SerialPort_Open_Rt(&record), 69);
    EXPECT_EQ(record.RtError, 69);
    EXPECT_EQ(Text(record.RtErrorDescription), "Comm error");
    EXPECT_EQ(record.WinError, 5u);
    EXPECT_FALSE(Text(record.WinErrorDescription).empty());
    EXPECT_EQ(record.AppError, 4242);
    EXPECT_EQ(Text(record.AppErrorDescription), "earlier");
    EXPECT_EQ(record.State, 7);  // untouched on a refused open
    EXPECT_EQ(record.WinHandle, 0u);
    EXPECT_NE(record.RtHandle, 0);  // the number that was tried
    EXPECT_FALSE(kestrune::IsChannelOpen(record.RtHandle));
}

TEST_F(LabTest, APortListOnlyPortIsFileNotFound) {
    const std::string com = PortOf(lab::Kind::PortListOnly);
    ASSERT_FALSE(com.empty());
    PortRecord record{};
    SetText(record.PortName, com);
    EXPECT_EQ(SerialPort_Open_Rt(&record), 69);
    EXPECT_EQ(record.WinError, 2u);
    EXPECT_EQ(record.RtError, 69);
}

TEST_F(LabTest, OperationsOnAChannelThatIsNotOpenAreError52) {
    PortRecord record{};
    record.RtHandle = 32001;
    record.Baud = 1234;
    SerialPort_Set_Baud_RT(&record);
    EXPECT_EQ(ChannelError(), 52);
    SerialPort_Get_Baud_RT(&record);
    EXPECT_EQ(ChannelError(), 52);
    EXPECT_EQ(record.Baud, 0);  // a failing query answers 0
    SerialPort_Close_Rt(&record);
    EXPECT_EQ(ChannelError(), 52);
    EXPECT_EQ(record.RtHandle, 0);
    // Each call starts clean.
    SerialPort_State_Rt(&record);
    EXPECT_EQ(ChannelError(), 0);
}

TEST_F(LabTest, OpeningAnOpenChannelIsError55) {
    const std::vector<const lab::Port*> pair = layout_.OfKind(lab::Kind::NullModem);
    ASSERT_GE(pair.size(), 2u);
    OpenRecord first(pair[0]->com);
    ASSERT_EQ(first.result, 0);

    PortRecord second{};
    second.RtHandle = first.record.RtHandle;
    SetText(second.PortName, pair[0]->peer);
    EXPECT_EQ(SerialPort_Open_Rt(&second), 55);
    EXPECT_EQ(second.RtError, 55);
    EXPECT_EQ(Text(second.RtErrorDescription), "File is open");
    EXPECT_EQ(second.AppError, 55);
    EXPECT_EQ(second.WinHandle, first.record.WinHandle);  // the open channel, as it was
    EXPECT_EQ(kestrune::ChannelDevicePath(first.record.RtHandle), pair[0]->Path());

    // The peer port was not opened: it opens on a channel of its own.
    OpenRecord peer(pair[0]->peer);
    EXPECT_EQ(peer.result, 0);
}

// The result is this call's own, not the error an earlier refused open left in the record.
TEST_F(LabTest, AnOpenAfterARefusedOneReturnsItsOwnSuccess) {
    const std::string com = PortOf(lab::Kind::Free);
    PortRecord record{};
    record.RtError = 69;  // left from an earlier refused open
    record.State = 1;
    SetText(record.PortName, com);
    EXPECT_EQ(SerialPort_Open_Rt(&record), 0);
    EXPECT_EQ(record.State, 0) << "the port is open";
    EXPECT_NE(record.WinHandle, 0u);
    SerialPort_Close_Rt(&record);
}

// The test layouts have no COM1: the open is tried on COM1 and says why it failed.
TEST_F(LabTest, NumberThreeHundredWithoutNameTurnsToComOne) {
    PortRecord record{};
    record.Number = 300;
    const int32_t result = SerialPort_Open_Rt(&record);
    EXPECT_EQ(Text(record.PortName), "COM1");
    EXPECT_EQ(record.Number, 1);
    if (result == 0) {
        EXPECT_EQ(record.State, 0);
        EXPECT_EQ(kestrune::ChannelDevicePath(record.RtHandle), "\\\\.\\COM1");
    } else {
        // This machine has no usable COM1: the attempt was on COM1 and says why it failed.
        EXPECT_EQ(result, 69);
        EXPECT_NE(record.WinError, 0u);
    }
    SerialPort_Close_Rt(&record);
}

TEST_F(LabTest, ChannelNumbersStayUniqueAcrossThreads) {
    // The null device opens any number of times, so every thread can hold many channels.
    constexpr int kThreads = 8;
    constexpr int kEach = 40;
    std::vector<std::vector<PortRecord>> records(kThreads, std::vector<PortRecord>(kEach));
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&records, t] {
            for (PortRecord& r : records[t]) {
                SetText(r.PortName, "NUL");
                SerialPort_Open_Rt(&r);
            }
        });
    }
    for (std::thread& th : threads) th.join();
    std::set<int32_t> numbers;
    for (auto& list : records)
        for (PortRecord& r : list) {
            EXPECT_EQ(r.State, 0);
            numbers.insert(r.RtHandle);
        }
    EXPECT_EQ(numbers.size(), static_cast<std::size_t>(kThreads * kEach));
    for (auto& list : records)
        for (PortRecord& r : list) SerialPort_Close_Rt(&r);
}

}  // namespace
}  // namespace porttest

namespace porttest {
namespace {

TEST_F(LabTest, CarrierOfAPoweredDeviceIsOn) {
    const std::string device = PortOf(lab::Kind::Device);
    const std::string free = PortOf(lab::Kind::Free);
    ASSERT_FALSE(device.empty());
    OpenRecord on(device), off(free);
    ASSERT_EQ(on.result, 0);
    ASSERT_EQ(off.result, 0);
    for (OpenRecord* port : {&on, &off}) {
        SerialPort_Get_CarrierLine_RT(&port->record);
        SerialPort_Get_ReceiveLine_RT(&port->record);
        EXPECT_EQ(kestrune::ChannelError(), 0);
    }
    EXPECT_EQ(on.record.CarrierLineDetect, -1);
    EXPECT_EQ(on.record.ReceiveLineDetect, -1);
    EXPECT_EQ(off.record.CarrierLineDetect, 0);
    EXPECT_EQ(off.record.ReceiveLineDetect, 0);
}

}  // namespace
}  // namespace porttest
