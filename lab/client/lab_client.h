// Windows-side view of the serial lab, for tests.
//
// The lab (lab/serlab.py, run on the Linux side) publishes its machine in
// C:\lab\layout.ini; this library reads it, starts holders on ports, and
// changes the wiring of ports at run time through the lab's shared state file.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "../include/lab_state.h"

namespace lab {

// What a layout declares a port to be.
enum class Kind {
    Free,                 // a device, nothing attached
    Held,                 // a device held open by a lab holder
    PortListOnly,         // only in the port list; opening fails with ERROR_FILE_NOT_FOUND
    DeviceMapUnopenable,  // in the device map, but its device cannot be opened
    Loopback,             // loopback plug
    NullModem,            // null-modem cable to another lab port
    Device,               // null-modem cable to a powered device (DSR, DCD, CTS on)
    DsrOnly,              // plug where only DSR follows DTR
    Unknown,
};

// What is plugged into a port's far end (values of enum lab_wiring).
enum class Wiring : uint32_t {
    None = LAB_WIRE_NONE,
    Loopback = LAB_WIRE_LOOPBACK,
    NullModem = LAB_WIRE_NULL_MODEM,
    Device = LAB_WIRE_DEVICE,
    DsrOnly = LAB_WIRE_DSR_ONLY,
};

const char* KindName(Kind k);
Kind KindFromName(const std::string& name);

// Line settings a holder applies; unset fields are left as the port has them.
struct LineSettings {
    DWORD baud = 0;      // 0: unchanged
    int data_bits = 0;   // 5..8, 0: unchanged
    char parity = 0;     // 'n', 'o', 'e', 'm', 's'; 0: unchanged
    std::string stop;    // "1", "1.5", "2"; empty: unchanged
    int dtr = -1;        // 1 on, 0 off, -1 unchanged
    int rts = -1;
};

struct Port {
    std::string com;             // "COM3"
    Kind kind = Kind::Unknown;
    std::string wiring;          // "none", "loopback", "null-modem", "device", "dsr-only"; empty without device
    std::string peer;            // null-modem peer, "COM8"
    bool present = false;        // a pseudo-terminal is plugged in
    int slot = -1;               // index in the shared state file, -1 without device
    std::string device_map_name; // value name in HKLM\HARDWARE\DEVICEMAP\SERIALCOMM; empty when not listed
    std::string port_list;       // data of "COMn:" in the port list; empty when not listed
    std::string pty;             // unix path of the COM side, /dev/pts/N
    std::string far_end;         // unix path of the far side
    std::string far_end_windows; // the far side as a Windows path (Z:\dev\pts\M)
    DWORD holder_pid = 0;        // Windows process id of the lab's holder, 0 when none
    LineSettings holder_settings;
    // The device entry the layout gives the port (vid, pid, serial, friendly, phantom = yes);
    // instance_id is empty when it has none.
    std::string instance_id;     // "USB\VID_067B&PID_2303\A7C3F21B", "ACPI\PNP0501\2"
    std::string vid, pid, serial, friendly, description, mfg, location, service;
    bool phantom = false;        // only remembered: the device is gone

    std::string Path() const { return "\\\\.\\" + com; }  // for CreateFileA
};

class Layout {
public:
    // Reads C:\lab\layout.ini (or path). False with a message when the lab is not up.
    bool Load(std::string* error = nullptr, const std::string& path = "C:\\lab\\layout.ini");

    const std::vector<Port>& ports() const { return ports_; }
    const Port* Find(const std::string& com) const;  // case-insensitive
    const Port* FirstOfKind(Kind k) const;
    std::vector<const Port*> OfKind(Kind k) const;
    std::vector<const Port*> DeviceMapPorts() const;  // ports with a device-map entry

