#pragma once
// The cable test: DTR and RTS are driven against the DSR and CTS levels found, and the
// answer of the two inputs tells what is attached.
#include <cstdint>
#include <string_view>

#include "record/port_record.h"

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

// Whether the test may drive the port's DTR and RTS. Only a port the scan holds on its own
// channel is driven. A port another program holds (refused as in use, or its owner another
// process) is only read: its DTR and RTS belong to that program, and raising or lowering
// them hangs up its modem, resets its board or breaks its flow control. A port with no
// usable handle at all is "driven" as before, which sends nothing.
enum class CableTestMode { kDrive, kReadOnly };
CableTestMode ChooseCableTestMode(bool ownChannelOpen, std::string_view status, uint32_t ownerProcessId,
                                  uint32_t ownProcessId);

// The record of a port the test only read: CableKind -1, CableResponse 0, no DTR or RTS
// command (both 0).
bool CableNotTested(const PortRecord& record);

// A driver refused a DTR or RTS request: CableKind -1, CableResponse 0, a command sent,
// the refusal's error in WinError, on a port the scan opened itself. Shown as "Not Supported".
bool CableNotSupported(const PortRecord& record);
extern const char kCableNotSupportedText[];

extern const char kCableRoutineName[];

}  // namespace kestrune
