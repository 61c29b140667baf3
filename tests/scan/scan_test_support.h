#pragma once
// Small helpers shared by the scan tests: counts of this process's handles and threads,
// the object name of a handle, and the lab's layout file read directly.
#include <windows.h>
#include <tlhelp32.h>

#include <string>

#include "scan/owner_search.h"

namespace scan_test {

inline DWORD HandleCount() {
    DWORD count = 0;
    GetProcessHandleCount(GetCurrentProcess(), &count);
    return count;
}

inline int ThreadCount() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return -1;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
    CloseHandle(snapshot);
    return count;
}

inline std::string NameOf(HANDLE handle) {
    kestrune::NameQueryWorker worker;
    return worker.Query(handle);
}

inline std::string OwnPath() {
    char path[MAX_PATH] = {};
    return std::string(path, GetModuleFileNameA(nullptr, path, MAX_PATH));
}

inline std::string BinDir() {
    std::string dir = "Z:" KESTRUNE_BIN_DIR;
    for (char& c : dir)
        if (c == '/') c = '\\';
    return dir + "\\";
}

// One value of C:\lab\layout.ini; empty when the lab is not up.
inline std::string LabValue(const std::string& section, const std::string& key) {
    char value[512] = {};
    GetPrivateProfileStringA(section.c_str(), key.c_str(), "", value, sizeof value, "C:\\lab\\layout.ini");
    return value;
}

// The first lab port of a kind ("held", "free", "loopback", ...); empty when none.
inline std::string LabPortOfKind(const std::string& kind) {
    std::string ports = LabValue("lab", "ports");
    std::size_t start = 0;
    while (start < ports.size()) {
        std::size_t end = ports.find(',', start);
        if (end == std::string::npos) end = ports.size();
        const std::string com = ports.substr(start, end - start);
        if (LabValue(com, "kind") == kind && LabValue(com, "present") == "1") return com;
        start = end + 1;
    }
    return {};
}

inline bool LabUp() { return !LabValue("lab", "ports").empty(); }

}  // namespace scan_test
