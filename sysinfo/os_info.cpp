#include "sysinfo/os_info.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "record/result_codes.h"
#include "support/boundary.h"
#include "support/fixed_text.h"
#include "support/file_io.h"
#include "support/handles.h"
#include "support/number_text.h"

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

const char* const kVersionKeys[8] = {
    "ProductName", "ProductVersion", "ProductDescription", "FileVersion",
    "InternalName", "CompanyName", "LegalCopyRight", "OriginalFileName",
};

// A module's full file name, however long.
std::string ModuleFileName(HMODULE module) {
    std::vector<char> buffer(MAX_PATH);
    for (;;) {
        DWORD got = GetModuleFileNameA(module, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (got == 0) return {};
        if (got < buffer.size()) return std::string(buffer.data(), got);
        if (buffer.size() >= 32768) return std::string(buffer.data(), got);
        buffer.resize(buffer.size() * 2);
    }
}

// The module that carries this code: the executable, or the class library when the same
// code is built as one.
HMODULE CodeModule() {
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCSTR>(&CodeModule), &module))
        return nullptr;
    return module;
}

int32_t ModuleField(HMODULE module) {
    return static_cast<int32_t>(HandleToField(reinterpret_cast<HANDLE>(module)));
}

std::string HexDigits(uint32_t value) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%X", value);
    return digits;
}


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

int32_t BuildToolCode(int major, int minor) {
    auto bcd = [](int value) {
        int32_t code = 0, shift = 0;
        do {
            code |= (value % 10) << shift;
            value /= 10;
            shift += 4;
        } while (value > 0);
        return code;
    };
    if (major < 0) major = 0;
    if (major > 999) major = 999;
    if (minor < 0) minor = 0;
    if (minor > 99) minor = 99;
    return (bcd(major) << 8) | bcd(minor);
}

std::string BuildToolCodeText(int32_t code) {
    std::string digits = HexDigits(static_cast<uint32_t>(code));
    while (digits.size() < 3) digits.insert(digits.begin(), '0');
    return digits.substr(0, digits.size() - 2) + "." + digits.substr(digits.size() - 2);
}

std::string RevisionCodeText(int32_t revision) {
    return "&H" + HexDigits(static_cast<uint32_t>(revision));
}

ModulePath SplitModulePath(std::string_view fullName) {
    std::string path(fullName);
    for (char& c : path)
        if (c == '\\') c = '/';
    std::size_t cut = path.find_last_of("/:");
    if (cut == std::string::npos) return {std::string(), path};
    return {path.substr(0, cut + 1), path.substr(cut + 1)};
}

std::string InformationLogName(std::string_view executableFullName) {
    std::size_t slash = executableFullName.find_last_of("\\/");
    std::string_view name = slash == std::string_view::npos ? executableFullName : executableFullName.substr(slash + 1);
    std::size_t point = name.find('.');
    if (point != std::string_view::npos) name = name.substr(0, point);
    return std::string(name) + ".IncludesLog";
}

