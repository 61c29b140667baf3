#include "scan/owner_match.h"

#include <string>

#include "scan/status_probe.h"
#include "support/fixed_text.h"

namespace kestrune {

const char kUnknownProgramPath[] = "FileName: SYSTEM";

const std::vector<std::string_view>& ProcessSkipWords() {
    static const std::vector<std::string_view> words = {
        "Process", "SYSTEM", "WINLOGON", "SERVICES", "LSASS", "SVCHOST", "TASKMGR", "BaseNamedObj",
    };
    return words;
}

const std::vector<std::string_view>& ObjectSkipFragments() {
    static const std::vector<std::string_view> fragments = {
        "\\KnownDlls",        "\\KnownDlls32",      "\\Registry",         "\\Sessions",
        "\\Default",          "\\BaseNamedObjects", "\\Kernel",          "Named-Pipe",
        "\\RPC Control",      "\\Device\\HardDisk", "\\Device\\KsecDD",  "\\Device\\Afd",
        "\\Device\\Nsi",      "\\Device\\0000005e", "\\Device\\ElbyCDIO", "\\Device\\NamedPipe",
        "\\Device\\WmiDataDevice",
    };
    return fragments;
}

namespace {
// The patterns upper-cased once: the walk tests every name it learns against them.
std::vector<std::string> UpperAll(const std::vector<std::string_view>& patterns) {
    std::vector<std::string> upper;
    for (std::string_view pattern : patterns) upper.push_back(UpperAnsi(pattern));
    return upper;
}

bool ContainsAnyUpper(std::string_view text, const std::vector<std::string>& upperPatterns) {
    const std::string upper = UpperAnsi(text);
    for (const std::string& pattern : upperPatterns)
        if (upper.find(pattern) != std::string::npos) return true;
    return false;
}
}  // namespace

bool ProcessPathSkipped(std::string_view path) {
    static const std::vector<std::string> words = UpperAll(ProcessSkipWords());
    return ContainsAnyUpper(path, words);
}

bool ObjectNameSkipped(std::string_view name) {
    static const std::vector<std::string> fragments = UpperAll(ObjectSkipFragments());
    return ContainsAnyUpper(name, fragments);
}

bool DeviceNameMatches(std::string_view deviceName, std::string_view objectName) {
    if (deviceName.empty()) return false;
    return UpperAnsi(deviceName) == UpperAnsi(objectName);
}

bool NameHandleOfType(uint16_t handleType, uint16_t portType) {
    return portType == 0 || handleType == 0 || handleType == portType;
}

OwnerRoute ChooseOwnerRoute(std::string_view status, uint32_t winHandle, std::string_view deviceName,
                            bool walkEveryPort) {
    if (walkEveryPort) return OwnerRoute::kWalk;
    // Object names are paths of the object namespace: they begin with a backslash.
    if (deviceName.empty() || deviceName.front() != '\\') return OwnerRoute::kNone;
    if (status == kStatusAvailable && winHandle != 0) return OwnerRoute::kOwnHandle;
    return OwnerRoute::kWalk;
}

}  // namespace kestrune