    const std::string& name() const { return name_; }
    const std::string& state_file() const { return state_file_; }  // Windows path of the state file
    const std::string& serlab_unix() const { return serlab_unix_; }  // unix path of serlab.py
    const std::string& python() const { return python_; }          // Windows path of python3
    const std::string& holder() const { return holder_; }          // C:\lab\holder.exe
    const std::string& prefix_unix() const { return prefix_unix_; }  // unix path of the Wine prefix
    // COM numbers reserved with no device ("COM9"), and every number the COM number database reserves.
    const std::vector<std::string>& reserve() const { return reserve_; }
    const std::vector<std::string>& comdb() const { return comdb_; }

private:
    std::vector<Port> ports_;
    std::string name_, state_file_, serlab_unix_, python_, holder_, prefix_unix_;
    std::vector<std::string> reserve_, comdb_;
};

// What a holder itself sees of the port it holds: GetCommState's settings (codes as the DCB
// has them) and the GetCommModemStatus word.
struct HolderView {
    DWORD baud = 0;
    unsigned data_bits = 0, parity = 0, stop = 0;  // ByteSize, Parity, StopBits
    unsigned dtr_control = 0, rts_control = 0;     // fDtrControl, fRtsControl
    DWORD modem = 0;
    bool operator==(const HolderView& o) const {
        return baud == o.baud && data_bits == o.data_bits && parity == o.parity && stop == o.stop &&
               dtr_control == o.dtr_control && rts_control == o.rts_control && modem == o.modem;
    }
    std::string Text() const;
};

// A holder process that holds a port open until this object goes away.
class Holder {
public:
    // Starts holder.exe (exe: the lab's copy, or a copy made with InstallHolder) on com and waits until it
    // holds the port or failed. ok() tells which; open_error() is the error of its CreateFileA.
    Holder(const std::string& com, const LineSettings& settings = {}, const std::string& exe = "C:\\lab\\holder.exe",
           DWORD timeout_ms = 20000);
    ~Holder();
    Holder(const Holder&) = delete;
    Holder& operator=(const Holder&) = delete;

    bool ok() const { return ok_; }
    DWORD pid() const { return pid_; }                // Windows process id
    DWORD open_error() const { return open_error_; }  // 0 when the port was held
    const std::string& message() const { return message_; }

    // Asks the running holder for its own view of the port. False when it did not answer.
    bool ReadView(HolderView& view, DWORD timeout_ms = 10000);

    void Stop();  // asks the holder to close the port and exit, and waits for it
    void Kill();  // terminates the holder process without asking

private:
    HANDLE process_ = nullptr;
    HANDLE stop_event_ = nullptr;
    HANDLE ready_event_ = nullptr;
    HANDLE view_event_ = nullptr;
    HANDLE view_done_ = nullptr;
    std::string ready_file_, view_file_;
    DWORD pid_ = 0;
    DWORD open_error_ = 0;
    bool ok_ = false;
    std::string message_;
};

// Copies the lab's holder.exe to dest (creating missing folders). Any prefix path works.
bool InstallHolder(const std::string& dest, const std::string& from = "C:\\lab\\holder.exe");

// Shared state access (through the state file's Windows path).
bool ReadPortState(const Layout& layout, const std::string& com, lab_port& out);
// Rewires a port in the shared state; for NullModem, peer is rewired to this port as well.
bool SetWiring(const Layout& layout, const std::string& com, Wiring wiring, const std::string& peer = "");
// Lines a far-end device holds (used with Wiring::Device).
bool SetFarLines(const Layout& layout, const std::string& com, bool dtr, bool rts, bool ri = false);

// A port's driver personality (values of enum lab_driver); latency_ms < 0 takes the driver's
// default (ftdi 16, usbser 2, others 0).
enum class Driver : uint16_t {
    Uart = LAB_DRIVER_UART,
    Ftdi = LAB_DRIVER_FTDI,
    UsbSer = LAB_DRIVER_USBSER,
    NoLines = LAB_DRIVER_NOLINES,
};
const char* DriverName(Driver d);
bool SetDriver(const Layout& layout, const std::string& com, Driver driver, int latency_ms = -1, uint32_t stall_ms = 0);
// DTR and RTS as the port's driver sets them when the port is first opened (high: both raised).
bool SetOpenLines(const Layout& layout, const std::string& com, bool high);

// Snapshot of every port's wiring, peer, far lines and driver personality, put back when it goes out of scope.
class ScopedWiring {
public:
    explicit ScopedWiring(const Layout& layout);
    ~ScopedWiring();
    ScopedWiring(const ScopedWiring&) = delete;
    ScopedWiring& operator=(const ScopedWiring&) = delete;

private:
    std::string state_file_;
    bool saved_ = false;
    lab_state state_ = {};
};

// Runs lab/serlab.py with args (for example "remove COM9") as a unix process and waits for it
// (through a result file under C:\lab). Returns its exit status, or -1 when it could not be
// started or did not finish in time.
int RunSerlab(const Layout& layout, const std::string& args, DWORD timeout_ms = 60000);
inline bool RemovePort(const Layout& layout, const std::string& com) { return RunSerlab(layout, "remove " + com) == 0; }
inline bool ReplugPort(const Layout& layout, const std::string& com) { return RunSerlab(layout, "replug " + com) == 0; }

}  // namespace lab
