#pragma once
// The channel layer: numbered communications channels, the program's own open-port objects.
//
// A channel number is 1 to 32767 and comes from one counter shared by the whole program:
// each request advances it by one, wraps from 32767 to 1 and skips numbers whose channel is
// open. Asking for a number opens nothing. An open channel owns the native handle of its
// port and a read-ahead buffer of received bytes. The counter and the channel table are
// guarded by the layer's own lock, so any thread may use the layer.
//
// A failing operation sets the channel error of the running call (channel_errors.h) and
// otherwise does nothing: 52 for a channel that is not open, 55 for opening an open one,
// 69 for a failed open or an incomplete send, 5 when the port rejects a change, 57 when a
// query of the port fails.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "port/comm_properties.h"
#include "port/port_io.h"

namespace kestrune {

constexpr int32_t kFirstChannel = 1;
constexpr int32_t kLastChannel = 32767;

// The number after last (wrapping 32767 to 1; a last outside 1..32767 starts again at 1)
// that isOpen does not claim; 0 when every number is taken.
int32_t AdvanceChannelNumber(int32_t last, const std::function<bool(int32_t)>& isOpen);

// The next free channel number; 0 (and error 67, "Too many files") when all are open.
int32_t NextChannelNumber();

// Opens channel `number` on a device path ("\\.\COM3") for reading and writing, exclusively,
// with a handle that child processes do not inherit. Changes no setting of the port.
// A path that opens a disk file, or a name with no device behind it, is closed again and
// fails like a refused open (69). On failure the thread's last error holds the system's
// reason (0 when the system gave none).
bool OpenChannel(int32_t number, std::string_view devicePath);

// Opens channel `number` on a port that is already open (OpenChannel uses it for the
// system's ports). 52 for a number outside 1..32767, 55 when the channel is open.
bool OpenChannelOn(int32_t number, std::string_view devicePath, std::unique_ptr<PortIo> port);

// Closes the channel and its handle; 52 when it is not open.
bool CloseChannel(int32_t number);

bool IsChannelOpen(int32_t number);

// The native handle of an open channel; null when it is not open.
HANDLE ChannelNativeHandle(int32_t number);

// The number of the open channel whose native handle is `handle`; 0 when none.
int32_t ChannelOfNativeHandle(HANDLE handle);

// The device path an open channel was opened on; empty when it is not open.
std::string ChannelDevicePath(int32_t number);

// How many channels are open.
std::size_t OpenChannelCount();

// Changes one setting of the port behind the channel. False on failure.
bool SetChannelProperty(int32_t number, ChannelProperty property, int32_t value);

// Reads one property; a failing query answers 0.
int32_t QueryChannelProperty(int32_t number, ChannelProperty property);

// Writes all of text to the port and waits until the write completes. A port with no write
// time-out of its own gets one for this write, so a stalled line cannot hang the caller;
// fewer bytes written than asked is error 69.
bool SendOnChannel(int32_t number, std::string_view text);

// Takes the bytes waiting at the port into the read-ahead buffer, as far as it has room,
// then hands out up to maxBytes of it, ending early at a NUL byte (which is used up). Bytes
// beyond maxBytes stay in the read-ahead buffer for the next call, and bytes beyond its room
// stay in the driver's queue, so nothing received is lost. Never blocks.
std::string ReceiveFromChannel(int32_t number, std::size_t maxBytes);

// The read-ahead buffer of a channel holds at most this many bytes, however fast the
// device sends and however slowly the caller reads.
constexpr std::size_t kReadAheadLimit = 64 * 1024;

// How many more bytes the read-ahead buffer takes when it holds buffered and the port's
// queue holds queued.
std::size_t ReadAheadRoom(std::size_t buffered, int64_t queued);

// The bytes-waiting count a caller sees: the driver's queue and the read-ahead buffer,
// kept within the 32-bit count (never negative, never wrapped).
int32_t BytesWaitingCount(int64_t queued, std::size_t buffered);

}  // namespace kestrune
