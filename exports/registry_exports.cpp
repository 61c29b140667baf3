#include "exports/registry_exports.h"

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "registry/key_delete.h"
#include "registry/key_info.h"
#include "registry/key_paths.h"
#include "registry/key_reads.h"
#include "registry/key_writes.h"
#include "registry/registry.h"
#include "registry/registry_values.h"
#include "support/boundary.h"
#include "support/byte_string.h"
#include "support/fixed_text.h"
#include "support/safe_array.h"
#include "sysinfo/environment.h"

using namespace kestrune;

namespace {

// Exceptions never leave an exported helper.
template <typename Body>
LONG Guarded(Body body) {
    return SystemErrorAtBoundary(body);
}

}  // namespace

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

KESTRUNE_API LONG WINAPI Reg_KeyExists(HKEY root, const char* subKey) {
    if (!subKey) return 0;
    return RegistryKeyExists(root, subKey) ? 1 : 0;
}

KESTRUNE_API LONG WINAPI Reg_EnumKeys(HKEY root, const char* subKey, SAFEARRAY** names, int32_t* count) {
    if (!subKey || !names || !count) return ERROR_INVALID_PARAMETER;
    return Guarded([&]() -> LONG {
        std::vector<std::string> found;
        const LONG status = ListSubKeys(root, subKey, found);
        if (status != ERROR_SUCCESS && found.empty()) return status;
        if (!ReplaceByteStringArray(names, found)) return ERROR_OUTOFMEMORY;
        *count = static_cast<int32_t>(found.size());
        return status;
    });
}

KESTRUNE_API LONG WINAPI Reg_ReadValue(HKEY root, const char* subKey, const char* valueName, BSTR* text,
                                       uint32_t* type) {
    if (!subKey || !valueName || !text || !type) return ERROR_INVALID_PARAMETER;
    return Guarded([&]() -> LONG {
        if (!ReplaceByteString(text, {})) return ERROR_OUTOFMEMORY;
        *type = 0;
        DWORD valueType = 0;
        std::string bytes;
        const LONG status = ReadValueBytes(root, subKey, valueName, valueType, bytes);
        if (status != ERROR_SUCCESS) return status;
        if (!ReplaceByteString(text, ReadValueText(valueType, bytes))) return ERROR_OUTOFMEMORY;
        *type = valueType;
        return ERROR_SUCCESS;
    });
}

KESTRUNE_API LONG WINAPI Reg_ReadNumber(HKEY root, const char* subKey, const char* valueName, uint32_t* number) {
    if (!subKey || !valueName || !number) return ERROR_INVALID_PARAMETER;
    DWORD value = 0;
    const LONG status = ReadValueNumber(root, subKey, valueName, value);
    if (status == ERROR_SUCCESS) *number = value;
    return status;
}

KESTRUNE_API LONG WINAPI Reg_ReadValueType(HKEY root, const char* subKey, const char* valueName, uint32_t* type) {
    if (!subKey || !valueName || !type) return ERROR_INVALID_PARAMETER;
    DWORD valueType = 0;
    const LONG status = ReadValueType(root, subKey, valueName, valueType);
    if (status == ERROR_SUCCESS) *type = valueType;
    return status;
}

KESTRUNE_API LONG WINAPI Reg_ReadValues(HKEY root, const char* subKey, SAFEARRAY* const* names,
                                        SAFEARRAY** results, const int32_t* count) {
    if (!subKey || !names || !*names || !results || !count || *count < 0) return ERROR_INVALID_PARAMETER;
    SAFEARRAY* array = *names;
    VARTYPE vt = VT_EMPTY;
    LONG lower = 0, upper = -1;
    if (SafeArrayGetDim(array) != 1 || FAILED(SafeArrayGetVartype(array, &vt)) || vt != VT_BSTR ||
        FAILED(SafeArrayGetLBound(array, 1, &lower)) || FAILED(SafeArrayGetUBound(array, 1, &upper)) ||
        *count > static_cast<int64_t>(upper) - lower + 1)
        return ERROR_INVALID_PARAMETER;
    return Guarded([&]() -> LONG {
        std::vector<std::string> nameTexts;
        for (LONG i = 0; i < *count; ++i) {
            LONG index = lower + i;
            BSTR name = nullptr;
            if (FAILED(SafeArrayGetElement(array, &index, &name))) return ERROR_INVALID_PARAMETER;
            std::string bytes = ByteStringBytes(name);
            SysFreeString(name);
            nameTexts.push_back(bytes.substr(0, std::strlen(bytes.c_str())));
        }
        if (nameTexts.empty()) return ReplaceByteStringArray(results, {}) ? ERROR_SUCCESS : ERROR_OUTOFMEMORY;
        std::vector<std::string> texts;
        const LONG status = ReadValueTexts(root, subKey, nameTexts, texts);
        if (status != ERROR_SUCCESS) return status;
        return ReplaceByteStringArray(results, texts) ? ERROR_SUCCESS : ERROR_OUTOFMEMORY;
    });
}

