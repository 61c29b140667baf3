#pragma once
// When a port's inputs have answered a drive of its own lines.
//
// Drivers differ: an on-board UART sets each line at once; the generic USB CDC driver sends
// the line state to its device only with a DTR request, so an RTS change alone stays in the
// driver (the cable experiment sends RTS first, then DTR); USB adapters report the modem
// status in their next status packet; some drivers refuse line requests altogether.
#include <cstdint>

namespace kestrune {

// Whether a modem status word shows both inputs changed from the levels found before the
// drive (DSR 0 or 32, CTS 0 or 16): the drive inverted both, so both have answered.
bool InputsAnswered(uint32_t modemStatus, int32_t dsrBefore, int32_t ctsBefore);

}  // namespace kestrune
