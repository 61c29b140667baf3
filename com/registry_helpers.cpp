#include "com/registry_helpers.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "support/boundary.h"
#include "support/byte_string.h"
#include "support/handles.h"
#include "support/safe_array.h"

namespace kestrune {

namespace {

constexpr int kSizeRaces = 8;  // a value that keeps growing between the size query and the read

bool IsStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// Up to 4 bytes as a number; missing high bytes are zero.
DWORD DwordFromBytes(std::string_view bytes, bool bigEndian) {
    unsigned char b[4] = {};
    std::memcpy(b, bytes.data(), std::min<size_t>(bytes.size(), 4));
    if (bigEndian) return DWORD{b[0]} << 24 | DWORD{b[1]} << 16 | DWORD{b[2]} << 8 | b[3];
    return DWORD{b[3]} << 24 | DWORD{b[2]} << 16 | DWORD{b[1]} << 8 | b[0];
}

// Exceptions never leave an exported helper.
template <typename Body>
LONG Guarded(Body body) {
    return SystemErrorAtBoundary(body);
}

// A sub-key that names something below its root: not empty and not only separators.
bool NamesKeyBelow(const char* subKey) { return subKey && subKey[std::strspn(subKey, "\\")] != '\0'; }

LONG OpenKey(HKEY root, const char* subKey, REGSAM access, UniqueRegKey& key) {
    return RegOpenKeyExA(root, subKey, 0, access, key.put());
}

// Opens for writing; a missing key is created first.
LONG OpenKeyForWrite(HKEY root, const char* subKey, UniqueRegKey& key) {
    LONG status = OpenKey(root, subKey, KEY_ALL_ACCESS, key);
    if (status != ERROR_FILE_NOT_FOUND) return status;
    status = Reg_CreateKey(root, subKey);
    if (status != ERROR_SUCCESS) return status;
    return OpenKey(root, subKey, KEY_ALL_ACCESS, key);
}

// Type and whole data of one value: size query, then read.
LONG QueryValueBytes(HKEY key, const char* name, DWORD& type, std::string& bytes) {
    LONG status = ERROR_MORE_DATA;
    for (int attempt = 0; attempt < kSizeRaces && status == ERROR_MORE_DATA; ++attempt) {
        DWORD size = 0;
        status = RegQueryValueExA(key, name, nullptr, &type, nullptr, &size);
        if (status != ERROR_SUCCESS) return status;
        bytes.assign(size, '\0');
        status = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(bytes.data()), &size);
        if (status == ERROR_SUCCESS) bytes.resize(std::min<size_t>(size, bytes.size()));
    }
    return status;
}

}  // namespace

std::string ReadValueText(DWORD type, std::string_view bytes) {
    if (IsStringType(type)) {
        while (!bytes.empty() && bytes.back() == '\0') bytes.remove_suffix(1);
        return std::string(bytes);
    }
    if (type == REG_DWORD) return std::to_string(DwordFromBytes(bytes, false));
    return std::string(bytes);
}

