#include "scan/device_type.h"

#include <vector>

#include "scan/progress.h"
#include "support/fixed_text.h"
#include "support/handles.h"

namespace kestrune {

const char kTypeRoutineName[] = "SerialPort_Get_Type";
const char kProgramRoutineName[] = "SerialPort_Get_Program";

namespace {
struct DeviceTypeRow {
    std::string_view pattern;
    std::string_view type;
};
constexpr DeviceTypeRow kDeviceTypes[] = {
    {"\\Device\\Serial", "RS232"},
    {"\\Device\\ProlificSerial", "USB Adapter"},
    {"\\Device\\EdgeSer", "USB Adapter"},
    {"\\Device\\NiSerP1", "NI Virtual Com"},
    {"\\Device\\NTPNP_PCI0026", "NI Virtual Com"},
    {"\\Device\\NIPALK", "NI Virtual Com"},
};
}  // namespace

std::optional<std::string_view> DeviceTypeForName(std::string_view objectName) {
    const std::string name = UpperAnsi(objectName);
    for (const DeviceTypeRow& row : kDeviceTypes)
        if (name.find(UpperAnsi(row.pattern)) != std::string::npos) return row.type;
    return std::nullopt;
}

ProgramPathParts SplitProgramPath(std::string_view path) {
    const std::size_t cut = path.find_last_of(":/\\");
    if (cut == std::string_view::npos) return {std::string(), std::string(path)};
    return {std::string(path.substr(0, cut + 1)), std::string(path.substr(cut + 1))};
}

std::string ProductVersionText(uint32_t productVersionMS, uint32_t productVersionLS) {
    return std::to_string(productVersionMS >> 16) + "." + std::to_string(productVersionMS & 0xFFFF) + "." +
           std::to_string(productVersionLS & 0xFFFF);
}

namespace {
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// CON, PRN, AUX, NUL, COMn, LPTn, CONIN$, CONOUT$, CLOCK$: the system opens the device
// whatever folder or extension goes with the name.
bool IsReservedDeviceName(std::string_view component) {
    std::size_t end = component.find_first_of(".:");
    std::string_view base = component.substr(0, end);
    while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
    const std::string upper = UpperAnsi(base);
    for (const char* name : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"})
        if (upper == name) return true;
    if (upper.size() > 3 && (upper.compare(0, 3, "COM") == 0 || upper.compare(0, 3, "LPT") == 0)) {
        const std::string_view rest = std::string_view(upper).substr(3);
        // Digits, or the superscript digits the system counts too (code page 1252).
        if (rest == "\xB9" || rest == "\xB2" || rest == "\xB3") return true;
        for (char c : rest)
            if (!IsDigit(c)) return false;
        return true;
    }
    return false;
}
}  // namespace

bool NamesPlainFile(std::string_view path) {
    if (path.empty() || path.size() >= MAX_PATH) return false;
    // Device and object-manager namespaces: \\.\COM2, \\?\..., \??\..., and their slash forms.
    if (path.size() >= 4 && (path[0] == '\\' || path[0] == '/') && (path[1] == '\\' || path[1] == '/' || path[1] == '?') &&
        (path[2] == '.' || path[2] == '?') && (path[3] == '\\' || path[3] == '/'))
        return false;
    if (path.find_first_of("<>|\"*?") != std::string_view::npos) return false;
    // A stream name ("file:stream") or any ':' past a drive letter.
    const std::size_t colon = path.find(':');
    if (colon != std::string_view::npos && (colon != 1 || path.find(':', 2) != std::string_view::npos)) return false;
    for (char c : path)
        if (static_cast<unsigned char>(c) < 0x20) return false;
    // Every component, not just the last: "C:\\NUL\\x" is a device too on some systems.
    std::size_t start = colon == 1 ? 2 : 0;
    while (start <= path.size()) {
        std::size_t end = path.find_first_of("\\/", start);
        if (end == std::string_view::npos) end = path.size();
        if (IsReservedDeviceName(path.substr(start, end - start))) return false;
        start = end + 1;
    }
    const char last = path.back();
    return last != '\\' && last != '/' && last != '.' && last != ' ';
}

bool IsDiskFile(const std::string& path) {
    if (!NamesPlainFile(path)) return false;
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE | FILE_ATTRIBUTE_REPARSE_POINT)))
        return false;
    // Opened for its attributes only, without following a link, and asked what it is.
    UniqueHandle file(CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file || GetFileType(file.get()) != FILE_TYPE_DISK) return false;
    BY_HANDLE_FILE_INFORMATION info = {};
    return GetFileInformationByHandle(file.get(), &info) &&
           !(info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE));
}

std::optional<std::string> ReadProductVersion(const std::string& path) {
    // Only a file on disk: a device name (COM2, \\.\COM2) or a pipe would be opened and could
    // block the scan for good.
    if (!IsDiskFile(path)) return std::nullopt;
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    if (size == 0) return std::nullopt;
    std::vector<unsigned char> data(size, 0);
    if (!GetFileVersionInfoA(path.c_str(), 0, size, data.data())) return std::nullopt;
    void* block = nullptr;
    UINT length = sizeof(VS_FIXEDFILEINFO);
    if (!VerQueryValueA(data.data(), "\\", &block, &length) || !block || length < sizeof(VS_FIXEDFILEINFO))
        return std::nullopt;
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(block);
    return ProductVersionText(fixed->dwProductVersionMS, fixed->dwProductVersionLS);
}

int32_t ReadDeviceType(PortRecord& record) {
    ReportStep(record, kTypeRoutineName, "Get " + std::string(Text(record.PortName)) + " Parameters");
    if (const auto type = DeviceTypeForName(Text(record.sObjName))) SetText(record.DeviceType, *type);
    return 0;
}

int32_t ReadProgramDetails(PortRecord& record) {
    ReportStep(record, kProgramRoutineName, "");
    const std::string path(Text(record.ProgramPath));
    const ProgramPathParts parts = SplitProgramPath(path);
    SetText(record.ProgramFolder, parts.folder);
    SetText(record.ProgramName, parts.name);
    if (const auto version = ReadProductVersion(parts.folder + parts.name)) SetText(record.ProgramVersion, *version);
    return 0;
}

}  // namespace kestrune
