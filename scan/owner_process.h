#pragma once
// What the owner search learns about, and may do to, a process that holds a handle: its
// executable's path, and whether this program may look into other users' processes.
#include <cstdint>
#include <string>
#include <string_view>

namespace kestrune {

// Full path of a process's executable, asked with the limited query right (enough for a
// service or an elevated program); where that is not offered, the first module's file
// name. kUnknownProgramPath when nothing answers.
std::string ProcessImagePath(uint32_t processId);

// True when this program runs elevated (an administrator's full token).
bool ProcessIsElevated();

// When elevated, turns on the debug privilege so that handles of services and other
// users' programs can be duplicated and named; nothing otherwise. True when it is on.
bool EnableDebugPrivilegeWhenElevated();

// What the window says about the owner search: "owners may be missing: not elevated"
// when the program runs without elevation, empty otherwise.
std::string_view OwnerSearchNotice(bool elevated);

}  // namespace kestrune
