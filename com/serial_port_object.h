#pragma once
// The serial-port Automation class: one PortRecord per object, read and written through
// the dual interface of the type library "SerialPort" embedded in the module.
#include <windows.h>
#include <oleauto.h>

#include <cstdint>
#include <optional>

#include "com/serial_port_typelib.h"

namespace kestrune {

// A new object, asked for iid: E_POINTER, E_OUTOFMEMORY or E_NOINTERFACE when it fails.
HRESULT CreateSerialPortObject(REFIID iid, void** object);

// StopBits crosses the interface as the number of stop bits (currency: 1, 1.5, 2) and sits
// in the record as the channel functions' code (currency 0, 1, 2).
// The number a get gives for the stored code; none for a code outside 0..2.
std::optional<int64_t> StopBitsFromRecord(int64_t stored);
// The value a put stores: 1 -> code 0, 1.5 -> 1, 2 -> 2, anything else as given.
int64_t StopBitsToRecord(int64_t given);

// The scan method's result for a scan whose records cannot be placed where the 32-bit
// argument can point: the channel layer's "Out of memory".
constexpr int32_t kNoResultBlock = 7;

}  // namespace kestrune
