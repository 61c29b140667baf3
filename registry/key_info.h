#pragma once
// What a key says about itself (RegQueryInfoKeyA), and the text it is shown as.
#include <windows.h>

#include <string>

namespace kestrune {

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

// Opens root\subKey for reading and asks it about itself; the class name is read whole
// however long it grows meanwhile (up to 8 tries). Returns 0 or the error of the failed step;
// info is complete only on 0.
LONG ReadKeyInfo(HKEY root, const char* subKey, KeyInfo& info);

}  // namespace kestrune
