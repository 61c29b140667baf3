#include "com/registry.h"

#include <algorithm>

#include "support/boundary.h"
#include "support/fixed_text.h"
#include "support/handles.h"
#include "support/safe_array.h"

namespace kestrune {

std::string RegistryDataText(DWORD type, const BYTE* bytes, DWORD length) {
    length = std::min(length, kRegDataBytes);
    if (type == REG_DWORD) {
        DWORD value = 0;
        if (bytes) std::memcpy(&value, bytes, std::min<DWORD>(length, sizeof value));
        return std::to_string(value);
    }
    if (!bytes || length == 0) return std::string();
    std::string text(reinterpret_cast<const char*>(bytes), length);
    if (text.back() == '\0') text.pop_back();
    return text;
}

LONG ReadRegistryValues(HKEY root, std::string_view subKey, RegValueList& list) {
    UniqueRegKey key;
    const std::string path(subKey.substr(0, BoundedLength(subKey.data(), subKey.size())));
    LONG status = RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.put());
    if (status != ERROR_SUCCESS) return status;

    list = RegValueList{};
    for (DWORD index = 0;; ++index) {
        // Fresh buffers for every call: after a failed call their contents are defined.
        char name[kRegNameChars] = {};
        BYTE data[kRegDataBytes] = {};
        DWORD nameLength = kRegNameChars;
        DWORD dataLength = kRegDataBytes;
        DWORD type = 0;
        status = RegEnumValueA(key.get(), index, name, &nameLength, nullptr, &type, data, &dataLength);
        if (status == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;

        // A failed call may report the size it needed: never read past the buffers.
        nameLength = static_cast<DWORD>(BoundedLength(name, std::min(nameLength, kRegNameChars - 1)));
        list.names.emplace_back(name, nameLength);
        list.types.push_back(type);
        list.data.push_back(RegistryDataText(type, data, dataLength));
        ++list.count;
        if (status != ERROR_SUCCESS) return status;
    }
}

}  // namespace kestrune

using namespace kestrune;

KESTRUNE_API LONG WINAPI Reg_EnumValues(HKEY root, const char* subKey, SAFEARRAY** names,
                                        SAFEARRAY** types, SAFEARRAY** data, int32_t* count) {
    if (!subKey || !names || !types || !data || !count) return ERROR_INVALID_PARAMETER;
    return CallAtBoundary(
        [&]() -> LONG {
            RegValueList list;
            LONG status = ReadRegistryValues(root, std::string_view(subKey, BoundedLength(subKey, 32768)), list);
            if (status != ERROR_SUCCESS && list.count == 0) return status;
            if (!ReplaceByteStringArray(names, list.names) || !ReplaceLongArray(types, list.types) ||
                !ReplaceByteStringArray(data, list.data))
                return ERROR_OUTOFMEMORY;
            *count = list.count;
            return status;
        },
        // Registry helpers answer in Win32 codes.
        [](int32_t number) -> LONG { return number == 7 ? ERROR_OUTOFMEMORY : ERROR_INTERNAL_ERROR; });
}
