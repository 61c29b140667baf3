#pragma once
// Registry helpers: readers that hand back plain lists.
#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

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

constexpr DWORD kRegNameChars = 260;  // a stored name: at most 259 characters
constexpr DWORD kRegDataBytes = 260;  // stored data: at most 260 bytes

// Opens root\subKey for reading and enumerates every value into list (replacing what it
// held). The enumeration buffers grow as a value needs, so a long name or long data never
// ends the read; what is stored is cut to the limits above. Returns 0, or the error that
// ended the enumeration (the values before it are kept; a failed call stores no entry), or
// ERROR_MORE_DATA when some value could not be read whole even with grown buffers (its
// name and type are still stored, with empty data). When the key cannot be opened, list is
// left untouched and the open's error returned.
LONG ReadRegistryValues(HKEY root, std::string_view subKey, RegValueList& list);

// The data text of one enumerated value, from its type and the bytes the call returned:
// REG_DWORD as decimal text, anything else without its final NUL, cut to kRegDataBytes.
std::string RegistryDataText(DWORD type, const BYTE* bytes, DWORD length);

// The stored form of an enumerated value name: up to its first NUL, at most 259 characters.
std::string RegistryNameText(const char* name, DWORD length);

// Enumeration buffer sizes after a call reported ERROR_MORE_DATA: at least what the key's
// current maxima and the call ask for; when nothing asks for more, both double. Never past
// kRegMaxNameChars / kRegMaxDataBytes. Equal to current when no growth is possible.
struct EnumBufferSizes {
    DWORD nameChars;
    DWORD dataBytes;
    bool operator==(const EnumBufferSizes& o) const { return nameChars == o.nameChars && dataBytes == o.dataBytes; }
};
constexpr DWORD kRegMaxNameChars = 32768;           // value names are at most 16,383 characters
constexpr DWORD kRegMaxDataBytes = 16u * 1024 * 1024;  // larger data is not read
EnumBufferSizes GrownEnumBuffers(EnumBufferSizes current, DWORD keyMaxNameChars, DWORD keyMaxDataBytes,
                                 DWORD reportedDataBytes);

// The enumeration itself, on an open key, starting from buffers of the given sizes (they grow
// as values need). ReadRegistryValues starts from the key's own maxima.
LONG EnumerateRegistryValues(HKEY key, EnumBufferSizes sizes, RegValueList& list);

}  // namespace kestrune