std::optional<uint64_t> ParseNumberText(std::string_view text, unsigned bytes) {
    if (bytes != 4 && bytes != 8) return std::nullopt;
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return std::nullopt;
    const uint64_t limit = bytes == 4 ? 0xFFFFFFFFull : ~0ull;
    const uint64_t negativeLimit = bytes == 4 ? 0x80000000ull : 0x8000000000000000ull;
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        const unsigned digit = static_cast<unsigned>(c - '0');
        if (value > (limit - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
    }
    if (!negative) return value;
    if (value > negativeLimit) return std::nullopt;
    return (0 - value) & limit;
}

std::optional<std::string> WrittenValueBytes(DWORD type, std::string_view text) {
    if (type == REG_DWORD || type == REG_QWORD) {
        const unsigned width = type == REG_DWORD ? 4 : 8;
        const std::optional<uint64_t> number = ParseNumberText(text, width);
        if (!number) return std::nullopt;
        std::string bytes(width, '\0');
        for (unsigned i = 0; i < width; ++i) bytes[i] = static_cast<char>(*number >> (8 * i));
        return bytes;
    }
    std::string bytes(text);
    if (IsStringType(type)) {
        // Up to an embedded NUL, as the text reaches the system.
        bytes.resize(std::strlen(bytes.c_str()));
        bytes.push_back('\0');
        if (type == REG_MULTI_SZ) bytes.push_back('\0');
    }
    return bytes;
}

std::optional<DWORD> NumberFromValue(DWORD type, std::string_view bytes) {
    if (bytes.size() != 4 || (type != REG_DWORD && type != REG_BINARY && type != REG_DWORD_BIG_ENDIAN))
        return std::nullopt;
    return DwordFromBytes(bytes, type == REG_DWORD_BIG_ENDIAN);
}

std::vector<std::string> SplitMultipleValues(const VALENTA* entries, size_t count, const char* buffer,
                                             size_t bufferBytes) {
    std::vector<std::string> texts;
    const uintptr_t begin = reinterpret_cast<uintptr_t>(buffer);
    for (size_t i = 0; i < count; ++i) {
        const uintptr_t at = entries[i].ve_valueptr;
        const size_t length = entries[i].ve_valuelen;
        const bool inside = buffer && at >= begin && at - begin <= bufferBytes && length <= bufferBytes - (at - begin);
        texts.push_back(inside ? ReadValueText(entries[i].ve_type,
                                               std::string_view(buffer + (at - begin), length))
                               : std::string());
    }
    return texts;
}

std::string KeyInfoText(const KeyInfo& info) {
    SYSTEMTIME t{};
    char when[32] = "";
    if (FileTimeToSystemTime(&info.lastWrite, &t))
        std::snprintf(when, sizeof when, "%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour,
                      t.wMinute, t.wSecond);
    std::string text;
    const auto line = [&](const char* name, const std::string& value) {
        text.append(name).append(": ").append(value).append("\r\n");
    };
    line("Class", info.className);
    line("SubKeys", std::to_string(info.subKeys));
    line("MaxSubKeyLength", std::to_string(info.maxSubKeyLength));
    line("MaxClassLength", std::to_string(info.maxClassLength));
    line("Values", std::to_string(info.values));
    line("MaxValueNameLength", std::to_string(info.maxValueNameLength));
    line("MaxValueLength", std::to_string(info.maxValueLength));
    line("SecurityDescriptorBytes", std::to_string(info.securityDescriptorBytes));
    line("LastWriteTime", when);
    return text;
}

std::string JoinKeyPath(std::string_view parent, std::string_view child) {
    while (!parent.empty() && parent.back() == '\\') parent.remove_suffix(1);
    if (parent.empty()) return std::string(child);
    if (child.empty()) return std::string(parent);
    return std::string(parent).append("\\").append(child);
}

LONG DeleteKeyRecursive(HKEY root, const std::string& subKey) {
    if (!NamesKeyBelow(subKey.c_str())) return ERROR_INVALID_PARAMETER;
    {
        UniqueRegKey key;
        LONG status = OpenKey(root, subKey.c_str(), KEY_ALL_ACCESS, key);
        if (status != ERROR_SUCCESS) return status;
        // Always the first entry: each deletion moves the next one to the front. A deletion
        // that fails ends the walk, so nothing is tried twice.
        std::string name(16384, '\0');
        for (;;) {
            DWORD length = static_cast<DWORD>(name.size());
            status = RegEnumValueA(key.get(), 0, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
            if (status == ERROR_NO_MORE_ITEMS) break;
            if (status != ERROR_SUCCESS) return status;
            status = RegDeleteValueA(key.get(), name.c_str());
            if (status != ERROR_SUCCESS) return status;
        }
        for (;;) {
            DWORD length = static_cast<DWORD>(name.size());
            status = RegEnumKeyExA(key.get(), 0, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
            if (status == ERROR_NO_MORE_ITEMS) break;
            if (status != ERROR_SUCCESS) return status;
            status = DeleteKeyRecursive(root, JoinKeyPath(subKey, std::string_view(name.c_str(), length)));
            if (status != ERROR_SUCCESS) return status;
        }
    }
    return RegDeleteKeyA(root, subKey.c_str());
}

}  // namespace kestrune

using namespace kestrune;

KESTRUNE_API LONG WINAPI Reg_KeyExists(HKEY root, const char* subKey) {
    if (!subKey) return 0;
    UniqueRegKey key;
    return OpenKey(root, subKey, KEY_READ, key) == ERROR_SUCCESS ? 1 : 0;
}

KESTRUNE_API LONG WINAPI Reg_EnumKeys(HKEY root, const char* subKey, SAFEARRAY** names, int32_t* count) {
    if (!subKey || !names || !count) return ERROR_INVALID_PARAMETER;
    return Guarded([&]() -> LONG {
        UniqueRegKey key;
        LONG status = OpenKey(root, subKey, KEY_READ, key);
        if (status != ERROR_SUCCESS) return status;
        DWORD longest = 0;
        if (RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, nullptr, &longest, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            longest = 0;
        std::string name(std::max<DWORD>(longest + 1, 256), '\0');
        std::vector<std::string> found;
        for (DWORD index = 0;; ++index) {
            DWORD length = static_cast<DWORD>(name.size());
            status = RegEnumKeyExA(key.get(), index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
            if (status == ERROR_MORE_DATA && name.size() < 32768) {  // a longer name came in meanwhile
                name.assign(name.size() * 2, '\0');
                --index;
                continue;
            }
            if (status != ERROR_SUCCESS) break;
            found.emplace_back(name.c_str(), std::min<size_t>(length, std::strlen(name.c_str())));
        }
        if (status == ERROR_NO_MORE_ITEMS) status = ERROR_SUCCESS;
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
        UniqueRegKey key;
        LONG status = OpenKey(root, subKey, KEY_READ, key);
        if (status != ERROR_SUCCESS) return status;
        DWORD valueType = 0;
        std::string bytes;
        status = QueryValueBytes(key.get(), valueName, valueType, bytes);
        if (status != ERROR_SUCCESS) return status;
        if (!ReplaceByteString(text, ReadValueText(valueType, bytes))) return ERROR_OUTOFMEMORY;
        *type = valueType;
        return ERROR_SUCCESS;
    });
}

KESTRUNE_API LONG WINAPI Reg_ReadNumber(HKEY root, const char* subKey, const char* valueName, uint32_t* number) {
    if (!subKey || !valueName || !number) return ERROR_INVALID_PARAMETER;
    UniqueRegKey key;
    LONG status = OpenKey(root, subKey, KEY_READ, key);
    if (status != ERROR_SUCCESS) return status;
    char bytes[4] = {};
    DWORD type = 0, size = sizeof bytes;
    status = RegQueryValueExA(key.get(), valueName, nullptr, &type, reinterpret_cast<BYTE*>(bytes), &size);
    if (status != ERROR_SUCCESS) return status;
    const std::optional<DWORD> value = NumberFromValue(type, std::string_view(bytes, size));
    if (!value) return ERROR_INVALID_DATATYPE;
    *number = *value;
    return ERROR_SUCCESS;
}

KESTRUNE_API LONG WINAPI Reg_ReadValueType(HKEY root, const char* subKey, const char* valueName, uint32_t* type) {
    if (!subKey || !valueName || !type) return ERROR_INVALID_PARAMETER;
    UniqueRegKey key;
    LONG status = OpenKey(root, subKey, KEY_READ, key);
    if (status != ERROR_SUCCESS) return status;
    DWORD valueType = 0;
    status = RegQueryValueExA(key.get(), valueName, nullptr, &valueType, nullptr, nullptr);
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

        UniqueRegKey key;
        LONG status = OpenKey(root, subKey, KEY_READ, key);
        if (status != ERROR_SUCCESS) return status;
        std::vector<VALENTA> entries(nameTexts.size());
        for (size_t i = 0; i < entries.size(); ++i) entries[i].ve_valuename = nameTexts[i].data();
        std::string buffer;
        status = ERROR_MORE_DATA;
        for (int attempt = 0; attempt < kSizeRaces && status == ERROR_MORE_DATA; ++attempt) {
            DWORD total = 0;
            status = RegQueryMultipleValuesA(key.get(), entries.data(), static_cast<DWORD>(entries.size()), nullptr,
                                             &total);
            if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA) return status;
            buffer.assign(std::max<DWORD>(total, 1), '\0');
            total = static_cast<DWORD>(buffer.size());
            status = RegQueryMultipleValuesA(key.get(), entries.data(), static_cast<DWORD>(entries.size()),
                                             buffer.data(), &total);
        }
        if (status != ERROR_SUCCESS) return status;
        const std::vector<std::string> texts =
            SplitMultipleValues(entries.data(), entries.size(), buffer.data(), buffer.size());
        return ReplaceByteStringArray(results, texts) ? ERROR_SUCCESS : ERROR_OUTOFMEMORY;
    });
}

KESTRUNE_API LONG WINAPI Reg_ValueExists(HKEY root, const char* subKey, const char* valueName) {
    if (!subKey || !valueName) return 0;
    UniqueRegKey key;
    if (OpenKey(root, subKey, KEY_READ, key) != ERROR_SUCCESS) return 0;
    return RegQueryValueExA(key.get(), valueName, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS ? 1 : 0;
}

KESTRUNE_API LONG WINAPI Reg_CreateKey(HKEY root, const char* subKey) {
    if (!subKey) return ERROR_INVALID_PARAMETER;
    char emptyClass[] = "";
    UniqueRegKey key;
    return RegCreateKeyExA(root, subKey, 0, emptyClass, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr);
}

KESTRUNE_API LONG WINAPI Reg_WriteValue(HKEY root, const char* subKey, const char* valueName,
                                        const char* valueText, uint32_t type) {
    if (!subKey || !valueName || !valueText) return ERROR_INVALID_PARAMETER;
    return Guarded([&]() -> LONG {
        const std::optional<std::string> bytes = WrittenValueBytes(type, valueText);
        if (!bytes) return ERROR_INVALID_DATA;
        UniqueRegKey key;
        const LONG status = OpenKeyForWrite(root, subKey, key);
        if (status != ERROR_SUCCESS) return status;
        return RegSetValueExA(key.get(), valueName, 0, type, reinterpret_cast<const BYTE*>(bytes->data()),
                              static_cast<DWORD>(bytes->size()));
    });
}

KESTRUNE_API LONG WINAPI Reg_WriteNumber(HKEY root, const char* subKey, const char* valueName,
                                         const uint32_t* number) {
    if (!subKey || !valueName || !number) return ERROR_INVALID_PARAMETER;
    UniqueRegKey key;
    const LONG status = OpenKeyForWrite(root, subKey, key);
    if (status != ERROR_SUCCESS) return status;
    const DWORD value = *number;
    return RegSetValueExA(key.get(), valueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

KESTRUNE_API LONG WINAPI Reg_WriteDefault(HKEY root, const char* subKey, const char* valueName,
                                          const char* valueText, uint32_t type) {
    if (!subKey || !valueName || !valueText) return ERROR_INVALID_PARAMETER;
    if (Reg_ValueExists(root, subKey, valueName) == 1) return ERROR_SUCCESS;
    return Reg_WriteValue(root, subKey, valueName, valueText, type);
}

KESTRUNE_API LONG WINAPI Reg_DeleteValue(HKEY root, const char* subKey, const char* valueName) {
    if (!subKey || !valueName) return ERROR_INVALID_PARAMETER;
    UniqueRegKey key;
    const LONG status = OpenKey(root, subKey, KEY_ALL_ACCESS, key);
    if (status != ERROR_SUCCESS) return status;
    return RegDeleteValueA(key.get(), valueName);
}

KESTRUNE_API LONG WINAPI Reg_DeleteKey(HKEY root, const char* subKey) {
    // An empty sub-key would name the root itself.
    if (!NamesKeyBelow(subKey)) return ERROR_INVALID_PARAMETER;
    return RegDeleteKeyA(root, subKey);
}

KESTRUNE_API LONG WINAPI Reg_DeleteKeyTree(HKEY root, const char* parentKey, const char* subKey) {
    // An empty sub-key would make the tree delete empty the parent itself.
    if (!parentKey || !NamesKeyBelow(subKey)) return ERROR_INVALID_PARAMETER;
    UniqueRegKey parent;
    const LONG status = OpenKey(root, parentKey, KEY_ALL_ACCESS, parent);
    if (status != ERROR_SUCCESS) return status;
    struct Library {
        HMODULE module = LoadLibraryA("SHLWAPI.DLL");
        ~Library() {
            if (module) FreeLibrary(module);
        }
    } shell;
    using TreeDelete = LONG(WINAPI*)(HKEY, const char*);
    const auto treeDelete =
        shell.module ? reinterpret_cast<TreeDelete>(reinterpret_cast<void*>(GetProcAddress(shell.module, "SHDeleteKeyA")))
                     : nullptr;
    return treeDelete ? treeDelete(parent.get(), subKey) : RegDeleteKeyA(parent.get(), subKey);
}

KESTRUNE_API LONG WINAPI Reg_DeleteKeyRecursive(HKEY root, const char* subKey) {
    if (!NamesKeyBelow(subKey)) return ERROR_INVALID_PARAMETER;
    return Guarded([&] { return DeleteKeyRecursive(root, subKey); });
}

KESTRUNE_API LONG WINAPI Reg_KeyInfoText(HKEY root, const char* subKey, BSTR* result) {
    if (!subKey || !result) return ERROR_INVALID_PARAMETER;
    return Guarded([&]() -> LONG {
        UniqueRegKey key;
        LONG status = OpenKey(root, subKey, KEY_READ, key);
        if (status != ERROR_SUCCESS) return status;
        KeyInfo info;
        std::string className(256, '\0');
        for (int attempt = 0; attempt < kSizeRaces; ++attempt) {
            DWORD classLength = static_cast<DWORD>(className.size());
            status = RegQueryInfoKeyA(key.get(), className.data(), &classLength, nullptr, &info.subKeys,
                                      &info.maxSubKeyLength, &info.maxClassLength, &info.values,
                                      &info.maxValueNameLength, &info.maxValueLength, &info.securityDescriptorBytes,
                                      &info.lastWrite);
            if (status != ERROR_MORE_DATA) break;
            className.assign(std::max<size_t>(classLength + 1, className.size() * 2), '\0');
        }
        if (status != ERROR_SUCCESS) return status;
        info.className = className.c_str();
        return ReplaceByteString(result, KeyInfoText(info)) ? ERROR_SUCCESS : ERROR_OUTOFMEMORY;
    });
}

KESTRUNE_API LONG WINAPI ExpandEnvironment(const char* textIn, BSTR* textOut) {
    if (!textIn || !textOut) return ERROR_INVALID_PARAMETER;
    return Guarded([&]() -> LONG {
        std::string expanded;
        LONG status = ERROR_MORE_DATA;
        for (int attempt = 0; attempt < kSizeRaces && status == ERROR_MORE_DATA; ++attempt) {
            const DWORD needed = ExpandEnvironmentStringsA(textIn, nullptr, 0);
            if (needed == 0) {
                status = static_cast<LONG>(GetLastError());
                if (status == ERROR_SUCCESS) status = ERROR_INVALID_DATA;
                break;
            }
            // Room for the variables growing in between; a shorter result is fine.
            expanded.assign(needed + 1, '\0');
            const DWORD got = ExpandEnvironmentStringsA(textIn, expanded.data(), static_cast<DWORD>(expanded.size()));
            if (got == 0) {
                status = static_cast<LONG>(GetLastError());
                if (status == ERROR_SUCCESS) status = ERROR_INVALID_DATA;
            } else if (got > expanded.size()) {
                status = ERROR_MORE_DATA;
            } else {
                expanded.resize(std::strlen(expanded.c_str()));
                status = ERROR_SUCCESS;
            }
        }
        if (status != ERROR_SUCCESS) expanded.clear();
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
