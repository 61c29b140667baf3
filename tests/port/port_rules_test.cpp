// The decisions of the port layer, fed every case as plain values.
#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "port/channel.h"
#include "port/channel_errors.h"
#include "port/comm_properties.h"
#include "port/error_capture.h"
#include "port/port_naming.h"
#include "scan/status_probe.h"

namespace kestrune {
namespace {

TEST(ChannelErrorText, TableTextsExactly) {
    const std::pair<int32_t, const char*> rows[] = {
        {0, "No Error"}, {5, "Illegal function call"}, {9, "Subscript/Pointer out of range"},
        {52, "Bad file name or number"}, {55, "File is open"}, {57, "Device I/O error"},
        {67, "Too many files"}, {69, "Comm error"}, {75, "Path/file access error"},
        {242, "String space corrupt"},
    };
    for (const auto& [number, text] : rows) EXPECT_EQ(ChannelErrorText(number), text) << number;
    EXPECT_EQ(ChannelErrorText(1), "Unknown error");
}

TEST(ChannelError, BelongsToTheCallingThread) {
    SetChannelError(69);
    int32_t seenElsewhere = -1;
    std::thread([&] { seenElsewhere = ChannelError(); }).join();
    EXPECT_EQ(seenElsewhere, 0);
    EXPECT_EQ(ChannelError(), 69);
    ResetChannelError();
    EXPECT_EQ(ChannelError(), 0);
}

TEST(AdvanceChannelNumber, RisesWrapsAndSkipsOpenNumbers) {
    const auto none = [](int32_t) { return false; };
    EXPECT_EQ(AdvanceChannelNumber(0, none), 1);
    EXPECT_EQ(AdvanceChannelNumber(1, none), 2);
    EXPECT_EQ(AdvanceChannelNumber(32766, none), 32767);
    EXPECT_EQ(AdvanceChannelNumber(32767, none), 1);
    EXPECT_EQ(AdvanceChannelNumber(-5, none), 1);
    EXPECT_EQ(AdvanceChannelNumber(40000, none), 1);

    const std::set<int32_t> open = {32767, 1, 2, 4};
    const auto isOpen = [&](int32_t n) { return open.count(n) != 0; };
    EXPECT_EQ(AdvanceChannelNumber(32766, isOpen), 3);
    EXPECT_EQ(AdvanceChannelNumber(3, isOpen), 5);
    EXPECT_EQ(AdvanceChannelNumber(10, [](int32_t) { return true; }), 0);
}

TEST(ChooseAppError, OnlyOneSetErrorCounts) {
    EXPECT_EQ(ChooseAppError(0, 0), AppErrorSource::kKeep);
    EXPECT_EQ(ChooseAppError(69, 5), AppErrorSource::kKeep);
    EXPECT_EQ(ChooseAppError(69, 0), AppErrorSource::kChannel);
    EXPECT_EQ(ChooseAppError(0, 2), AppErrorSource::kSystem);
}

DCB EightNoneOne() {
    DCB dcb{};
    dcb.DCBlength = sizeof(dcb);
    dcb.BaudRate = 9600;
    dcb.ByteSize = 8;
    dcb.StopBits = ONESTOPBIT;
    return dcb;
}

TEST(ChangeControlBlock, DataBitsAdjustStopBitsAndParity) {
    struct Row {
        BYTE stopBefore;
        int32_t value;
        BYTE byteSize;
        BYTE stopAfter;
        bool parityOff;
    };
    const Row rows[] = {
        {TWOSTOPBITS, 5, 5, ONE5STOPBITS, false},
        {ONESTOPBIT, 5, 5, ONESTOPBIT, false},
        {TWOSTOPBITS, 6, 6, ONESTOPBIT, false},
        {TWOSTOPBITS, 7, 7, ONESTOPBIT, false},
        {TWOSTOPBITS, 8, 8, ONESTOPBIT, true},
        {TWOSTOPBITS, 0x107, 7, ONESTOPBIT, true},  // low 8 bits are the size; the value counts as 8 or more
    };
    for (const Row& row : rows) {
        DCB dcb = EightNoneOne();
        dcb.StopBits = row.stopBefore;
        dcb.fParity = 1;
        dcb.Parity = EVENPARITY;
        ASSERT_TRUE(ChangeControlBlock(dcb, ChannelProperty::kDataBits, row.value));
        EXPECT_EQ(dcb.ByteSize, row.byteSize) << row.value;
        EXPECT_EQ(dcb.StopBits, row.stopAfter) << row.value;
        EXPECT_EQ(dcb.fParity == 0 && dcb.Parity == NOPARITY, row.parityOff) << row.value;
    }
}

TEST(ChangeControlBlock, FlagsAndCodes) {
    DCB dcb = EightNoneOne();
    ChangeControlBlock(dcb, ChannelProperty::kCtsOutputFlow, 7);
    ChangeControlBlock(dcb, ChannelProperty::kDsrOutputFlow, -1);
    ChangeControlBlock(dcb, ChannelProperty::kDsrSensitivity, 1);
    ChangeControlBlock(dcb, ChannelProperty::kDiscardNulls, 2);
    ChangeControlBlock(dcb, ChannelProperty::kParityReplacement, 1);
    EXPECT_EQ(dcb.fOutxCtsFlow, 1u);
    EXPECT_EQ(dcb.fOutxDsrFlow, 1u);
    EXPECT_EQ(dcb.fDsrSensitivity, 1u);
    EXPECT_EQ(dcb.fNull, 1u);
    EXPECT_EQ(dcb.fErrorChar, 1u);

    ChangeControlBlock(dcb, ChannelProperty::kDtrHandshake, 5);
    EXPECT_EQ(dcb.fDtrControl, static_cast<DWORD>(DTR_CONTROL_HANDSHAKE));
    ChangeControlBlock(dcb, ChannelProperty::kDtrLine, 5);
    EXPECT_EQ(dcb.fDtrControl, static_cast<DWORD>(DTR_CONTROL_ENABLE));
    ChangeControlBlock(dcb, ChannelProperty::kDtrHandshake, 0);
    EXPECT_EQ(dcb.fDtrControl, static_cast<DWORD>(DTR_CONTROL_DISABLE));

    ChangeControlBlock(dcb, ChannelProperty::kRtsControl, 7);
    EXPECT_EQ(dcb.fRtsControl, 3u);
    ChangeControlBlock(dcb, ChannelProperty::kReplacementChar, 0x141);
    EXPECT_EQ(dcb.ErrorChar, 'A');
    ChangeControlBlock(dcb, ChannelProperty::kParityScheme, 0x102);
    EXPECT_EQ(dcb.Parity, EVENPARITY);
    ChangeControlBlock(dcb, ChannelProperty::kStopBits, 2);
    EXPECT_EQ(dcb.StopBits, TWOSTOPBITS);

    EXPECT_FALSE(ChangeControlBlock(dcb, ChannelProperty::kInputQueue, 1));
    EXPECT_FALSE(ChangeControlBlock(dcb, ChannelProperty::kRing, 1));
}

TEST(ReadControlBlock, YesNoAnswersAreMinusOne) {
    DCB dcb = EightNoneOne();
    dcb.fParity = 1;
    dcb.fErrorChar = 0;
    dcb.ErrorChar = static_cast<char>(0xE9);
    int32_t v = 0;
    ASSERT_TRUE(ReadControlBlock(dcb, ChannelProperty::kParityChecking, &v));
    EXPECT_EQ(v, -1);
    ASSERT_TRUE(ReadControlBlock(dcb, ChannelProperty::kParityReplacement, &v));
    EXPECT_EQ(v, 0);
    ASSERT_TRUE(ReadControlBlock(dcb, ChannelProperty::kReplacementChar, &v));
    EXPECT_EQ(v, 0xE9);  // a character, never negative
    EXPECT_FALSE(ReadControlBlock(dcb, ChannelProperty::kCtsOutputFlow, &v));
}

TEST(StopBitsField, ReadsTheScansStopBitsAndTheGettersCodes) {
    const std::pair<int64_t, int32_t> rows[] = {
        {0, ONESTOPBIT},        // a fresh record, and the getter's code for one stop bit
        {10000, ONESTOPBIT},    // the scan's "1"
        {15000, ONE5STOPBITS},  // the scan's "1.5"
        {20000, TWOSTOPBITS},   // the scan's "2", and the getter's code for two
        {30000, 3},             // no stop-bit setting: the port refuses it
    };
    for (const auto& [stored, code] : rows) EXPECT_EQ(StopBitCodeFromField(stored), code) << stored;
    // Getter then setter keeps one and two stop bits (the one-and-a-half code reads as one).
    for (int32_t code : {ONESTOPBIT, TWOSTOPBITS}) EXPECT_EQ(StopBitCodeFromField(StopBitsFieldFromCode(code)), code);
}

TEST(ChooseChannelPort, EmptyNameComesFromTheNumber) {
    struct Row {
        const char* name;
        int32_t number;
        const char* portName;
        int32_t numberAfter;
    };
    const Row rows[] = {
        {"", 300, "COM1", 1}, {"", 0, "COM1", 1}, {"", 7, "COM7", 7}, {"", 255, "COM255", 255},
        {"", 256, "COM1", 1}, {"", -3, "COM-3", -3}, {"COM9", 300, "COM9", 300},
    };
    for (const Row& row : rows) {
        const ChannelPortChoice choice = ChooseChannelPort(row.name, row.number);
        EXPECT_EQ(choice.portName, row.portName);
        EXPECT_EQ(choice.number, row.numberAfter);
    }
    EXPECT_EQ(ChannelDevicePathFor("COM7"), "\\\\.\\COM7");
    EXPECT_EQ(PortNameOfDevicePath("\\\\.\\COM7"), "COM7");
    EXPECT_EQ(PortNameOfDevicePath("NUL"), "NUL");
}

TEST(NativePath, PrefixAndNumber) {
    struct Row {
        const char* name;
        int32_t number;
        const char* path;
    };
    const Row rows[] = {
        {"", 0, "\\\\.\\COM1"},
        {"COM2", 12, "\\\\.\\COM12"},
        {"\\\\.\\com", 2, "\\\\.\\COM2"},  // the test is case-sensitive
        {"\\\\.\\CO", 2, "\\\\.\\COM2"},   // shorter than the prefix
        {"\\\\.\\COM3", 1, "\\\\.\\COM31"},
        {"\\\\.\\COM", 256, "\\\\.\\COM1"},
        {"\\\\.\\COM", -3, "\\\\.\\COM-3"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(NativeDevicePath(NativePrefix(row.name), UsablePortNumber(row.number)), row.path) << row.name;
}

TEST(DecideStatus, InUseOnlyWhenSomeoneHoldsThePort) {
    const struct {
        bool opened;
        uint32_t error;
        const char* status;
    } rows[] = {
        {true, 0, "Available"},
        {true, ERROR_ACCESS_DENIED, "Available"},  // a stale error does not matter once open
        {false, ERROR_ACCESS_DENIED, "In-Use"},
        {false, ERROR_SHARING_VIOLATION, "In-Use"},
        {false, ERROR_FILE_NOT_FOUND, "Disconnected"},  // no such port: not a made-up "In-Use"
        {false, ERROR_PATH_NOT_FOUND, "Disconnected"},
        {false, ERROR_GEN_FAILURE, "Disconnected"},     // a device that went away
        {false, ERROR_INVALID_FUNCTION, "Disconnected"},
        {false, 0, "Disconnected"},                     // refused without a reason: not a port
    };
    for (const auto& row : rows) EXPECT_EQ(DecideStatus(row.opened, row.error), row.status) << row.error;
}

}  // namespace
}  // namespace kestrune
