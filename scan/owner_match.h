#pragma once
// Which handles of the system table can be a scanned port's owner: the process skip words,
// the object skip fragments and the device-name comparison. Plain values in and out.
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

}  // namespace kestrune
