#include "registry/registry.h"

#include <algorithm>
#include <cstring>

#include "support/fixed_text.h"
#include "support/handles.h"

namespace kestrune {

std::string RegistryDataText(DWORD type, const BYTE* bytes, DWORD length) {
    if (type == REG_DWORD) {
        DWORD value = 0;
        if (bytes) std::memcpy(&value, bytes, std::min<DWORD>(length, sizeof value));
        return std::to_string(value);
    }
    if (!bytes || length == 0) return std::string();
    std::string text(reinterpret_cast<const char*>(bytes), length);
    if (text.back() == '\0') text.pop_back();
    if (text.size() > kRegDataBytes) text.resize(kRegDataBytes);
    return text;
}

std::string RegistryNameText(const char* name, DWORD length) {
    return std::string(name, BoundedLength(name, std::min(length, kRegNameChars - 1)));
}

EnumBufferSizes GrownEnumBuffers(EnumBufferSizes current, DWORD keyMaxNameChars, DWORD keyMaxDataBytes,
                                 DWORD reportedDataBytes) {
    auto capped = [](uint64_t want, DWORD limit) { return static_cast<DWORD>(std::min<uint64_t>(want, limit)); };
    EnumBufferSizes grown{
        std::max(current.nameChars, capped(uint64_t{keyMaxNameChars} + 1, kRegMaxNameChars)),
        std::max({current.dataBytes, capped(keyMaxDataBytes, kRegMaxDataBytes),
                  capped(reportedDataBytes, kRegMaxDataBytes)})};
    if (grown == current) {
        grown.nameChars = std::max(current.nameChars, capped(uint64_t{current.nameChars} * 2, kRegMaxNameChars));
        grown.dataBytes = std::max(current.dataBytes, capped(uint64_t{current.dataBytes} * 2, kRegMaxDataBytes));
    }
    return grown;
}

namespace {

// The key's current longest value name (characters) and data (bytes); zeros when unknown.
void KeyValueMaxima(HKEY key, DWORD& maxName, DWORD& maxData) {
    maxName = maxData = 0;
    if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &maxName, &maxData,
                         nullptr, nullptr) != ERROR_SUCCESS)
        maxName = maxData = 0;
}

}  // namespace

LONG ReadRegistryValues(HKEY root, std::string_view subKey, RegValueList& list) {
    UniqueRegKey key;
    const std::string path(subKey.substr(0, BoundedLength(subKey.data(), subKey.size())));
    const LONG status = RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.put());
    if (status != ERROR_SUCCESS) return status;
    DWORD maxName = 0, maxData = 0;
    KeyValueMaxima(key.get(), maxName, maxData);
    return EnumerateRegistryValues(key.get(), GrownEnumBuffers({kRegNameChars, kRegDataBytes}, maxName, maxData, 0),
                                   list);
}

LONG EnumerateRegistryValues(HKEY key, EnumBufferSizes sizes, RegValueList& list) {
    DWORD maxName = 0, maxData = 0;
    std::vector<char> name(std::max<DWORD>(sizes.nameChars, 1));
    std::vector<BYTE> data(std::max<DWORD>(sizes.dataBytes, 1));
    sizes = {static_cast<DWORD>(name.size()), static_cast<DWORD>(data.size())};
    LONG status = ERROR_SUCCESS;

    list = RegValueList{};
    LONG result = ERROR_SUCCESS;
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = 0, dataLength = 0, type = 0;
        // A value that does not fit is read again with larger buffers (Wine then does not
        // even fill in the name); the key may change in between, so the tries are bounded.
        for (int attempt = 0;; ++attempt) {
            nameLength = static_cast<DWORD>(name.size());
            dataLength = static_cast<DWORD>(data.size());
            type = 0;
            name[0] = '\0';
            status = RegEnumValueA(key, index, name.data(), &nameLength, nullptr, &type, data.data(), &dataLength);
            if (status != ERROR_MORE_DATA || attempt == 8) break;
            KeyValueMaxima(key, maxName, maxData);
            const EnumBufferSizes grown = GrownEnumBuffers(sizes, maxName, maxData, dataLength);
            if (grown == sizes) break;
            sizes = grown;
            name.assign(sizes.nameChars, '\0');
            data.assign(sizes.dataBytes, 0);
        }
        if (status == ERROR_NO_MORE_ITEMS) return result;
        if (status == ERROR_MORE_DATA) {
            // Too large to read whole: keep its name and type, without data.
            nameLength = static_cast<DWORD>(name.size());
            name[0] = '\0';
            status = RegEnumValueA(key, index, name.data(), &nameLength, nullptr, &type, nullptr, nullptr);
            if (status != ERROR_SUCCESS) return status;
            dataLength = 0;
            result = ERROR_MORE_DATA;
        }
        if (status != ERROR_SUCCESS) return status;

        list.names.push_back(RegistryNameText(name.data(), nameLength));
        list.types.push_back(type);
        list.data.push_back(RegistryDataText(type, data.data(), std::min<DWORD>(dataLength, sizes.dataBytes)));
        ++list.count;
    }
}

}  // namespace kestrune
