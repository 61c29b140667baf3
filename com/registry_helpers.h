#pragma once
// The registry helper library: small exported functions over one key each. Every helper
// opens the key it needs, does its work, closes the key and returns the Win32 error code of
// the step that failed, or 0 (Reg_KeyExists and Reg_ValueExists answer 1 or 0 instead).
// Output arguments keep what they held when a step fails; Reg_ReadValue clears its two
// outputs first.
//
// Texts handed in are NUL-terminated ANSI strings; a null pointer gives
// ERROR_INVALID_PARAMETER (87). Texts handed back are byte strings: BSTRs holding the ANSI
// bytes (SysStringByteLen gives the length, embedded NULs survive); the old BSTR in the
// slot is freed, so a slot must hold null or a BSTR. Arrays are one-dimensional Automation
// arrays from 0, replaced as a whole.
#include <windows.h>
#include <oleauto.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/export.h"

namespace kestrune {

// The text a read value becomes: REG_SZ, REG_EXPAND_SZ and REG_MULTI_SZ without their
// trailing NULs, REG_DWORD as decimal text, others raw bytes.
std::string ReadValueText(DWORD type, std::string_view bytes);

// The bytes written for a value text of the given type: REG_DWORD as the 4 bytes of the
// text's number, REG_QWORD as 8; the string types with their terminating NUL (REG_MULTI_SZ
// closed by a second one, so the system's readers find the end); any other type the text's
// bytes without a NUL. Nothing when a number's text is not a number or out of range.
std::optional<std::string> WrittenValueBytes(DWORD type, std::string_view text);

// A number's text: optional blanks around it, an optional sign, decimal digits. Negative
// values down to the lower bound of a signed number of that width give their two's
// complement. Nothing for anything else.
std::optional<uint64_t> ParseNumberText(std::string_view text, unsigned bytes);

// A 32-bit number from a value's data: REG_DWORD or REG_BINARY of 4 bytes, or
// REG_DWORD_BIG_ENDIAN. Nothing for other types or sizes.
std::optional<DWORD> NumberFromValue(DWORD type, std::string_view bytes);

// The values RegQueryMultipleValuesA put into one buffer: one text per entry (ReadValueText
// of its data, found through the entry's pointer into the buffer). An entry whose data lies
// outside the buffer gives an empty text.
std::vector<std::string> SplitMultipleValues(const VALENTA* entries, size_t count, const char* buffer,
                                             size_t bufferBytes);

// What RegQueryInfoKeyA says about a key, as Reg_KeyInfoText shows it.
struct KeyInfo {
    std::string className;
    DWORD subKeys = 0, maxSubKeyLength = 0, maxClassLength = 0;
    DWORD values = 0, maxValueNameLength = 0, maxValueLength = 0;
    DWORD securityDescriptorBytes = 0;
    FILETIME lastWrite{};
};
// One line per item, "Name: value", lines ended by CR LF; the time as UTC
// "YYYY-MM-DD hh:mm:ss".
std::string KeyInfoText(const KeyInfo& info);

// The key path of a sub-key below a parent ("a\b" + "c" = "a\b\c"; an empty part adds
// nothing).
std::string JoinKeyPath(std::string_view parent, std::string_view child);

// Deletes root\subKey with all its values and sub-keys, deepest first. Empty sub-keys
// are refused (87): they would name root itself.
LONG DeleteKeyRecursive(HKEY root, const std::string& subKey);

}  // namespace kestrune

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
KESTRUNE_API LONG WINAPI ExpandEnvironment(const char* textIn, BSTR* textOut);
KESTRUNE_API LONG WINAPI ShowMessage(const char* text, const char* caption);
