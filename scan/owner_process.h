#pragma once
// What the owner search learns about, and may do to, a process that holds a handle: its
// executable's path, and whether this program may look into other users' processes.
#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "support/handles.h"

namespace kestrune {

// Full path of a process's executable, asked with the limited query right (enough for a
// service or an elevated program); where that is not offered, the first module's file
// name. kUnknownProgramPath when nothing answers.
std::string ProcessImagePath(uint32_t processId);
// The same path read through the wide queries, as UTF-8: whole on any machine (a folder named
// "Łukasz" or "张伟"). Empty when nothing answers.
std::string ProcessImagePathWhole(uint32_t processId);

// True when this program runs elevated (an administrator's full token).
bool ProcessIsElevated();

// While it lives, and only when this program runs elevated, the debug privilege is on, so
// that handles of services and other users' programs can be duplicated and named. The end
// of the scope puts the token back as it was (the privilege stays on only if it was on
// before): inside a library the token is the host program's.
class DebugPrivilegeScope {
public:
    DebugPrivilegeScope();
    ~DebugPrivilegeScope();
    DebugPrivilegeScope(const DebugPrivilegeScope&) = delete;
    DebugPrivilegeScope& operator=(const DebugPrivilegeScope&) = delete;
    bool enabled() const { return enabled_; }  // the privilege is on within the scope

private:
    UniqueHandle token_;
    TOKEN_PRIVILEGES previous_ = {};
    bool enabled_ = false;
};

// What the window says about the owner search: "owners may be missing: not elevated"
// when the program runs without elevation, empty otherwise.
std::string_view OwnerSearchNotice(bool elevated);

}  // namespace kestrune
