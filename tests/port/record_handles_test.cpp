// Handle values in a record: the library closes only handles it opened or duplicated, and
// only through a record that names them. The host program's own handles survive every
// open and close function.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "lab_fixture.h"
#include "port/channel.h"
#include "port/record_handles.h"
#include "stand_in_port.h"
#include "support/handles.h"

namespace porttest {
namespace {

DWORD WINAPI Idle(void*) { return 0; }

bool Alive(HANDLE handle) {
    DWORD flags = 0;
    return GetHandleInformation(handle, &flags) != 0;
}

// Every field kind against every close: what is closed, cleared or refused.
TEST(RecordHandles, ClosePlans) {
    using kestrune::CloseStep;
    using kestrune::HandleField;
    const CloseStep nothing{}, clear{false, false, true}, channel{true, false, true}, handle{false, true, true},
        both{true, true, true}, refuse52{false, false, false, 52, 0}, refuse6{false, false, false, 0, 6};
    const struct {
        HandleField field;
        CloseStep rtOpen, rtNone, win;
    } rows[] = {
        {HandleField::kNone, channel, clear, nothing},
        {HandleField::kFailedOpen, channel, clear, clear},
        {HandleField::kOwnChannel, channel, refuse52, channel},
        {HandleField::kOtherChannel, channel, refuse52, refuse52},  // another record's channel
        {HandleField::kOwned, both, handle, handle},
        {HandleField::kForeign, channel, refuse6, refuse6},
    };
    for (const auto& row : rows) {
        const int field = static_cast<int>(row.field);
        EXPECT_TRUE(kestrune::PlanCloseRt(true, row.field) == row.rtOpen) << field;
        EXPECT_TRUE(kestrune::PlanCloseRt(false, row.field) == row.rtNone) << field;
        EXPECT_TRUE(kestrune::PlanCloseWin(row.field) == row.win) << field;
        const bool opens = row.field == HandleField::kNone || row.field == HandleField::kFailedOpen;
        EXPECT_EQ(kestrune::PlanOpenWin(row.field) == kestrune::OpenWinStep::kOpen, opens) << field;
    }
}

TEST(RecordHandles, TheHostsOwnHandlesSurviveEveryOpenAndClose) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string path = std::string(temp) + "kestrune-host-file-" + std::to_string(GetCurrentProcessId());
    kestrune::UniqueHandle event(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    kestrune::UniqueHandle thread(CreateThread(nullptr, 0, Idle, nullptr, CREATE_SUSPENDED, nullptr));
    kestrune::UniqueHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                            FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    ASSERT_TRUE(event && thread && file);

    // A channel of another caller's, which no row names.
    const int32_t otherChannel = kestrune::NextChannelNumber();
    ASSERT_TRUE(kestrune::OpenChannelOn(otherChannel, "\\.\OTHER", std::make_unique<StandInPort>(0x5550)));

    enum class Rt { kNone, kNeverOpened, kOpen };
    const struct {
        const char* name;
        HANDLE handle;
    } hosts[] = {{"event", event.get()}, {"thread", thread.get()}, {"file", file.get()},
                 {"made-up", reinterpret_cast<HANDLE>(0x7FF0)}};
    for (const auto& host : hosts) {
        SCOPED_TRACE(host.name);
        const uint32_t value = kestrune::HandleToField(host.handle);
        const struct {
            const char* call;
            int32_t(WINAPI* function)(PortRecord*);
            Rt rt;
            int32_t result;
            bool kept;  // WinHandle still holds the value
        } calls[] = {{"Close_Win", SerialPort_Close_Win, Rt::kNone, 6, true},
                     {"Close_Win, with an open channel", SerialPort_Close_Win, Rt::kOpen, 6, true},
                     {"Open_Win", SerialPort_Open_Win, Rt::kNone, 0, true},  // kept untouched, no second open
                     {"Close_Rt, no channel", SerialPort_Close_Rt, Rt::kNone, 6, true},
                     {"Close_Rt, channel never opened", SerialPort_Close_Rt, Rt::kNeverOpened, 6, true},
                     {"Close_Rt, the record's open channel", SerialPort_Close_Rt, Rt::kOpen, 0, false}};
        for (const auto& call : calls) {
            SCOPED_TRACE(call.call);
            PortRecord record{};
            record.WinHandle = value;
            if (call.rt != Rt::kNone) record.RtHandle = kestrune::NextChannelNumber();
            if (call.rt == Rt::kOpen)
                ASSERT_TRUE(kestrune::OpenChannelOn(record.RtHandle, "\\.\MINE", std::make_unique<StandInPort>(0x5560)));
            const int32_t channel = record.RtHandle;
            EXPECT_EQ(call.function(&record), call.result);
            EXPECT_EQ(record.AppError, call.result);
            EXPECT_EQ(record.WinHandle, call.kept ? value : 0u);
            if (call.function == SerialPort_Close_Rt && call.rt == Rt::kOpen) {
                EXPECT_FALSE(kestrune::IsChannelOpen(channel)) << "the record's channel was not closed";
                EXPECT_EQ(record.RtHandle, 0);
            }
            if (call.function == SerialPort_Close_Win && call.rt == Rt::kOpen) EXPECT_TRUE(kestrune::IsChannelOpen(channel));
            if (kestrune::IsChannelOpen(channel)) kestrune::CloseChannel(channel);
            EXPECT_TRUE(kestrune::IsChannelOpen(otherChannel));
            if (host.handle != reinterpret_cast<HANDLE>(0x7FF0)) EXPECT_TRUE(Alive(host.handle));
        }
    }
    // The other caller's own record still closes its channel.
    PortRecord owner{};
    owner.RtHandle = otherChannel;
    owner.WinHandle = 0x5550;
    EXPECT_EQ(SerialPort_Close_Rt(&owner), 0);
    EXPECT_FALSE(kestrune::IsChannelOpen(otherChannel));
}

// A channel's real handle in a second record: that record cannot close it under the
// channel, which goes on working until its own record closes it; a record that names
// another open channel closes that one whatever its WinHandle says.
TEST_F(LabTest, AChannelsHandleIsClosedOnlyWithItsChannel) {
    const std::string com = PortOf(lab::Kind::Free);
    OpenRecord first(com);
    ASSERT_EQ(first.result, 0);
    const HANDLE handle = kestrune::FieldToHandle(first.record.WinHandle);
    const int32_t channel = first.record.RtHandle;
    const int32_t bystander = kestrune::NextChannelNumber();
    ASSERT_TRUE(kestrune::OpenChannelOn(bystander, "\\\\.\\BYSTANDER", std::make_unique<StandInPort>(0x5570)));

    const struct {
        const char* call;
        int32_t(WINAPI* function)(PortRecord*);
        int32_t rtHandle;
        int32_t result;
        bool bystanderOpen;
    } calls[] = {{"Close_Win, no channel named", SerialPort_Close_Win, 0, 52, true},
                 {"Close_Win, another channel named", SerialPort_Close_Win, bystander, 52, true},
                 {"Close_Rt, no channel named", SerialPort_Close_Rt, 0, 52, true},
                 {"Close_Rt, another open channel named", SerialPort_Close_Rt, bystander, 0, false}};
    for (const auto& call : calls) {
        SCOPED_TRACE(call.call);
        PortRecord second{};
        second.WinHandle = kestrune::HandleToField(handle);
        second.RtHandle = call.rtHandle;
        EXPECT_EQ(call.function(&second), call.result);
        EXPECT_EQ(kestrune::IsChannelOpen(bystander), call.bystanderOpen);
        EXPECT_TRUE(kestrune::IsChannelOpen(channel));
        EXPECT_TRUE(Alive(handle)) << "the channel's handle was closed under it";
    }
    kestrune::SetText(first.record.XmitBuffer, "still open");
    EXPECT_EQ(SerialPort_Send_Rt(&first.record), 0);
    EXPECT_EQ(first.record.State, 0);
    EXPECT_EQ(SerialPort_Close_Win(&first.record), 0);  // its own record: through the channel
    EXPECT_FALSE(kestrune::IsChannelOpen(channel));
    EXPECT_FALSE(Alive(handle));
    OpenRecord again(com);  // the port is free again
    EXPECT_EQ(again.result, 0);
}

TEST_F(LabTest, CloseRtOfANativeOpenFreesThePort) {
    const std::string com = PortOf(lab::Kind::Free);
    PortRecord record{};
    kestrune::SetText(record.Name, "\\\\.\\COM");
    record.Number = std::atoi(com.c_str() + 3);
    ASSERT_EQ(SerialPort_Open_Win(&record), 0);
    const HANDLE opened = kestrune::FieldToHandle(record.WinHandle);
    EXPECT_EQ(SerialPort_Close_Rt(&record), 0);  // its RtHandle was never opened
    EXPECT_EQ(record.WinHandle, 0u);
    EXPECT_FALSE(Alive(opened));
    OpenRecord again(com);  // the port is free again
    EXPECT_EQ(again.result, 0);
}

}  // namespace
}  // namespace porttest
