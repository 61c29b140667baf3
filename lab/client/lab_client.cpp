#include "lab_client.h"

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "support/handles.h"

namespace lab {
namespace {

using Handle = kestrune::UniqueHandle;

void close_handle(HANDLE& h) {
    if (h) CloseHandle(h);
    h = nullptr;
}

std::string ini_get(const std::string& path, const std::string& section, const char* key) {
    char buf[2048];
    DWORD n = GetPrivateProfileStringA(section.c_str(), key, "", buf, sizeof buf, path.c_str());
    return std::string(buf, n);
}

std::vector<std::string> split(const std::string& s, char sep) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start <= s.size()) {
        size_t end = s.find(sep, start);
        if (end == std::string::npos) end = s.size();
        if (end > start) out.push_back(s.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

struct KindEntry {
    Kind kind;
    const char* name;
};
const KindEntry kKinds[] = {
    {Kind::Free, "free"},
    {Kind::Held, "held"},
    {Kind::PortListOnly, "portlist-only"},
    {Kind::DeviceMapUnopenable, "devicemap-unopenable"},
    {Kind::Loopback, "loopback"},
    {Kind::NullModem, "null-modem"},
    {Kind::Device, "device"},
    {Kind::DsrOnly, "dsr-only"},
};

// The shared state file, opened for reading and writing single fields.
class StateFile {
public:
    explicit StateFile(const std::string& path)
        : file_(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    explicit operator bool() const { return static_cast<bool>(file_); }

    bool Read(lab_state& out) {
        if (!file_) return false;
        OVERLAPPED ov = {};
        DWORD got = 0;
        if (!ReadFile(file_.get(), &out, sizeof out, &got, &ov) || got != sizeof out) return false;
        return out.magic == LAB_STATE_MAGIC && out.version == LAB_STATE_VERSION;
    }
    bool Write32(size_t offset, uint32_t value) {
        if (!file_) return false;
        OVERLAPPED ov = {};
        ov.Offset = static_cast<DWORD>(offset);
        DWORD put = 0;
        return WriteFile(file_.get(), &value, sizeof value, &put, &ov) && put == sizeof value;
    }
    bool WritePort(int slot, size_t field, uint32_t value) {
        if (slot < 0 || slot >= static_cast<int>(LAB_MAX_PORTS)) return false;
        return Write32(offsetof(lab_state, ports) + slot * sizeof(lab_port) + field, value);
    }

private:
    Handle file_;
};

bool create_folders_for(const std::string& file) {
    for (size_t i = 3; i < file.size(); i++) {
        if (file[i] == '\\' || file[i] == '/') {
            std::string dir = file.substr(0, i);
            if (!CreateDirectoryA(dir.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
        }
    }
    return true;
}

std::string quote(const std::string& s) { return "\"" + s + "\""; }

}  // namespace

const char* KindName(Kind k) {
    for (const auto& e : kKinds)
        if (e.kind == k) return e.name;
    return "unknown";
}

Kind KindFromName(const std::string& name) {
    for (const auto& e : kKinds)
        if (_stricmp(e.name, name.c_str()) == 0) return e.kind;
    return Kind::Unknown;
}

bool Layout::Load(std::string* error, const std::string& path) {
    ports_.clear();
    if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        if (error) *error = "no " + path + ": the serial lab is not up (lab/serlab.py up LAYOUT)";
        return false;
    }
    name_ = ini_get(path, "lab", "name");
    state_file_ = ini_get(path, "lab", "state_file");
    serlab_unix_ = ini_get(path, "lab", "serlab_unix");
    python_ = ini_get(path, "lab", "python");
    holder_ = ini_get(path, "lab", "holder");
    prefix_unix_ = ini_get(path, "lab", "prefix_unix");
    reserve_ = split(ini_get(path, "lab", "reserve"), ',');
    comdb_ = split(ini_get(path, "lab", "comdb"), ',');
    for (const std::string& com : split(ini_get(path, "lab", "ports"), ',')) {
        Port p;
        p.com = com;
        p.kind = KindFromName(ini_get(path, com, "kind"));
        p.wiring = ini_get(path, com, "wiring");
        p.peer = ini_get(path, com, "peer");
        p.present = ini_get(path, com, "present") == "1";
        p.slot = atoi(ini_get(path, com, "slot").c_str());
        if (ini_get(path, com, "slot").empty()) p.slot = -1;
        p.device_map_name = ini_get(path, com, "devicemap");
        p.port_list = ini_get(path, com, "portlist");
        p.pty = ini_get(path, com, "pty");
        p.far_end = ini_get(path, com, "far");
        p.far_end_windows = ini_get(path, com, "far_windows");
        p.holder_pid = strtoul(ini_get(path, com, "holder_pid").c_str(), nullptr, 10);
        p.instance_id = ini_get(path, com, "instance");
        p.vid = ini_get(path, com, "vid");
        p.pid = ini_get(path, com, "pid");
        p.serial = ini_get(path, com, "serial");
        p.friendly = ini_get(path, com, "friendly");
        p.description = ini_get(path, com, "description");
        p.mfg = ini_get(path, com, "mfg");
        p.location = ini_get(path, com, "location");
        p.service = ini_get(path, com, "service");
        p.phantom = ini_get(path, com, "phantom") == "1";
        LineSettings& s = p.holder_settings;
        s.baud = strtoul(ini_get(path, com, "baud").c_str(), nullptr, 10);
        s.data_bits = atoi(ini_get(path, com, "data").c_str());
        std::string parity = ini_get(path, com, "parity");
        s.parity = parity.empty() ? 0 : static_cast<char>(tolower(static_cast<unsigned char>(parity[0])));
        s.stop = ini_get(path, com, "stop");
        std::string dtr = ini_get(path, com, "dtr"), rts = ini_get(path, com, "rts");
        s.dtr = dtr.empty() ? -1 : (dtr == "on" || dtr == "1");
        s.rts = rts.empty() ? -1 : (rts == "on" || rts == "1");
        ports_.push_back(p);
    }
    if (ports_.empty() || state_file_.empty()) {
        if (error) *error = path + " lists no ports";
        return false;
    }
    return true;
}

const Port* Layout::Find(const std::string& com) const {
    for (const auto& p : ports_)
        if (_stricmp(p.com.c_str(), com.c_str()) == 0) return &p;
    return nullptr;
}

const Port* Layout::FirstOfKind(Kind k) const {
    for (const auto& p : ports_)
        if (p.kind == k) return &p;
    return nullptr;
}

std::vector<const Port*> Layout::OfKind(Kind k) const {
    std::vector<const Port*> out;
    for (const auto& p : ports_)
        if (p.kind == k) out.push_back(&p);
    return out;
}

std::vector<const Port*> Layout::DeviceMapPorts() const {
    std::vector<const Port*> out;
    for (const auto& p : ports_)
        if (!p.device_map_name.empty()) out.push_back(&p);
    return out;
}

// ---- Holder -------------------------------------------------------------------------------------

Holder::Holder(const std::string& com, const LineSettings& s, const std::string& exe, DWORD timeout_ms) {
    static LONG counter = 0;
    char tag[96];
    snprintf(tag, sizeof tag, "kestrune-lab-holder-%lu-%ld", static_cast<unsigned long>(GetCurrentProcessId()),
             static_cast<long>(InterlockedIncrement(&counter)));
    std::string ready_name = std::string(tag) + "-ready", stop_name = std::string(tag) + "-stop";
    ready_event_ = CreateEventA(nullptr, TRUE, FALSE, ready_name.c_str());
    stop_event_ = CreateEventA(nullptr, TRUE, FALSE, stop_name.c_str());
    char temp[MAX_PATH];
    DWORD tn = GetTempPathA(sizeof temp, temp);
    ready_file_ = std::string(temp, tn) + tag + ".txt";
    view_file_ = std::string(temp, tn) + tag + "-view.txt";
    const std::string view_name = std::string(tag) + "-view";
    view_event_ = CreateEventA(nullptr, FALSE, FALSE, view_name.c_str());
    view_done_ = CreateEventA(nullptr, FALSE, FALSE, (view_name + ".done").c_str());
    if (!ready_event_ || !stop_event_ || !view_event_ || !view_done_) {
        message_ = "cannot create events";
        return;
    }

    std::string cmd = quote(exe) + " " + com;
    if (s.baud) cmd += " --baud " + std::to_string(s.baud);
    if (s.data_bits) cmd += " --data " + std::to_string(s.data_bits);
    if (s.parity) cmd += std::string(" --parity ") + s.parity;
    if (!s.stop.empty()) cmd += " --stop " + s.stop;
    if (s.dtr >= 0) cmd += s.dtr ? " --dtr on" : " --dtr off";
    if (s.rts >= 0) cmd += s.rts ? " --rts on" : " --rts off";
    cmd += " --ready-event " + ready_name + " --stop-event " + stop_name + " --ready-file " + quote(ready_file_);
    cmd += " --view-event " + view_name + " --view-file " + quote(view_file_);

    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::vector<char> line(cmd.begin(), cmd.end());
    line.push_back('\0');
    if (!CreateProcessA(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        message_ = "cannot start " + exe + ": error " + std::to_string(GetLastError());
        return;
    }
    CloseHandle(pi.hThread);
    process_ = pi.hProcess;
    pid_ = pi.dwProcessId;

    HANDLE waits[2] = {ready_event_, process_};
    DWORD w = WaitForMultipleObjects(2, waits, FALSE, timeout_ms);
    if (w == WAIT_OBJECT_0) {
        ok_ = true;
        return;
    }
    if (w == WAIT_OBJECT_0 + 1) {
        // Exited without holding the port: the ready file tells why.
        FILE* f = fopen(ready_file_.c_str(), "rb");
        char text[128] = {};
        if (f) {
            size_t n = fread(text, 1, sizeof text - 1, f);
            text[n] = 0;
            fclose(f);
        }
        if (strncmp(text, "error=", 6) == 0) open_error_ = strtoul(text + 6, nullptr, 10);
        DWORD code = 0;
        GetExitCodeProcess(process_, &code);
        message_ = "holder exited with " + std::to_string(code) + ", error " + std::to_string(open_error_);
    } else {
        message_ = "holder did not get ready";
        Kill();
    }
}

Holder::~Holder() {
    Stop();
    close_handle(ready_event_);
    close_handle(stop_event_);
    close_handle(view_event_);
    close_handle(view_done_);
    if (!ready_file_.empty()) DeleteFileA(ready_file_.c_str());
    if (!view_file_.empty()) DeleteFileA(view_file_.c_str());
}

std::string HolderView::Text() const {
    char text[160];
    snprintf(text, sizeof text, "baud=%lu data=%u parity=%u stop=%u dtr=%u rts=%u modem=%lu",
             static_cast<unsigned long>(baud), data_bits, parity, stop, dtr_control, rts_control,
             static_cast<unsigned long>(modem));
    return text;
}

bool Holder::ReadView(HolderView& view, DWORD timeout_ms) {
    if (!process_ || !view_event_) return false;
    DeleteFileA(view_file_.c_str());
    ResetEvent(view_done_);
    SetEvent(view_event_);
    HANDLE waits[2] = {view_done_, process_};
    if (WaitForMultipleObjects(2, waits, FALSE, timeout_ms) != WAIT_OBJECT_0) return false;
    FILE* f = fopen(view_file_.c_str(), "rb");
    if (!f) return false;
    unsigned long baud = 0, modem = 0;
    const int got = fscanf(f, "baud=%lu data=%u parity=%u stop=%u dtr=%u rts=%u modem=%lu", &baud, &view.data_bits,
                           &view.parity, &view.stop, &view.dtr_control, &view.rts_control, &modem);
    fclose(f);
    view.baud = baud;
    view.modem = modem;
    return got == 7;
}

void Holder::Stop() {
    if (!process_) return;
    if (stop_event_) SetEvent(stop_event_);
    if (WaitForSingleObject(process_, 10000) != WAIT_OBJECT_0) {
        TerminateProcess(process_, 1);
        WaitForSingleObject(process_, 10000);
    }
    close_handle(process_);
    ok_ = false;
}

void Holder::Kill() {
    if (!process_) return;
    TerminateProcess(process_, 1);
    WaitForSingleObject(process_, 10000);
    close_handle(process_);
    ok_ = false;
}

bool InstallHolder(const std::string& dest, const std::string& from) {
    if (!create_folders_for(dest)) return false;
    return CopyFileA(from.c_str(), dest.c_str(), FALSE) != 0;
}

// ---- shared state -------------------------------------------------------------------------------

bool ReadPortState(const Layout& layout, const std::string& com, lab_port& out) {
    const Port* p = layout.Find(com);
    if (!p || p->slot < 0) return false;
    StateFile f(layout.state_file());
    lab_state st;
    if (!f.Read(st)) return false;
    out = st.ports[p->slot];
    return true;
}

bool SetWiring(const Layout& layout, const std::string& com, Wiring wiring, const std::string& peer) {
    const Port* p = layout.Find(com);
    if (!p || p->slot < 0) return false;
    StateFile f(layout.state_file());
    if (!f) return false;
    int peer_slot = -1;
    if (wiring == Wiring::NullModem) {
        const Port* q = layout.Find(peer);
        if (!q || q->slot < 0 || q == p) return false;
        peer_slot = q->slot;
        if (!f.WritePort(q->slot, offsetof(lab_port, peer), static_cast<uint32_t>(p->slot)) ||
            !f.WritePort(q->slot, offsetof(lab_port, wiring), LAB_WIRE_NULL_MODEM))
            return false;
    }
    if (wiring == Wiring::Device && !SetFarLines(layout, com, true, true)) return false;
    return f.WritePort(p->slot, offsetof(lab_port, peer), static_cast<uint32_t>(peer_slot)) &&
           f.WritePort(p->slot, offsetof(lab_port, wiring), static_cast<uint32_t>(wiring));
}

bool SetFarLines(const Layout& layout, const std::string& com, bool dtr, bool rts, bool ri) {
    const Port* p = layout.Find(com);
    if (!p || p->slot < 0) return false;
    StateFile f(layout.state_file());
    uint32_t lines = (dtr ? LAB_LINE_DTR : 0) | (rts ? LAB_LINE_RTS : 0) | (ri ? LAB_LINE_RI : 0);
    return f.WritePort(p->slot, offsetof(lab_port, far_lines), lines);
}

const char* DriverName(Driver d) {
    switch (d) {
        case Driver::Uart: return "uart";
        case Driver::Ftdi: return "ftdi";
        case Driver::UsbSer: return "usbser";
        case Driver::NoLines: return "nolines";
    }
    return "?";
}

bool SetDriver(const Layout& layout, const std::string& com, Driver driver, int latency_ms, uint32_t stall_ms) {
    const Port* p = layout.Find(com);
    if (!p || p->slot < 0) return false;
    if (latency_ms < 0) latency_ms = driver == Driver::Ftdi ? 16 : driver == Driver::UsbSer ? 2 : 0;
    StateFile f(layout.state_file());
    const uint32_t word = static_cast<uint32_t>(driver) | (static_cast<uint32_t>(latency_ms & 0xFFFF) << 16);
    return f.WritePort(p->slot, offsetof(lab_port, driver), word) &&
           f.WritePort(p->slot, offsetof(lab_port, stall_ms), stall_ms);
}

bool SetOpenLines(const Layout& layout, const std::string& com, bool high) {
    const Port* p = layout.Find(com);
    if (!p || p->slot < 0) return false;
    StateFile f(layout.state_file());
    return f.WritePort(p->slot, offsetof(lab_port, open_lines), high ? LAB_LINE_DTR | LAB_LINE_RTS : 0u);
}

ScopedWiring::ScopedWiring(const Layout& layout) : state_file_(layout.state_file()) {
    StateFile f(state_file_);
    saved_ = f.Read(state_);
}

ScopedWiring::~ScopedWiring() {
    if (!saved_) return;
    StateFile f(state_file_);
    for (int i = 0; i < static_cast<int>(LAB_MAX_PORTS); i++) {
        const lab_port& s = state_.ports[i];
        if (!s.in_use) continue;
        f.WritePort(i, offsetof(lab_port, far_lines), s.far_lines);
        f.WritePort(i, offsetof(lab_port, peer), static_cast<uint32_t>(s.peer));
        f.WritePort(i, offsetof(lab_port, wiring), s.wiring);
        f.WritePort(i, offsetof(lab_port, driver), static_cast<uint32_t>(s.driver) | (uint32_t{s.latency_ms} << 16));
        f.WritePort(i, offsetof(lab_port, stall_ms), s.stall_ms);
        f.WritePort(i, offsetof(lab_port, open_lines), s.open_lines);
    }
}

// ---- serlab.py ------------------------------------------------------------------------------------

int RunSerlab(const Layout& layout, const std::string& args, DWORD timeout_ms) {
    if (layout.python().empty() || layout.serlab_unix().empty() || layout.prefix_unix().empty()) return -1;
    // Wine starts a unix program named by its Windows path and passes the arguments unchanged,
    // but hands back no process handle to wait on: the tool writes its exit status to a file.
    static LONG counter = 0;
    std::string tag = "run-" + std::to_string(GetCurrentProcessId()) + "-" +
                      std::to_string(InterlockedIncrement(&counter)) + ".rc";
    std::string result_windows = "C:\\lab\\" + tag;
    std::string result_unix = layout.prefix_unix() + "/drive_c/lab/" + tag;
    DeleteFileA(result_windows.c_str());
    std::string cmd = quote(layout.python()) + " " + quote(layout.serlab_unix()) + " --result-file " +
                      quote(result_unix) + " " + args;
    std::vector<char> line(cmd.begin(), cmd.end());
    line.push_back('\0');
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return -1;
    if (pi.hThread) CloseHandle(pi.hThread);
    if (pi.hProcess) CloseHandle(pi.hProcess);
    DWORD start = GetTickCount();
    while (GetTickCount() - start < timeout_ms) {
        FILE* f = fopen(result_windows.c_str(), "rb");
        if (f) {
            char text[32] = {};
            size_t n = fread(text, 1, sizeof text - 1, f);
            fclose(f);
            DeleteFileA(result_windows.c_str());
            return n ? atoi(text) : -1;
        }
        Sleep(10);
    }
    return -1;
}

}  // namespace lab
