#include "sysinfo/windows_version.h"

#include "support/fixed_text.h"

namespace kestrune {
namespace {

enum class Product { kAny, kWorkstation, kServer };

struct OsRow {
    uint32_t platform;
    int32_t major;  // -1: any
    int32_t minor;  // -1: any
    int32_t code;
    const char* symbol;
    const char* name;
    Product product = Product::kAny;
    uint32_t firstBuild = 0;           // builds from this one
    uint32_t endBuild = UINT32_MAX;    // up to, not including, this one
};

constexpr OsRow kOsRows[] = {
    {VER_PLATFORM_WIN32s, -1, -1, kOsWin31, "%OS_WIN_31", "Windows 3.1"},
    {VER_PLATFORM_WIN32_WINDOWS, 4, 0, kOsWin95, "%OS_WIN_95", "Windows 95"},
    {VER_PLATFORM_WIN32_WINDOWS, 4, 10, kOsWin98, "%OS_WIN_98", "Windows 98"},
    {VER_PLATFORM_WIN32_WINDOWS, 4, 90, kOsWinMe, "%OS_WIN_ME", "Windows ME"},
    {VER_PLATFORM_WIN32_NT, 3, 0, kOsWinNt3, "%OS_WIN_NT_3", "Windows NT 3"},
    {VER_PLATFORM_WIN32_NT, 3, 1, kOsWinNt31, "%OS_WIN_NT_31", "Windows NT 3.1"},
    {VER_PLATFORM_WIN32_NT, 4, 0, kOsWinNt4, "%OS_WIN_NT_4", "Windows NT 4"},
    {VER_PLATFORM_WIN32_NT, 5, 0, kOsWin2000, "%OS_WIN_2000", "Windows 2000"},
    {VER_PLATFORM_WIN32_NT, 5, 1, kOsWinXp, "%OS_WIN_XP", "Windows XP"},
    {VER_PLATFORM_WIN32_NT, 5, 2, kOsWin2003, "%OS_WIN_2003", "Windows 2003 Server"},
    {VER_PLATFORM_WIN32_NT, 6, 0, kOsWinVista, "%OS_WIN_VISTA", "Windows Vista"},
    {VER_PLATFORM_WIN32_NT, 6, 1, kOsWin7, "%OS_WIN_7", "Windows 7"},
    {VER_PLATFORM_WIN32_NT, 6, 2, kOsWin8, "%OS_WIN_8", "Windows 8", Product::kWorkstation},
    {VER_PLATFORM_WIN32_NT, 6, 3, kOsWin81, "%OS_WIN_81", "Windows 8.1", Product::kWorkstation},
    {VER_PLATFORM_WIN32_NT, 10, 0, kOsWin10, "%OS_WIN_10", "Windows 10", Product::kWorkstation, 0, 22000},
    {VER_PLATFORM_WIN32_NT, 10, 0, kOsWin11, "%OS_WIN_11", "Windows 11", Product::kWorkstation, 22000},
    {VER_PLATFORM_WIN32_NT, 6, 2, kOsWinServer2012, "%OS_WIN_2012", "Windows Server 2012", Product::kServer},
    {VER_PLATFORM_WIN32_NT, 6, 3, kOsWinServer2012R2, "%OS_WIN_2012_R2", "Windows Server 2012 R2", Product::kServer},
    {VER_PLATFORM_WIN32_NT, 10, 0, kOsWinServer2016, "%OS_WIN_2016", "Windows Server 2016", Product::kServer, 0,
     17763},
    {VER_PLATFORM_WIN32_NT, 10, 0, kOsWinServer2019, "%OS_WIN_2019", "Windows Server 2019", Product::kServer, 17763,
     20348},
    {VER_PLATFORM_WIN32_NT, 10, 0, kOsWinServer2022, "%OS_WIN_2022", "Windows Server 2022", Product::kServer, 20348,
     26100},
    {VER_PLATFORM_WIN32_NT, 10, 0, kOsWinServer2025, "%OS_WIN_2025", "Windows Server 2025", Product::kServer, 26100},
};

const char* const kFamilyNames[] = {
    "Pre-Windows 95",
    "Windows 95/98/ME",
    "Windows NT, 3 = NT 3/3.1, 4 = NT, 5 = 2000/XP/2003 Server, 6 = Vista and Windows 7",
};

}  // namespace

const char* OsSymbolicName(int32_t osLong) {
    for (const OsRow& row : kOsRows)
        if (row.code == osLong) return row.symbol;
    return "";
}

void ApplyWindowsVersion(OsInfoRecord& info, uint8_t productType) {
    const Product product =
        productType == VER_NT_SERVER || productType == VER_NT_DOMAIN_CONTROLLER ? Product::kServer : Product::kWorkstation;
    for (const OsRow& row : kOsRows) {
        if (row.platform != info.dwPlatformId) continue;
        if (row.major >= 0 && static_cast<uint32_t>(row.major) != info.dwMajorVersion) continue;
        if (row.minor >= 0 && static_cast<uint32_t>(row.minor) != info.dwMinorVersion) continue;
        if (row.product != Product::kAny && row.product != product) continue;
        if (info.dwBuildNumber < row.firstBuild || info.dwBuildNumber >= row.endBuild) continue;
        info.OsLong = row.code;
        SetText(info.OsString, row.name);
        break;
    }
    if (info.dwPlatformId <= VER_PLATFORM_WIN32_NT) {
        info.OsFamilyLong = static_cast<int32_t>(info.dwPlatformId);
        SetText(info.OsFamilyString, kFamilyNames[info.dwPlatformId]);
    }
    info.BuildNumber = info.dwBuildNumber;
    switch (info.dwBuildNumber) {
        case 1111: SetText(info.BuildName, "OSR2"); break;
        case 950: case 1998: case 1381: case 2195: case 3790: case 2600: SetText(info.BuildName, ""); break;
        default: break;
    }
    SetText(info.ServicePack, Text(info.szCSDVersion));
}

void ReadWindowsVersion(OsInfoRecord& r) {
    r.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    // A failed query leaves the version fields as they were.
    GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&r));
    // The product type (workstation or server) lies beyond the record's version part: ask
    // for the extended form separately.
    OSVERSIONINFOEXA extended{};
    extended.dwOSVersionInfoSize = sizeof extended;
    const uint8_t productType =
        GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&extended)) ? extended.wProductType : 0;
    ApplyWindowsVersion(r, productType);

    using NativeInfoFn = void(WINAPI*)(LPSYSTEM_INFO);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (kernel && GetProcAddress(kernel, "GetNativeSystemInfo")) {
        auto native = reinterpret_cast<NativeInfoFn>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32"), "GetNativeSystemInfo")));
        if (native) {
            SYSTEM_INFO system{};
            native(&system);
            r.OsIs64Bit = static_cast<int32_t>(system.dwProcessorType);
        }
    }
}

}  // namespace kestrune
