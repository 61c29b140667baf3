#pragma once
// The channel layer's error numbers and texts, and the error of the running call.
//
// Every exported port function starts with the error at 0; a failing channel operation sets
// it and the function carries on. The number is kept per thread, so calls running on
// different threads never see each other's errors.
#include <cstdint>
#include <string_view>

namespace kestrune {

enum ChannelErrorNumber : int32_t {
    kChannelNoError = 0,
    kChannelIllegalFunctionCall = 5,
    kChannelOverflow = 6,
    kChannelOutOfMemory = 7,
    kChannelSubscriptOutOfRange = 9,
    kChannelBadFileNameOrNumber = 52,
    kChannelFileIsOpen = 55,
    kChannelDeviceIoError = 57,
    kChannelTooManyFiles = 67,
    kChannelCommError = 69,
};

// The table text of a channel error number ("No Error" for 0, "Comm error" for 69, ...);
// "Unknown error" for a number the table does not hold.
std::string_view ChannelErrorText(int32_t number);

// The error of the call running on this thread.
int32_t ChannelError();
void SetChannelError(int32_t number);
void ResetChannelError();

}  // namespace kestrune
