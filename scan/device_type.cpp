#include "scan/device_type.h"

#include <vector>

#include "port/port_export.h"
#include "scan/progress.h"
#include "scan/scan_driver.h"
#include "support/fixed_text.h"

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

std::optional<std::string> ReadProductVersion(const std::string& path) {
    if (path.empty()) return std::nullopt;
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

}  // namespace kestrune

using namespace kestrune;

KESTRUNE_API int32_t WINAPI SerialPort_Get_Type(PortRecord* record) {
    return PortExport(record, [](PortRecord& r) {
        ReportStep(r, kTypeRoutineName, "Get " + std::string(Text(r.PortName)) + " Parameters");
        if (const auto type = DeviceTypeForName(Text(r.sObjName))) SetText(r.DeviceType, *type);
        return 0;
    });
}

KESTRUNE_API int32_t WINAPI SerialPort_Get_Program(PortRecord* record) {
    return PortExport(record, [](PortRecord& r) {
        ReportStep(r, kProgramRoutineName, "");
        const std::string path(Text(r.ProgramPath));
        const ProgramPathParts parts = SplitProgramPath(path);
        SetText(r.ProgramFolder, parts.folder);
        SetText(r.ProgramName, parts.name);
        if (const auto version = ReadProductVersion(parts.folder + parts.name)) SetText(r.ProgramVersion, *version);
        return 0;
    });
}