std::string InformationLogBlock(const OsInfoRecord& info) {
    std::string block;
    const std::string ten(10, ' '), fifteen(15, ' '), five(5, ' ');
    auto line = [&](const std::string& indent, const char* label, std::string_view value) {
        block.append(indent).append(label).append(five).append(value).append("\r\n");
    };
    auto empty = [&] { block.append("\r\n"); };
    block.append("DisplayOpSysInfo\r\n");
    block.append(five).append("***   O p e r a t i n g   S y s t e m   I n f o r m a t i o n :   ***\r\n");
    line(ten, "OsString = ", Text(info.OsString));
    line(ten, "OsLong = ", SignedDecimal(info.OsLong));
    line(fifteen, "dwMajorVersion = ", SignedDecimal(info.dwMajorVersion));
    line(fifteen, "dwMinorVersion = ", SignedDecimal(info.dwMinorVersion));
    line(ten, "OsFamilyString = ", Text(info.OsFamilyString));
    line(ten, "OsFamilyLong = ", SignedDecimal(info.OsFamilyLong));
    line(fifteen, "dwPlatformId = ", SignedDecimal(info.dwPlatformId));
    empty();
    line(ten, "dwBuildNumber = ", SignedDecimal(info.dwBuildNumber));
    line(ten, "Build Name = ", Text(info.BuildName));
    line(ten, "Service Pack = ", Text(info.ServicePack));
    line(ten, "Os Is 64 bit = ", SignedDecimal(info.OsIs64Bit));
    empty();
    line(ten, "RT Version = ", Text(info.RtVersionText));
    line(ten, "Revision = ", Text(info.RevisionText));
    line(ten, "Compiled As ", Text(info.CompiledAs));
    empty();
    line(ten, "Program Instance = ", SignedDecimal(info.ProgramInstance));
    line(ten, "Program Path = ", Text(info.ProgramPath));
    line(ten, "Program Name = ", Text(info.ProgramName));
    empty();
    line(ten, "Program PARENT Instance = ", SignedDecimal(info.ParentInstance));
    line(ten, "Program PARENT Path = ", Text(info.ParentPath));
    line(ten, "Program PARENT Name = ", Text(info.ParentName));
    empty();
    static const char* const kProgramLabels[8] = {
        "Product Name = ", "Product Version = ", "Product Description = ", "FileVersion = ",
        "Internal Name = ", "Company Name = ", "Legal CopyRight = ", "Original File Name = ",
    };
    const char(*program)[kInfoTextSize] = &info.ProductName;
    for (int i = 0; i < 8; ++i) line(ten, kProgramLabels[i], Text(program[i]));
    empty();
    static const char* const kParentLabels[8] = {
        "ParentProduct Name = ", "ParentProduct Version = ", "ParentProduct Description = ",
        "ParentFileVersion = ", "ParentInternal Name = ", "ParentCompany Name = ",
        "ParentLegal CopyRight = ", "ParentOriginal File Name = ",
    };
    const char(*parent)[kInfoTextSize] = &info.ParentProductName;
    for (int i = 0; i < 8; ++i) line(ten, kParentLabels[i], Text(parent[i]));
    empty();  // the closing line end of the block
    return block;
}

bool ReadVersionStrings(const char* file, char (*first)[kInfoTextSize]) {
    if (!file || !first) return false;
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(file, &ignored);
    if (size == 0) return false;
    std::vector<char> data(size);
    if (!GetFileVersionInfoA(file, 0, size, data.data())) return true;

    char language[16] = "040904E4";
    void* translation = nullptr;
    UINT translationLen = 0;
    if (VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", &translation, &translationLen) &&
        translation && translationLen >= 4) {
        const WORD* pair = static_cast<const WORD*>(translation);
        std::snprintf(language, sizeof language, "%04X%04X", pair[0], pair[1]);
    }
    for (int i = 0; i < 8; ++i) {
        std::string query = std::string("\\StringFileInfo\\") + language + "\\" + kVersionKeys[i];
        void* value = nullptr;
        UINT valueLen = 0;
        if (VerQueryValueA(data.data(), query.c_str(), &value, &valueLen) && value && valueLen > 0) {
            // valueLen counts characters, terminator included; never read past it.
            StoreText(first[i], kInfoTextSize,
                      std::string_view(static_cast<const char*>(value), BoundedLength(static_cast<const char*>(value), valueLen)));
        } else {
            StoreText(first[i], kInfoTextSize, "");
        }
    }
    return true;
}