KESTRUNE_API LONG WINAPI Reg_ValueExists(HKEY root, const char* subKey, const char* valueName) {
    if (!subKey || !valueName) return 0;
    return RegistryValueExists(root, subKey, valueName) ? 1 : 0;
}

KESTRUNE_API LONG WINAPI Reg_CreateKey(HKEY root, const char* subKey) {
    if (!subKey) return ERROR_INVALID_PARAMETER;
    return CreateRegistryKey(root, subKey);
}

KESTRUNE_API LONG WINAPI Reg_WriteValue(HKEY root, const char* subKey, const char* valueName,
                                        const char* valueText, uint32_t type) {
    if (!subKey || !valueName || !valueText) return ERROR_INVALID_PARAMETER;
    return Guarded([&] { return WriteValueText(root, subKey, valueName, valueText, type); });
}

KESTRUNE_API LONG WINAPI Reg_WriteNumber(HKEY root, const char* subKey, const char* valueName,
                                         const uint32_t* number) {
    if (!subKey || !valueName || !number) return ERROR_INVALID_PARAMETER;
    return WriteValueNumber(root, subKey, valueName, *number);
}

KESTRUNE_API LONG WINAPI Reg_WriteDefault(HKEY root, const char* subKey, const char* valueName,
                                          const char* valueText, uint32_t type) {
    if (!subKey || !valueName || !valueText) return ERROR_INVALID_PARAMETER;
    if (Reg_ValueExists(root, subKey, valueName) == 1) return ERROR_SUCCESS;
    return Reg_WriteValue(root, subKey, valueName, valueText, type);
}

KESTRUNE_API LONG WINAPI Reg_DeleteValue(HKEY root, const char* subKey, const char* valueName) {
    if (!subKey || !valueName) return ERROR_INVALID_PARAMETER;
    return DeleteRegistryValue(root, subKey, valueName);
}

KESTRUNE_API LONG WINAPI Reg_DeleteKey(HKEY root, const char* subKey) {
    return DeleteRegistryKey(root, subKey);
}

KESTRUNE_API LONG WINAPI Reg_DeleteKeyTree(HKEY root, const char* parentKey, const char* subKey) {
    return DeleteRegistryKeyTree(root, parentKey, subKey);
}

KESTRUNE_API LONG WINAPI Reg_DeleteKeyRecursive(HKEY root, const char* subKey) {
    if (!NamesKeyBelow(subKey)) return ERROR_INVALID_PARAMETER;
    return Guarded([&] { return DeleteKeyRecursive(root, subKey); });
}

KESTRUNE_API LONG WINAPI Reg_KeyInfoText(HKEY root, const char* subKey, BSTR* result) {
    if (!subKey || !result) return ERROR_INVALID_PARAMETER;
    return Guarded([&]() -> LONG {
        KeyInfo info;
        const LONG status = ReadKeyInfo(root, subKey, info);
        if (status != ERROR_SUCCESS) return status;
        return ReplaceByteString(result, KeyInfoText(info)) ? ERROR_SUCCESS : ERROR_OUTOFMEMORY;
    });
}

KESTRUNE_API LONG WINAPI ExpandEnvironment(const char* textIn, BSTR* textOut) {
    if (!textIn || !textOut) return ERROR_INVALID_PARAMETER;
    return Guarded([&]() -> LONG {
        std::string expanded;
        const LONG status = ExpandEnvironmentText(textIn, expanded);
        if (!ReplaceByteString(textOut, expanded)) return ERROR_OUTOFMEMORY;
        return status;
    });
}

KESTRUNE_API LONG WINAPI ShowMessage(const char* text, const char* caption) {
    if (!text || !caption) return ERROR_INVALID_PARAMETER;
    if (MessageBoxA(nullptr, text, caption, MB_OK) != 0) return ERROR_SUCCESS;
    const DWORD error = GetLastError();
    return error ? static_cast<LONG>(error) : ERROR_INVALID_WINDOW_HANDLE;
}
