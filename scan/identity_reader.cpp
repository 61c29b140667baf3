#include "scan/identity_reader.h"

#include <windows.h>
#include <cfgmgr32.h>
#include <setupapi.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <utility>

#include "support/fixed_text.h"
#include "support/handles.h"
#include "support/utf8_text.h"

namespace kestrune {

namespace {

// The ports (COM and LPT) device class and the COM-port device interface.
const GUID kPortsClass = {0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
const GUID kComPortInterface = {0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};
constexpr char kPortsClassText[] = "{4D36E978-E325-11CE-BFC1-08002BE10318}";
constexpr char kComPortInterfaceText[] = "{86E0D1E0-8089-11D0-9CE4-08003E301F73}";

constexpr char kEnumKey[] = "SYSTEM\\CurrentControlSet\\Enum";
constexpr char kDeviceClassesKey[] = "SYSTEM\\CurrentControlSet\\Control\\DeviceClasses";
constexpr char kComNameArbiterKey[] = "SYSTEM\\CurrentControlSet\\Control\\COM Name Arbiter";
constexpr char kDeviceMapKey[] = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
constexpr char kPortListKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports";

class DeviceInfoList {
public:
    explicit DeviceInfoList(HDEVINFO set) : set_(set) {}
    ~DeviceInfoList() {
        if (ok()) SetupDiDestroyDeviceInfoList(set_);
    }
    DeviceInfoList(const DeviceInfoList&) = delete;
    DeviceInfoList& operator=(const DeviceInfoList&) = delete;
    bool ok() const { return set_ != INVALID_HANDLE_VALUE && set_ != nullptr; }
    HDEVINFO get() const { return set_; }

private:
    HDEVINFO set_;
};

// A multi-string's strings (REG_MULTI_SZ), or a plain string as one, as UTF-8. The system
// keeps these texts in UTF-16: read so, a name in any script stays whole.
std::vector<std::string> SplitMultiString(const std::vector<BYTE>& bytes, DWORD type) {
    std::vector<std::string> out;
    if (type != REG_MULTI_SZ && type != REG_SZ && type != REG_EXPAND_SZ) return out;
    std::wstring data(bytes.size() / sizeof(wchar_t), L'\0');
    if (!data.empty()) std::memcpy(data.data(), bytes.data(), data.size() * sizeof(wchar_t));
    std::size_t start = 0;
    while (start < data.size()) {
        std::size_t end = start;
        while (end < data.size() && data[end] != L'\0') ++end;
        if (end == start) break;  // an empty string ends the list; an empty REG_SZ holds no text
        out.push_back(WideToUtf8(std::wstring_view(data).substr(start, end - start)));
        if (type != REG_MULTI_SZ) break;
        start = end + 1;
    }
    return out;
}

std::vector<BYTE> DeviceProperty(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property, DWORD& type) {
    std::vector<BYTE> buffer(1024);
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD needed = 0;
        type = 0;
        if (SetupDiGetDeviceRegistryPropertyW(set, &device, property, &type, buffer.data(),
                                              static_cast<DWORD>(buffer.size()), &needed)) {
            buffer.resize(std::min<std::size_t>(needed, buffer.size()));
            return buffer;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed <= buffer.size()) break;
        buffer.resize(needed);
    }
    return {};
}

std::string DeviceText(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
    DWORD type = 0;
    std::vector<std::string> strings = SplitMultiString(DeviceProperty(set, device, property, type), type);
    return strings.empty() ? std::string() : strings.front();
}

std::string InstanceId(HDEVINFO set, SP_DEVINFO_DATA& device) {
    wchar_t id[MAX_DEVICE_ID_LEN + 1] = {};
    if (!SetupDiGetDeviceInstanceIdW(set, &device, id, MAX_DEVICE_ID_LEN + 1, nullptr)) return {};
    return WideToUtf8(id);
}

// A string value of an open key, as text; empty when missing or of another type.
std::vector<std::string> KeyStrings(HKEY key, const wchar_t* name) {
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || size > 65536) return {};
    std::vector<BYTE> data(size);
    if (RegQueryValueExW(key, name, nullptr, &type, data.data(), &size) != ERROR_SUCCESS) return {};
    data.resize(size);
    return SplitMultiString(data, type);
}

std::string KeyText(HKEY key, const wchar_t* name) {
    std::vector<std::string> strings = KeyStrings(key, name);
    return strings.empty() ? std::string() : strings.front();
}

std::string PortNameOfKey(HKEY deviceParameters) { return NormalComName(KeyText(deviceParameters, L"PortName")); }

// Sub-key names as UTF-8; OpenSubKey takes them back.
std::vector<std::string> SubKeyNames(HKEY key) {
    std::vector<std::string> names;
    for (DWORD index = 0;; ++index) {
        wchar_t name[MAX_DEVICE_ID_LEN + 1];
        DWORD length = MAX_DEVICE_ID_LEN + 1;
        if (RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.push_back(WideToUtf8(std::wstring_view(name, length)));
    }
    return names;
}

bool OpenSubKey(HKEY parent, std::string_view path, UniqueRegKey& key) {
    return RegOpenKeyExW(parent, Utf8ToWide(path).c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

bool IsIn(const std::vector<std::string>& names, std::string_view name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

// Fills identity from an open Enum instance key; the port name from its parameters key.
void FillFromEnumKey(HKEY instance, PortIdentity& identity) {
    auto fill = [](std::string& field, std::string value) {
        if (field.empty()) field = DisplayTextOfRegistryString(value);
    };
    fill(identity.friendlyName, KeyText(instance, L"FriendlyName"));
    fill(identity.description, KeyText(instance, L"DeviceDesc"));
    fill(identity.manufacturer, KeyText(instance, L"Mfg"));
    fill(identity.location, KeyText(instance, L"LocationInformation"));
    fill(identity.service, KeyText(instance, L"Service"));
    const std::vector<std::string> hardwareIds = KeyStrings(instance, L"HardwareID");
    if (identity.hardwareId.empty() && !hardwareIds.empty()) identity.hardwareId = hardwareIds.front();
    if (identity.vidPid.empty()) identity.vidPid = VidPidFromHardwareIds(hardwareIds);
    if (identity.interfaceNumber.empty()) identity.interfaceNumber = InterfaceFromHardwareIds(hardwareIds);
    if (identity.portName.empty()) {
        UniqueRegKey parameters;
        if (OpenSubKey(instance, "Device Parameters", parameters))
            identity.portName = PortNameOfKey(parameters.get());
    }
}

// Instance ids of the devices that registered a COM-port interface.
std::set<std::string> ComPortInterfaceInstances() {
    std::set<std::string> ids;
    UniqueRegKey classes;
    const std::string path = std::string(kDeviceClassesKey) + "\\" + kComPortInterfaceText;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, classes.put()) != ERROR_SUCCESS) return ids;
    for (const std::string& name : SubKeyNames(classes.get())) {
        UniqueRegKey entry;
        if (!OpenSubKey(classes.get(), name, entry)) continue;
        const std::string id = KeyText(entry.get(), L"DeviceInstance");
        if (!id.empty()) ids.insert(UpperAnsi(id));
    }
    return ids;
}

std::vector<std::string> ComNamesOfValues(const char* keyPath, bool fromNames) {
    std::vector<std::string> names;
    UniqueRegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return names;
    for (DWORD index = 0;; ++index) {
        char name[260];
        BYTE data[260] = {};
        DWORD nameLength = sizeof name, dataLength = sizeof data - 1, type = 0;
        const LONG status = RegEnumValueA(key.get(), index, name, &nameLength, nullptr, &type, data, &dataLength);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS) continue;
        const char* text = reinterpret_cast<const char*>(data);
        const std::string com = fromNames ? NormalComName(std::string_view(name, nameLength))
                                          : NormalComName(std::string_view(text, BoundedLength(text, dataLength)));
        if (!com.empty() && !IsIn(names, com)) names.push_back(com);
    }
    return names;
}

void ReadDeviceSet(HDEVINFO set, std::vector<PortIdentity>& out, std::set<std::string>& seen,
                   const std::set<std::string>& presentIds, const std::vector<std::string>& deviceMap) {
    for (DWORD index = 0;; ++index) {
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof device;
        if (!SetupDiEnumDeviceInfo(set, index, &device)) break;
        PortIdentity identity;
        identity.instanceId = InstanceId(set, device);
        if (identity.instanceId.empty() || !seen.insert(UpperAnsi(identity.instanceId)).second) continue;
        HKEY parameters = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (parameters != INVALID_HANDLE_VALUE) {
            UniqueRegKey owner(parameters);
            identity.portName = PortNameOfKey(parameters);
        }
        if (identity.portName.empty()) continue;  // an LPT port, or a device that names no COM port
        identity.friendlyName = DeviceText(set, device, SPDRP_FRIENDLYNAME);
        identity.description = DeviceText(set, device, SPDRP_DEVICEDESC);
        identity.manufacturer = DeviceText(set, device, SPDRP_MFG);
        identity.location = DeviceText(set, device, SPDRP_LOCATION_INFORMATION);
        identity.service = DeviceText(set, device, SPDRP_SERVICE);
        DWORD type = 0;
        const std::vector<std::string> hardwareIds =
            SplitMultiString(DeviceProperty(set, device, SPDRP_HARDWAREID, type), type);
        if (!hardwareIds.empty()) identity.hardwareId = hardwareIds.front();
        identity.vidPid = VidPidFromHardwareIds(hardwareIds);
        identity.interfaceNumber = InterfaceFromHardwareIds(hardwareIds);
        identity.serialNumber = SerialFromInstanceId(identity.instanceId);
        ULONG status = 0, problem = 0;
        const CONFIGRET node = CM_Get_DevNode_Status(&status, &problem, device.DevInst, 0);
        identity.present = DecidePresent(presentIds.count(UpperAnsi(identity.instanceId)) != 0,
                                         PresenceFromDevNode(node, status), IsIn(deviceMap, identity.portName));
        out.push_back(std::move(identity));
    }
}

std::set<std::string> InstanceIdsOf(HDEVINFO set) {
    std::set<std::string> ids;
    for (DWORD index = 0;; ++index) {
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof device;
        if (!SetupDiEnumDeviceInfo(set, index, &device)) break;
        ids.insert(UpperAnsi(InstanceId(set, device)));
    }
    return ids;
}

}  // namespace

std::vector<std::string> DeviceMapPorts() { return ComNamesOfValues(kDeviceMapKey, false); }

std::vector<std::string> PortListPorts() { return ComNamesOfValues(kPortListKey, true); }

std::vector<PortIdentity> ReadIdentitiesThroughSetupApi() {
    std::vector<PortIdentity> out;
    const std::vector<std::string> deviceMap = DeviceMapPorts();
    // Each source: what it lists at all, and what it lists as present.
    const std::pair<const GUID*, DWORD> sources[] = {{&kPortsClass, 0}, {&kComPortInterface, DIGCF_DEVICEINTERFACE}};
    std::set<std::string> presentIds, seen;
    for (const auto& source : sources) {
        DeviceInfoList present(SetupDiGetClassDevsW(source.first, nullptr, nullptr, source.second | DIGCF_PRESENT));
        if (present.ok()) presentIds.merge(InstanceIdsOf(present.get()));
    }
    for (const auto& source : sources) {
        DeviceInfoList all(SetupDiGetClassDevsW(source.first, nullptr, nullptr, source.second));
        if (all.ok()) ReadDeviceSet(all.get(), out, seen, presentIds, deviceMap);
    }
    return out;
}

bool ReadIdentityFromRegistry(std::string_view instanceId, PortIdentity& identity) {
    UniqueRegKey instance;
    const std::string path = std::string(kEnumKey) + "\\" + std::string(instanceId);
    if (!OpenSubKey(HKEY_LOCAL_MACHINE, path, instance)) return false;
    if (identity.instanceId.empty()) identity.instanceId = std::string(instanceId);
    FillFromEnumKey(instance.get(), identity);
    if (identity.serialNumber.empty()) identity.serialNumber = SerialFromInstanceId(identity.instanceId);
    return true;
}

std::vector<PortIdentity> ReadIdentitiesFromRegistry() {
    std::vector<PortIdentity> out;
    const std::vector<std::string> deviceMap = DeviceMapPorts();
    const std::set<std::string> interfaceIds = ComPortInterfaceInstances();
    UniqueRegKey root;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kEnumKey, 0, KEY_READ, root.put()) != ERROR_SUCCESS) return out;
    for (const std::string& bus : SubKeyNames(root.get())) {
        UniqueRegKey busKey;
        if (!OpenSubKey(root.get(), bus, busKey)) continue;
        for (const std::string& deviceId : SubKeyNames(busKey.get())) {
            UniqueRegKey deviceKey;
            if (!OpenSubKey(busKey.get(), deviceId, deviceKey)) continue;
            for (const std::string& instanceName : SubKeyNames(deviceKey.get())) {
                UniqueRegKey instance;
                if (!OpenSubKey(deviceKey.get(), instanceName, instance)) continue;
                PortIdentity identity;
                identity.instanceId = bus + "\\" + deviceId + "\\" + instanceName;
                const bool portsClass = UpperAnsi(KeyText(instance.get(), L"ClassGUID")) == kPortsClassText;
                if (!portsClass && !interfaceIds.count(UpperAnsi(identity.instanceId))) continue;
                FillFromEnumKey(instance.get(), identity);
                if (identity.portName.empty()) continue;
                identity.serialNumber = SerialFromInstanceId(identity.instanceId);
                identity.present = IsIn(deviceMap, identity.portName);
                out.push_back(std::move(identity));
            }
        }
    }
    return out;
}