DWORD AppendInformationLog(OsInfoRecord& info) noexcept {
    try {
        GatherOpSysInfo(&info);
        std::string block = InformationLogBlock(info);
        std::string logName = InformationLogName(ModuleFileName(nullptr));
        UniqueHandle file(CreateFileA(logName.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return GetLastError();
        if (!WriteAll(file.get(), block)) return GetLastError();
        return ERROR_SUCCESS;
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}

}  // namespace kestrune

using kestrune::OsInfoRecord;

namespace {
// Every information export: 9 for a null record, and the boundary (an exception gives its
// error number, 7 for out of memory; fields not reached keep what they held).
template <typename Body>
int32_t InfoExport(OsInfoRecord* info, Body body) noexcept {
    if (!info) return kestrune::kNullArgumentResult;
    return kestrune::CallAtBoundary([&]() -> int32_t { return body(*info); }, [](int32_t number) { return number; });
}
}  // namespace

KESTRUNE_API int32_t WINAPI GetWindowsOs(OsInfoRecord* info) {
    return InfoExport(info, [](OsInfoRecord& r) {
        r.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
        // A failed query leaves the version fields as they were.
        GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&r));
        // The product type (workstation or server) lies beyond the record's version part: ask
        // for the extended form separately.
        OSVERSIONINFOEXA extended{};
        extended.dwOSVersionInfoSize = sizeof extended;
        const uint8_t productType =
            GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&extended)) ? extended.wProductType : 0;
        kestrune::ApplyWindowsVersion(r, productType);

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
        return 0;
    });
}

KESTRUNE_API int32_t WINAPI GetCompiler(OsInfoRecord* info) {
    return InfoExport(info, [](OsInfoRecord& r) {
        r.RtVersion = kestrune::BuildToolCode(__GNUC__, __GNUC_MINOR__);
        kestrune::SetText(r.RtVersionText, kestrune::BuildToolCodeText(r.RtVersion));
        r.Revision = kestrune::BuildToolCode(__MINGW64_VERSION_MAJOR, __MINGW64_VERSION_MINOR);
        kestrune::SetText(r.RevisionText, kestrune::RevisionCodeText(r.Revision));
        // The same code is built into the executable and into the class library.
        r.CompiledAsCode = kestrune::CodeModule() == GetModuleHandleA(nullptr) ? 1 : 0;
        kestrune::SetText(r.CompiledAs, r.CompiledAsCode == 0 ? "DLL" : "EXE");
        return 0;
    });
}

KESTRUNE_API int32_t WINAPI GetProgram(OsInfoRecord* info) {
    return InfoExport(info, [](OsInfoRecord& r) {
        HMODULE program = kestrune::CodeModule();
        r.ProgramInstance = kestrune::ModuleField(program);
        std::string programFile = kestrune::ModuleFileName(program);
        kestrune::ModulePath programPath = kestrune::SplitModulePath(programFile);
        kestrune::SetText(r.ProgramPath, programPath.folder);
        kestrune::SetText(r.ProgramName, programPath.name);

        HMODULE parent = GetModuleHandleA(nullptr);
        r.ParentInstance = kestrune::ModuleField(parent);
        std::string parentFile = kestrune::ModuleFileName(parent);
        kestrune::ModulePath parentPath = kestrune::SplitModulePath(parentFile);
        kestrune::SetText(r.ParentPath, parentPath.folder);
        kestrune::SetText(r.ParentName, parentPath.name);

        // The files are read by their full names: a bare name would be searched for and could
        // find another file of that name, or none when the module lives elsewhere.
        if (!programFile.empty() && kestrune::ReadVersionStrings(programFile.c_str(), &r.ProductName))
            r.HasVersionInfo = 1;
        if (!parentFile.empty() && kestrune::ReadVersionStrings(parentFile.c_str(), &r.ParentProductName))
            r.HasVersionInfo = 1;
        return 0;
    });
}

KESTRUNE_API int32_t WINAPI GatherOpSysInfo(OsInfoRecord* info) {
    return InfoExport(info, [](OsInfoRecord& r) {
        GetWindowsOs(&r);
        GetCompiler(&r);
        GetProgram(&r);
        return 0;
    });
}

KESTRUNE_API int32_t WINAPI DisplayOpSysInfo(OsInfoRecord* info) {
    return InfoExport(info, [](OsInfoRecord& r) {
        kestrune::AppendInformationLog(r);
        return 0;
    });
}
