#pragma once
// Small helpers shared by the scan tests: counts of this process's handles and threads,
// the object name of a handle, a name query that never answers, and the lab's ports.
#include <windows.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <string>
#include <vector>

#include "gui/driver/window_driver.h"
#include "lab/client/lab_client.h"
#include "port/channel.h"
#include "scan/owner_search.h"
#include "scan/status_probe.h"
#include "support/fixed_text.h"

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

// The object names whose name query blocks for ever, like a query on a file object with a
// synchronous read pending. A test sets the whole list before it hands in the fake.
inline std::vector<std::string>& BlockingNames() {
    static std::vector<std::string> names;
    return names;
}
// The system's name query, except that it never returns for a name BlockingNames lists.
inline LONG NTAPI FakeBlockingNameQuery(HANDLE h, ULONG infoClass, void* buffer, ULONG size, ULONG* returned) {
    const LONG status = NtQueryObject(h, static_cast<OBJECT_INFORMATION_CLASS>(infoClass), buffer, size, returned);
    if (status == 0)
        for (const std::string& name : BlockingNames())
            if (kestrune::DeviceNameMatches(name, kestrune::ObjectNameFromQuery(false, status, buffer, size)))
                Sleep(INFINITE);
    return status;
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

// A lab port's record as the scan's first step leaves it: name, device, a channel number and
// the probed status.
inline kestrune::PortRecord ProbedRecord(const lab::Port& port) {
    kestrune::PortRecord record;
    kestrune::SetText(record.PortName, port.com);
    kestrune::SetText(record.DeviceName, port.device_map_name);
    record.RtHandle = kestrune::NextChannelNumber();
    kestrune::ProbePortStatus(record);
    return record;
}

}  // namespace scan_test
