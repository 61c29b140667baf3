#pragma once
// How the cable test drives DTR and RTS so that every serial driver passes the request on,
// and how it waits for the far side's answer.
//
// Drivers differ: an on-board UART sets each line at once; the generic USB CDC driver sends
// the line state to its device only with a DTR request, so an RTS change alone stays in the
// driver; USB adapters report the modem status in their next status packet (16 ms is a
// common latency); some drivers refuse line requests altogether (ERROR_GEN_FAILURE).
#include <windows.h>

#include <cstdint>

#include "record/port_record.h"

namespace kestrune {

// Longest wait for the inputs to answer one drive step. It covers a USB adapter's latency
// timer (16 ms by default) with room for a late status packet.
constexpr DWORD kSettleMilliseconds = 50;

// Whether a modem status word shows both inputs changed from the levels found before the
// drive (DSR 0 or 32, CTS 0 or 16): the drive inverted both, so both have answered.
bool InputsAnswered(uint32_t modemStatus, int32_t dsrBefore, int32_t ctsBefore);

// Drives DTR against DSR and RTS against CTS (raise what was off, lower what was on), then
// sends the DTR request once more. The repeated DTR request carries the RTS level to a
// device behind the USB CDC driver. Measured in the lab under Wine: setting both lines
// through SetCommState sends DTR first and RTS second, so the RTS change is again the last,
// lone request, and SetCommState reports success even when the driver refused both line
// requests; the escapes, with DTR repeated, reach every driver and tell a refusal. Returns 0,
// or the system error of the first request the driver refused (the rest are not sent).
// A record without a handle only gets its command fields set.
DWORD DriveAgainst(PortRecord& record, int32_t dsrBefore, int32_t ctsBefore);

// Reads the modem status into the record until both inputs have answered the drive, at
// most kSettleMilliseconds (a short poll; nothing when the record has no handle).
void WaitForInputs(PortRecord& record, int32_t dsrBefore, int32_t ctsBefore,
                   DWORD boundMilliseconds = kSettleMilliseconds);

// Before a port's first reading: when this process changed a line less than
// kSettleMilliseconds ago and the record shows an input on, the answer may still be on its
// way from a port just driven (a null-modem neighbour behind a slow adapter). Waits out
// the rest of the bound and reads again. A port with both inputs off pays nothing.
void LetNeighboursSettle(PortRecord& record);

// DTR and RTS as the port had them, from its control block.
struct SavedLines {
    bool known = false;
    DCB dcb{};
};
SavedLines SaveLines(HANDLE port);
// Sets DTR and RTS back (RTS first, so the DTR request carries both to a USB CDC device).
// Lines under handshake control are left to the driver.
void RestoreLines(HANDLE port, const SavedLines& saved);

}  // namespace kestrune
