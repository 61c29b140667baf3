// The lab machine as the registry and the object manager show it.
#include <winternl.h>

#include <map>
#include <set>
#include <vector>

#include "lab_test_util.h"

using labtest::LabTest;
using labtest::Port;

namespace {

using Values = std::vector<std::pair<std::string, std::string>>;

Values ReadValues(const char* path) {
    Values out;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return out;
    for (DWORD i = 0;; i++) {
        char name[512];
        BYTE data[512];
        DWORD nlen = sizeof name, dlen = sizeof data - 1, type = 0;
        if (RegEnumValueA(key, i, name, &nlen, nullptr, &type, data, &dlen) != ERROR_SUCCESS) break;
        data[dlen] = 0;
        out.emplace_back(std::string(name, nlen), reinterpret_cast<char*>(data));
    }
    RegCloseKey(key);
    return out;
}

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    return s;
}

typedef NTSTATUS(NTAPI* QueryObjectFn)(HANDLE, ULONG, PVOID, ULONG, PULONG);
typedef NTSTATUS(NTAPI* QuerySystemFn)(ULONG, PVOID, ULONG, PULONG);

std::string ObjectName(HANDLE h) {
    auto query = reinterpret_cast<QueryObjectFn>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryObject")));
    std::vector<BYTE> buf(2048);
    ULONG len = 0;
    if (!query || query(h, 1 /* ObjectNameInformation */, buf.data(), static_cast<ULONG>(buf.size()), &len) != 0)
        return "";
    auto* us = reinterpret_cast<UNICODE_STRING*>(buf.data());
    std::string out;
    for (USHORT i = 0; i < us->Length / 2; i++) out += static_cast<char>(us->Buffer[i]);
    return out;
}

}  // namespace

class LabMachine : public LabTest {};

// The device map lists exactly the layout's device-map entries.
TEST_F(LabMachine, DeviceMapListsExactlyTheLayoutEntries) {
    std::map<std::string, std::string> want, got;
    for (const lab::Port* p : layout.DeviceMapPorts())
        if (p->present || p->kind == lab::Kind::DeviceMapUnopenable) {
            want[Upper(p->device_map_name)] = p->com;
        }
    for (const auto& v : ReadValues("HARDWARE\\DEVICEMAP\\SERIALCOMM")) got[Upper(v.first)] = v.second;
    EXPECT_EQ(got, want);
}

// Device-map value names are the object names of open port handles.
TEST_F(LabMachine, DeviceMapNamesAreObjectNames) {
    for (const lab::Port& p : layout.ports()) {
        if (!p.present || p.kind == lab::Kind::Held) continue;
        Port port(p.com);
        ASSERT_TRUE(port.ok()) << p.com << " error " << port.error();
        EXPECT_EQ(ObjectName(port.get()), p.device_map_name) << p.com;
    }
}

// The port list holds exactly the layout's COM entries; other entries (LPT, FILE) stay.
TEST_F(LabMachine, PortListHoldsTheLayoutComEntries) {
    std::map<std::string, std::string> want, got;
    for (const lab::Port& p : layout.ports())
        if (!p.port_list.empty()) want[p.com + ":"] = p.port_list;
    bool others = false;
    for (const auto& v : ReadValues("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports")) {
        if (Upper(v.first).find("COM") != std::string::npos)
            got[v.first] = v.second;
        else
            others = true;
    }
    EXPECT_EQ(got, want);
    EXPECT_TRUE(others) << "LPT1:, FILE: and the like should still be listed";
}

