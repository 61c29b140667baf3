#pragma once
// The setting properties of a channel and what each does to the port's device control
// block. These functions only decide; the channel layer reads and writes the port.
#include <windows.h>

#include <cstdint>

namespace kestrune {

enum class ChannelProperty {
    kBaud,
    kDataBits,
    kCtsOutputFlow,
    kDsrOutputFlow,
    kDsrSensitivity,
    kDtrHandshake,
    kDtrLine,
    kRtsControl,
    kDiscardNulls,
    kParityChecking,
    kReplacementChar,
    kParityReplacement,
    kParityScheme,
    kStopBits,
    kInputQueue,   // SetupComm / GetCommProperties
    kOutputQueue,  // SetupComm / GetCommProperties
    kRing,         // GetCommModemStatus, query only
    kCarrier,      // GetCommModemStatus, query only
    kBytesWaiting, // ClearCommError, query only
};

// Changes the part of the control block that a property names. False when the property is
// not changed through the control block (queues, modem lines, bytes waiting).
//
// Data bits also adjust the stop bits and parity: 5 data bits turn a stop-bit code of two
// into one and a half, more than 5 give one stop bit, 8 or more switch parity checking off
// and the parity scheme to none.
bool ChangeControlBlock(DCB& dcb, ChannelProperty property, int32_t value);

// Reads a property from the control block. Yes/no properties answer -1 for yes, 0 for no.
// False when the property is not read from the control block.
bool ReadControlBlock(const DCB& dcb, ChannelProperty property, int32_t* value);

// Yes/no answers of the channel layer.
inline int32_t YesNo(bool on) { return on ? -1 : 0; }

// The input-queue error flags that make the bytes-waiting query fail: receive overflow,
// overrun, framing, transmit full and I/O error.
constexpr uint32_t kBytesWaitingErrorFlags = 0x50B;

// The record's StopBits field is fixed point (four decimals) and holds one of two forms: the
// scan stores the number of stop bits (1, 1.5, 2 as 10000, 15000, 20000), the getter and the
// serial-port class store the port's stop-bit code (0 one, 1 one and a half, 2 two, as
// 0, 10000, 20000). The setter reads what a caller means in either form: 0 and 1 give one
// stop bit, 1.5 one and a half, 2 two. The one value the forms read differently, 10000, is
// taken as one stop bit — the usual setting, and what a scanned record holds — so only the
// rare one-and-a-half code does not survive a getter-then-setter round trip.
int32_t StopBitCodeFromField(int64_t stored);
int64_t StopBitsFieldFromCode(int32_t code);

}  // namespace kestrune
