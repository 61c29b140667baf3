#pragma once
// Which handles of the system table can be a scanned port's owner: the process skip words,
// the object skip fragments and the device-name comparison. Plain values in and out.
#include <cstdint>
#include <string_view>
#include <vector>

namespace kestrune {

// The path given to a process whose image path cannot be learned; it holds "SYSTEM", so
// such a process is always skipped.
extern const char kUnknownProgramPath[];

// The eight process skip words and the seventeen object skip fragments, in their order.
const std::vector<std::string_view>& ProcessSkipWords();
const std::vector<std::string_view>& ObjectSkipFragments();

// True when the upper-cased path contains an upper-cased process skip word.
bool ProcessPathSkipped(std::string_view path);
// True when the upper-cased object name contains an upper-cased object skip fragment.
bool ObjectNameSkipped(std::string_view name);
// Whole-text equality of the upper-cased texts; an empty device name never matches.
bool DeviceNameMatches(std::string_view deviceName, std::string_view objectName);

// Whether a handle is worth naming by its object type: only handles of the type a port
// handle has. A port type of 0 (not learned) or a handle type of 0 (a table without
// types) names the handle, so an odd table costs time, never an owner.
bool NameHandleOfType(uint16_t handleType, uint16_t portType);

// How the owner fields of one record are found.
enum class OwnerRoute {
    kNone,       // the device name cannot be an object's name (a COM name): nothing can match
    kOwnHandle,  // the scan holds the port itself: its own handle is the owner's
    kWalk,       // another program holds it, or nobody knows: the walk of the table looks for it
};
// status and winHandle as the probe left them. walkEveryPort makes every record kWalk.
OwnerRoute ChooseOwnerRoute(std::string_view status, uint32_t winHandle, std::string_view deviceName,
                            bool walkEveryPort);

}  // namespace kestrune