bool ReadComDb(std::vector<uint8_t>& bitmap) {
    bitmap.clear();
    UniqueRegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kComNameArbiterKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return false;
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(key.get(), "ComDB", nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_BINARY ||
        size > 4096)
        return false;
    bitmap.resize(size);
    if (RegQueryValueExA(key.get(), "ComDB", nullptr, &type, bitmap.data(), &size) != ERROR_SUCCESS) {
        bitmap.clear();
        return false;
    }
    bitmap.resize(size);
    return true;
}

HardwareSnapshot ReadHardwareSnapshot() {
    HardwareSnapshot snapshot;
    snapshot.devices = ReadIdentitiesThroughSetupApi();
    if (snapshot.devices.empty()) {
        snapshot.devices = ReadIdentitiesFromRegistry();
    } else {
        for (PortIdentity& device : snapshot.devices) ReadIdentityFromRegistry(device.instanceId, device);
    }
    std::vector<uint8_t> bitmap;
    snapshot.comDbRead = ReadComDb(bitmap);
    std::vector<std::string> listed = DeviceMapPorts();
    for (std::string& port : PortListPorts())
        if (!IsIn(listed, port)) listed.push_back(std::move(port));
    snapshot.reservations = DecideReservations(ReservedComNumbers(bitmap), snapshot.devices, listed);
    return snapshot;
}

PortIdentity ReadPortIdentity(std::string_view portName) {
    const HardwareSnapshot snapshot = ReadHardwareSnapshot();
    const PortIdentity* identity = FindIdentity(snapshot.devices, portName);
    return identity ? *identity : PortIdentity{};
}

}  // namespace kestrune
