#pragma once
// What a serial port is: the device behind a COM name as the system's device tree knows it
// (friendly name, maker, USB vendor and product id, serial number, where it is plugged in,
// which driver runs it, whether it is there now), and why each COM number is reserved.
//
// Identity travels beside the PortRecords of a scan, matched by COM name; the records'
// layout does not change. Its texts are UTF-8, read whole from the system's UTF-16 (a
// Chinese or Russian device name on any machine); where they enter an ANSI text (the window,
// the report) they are converted there. The deciding functions here take plain values; the
// readers in scan/identity_reader.h fill these types from the system.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrune {

// One device of the ports class (or with a COM-port interface) that names a COM port.
struct PortIdentity {
    std::string portName;        // "COM5", from the device's parameters key
    std::string friendlyName;    // "USB Serial Device (COM5)"
    std::string description;     // "USB Serial Device"
    std::string manufacturer;    // "Prolific"
    std::string hardwareId;      // the first hardware id, "USB\VID_067B&PID_2303&REV_0300"
    std::string vidPid;          // "067B:2303"; empty for a device with no USB identity
    std::string interfaceNumber; // "00" for interface MI_00 of a composite device; else empty
    std::string serialNumber;    // the USB serial number, when the instance id carries one
    std::string instanceId;      // "USB\VID_067B&PID_2303\A1B2C3"
    std::string location;        // "Port_#0001.Hub_#0002"
    std::string service;         // the driver service, "usbser"
    bool present = false;        // false: only remembered (a phantom)
};

// Why a COM number is reserved in the system's COM number database.
enum class ReservationReason {
    kPresentDevice,  // a device that is there now names this port
    kPhantomDevice,  // a device that is only remembered names it
    kListedPort,     // no device names it, but the system lists the port (device map or port list)
    kStale,          // nothing Kestrune can find holds it
};

struct ComReservation {
    int number = 0;       // 5 for COM5
    ReservationReason reason = ReservationReason::kStale;
    std::string device;   // the device's friendly name (or description), for the two device reasons
    std::string vidPid;   // its VID:PID when it has one
};

// Everything known about the machine's serial hardware at one moment.
struct HardwareSnapshot {
    std::vector<PortIdentity> devices;
    std::vector<ComReservation> reservations;
    bool comDbRead = false;  // the COM number database could be read
};

// ---- Decisions, from plain values ---------------------------------------------------

// "067B:2303" from the first hardware id that names "VID_xxxx" and "PID_xxxx" (four hex
// digits each, any case, separated by '&', '+' or '\'); empty when none does.
std::string VidPidFromHardwareIds(const std::vector<std::string>& hardwareIds);
// "00" from "...&MI_00..." in the first id that has it; empty when none does.
std::string InterfaceFromHardwareIds(const std::vector<std::string>& hardwareIds);
// The USB serial number an instance id carries: the last part of a USB\VID_..&PID_..\SERIAL id
// when it holds no '&' (the system makes up ids with '&' for devices without one), or the
// serial between the "+" parts of an FTDIBUS id (its trailing port letter dropped). Empty
// otherwise (composite interfaces, on-board ports).
std::string SerialFromInstanceId(std::string_view instanceId);
// The text a device registry string shows: an indirect string "@oem3.inf,%desc%;Prolific
// USB-to-Serial Comm Port" shows the part after its last ';'; other text as it is.
std::string DisplayTextOfRegistryString(std::string_view value);
// The COM numbers the system's COM number database arbitrates: COM1 to COM4096.
constexpr int kMaxComNumber = 4096;
// "COM5" when text names exactly a COM port (any case, 1..kMaxComNumber, trailing ':' allowed), upper-cased; else empty.
std::string NormalComName(std::string_view text);
// 5 for "COM5"; 0 when text is not a COM name.
int ComNumber(std::string_view text);

// What the device tree says about a device's presence.
enum class Presence { kPresent, kAbsent, kUnknown };
// The device node status query: CR_NO_SUCH_DEVINST (or no such node) means absent; success
// with some status flags means present; success with no flags at all (a system that keeps
// no device nodes) or any other failure tells nothing.
Presence PresenceFromDevNode(uint32_t configResult, uint32_t statusFlags);
// A device is present when the system's list of present devices has it and the device node
// says so; where the device node tells nothing, when its port is in the device map (the map
// holds the ports whose drivers run now). Not in the present list means absent.
bool DecidePresent(bool inPresentList, Presence devNode, bool portInDeviceMap);

// The COM numbers whose bits are set in the COM number database bitmap (bit 0 of byte 0 is
// COM1), ascending.
std::vector<int> ReservedComNumbers(const std::vector<uint8_t>& bitmap);

// Why each reserved number is reserved. A present device wins over a phantom naming the
// same port; listedPorts are the COM names the device map and port list know.
std::vector<ComReservation> DecideReservations(const std::vector<int>& reservedNumbers,
                                               const std::vector<PortIdentity>& devices,
                                               const std::vector<std::string>& listedPorts);
// "present device", "phantom device", "listed port without a device entry", "stale".
const char* ReservationReasonText(ReservationReason reason);
// One line of text for a reservation: "COM7  phantom device  USB Serial Port (COM7) [0403:6001]".
std::string ReservationText(const ComReservation& reservation);

// The device that names portName (compared as COM names, any case): a present one before a
// phantom, else the first. Null when none does.
const PortIdentity* FindIdentity(const std::vector<PortIdentity>& devices, std::string_view portName);
// Is the number reserved at all.
const ComReservation* FindReservation(const std::vector<ComReservation>& reservations, int number);

// The serial-number cell: the serial number, or the instance id when there is none.
std::string SerialOrInstanceId(const PortIdentity& identity);
// "present" or "phantom".
const char* PresenceText(const PortIdentity& identity);

}  // namespace kestrune
