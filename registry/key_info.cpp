#include "registry/key_info.h"

#include <algorithm>
#include <cstdio>

#include "support/handles.h"

namespace kestrune {

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

LONG ReadKeyInfo(HKEY root, const char* subKey, KeyInfo& info) {
    constexpr int kSizeRaces = 8;  // a class name that keeps growing between the tries
    UniqueRegKey key;
    LONG status = RegOpenKeyExA(root, subKey, 0, KEY_READ, key.put());
    if (status != ERROR_SUCCESS) return status;
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
    return ERROR_SUCCESS;
}

}  // namespace kestrune
