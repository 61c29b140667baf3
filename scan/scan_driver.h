#pragma once
// The scan: one PortRecord per serial port the registry knows.
#include <windows.h>
#include <oleauto.h>

#include <cstdint>
#include <vector>

#include "scan/owner_search.h"
#include "scan/port_record.h"
#include "support/export.h"

namespace kestrune {

// Replaces ports with one record per discovered port (never fewer than one) and runs every
// scan step on them. statusWindow, when not null, is read afresh at each progress report.
// ownerOptions: how the owner search runs (tests force the full walk with it).
void ScanPorts(std::vector<PortRecord>& ports, const uint32_t* statusWindow,
               const OwnerSearchOptions& ownerOptions = {});

// The value the exported functions give for a null record or array pointer: the channel
// layer's "Subscript/Pointer out of range".
constexpr int32_t kNullArgumentResult = 9;

}  // namespace kestrune

// Exported scan. *ports (an array the caller owns, or null) is destroyed and replaced by a
// new one-dimensional array, bounds 0..n-1, of 7528-byte records. Returns 0; 9 when ports
// is null, 7 ("Out of memory") when the array cannot be made.
KESTRUNE_API int32_t WINAPI SerialPort_Enum(SAFEARRAY** ports, uint32_t* statusWindow);
