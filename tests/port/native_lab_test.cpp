// The native-handle functions on the lab's ports.
#include <gtest/gtest.h>

#include <cstring>

#include "lab_fixture.h"
#include "port/channel.h"
#include "support/handles.h"

namespace porttest {
namespace {

using kestrune::SetText;
using kestrune::Text;

int32_t NumberOf(const std::string& com) { return std::atoi(com.c_str() + 3); }

TEST_F(LabTest, OpenWinOpensByPrefixAndNumber) {
    const std::string com = PortOf(lab::Kind::Free);
    PortRecord record{};
    SetText(record.Name, "COM2");  // no device prefix: replaced
    record.Number = NumberOf(com);
    EXPECT_EQ(SerialPort_Open_Win(&record), 0);
    EXPECT_EQ(Text(record.Name), "\\\\.\\COM");
    ASSERT_NE(record.WinHandle, 0u);
    ASSERT_NE(record.WinHandle, 0xFFFFFFFFu);
    EXPECT_NE(record.RtHandle, 0);
    EXPECT_EQ(GetFileType(kestrune::FieldToHandle(record.WinHandle)), static_cast<DWORD>(FILE_TYPE_CHAR));

    // The state reports the channel, which this open never opened.
    EXPECT_EQ(SerialPort_State_Win(&record), 0);
    EXPECT_EQ(record.State, 1);
    EXPECT_EQ(Text(record.StateDescription), "%SerialPortClosed");

    // A second open makes no second handle; only the channel number moves on.
    const uint32_t handle = record.WinHandle;
    const int32_t channel = record.RtHandle;
    EXPECT_EQ(SerialPort_Open_Win(&record), 0);
    EXPECT_EQ(record.WinHandle, handle);
    EXPECT_NE(record.RtHandle, channel);

    EXPECT_EQ(SerialPort_Close_Win(&record), 0);
    EXPECT_EQ(record.WinHandle, 0u);
    EXPECT_EQ(record.RtHandle, 0);
    PortRecord same = record;
    EXPECT_EQ(SerialPort_Close_Win(&record), 0);
    EXPECT_EQ(std::memcmp(&same, &record, sizeof(record)), 0);
}

TEST_F(LabTest, OpenWinFailuresAreSystemErrors) {
    struct Row {
        const char* name;
        int32_t number;
        const char* nameAfter;
        int32_t numberAfter;
    };
    // "\\.\COM9" with 9 names port 99; -3 names "\\.\COM-3". Neither exists.
    const Row rows[] = {{"\\\\.\\COM9", 9, "\\\\.\\COM9", 9}, {"", -3, "\\\\.\\COM", -3}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        PortRecord record{};
        SetText(record.Name, row.name);
        record.Number = row.number;
        record.AppError = 77;
        const int32_t result = SerialPort_Open_Win(&record);
        EXPECT_EQ(Text(record.Name), row.nameAfter);
        EXPECT_EQ(record.Number, row.numberAfter);
        EXPECT_NE(result, 0);
        EXPECT_EQ(static_cast<uint32_t>(result), record.WinError);
        EXPECT_EQ(record.RtError, 0);
        EXPECT_EQ(record.AppError, result);
        EXPECT_EQ(Text(record.AppErrorDescription), Text(record.WinErrorDescription));
        EXPECT_EQ(record.WinHandle, 0xFFFFFFFFu);
        EXPECT_EQ(SerialPort_Close_Win(&record), 0);
        EXPECT_EQ(record.WinHandle, 0u);
    }
}

TEST_F(LabTest, OpenWinOnAHeldPortIsAccessDenied) {
    PortRecord record{};
    SetText(record.Name, "\\\\.\\COM");
    record.Number = NumberOf(PortOf(lab::Kind::Held));
    EXPECT_EQ(SerialPort_Open_Win(&record), 5);
    EXPECT_EQ(record.WinError, 5u);
    EXPECT_EQ(record.AppError, 5);
}

TEST_F(LabTest, OpenWinAfterARefusedOpenTriesAgain) {
    PortRecord record{};
    SetText(record.Name, "\\\\.\\COM");
    record.Number = NumberOf(PortOf(lab::Kind::Free));
    record.WinHandle = 0xFFFFFFFFu;  // left by an earlier refused open
    SetLastError(0);
    EXPECT_EQ(SerialPort_Open_Win(&record), 0);
    EXPECT_NE(record.WinHandle, 0xFFFFFFFFu);
    EXPECT_EQ(SerialPort_Close_Win(&record), 0);
}

TEST_F(LabTest, CloseWinOfAChannelsHandleClosesTheChannel) {
    OpenRecord port(PortOf(lab::Kind::Free));
    ASSERT_EQ(port.result, 0);
    const int32_t channel = port.record.RtHandle;
    EXPECT_EQ(SerialPort_Close_Win(&port.record), 0);
    EXPECT_FALSE(kestrune::IsChannelOpen(channel));
}

TEST(NativeFunctions, SendWinOnlyMarksTheTerminal) {
    PortRecord record{};
    SetText(record.XmitBuffer, "not sent");
    PortRecord before = record;
    EXPECT_EQ(SerialPort_Send_Win(&record), 0);
    EXPECT_EQ(std::memcmp(&before, &record, sizeof(record)), 0);
    record.HwndTerminal = 1;
    record.ColorTextBackGround = 9;
    EXPECT_EQ(SerialPort_Send_Win(&record), 0);
    EXPECT_EQ(record.ColorText, 0x00FFFF00);
    EXPECT_EQ(record.ColorTextBackGround, 0);
}

}  // namespace
}  // namespace porttest
