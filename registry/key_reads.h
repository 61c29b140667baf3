#pragma once
// Reading one key: whether it is there, its sub-keys' names, one value's data, type or
// number, several values at once. Each call opens the key for reading, does its work and
// closes it again; the result is 0 or the Win32 error of the failed step, and outputs keep
// what they held when a step fails.
#include <windows.h>

#include <string>
#include <vector>

namespace kestrune {

// True when root\subKey opens for reading.
bool RegistryKeyExists(HKEY root, const char* subKey);

// Appends the names of the key's sub-keys to found, in enumeration order (a name that grows
// meanwhile is read again with a larger buffer, up to 32768 characters). An error that ends
// the enumeration is returned, with the names before it kept.
LONG ListSubKeys(HKEY root, const char* subKey, std::vector<std::string>& found);

// The type and whole data of one value (the size asked first, then read; a value that keeps
// growing in between is tried up to 8 times).
LONG ReadValueBytes(HKEY root, const char* subKey, const char* valueName, DWORD& type, std::string& bytes);

// A value of at most 4 bytes as a number (NumberFromValue); ERROR_INVALID_DATATYPE when it is
// none.
LONG ReadValueNumber(HKEY root, const char* subKey, const char* valueName, DWORD& number);

// The type of one value.
LONG ReadValueType(HKEY root, const char* subKey, const char* valueName, DWORD& type);

// The values named, read in one call (RegQueryMultipleValuesA), one text per name as
// ReadValueText gives it. names must not be empty.
LONG ReadValueTexts(HKEY root, const char* subKey, std::vector<std::string>& names,
                    std::vector<std::string>& texts);

// True when root\subKey opens for reading and holds the value.
bool RegistryValueExists(HKEY root, const char* subKey, const char* valueName);

}  // namespace kestrune
