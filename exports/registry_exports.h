#pragma once
// The registry helper family, exported: small functions over one key each. Every helper
// opens the key it needs, does its work, closes the key and returns the Win32 error code of
// the step that failed, or 0 (Reg_KeyExists and Reg_ValueExists answer 1 or 0 instead).
// Output arguments keep what they held when a step fails; Reg_ReadValue clears its two
// outputs first. No exception leaves a helper: one that would gives its system error.
//
// Texts handed in are NUL-terminated ANSI strings; a null pointer gives
// ERROR_INVALID_PARAMETER (87). Texts handed back are byte strings: BSTRs holding the ANSI
// bytes (SysStringByteLen gives the length, embedded NULs survive); the old BSTR in the
// slot is freed, so a slot must hold null or a BSTR. Arrays are one-dimensional Automation
// arrays from 0, replaced as a whole.
#include <windows.h>
#include <oleauto.h>

#include <cstdint>

#include "support/export.h"

// All values of one key (ReadRegistryValues). names and data become arrays of byte strings (BSTRs holding the ANSI
// bytes; names at most 259 bytes, data at most 260), types an array of longs, count the
// number of entries. Returns 0, the Win32 error of the failed step, or
// ERROR_INVALID_PARAMETER (87) for a null argument. When the key cannot be opened, or the
// read ends in an error before any entry, the arrays and count are left as they were.
KESTRUNE_API LONG WINAPI Reg_EnumValues(HKEY root, const char* subKey, SAFEARRAY** names,
                                        SAFEARRAY** types, SAFEARRAY** data, int32_t* count);

KESTRUNE_API LONG WINAPI Reg_KeyExists(HKEY root, const char* subKey);
KESTRUNE_API LONG WINAPI Reg_EnumKeys(HKEY root, const char* subKey, SAFEARRAY** names, int32_t* count);
KESTRUNE_API LONG WINAPI Reg_ReadValue(HKEY root, const char* subKey, const char* valueName, BSTR* text,
                                       uint32_t* type);
KESTRUNE_API LONG WINAPI Reg_ReadNumber(HKEY root, const char* subKey, const char* valueName, uint32_t* number);
KESTRUNE_API LONG WINAPI Reg_ReadValueType(HKEY root, const char* subKey, const char* valueName, uint32_t* type);
// names: array of byte strings naming the values; count: how many of them
// to read, from the first. results becomes one text per name, as Reg_ReadValue gives it.
KESTRUNE_API LONG WINAPI Reg_ReadValues(HKEY root, const char* subKey, SAFEARRAY* const* names,
                                        SAFEARRAY** results, const int32_t* count);
KESTRUNE_API LONG WINAPI Reg_ValueExists(HKEY root, const char* subKey, const char* valueName);
KESTRUNE_API LONG WINAPI Reg_CreateKey(HKEY root, const char* subKey);
KESTRUNE_API LONG WINAPI Reg_WriteValue(HKEY root, const char* subKey, const char* valueName,
                                        const char* valueText, uint32_t type);
KESTRUNE_API LONG WINAPI Reg_WriteNumber(HKEY root, const char* subKey, const char* valueName,
                                         const uint32_t* number);
KESTRUNE_API LONG WINAPI Reg_WriteDefault(HKEY root, const char* subKey, const char* valueName,
                                          const char* valueText, uint32_t type);
KESTRUNE_API LONG WINAPI Reg_DeleteValue(HKEY root, const char* subKey, const char* valueName);
KESTRUNE_API LONG WINAPI Reg_DeleteKey(HKEY root, const char* subKey);
KESTRUNE_API LONG WINAPI Reg_DeleteKeyTree(HKEY root, const char* parentKey, const char* subKey);
KESTRUNE_API LONG WINAPI Reg_DeleteKeyRecursive(HKEY root, const char* subKey);
KESTRUNE_API LONG WINAPI Reg_KeyInfoText(HKEY root, const char* subKey, BSTR* result);
// Two helpers of the family beside the registry: a text with its %NAME% references
// expanded, and a message box with an OK button.
KESTRUNE_API LONG WINAPI ExpandEnvironment(const char* textIn, BSTR* textOut);
KESTRUNE_API LONG WINAPI ShowMessage(const char* text, const char* caption);
