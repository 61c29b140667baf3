#pragma once
// Which COM number reservations may be released, from plain values: the database bitmap,
// the device entries and the COM names the device map and port list hold now.
//
// A number is never released while a present device names it or the device map or port
// list names it: a driver or a program still counts on it. Numbers held by nothing (stale)
// or by a device that is only remembered (phantom) may go.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "scan/port_identity.h"

namespace kestrune {

// What the command line asked for: numbers by name, and the two sweeps.
struct ReleaseRequest {
    std::vector<int> numbers;  // in the order given, each once
    bool stale = false;        // every reservation nothing holds
    bool absent = false;       // stale ones and those of phantom devices
};

// What is known at the moment of the decision.
struct ReleaseFacts {
    std::vector<uint8_t> bitmap;             // the whole database value
    std::vector<PortIdentity> devices;       // present and phantom
    std::vector<std::string> deviceMapPorts; // COM names the device map holds now
    std::vector<std::string> portListPorts;  // COM names the port list holds now
};

struct ReleaseOutcome {
    int number = 0;
    bool released = false;
    std::string reason;  // released: "stale" or "phantom"; refused: why, in words
    std::string device;  // the device that names the number, when one does (UTF-8)
};

// The decision for one number.
ReleaseOutcome DecideRelease(int number, const ReleaseFacts& facts);

struct ReleasePlan {
    std::vector<ReleaseOutcome> outcomes;  // asked numbers first in their order, then the sweeps' ascending
    std::vector<uint8_t> before, after;    // the whole value as it is and as it would be
    bool AllReleased() const;
    bool Changes() const { return before != after; }
    bool AnyPhantom() const;
};

// Every outcome of the request and the value after releasing the numbers that may go. The
// value keeps its length; only the released numbers' bits change.
ReleasePlan PlanRelease(const ReleaseRequest& request, const ReleaseFacts& facts);

// Putting a saved value back, number by number: a number the saved value would free (set
// now, clear in the backup) goes through DecideRelease, and one it refuses stays set and
// is listed with its reason (released false); the numbers it frees are listed as released.
// Numbers the backup reserves are reserved again. The value takes the backup's length,
// grown where a kept number lies beyond it.
ReleasePlan PlanRestore(const std::vector<uint8_t>& saved, const ReleaseFacts& facts);

// Whether a backup made on backupMachine may be put back on thisMachine: empty when it
// may, else why not, in words. The names compare in any letter case. A backup that names
// no machine (written by an older version) is taken for another machine's. force allows
// either.
std::string RestoreMachineRefusal(const std::optional<std::string>& backupMachine, const std::string& thisMachine,
                                  bool force);

// True when bit number-1 is set (false beyond the value's end or outside 1..).
bool BitSet(const std::vector<uint8_t>& bitmap, int number);

// "7C 02 00 00"; "(empty)" for an empty value.
std::string HexBytes(const std::vector<uint8_t>& bytes);

}  // namespace kestrune
