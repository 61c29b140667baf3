// No exception leaves an exported function: out of memory and other failures become the
// function's result and the record's error.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>

#include "port/channel.h"
#include "exports/port_functions.h"
#include "stand_in_port.h"
#include "support/boundary.h"
#include "support/fixed_text.h"

namespace {

using Thrower = std::function<void()>;

const struct {
    const char* name;
    Thrower raise;
    int32_t number;
    const char* text;
    HRESULT hresult;   // a class member's result
    LONG systemError;  // a registry function's result
} kFailures[] = {
    {"bad_alloc", [] { throw std::bad_alloc(); }, 7, "Out of memory", E_OUTOFMEMORY, ERROR_OUTOFMEMORY},
    {"length_error", [] { throw std::length_error("vector"); }, 7, "Out of memory", E_OUTOFMEMORY, ERROR_OUTOFMEMORY},
    {"out_of_range", [] { throw std::out_of_range("at"); }, 9, "Subscript/Pointer out of range", DISP_E_BADINDEX,
     ERROR_INVALID_INDEX},
    {"overflow_error", [] { throw std::overflow_error("sum"); }, 6, "Overflow", DISP_E_OVERFLOW,
     ERROR_ARITHMETIC_OVERFLOW},
    {"runtime_error", [] { throw std::runtime_error("other"); }, 51, "Internal error", E_UNEXPECTED,
     ERROR_INTERNAL_ERROR},
    {"not an exception class", [] { throw 42; }, 51, "Internal error", E_UNEXPECTED, ERROR_INTERNAL_ERROR},
};

TEST(Boundary, EveryNumberingTakesItsColumnOfTheOneTable) {
    for (const auto& failure : kFailures) {
        SCOPED_TRACE(failure.name);
        EXPECT_EQ(kestrune::CallAtBoundary([&]() -> int32_t { failure.raise(); return 0; },
                                           [](int32_t number) { return number; }),
                  failure.number);
        EXPECT_EQ(kestrune::HResultAtBoundary([&]() -> HRESULT { failure.raise(); return S_OK; }), failure.hresult);
        EXPECT_EQ(kestrune::SystemErrorAtBoundary([&]() -> LONG { failure.raise(); return ERROR_SUCCESS; }),
                  failure.systemError);
    }
}

TEST(Boundary, AFailingRecorderStillGivesTheNumber) {
    EXPECT_EQ(kestrune::CallAtBoundary([]() -> int32_t { throw std::bad_alloc(); },
                                       [](int32_t) -> int32_t { throw std::runtime_error("recorder"); }),
              7);
}

TEST(Boundary, ExportsRecordTheFailureInsteadOfThrowing) {
    const struct {
        const char* name;
        int32_t(WINAPI* call)(PortRecord*);
    } exports[] = {{"Get_Baud", SerialPort_Get_Baud_RT}, {"Set_Default", SerialPort_Set_Default_RT},
                   {"Receive", SerialPort_Receive_Rt}, {"Send", SerialPort_Send_Rt}};
    for (const auto& failure : kFailures) {
        for (const auto& exported : exports) {
            SCOPED_TRACE(std::string(failure.name) + " in " + exported.name);
            PortRecord record{};
            record.RtHandle = kestrune::NextChannelNumber();
            ASSERT_TRUE(kestrune::OpenChannelOn(record.RtHandle, "\\\\.\\THROW",
                                                std::make_unique<porttest::StandInPort>(0x6660, 1, failure.raise)));
            record.WinHandle = 0x6660;
            kestrune::SetText(record.XmitBuffer, "text");
            EXPECT_EQ(exported.call(&record), failure.number);
            EXPECT_EQ(record.RtError, failure.number);
            EXPECT_EQ(record.AppError, failure.number);
            EXPECT_EQ(kestrune::Text(record.RtErrorDescription), failure.text);
            EXPECT_EQ(kestrune::Text(record.AppErrorDescription), failure.text);
            EXPECT_EQ(SerialPort_Close_Rt(&record), 0);  // the channel is still there to close
            EXPECT_FALSE(kestrune::IsChannelOpen(record.RtHandle));
        }
    }
}

}  // namespace