// No host serial device: every COM name the system knows belongs to a lab port, and
// COM names outside the layout do not open.
TEST_F(LabMachine, NoHostDeviceAppears) {
    std::set<std::string> lab_devices;
    for (const lab::Port& p : layout.ports())
        if (p.present) lab_devices.insert(Upper(p.com));
    std::vector<char> names(1 << 16);
    DWORD n = QueryDosDeviceA(nullptr, names.data(), static_cast<DWORD>(names.size()));
    ASSERT_GT(n, 0u);
    for (const char* s = names.data(); *s; s += strlen(s) + 1) {
        std::string name = Upper(s);
        if (name.rfind("COM", 0) == 0 && name.size() > 3 && isdigit(static_cast<unsigned char>(name[3]))) {
            EXPECT_TRUE(lab_devices.count(name)) << name << " is not a lab port";
        }
    }
    for (int i = 1; i <= 32; i++) {
        std::string com = "COM" + std::to_string(i);
        if (layout.Find(com)) continue;
        Port port(com);
        EXPECT_FALSE(port.ok()) << com << " opened but is not a lab port";
        EXPECT_EQ(port.error(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND)) << com;
    }
    for (const char* path : {"\\\\?\\Z:\\dev\\ttyS0", "Z:\\dev\\ttyS0", "Z:\\dev\\ttyUSB0", "Z:\\dev\\ttyACM0"}) {
        EXPECT_EQ(GetFileAttributesA(path), INVALID_FILE_ATTRIBUTES) << path;
        HANDLE h = CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_EQ(h, INVALID_HANDLE_VALUE) << path;
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
}

// The held port's settings, made by the holder, read back through a duplicate of the holder's handle.
TEST_F(LabMachine, HeldPortReadsBackThroughTheHoldersHandle) {
    const lab::Port* p = Need(lab::Kind::Held);
    ASSERT_NE(p, nullptr);
    ASSERT_NE(p->holder_pid, 0u);
    auto query = reinterpret_cast<QuerySystemFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    ASSERT_NE(query, nullptr);
    std::vector<BYTE> buf(1 << 16);
    ULONG need = 0;
    NTSTATUS st;
    while ((st = query(16, buf.data(), static_cast<ULONG>(buf.size()), &need)) == static_cast<NTSTATUS>(0xC0000004))
        buf.resize(buf.size() * 2);
    ASSERT_EQ(st, 0);
    struct Entry {
        ULONG pid;
        BYTE type, flags;
        USHORT handle;
        PVOID object;
        ACCESS_MASK access;
    };
    ULONG count = *reinterpret_cast<ULONG*>(buf.data());
    auto* entries = reinterpret_cast<Entry*>(buf.data() + sizeof(ULONG_PTR));
    HANDLE owner = OpenProcess(PROCESS_DUP_HANDLE, FALSE, p->holder_pid);
    ASSERT_NE(owner, nullptr);
    HANDLE found = nullptr;
    for (ULONG i = 0; i < count && !found; i++) {
        if (entries[i].pid != p->holder_pid) continue;
        HANDLE dup = nullptr;
        if (!DuplicateHandle(owner, reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(entries[i].handle)),
                             GetCurrentProcess(), &dup, 0, FALSE, DUPLICATE_SAME_ACCESS))
            continue;
        if (GetFileType(dup) == FILE_TYPE_CHAR && ObjectName(dup) == p->device_map_name)
            found = dup;
        else
            CloseHandle(dup);
    }
    CloseHandle(owner);
    ASSERT_NE(found, nullptr) << "no handle of " << p->device_map_name << " in process " << p->holder_pid;
    DCB dcb = {};
    dcb.DCBlength = sizeof dcb;
    EXPECT_TRUE(GetCommState(found, &dcb));
    const lab::LineSettings& s = p->holder_settings;
    if (s.baud) {
        EXPECT_EQ(dcb.BaudRate, s.baud);
    }
    if (s.data_bits) {
        EXPECT_EQ(dcb.ByteSize, s.data_bits);
    }
    if (s.parity) {
        EXPECT_EQ(dcb.Parity, std::string("noems").find(s.parity));
    }
    if (s.stop == "2") {
        EXPECT_EQ(dcb.StopBits, TWOSTOPBITS);
    }
    DWORD modem = 0;
    EXPECT_TRUE(GetCommModemStatus(found, &modem));
    lab_port state = {};
    ASSERT_TRUE(lab::ReadPortState(layout, p->com, state));
    // The holder's DTR and RTS are not checked here: every scan's cable test drives the
    // held port's lines through its duplicate of the holder's handle.
    EXPECT_EQ(state.opens, 1u);
    CloseHandle(found);
}
