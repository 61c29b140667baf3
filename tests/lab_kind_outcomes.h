#pragma once
// What a scan of the test lab gives for each kind of lab port: one table every area checks
// its own layer against (the records, the console's columns, the window's list).
#include <cstdint>

#include "lab/client/lab_client.h"

namespace lab_outcomes {

constexpr int32_t kAny = INT32_MIN;  // the field is not checked: the wiring or the machine decides

struct KindOutcome {
    lab::Kind kind;
    const char* status;     // the record's Status and the Status column
    uint32_t openError;     // the system's error of the probe's open; 0 when it opens
    int32_t cableKind;      // the record's CableKind
    int32_t cableResponse;  // the record's CableResponse
    int32_t dtrCommand;     // the record's DtrCommand after the cable test
    const char* cable;      // the cable's text in the console and the list; nullptr: not checked
    bool owned;             // the lab's holder owns the port
};

inline const KindOutcome kKindOutcomes[] = {
    {lab::Kind::Free, "Available", 0, -1, 0, 5, "Unknown", false},
    {lab::Kind::Loopback, "Available", 0, 1, 1, kAny, "Pass-Through", false},
    {lab::Kind::Device, "Available", 0, 0, 1, 6, "Cross-Over", false},
    {lab::Kind::DsrOnly, "Available", 0, -1, -1, kAny, "Unknown", false},
    {lab::Kind::NullModem, "Available", 0, kAny, kAny, kAny, nullptr, false},
    {lab::Kind::Held, "In-Use", 5, kAny, kAny, kAny, "Not Tested", true},
    {lab::Kind::DeviceMapUnopenable, "Disconnected", 2, kAny, kAny, kAny, nullptr, false},
    {lab::Kind::PortListOnly, "Disconnected", 2, kAny, kAny, kAny, nullptr, false},
};

// The row of a kind; null for a kind the table does not have.
inline const KindOutcome* OutcomeOf(lab::Kind kind) {
    for (const KindOutcome& outcome : kKindOutcomes)
        if (outcome.kind == kind) return &outcome;
    return nullptr;
}

}  // namespace lab_outcomes
