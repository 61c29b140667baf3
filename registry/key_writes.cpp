#include "registry/key_writes.h"

#include <optional>
#include <string>

#include "registry/registry_values.h"
#include "support/handles.h"

namespace kestrune {

namespace {

LONG OpenForWriting(HKEY root, const char* subKey, UniqueRegKey& key) {
    return RegOpenKeyExA(root, subKey, 0, KEY_ALL_ACCESS, key.put());
}

// Opens for writing; a missing key is created first.
LONG OpenKeyForWrite(HKEY root, const char* subKey, UniqueRegKey& key) {
    LONG status = OpenForWriting(root, subKey, key);
    if (status != ERROR_FILE_NOT_FOUND) return status;
    status = CreateRegistryKey(root, subKey);
    if (status != ERROR_SUCCESS) return status;
    return OpenForWriting(root, subKey, key);
}

}  // namespace

LONG CreateRegistryKey(HKEY root, const char* subKey) {
    char emptyClass[] = "";
    UniqueRegKey key;
    return RegCreateKeyExA(root, subKey, 0, emptyClass, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr);
}

LONG WriteValueText(HKEY root, const char* subKey, const char* valueName, const char* valueText, DWORD type) {
    const std::optional<std::string> bytes = WrittenValueBytes(type, valueText);
    if (!bytes) return ERROR_INVALID_DATA;
    UniqueRegKey key;
    const LONG status = OpenKeyForWrite(root, subKey, key);
    if (status != ERROR_SUCCESS) return status;
    return RegSetValueExA(key.get(), valueName, 0, type, reinterpret_cast<const BYTE*>(bytes->data()),
                          static_cast<DWORD>(bytes->size()));
}

LONG WriteValueNumber(HKEY root, const char* subKey, const char* valueName, DWORD number) {
    UniqueRegKey key;
    const LONG status = OpenKeyForWrite(root, subKey, key);
    if (status != ERROR_SUCCESS) return status;
    const DWORD value = number;
    return RegSetValueExA(key.get(), valueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

LONG DeleteRegistryValue(HKEY root, const char* subKey, const char* valueName) {
    UniqueRegKey key;
    const LONG status = OpenForWriting(root, subKey, key);
    if (status != ERROR_SUCCESS) return status;
    return RegDeleteValueA(key.get(), valueName);
}

}  // namespace kestrune
