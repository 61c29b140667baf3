#pragma once
// Writing one key: creating it, setting a value from its text or a number, deleting a value.
// Each call opens the key, does its work and closes it again; the result is 0 or the Win32
// error of the failed step.
#include <windows.h>

namespace kestrune {

// Creates root\subKey (with an empty class name), or opens it when it is there.
LONG CreateRegistryKey(HKEY root, const char* subKey);

// Stores the value's text as the bytes of its type (WrittenValueBytes); a missing key is
// created first. ERROR_INVALID_DATA when a number's text is not a number of the type.
LONG WriteValueText(HKEY root, const char* subKey, const char* valueName, const char* valueText, DWORD type);

// Stores number as a REG_DWORD value; a missing key is created first.
LONG WriteValueNumber(HKEY root, const char* subKey, const char* valueName, DWORD number);

// Deletes one value of root\subKey.
LONG DeleteRegistryValue(HKEY root, const char* subKey, const char* valueName);

}  // namespace kestrune
