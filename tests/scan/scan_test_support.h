#pragma once
// Small helpers shared by the scan tests: counts of this process's handles and threads,
// the object name of a handle, and the lab's ports.
#include <windows.h>
#include <tlhelp32.h>

#include <string>

#include "gui/driver/window_driver.h"
#include "lab/client/lab_client.h"
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

inline std::string BinDir() { return kestrune_driver::WindowsPath(KESTRUNE_BIN_DIR) + "\\"; }

// The lab's layout as the lab's client reads it; no ports when the lab is not up.
inline lab::Layout LabLayout() {
    lab::Layout layout;
    layout.Load();
    return layout;
}

inline bool LabUp() { return !LabLayout().ports().empty(); }

// The first lab port of a kind ("held", "free", "loopback", ...) with its device plugged in;
// empty when none.
inline std::string LabPortOfKind(const std::string& kind) {
    const lab::Layout layout = LabLayout();
    for (const lab::Port* port : layout.OfKind(lab::KindFromName(kind)))
        if (port->present) return port->com;
    return {};
}

// One port of the layout; a blank port when the lab does not list it.
inline lab::Port LabPort(const std::string& com) {
    const lab::Layout layout = LabLayout();
    const lab::Port* port = layout.Find(com);
    return port ? *port : lab::Port{};
}

}  // namespace scan_test
