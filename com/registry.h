#pragma once
// Registry helpers: readers that hand back plain lists.
#include <windows.h>
#include <oleauto.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "support/export.h"

namespace kestrune {

// All values of one key, as three parallel lists in enumeration order. Names are at most
// 259 characters and data at most 260 bytes; REG_DWORD data is its decimal text, other
// data its bytes without a final terminating NUL.
struct RegValueList {
    std::vector<std::string> names;
    std::vector<uint32_t> types;
    std::vector<std::string> data;
    int32_t count = 0;
};

constexpr DWORD kRegNameChars = 260;  // buffer, including the terminating NUL
constexpr DWORD kRegDataBytes = 260;

// Opens root\subKey for reading and enumerates its values into list (replacing what it
// held). Stops at the end of the values, or right after storing the entry of a value whose
// enumeration failed (for example one that does not fit the buffers). Returns 0 or the
// error. When the key cannot be opened, list is left untouched and the open's error returned.
LONG ReadRegistryValues(HKEY root, std::string_view subKey, RegValueList& list);

// The data text of one enumerated value, from its type and the bytes the call returned.
std::string RegistryDataText(DWORD type, const BYTE* bytes, DWORD length);

}  // namespace kestrune

// Exported reader. names and data become arrays of byte strings (BSTRs holding the ANSI
// bytes), types an array of longs, count the number of entries. Returns 0, the Win32 error
// of the failed step, or ERROR_INVALID_PARAMETER (87) for a null argument.
KESTRUNE_API LONG WINAPI Reg_EnumValues(HKEY root, const char* subKey, SAFEARRAY** names,
                                        SAFEARRAY** types, SAFEARRAY** data, int32_t* count);
