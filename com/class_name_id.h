#pragma once
// The serial-port class's name for the class roads, and the registration repair before a
// road creates the class through the registry.
#include <windows.h>
#include <oleauto.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "support/export.h"

namespace kestrune {

// The name of a class identifier: the class table's name, else the system's ProgID for it
// (ANSI), else empty.
std::string ClassNameOfId(REFCLSID clsid);

// The identifier of a class name: a name of at most 39 characters that the class table knows
// (compared without regard to case) gives its identifier; any other non-empty name goes to
// CLSIDFromProgID. None for an empty name or a failed lookup.
std::optional<CLSID> ClassIdOfName(std::string_view name);

}  // namespace kestrune

// Puts "CLASSSERIALPORT" into *name (a string of ANSI bytes the caller owns; the old one is
// freed). When the class key is missing under HKEY_CLASSES_ROOT, first runs the registration
// tool elevated on Kestrune.dll beside the running module (the library's own path inside the
// library, the program's folder otherwise) and waits for it, keeping the thread's windows
// painted, at most two minutes. Returns 0; 9 for a null pointer.
KESTRUNE_API int32_t WINAPI SerialPort_GetClassNameId(BSTR* name);
