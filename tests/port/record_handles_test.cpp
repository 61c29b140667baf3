// Handle values in a record: the library closes only handles it opened or duplicated, and
// only through a record that names them. The host program's own handles survive every
// open and close function.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "lab_fixture.h"
#include "port/channel.h"
#include "stand_in_port.h"
#include "support/handles.h"

namespace porttest {
namespace {

DWORD WINAPI Idle(void*) { return 0; }

bool Alive(HANDLE handle) {
    DWORD flags = 0;
    return GetHandleInformation(handle, &flags) != 0;
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

    const int32_t otherChannel = kestrune::NextChannelNumber();
    ASSERT_TRUE(kestrune::OpenChannelOn(otherChannel, "\\\\.\\OTHER", std::make_unique<StandInPort>(0x5550)));

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
            int32_t rtHandle;
            int32_t error;
        } calls[] = {{"Close_Win", SerialPort_Close_Win, 0, 6},
                     {"Open_Win", SerialPort_Open_Win, 0, 6},
                     {"Close_Rt, no channel", SerialPort_Close_Rt, 0, 6},
                     {"Close_Rt, channel never opened", SerialPort_Close_Rt, kestrune::NextChannelNumber(), 6},
                     {"Close_Rt, another caller's channel", SerialPort_Close_Rt, otherChannel, 52}};
        for (const auto& call : calls) {
            SCOPED_TRACE(call.call);
            PortRecord record{};
            record.WinHandle = value;
            record.RtHandle = call.rtHandle;
            EXPECT_EQ(call.function(&record), call.error);
            EXPECT_EQ(record.AppError, call.error);
            EXPECT_EQ(record.WinHandle, value);  // left as it was
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
