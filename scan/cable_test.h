#pragma once
// The cable test: DTR and RTS are driven against the DSR and CTS levels found, and the
// answer of the two inputs tells what is attached.
#include <cstdint>

#include "scan/port_record.h"

namespace kestrune {

struct CableVerdict {
    int32_t kind;      // 1 pass-through, 0 cross-over, -1 unknown
    int32_t response;  // 1 consistent, 0 no signal at all, -1 only one line answered
    bool operator==(const CableVerdict& o) const { return kind == o.kind && response == o.response; }
};

// The decision from the first and second reading of DSR and CTS (a line is on when its
// value is not 0).
CableVerdict DecideCable(int32_t dsrBefore, int32_t ctsBefore, int32_t dsrAfter, int32_t ctsAfter);

// What a cable verdict is shown as: "Pass-Through", "Cross-Over", "Unknown".
const char* CableKindName(int32_t kind);

// Reads, drives, reads, drives again, reads a third time, then stores the verdict of the
// first two readings in CableKind and CableResponse. Works through WinHandle; lines stay
// in the driven state.
void RunCableTest(PortRecord& record);

extern const char kCableRoutineName[];

}  // namespace kestrune
