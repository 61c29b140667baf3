#include "registry/key_reads.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string_view>

#include "registry/registry_values.h"
#include "support/handles.h"

namespace kestrune {

namespace {

constexpr int kSizeRaces = 8;  // a value that keeps growing between the size query and the read

LONG OpenForReading(HKEY root, const char* subKey, UniqueRegKey& key) {
    return RegOpenKeyExA(root, subKey, 0, KEY_READ, key.put());
}

// Type and whole data of one value of an open key: size query, then read.
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

bool RegistryKeyExists(HKEY root, const char* subKey) {
    UniqueRegKey key;
    return OpenForReading(root, subKey, key) == ERROR_SUCCESS;
}

LONG ListSubKeys(HKEY root, const char* subKey, std::vector<std::string>& found) {
    UniqueRegKey key;
    LONG status = OpenForReading(root, subKey, key);
    if (status != ERROR_SUCCESS) return status;
    DWORD longest = 0;
    if (RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, nullptr, &longest, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr) != ERROR_SUCCESS)
        longest = 0;
    std::string name(std::max<DWORD>(longest + 1, 256), '\0');
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
    return status;
}

LONG ReadValueBytes(HKEY root, const char* subKey, const char* valueName, DWORD& type, std::string& bytes) {
    UniqueRegKey key;
    const LONG status = OpenForReading(root, subKey, key);
    if (status != ERROR_SUCCESS) return status;
    return QueryValueBytes(key.get(), valueName, type, bytes);
}

LONG ReadValueNumber(HKEY root, const char* subKey, const char* valueName, DWORD& number) {
    UniqueRegKey key;
    LONG status = OpenForReading(root, subKey, key);
    if (status != ERROR_SUCCESS) return status;
    char bytes[4] = {};
    DWORD type = 0, size = sizeof bytes;
    status = RegQueryValueExA(key.get(), valueName, nullptr, &type, reinterpret_cast<BYTE*>(bytes), &size);
    if (status != ERROR_SUCCESS) return status;
    const std::optional<DWORD> value = NumberFromValue(type, std::string_view(bytes, size));
    if (!value) return ERROR_INVALID_DATATYPE;
    number = *value;
    return ERROR_SUCCESS;
}

LONG ReadValueType(HKEY root, const char* subKey, const char* valueName, DWORD& type) {
    UniqueRegKey key;
    LONG status = OpenForReading(root, subKey, key);
    if (status != ERROR_SUCCESS) return status;
    DWORD valueType = 0;
    status = RegQueryValueExA(key.get(), valueName, nullptr, &valueType, nullptr, nullptr);
    if (status == ERROR_SUCCESS) type = valueType;
    return status;
}

LONG ReadValueTexts(HKEY root, const char* subKey, std::vector<std::string>& names,
                    std::vector<std::string>& texts) {
    UniqueRegKey key;
    LONG status = OpenForReading(root, subKey, key);
    if (status != ERROR_SUCCESS) return status;
    std::vector<VALENTA> entries(names.size());
    for (size_t i = 0; i < entries.size(); ++i) entries[i].ve_valuename = names[i].data();
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
    texts = SplitMultipleValues(entries.data(), entries.size(), buffer.data(), buffer.size());
    return ERROR_SUCCESS;
}

bool RegistryValueExists(HKEY root, const char* subKey, const char* valueName) {
    UniqueRegKey key;
    if (OpenForReading(root, subKey, key) != ERROR_SUCCESS) return false;
    return RegQueryValueExA(key.get(), valueName, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

}  // namespace kestrune
