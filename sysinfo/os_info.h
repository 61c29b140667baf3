#pragma once
// OsInfoRecord: which Windows runs, the build tool that made the program, and where the
// program and the process's executable live with their version strings. Its byte layout
// crosses the exported functions: fields follow each other without padding, 7208 bytes.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "support/export.h"

namespace kestrune {

constexpr std::size_t kInfoTextSize = 260;

#pragma pack(push, 4)
struct OsInfoRecord {
    // The version part, laid out as OSVERSIONINFOA (148 bytes).
    uint32_t dwOSVersionInfoSize;
    uint32_t dwMajorVersion;
    uint32_t dwMinorVersion;
    uint32_t dwBuildNumber;
    uint32_t dwPlatformId;
    char szCSDVersion[128];

    int32_t OsLong;
    char OsString[kInfoTextSize];
    int32_t OsFamilyLong;
    char OsFamilyString[kInfoTextSize];
    uint32_t BuildNumber;
    char BuildName[kInfoTextSize];
    char ServicePack[kInfoTextSize];
    int32_t OsIs64Bit;

    int32_t RtVersion;
    char RtVersionText[kInfoTextSize];
    int32_t Revision;
    char RevisionText[kInfoTextSize];
    int32_t CompiledAsCode;
    char CompiledAs[kInfoTextSize];

    int32_t ProgramInstance;
    char ProgramPath[kInfoTextSize];
    char ProgramName[kInfoTextSize];
    int32_t ParentInstance;
    char ParentPath[kInfoTextSize];
    char ParentName[kInfoTextSize];
    int32_t HasVersionInfo;

    char ProductName[kInfoTextSize];
    char ProductVersion[kInfoTextSize];
    char ProductDescription[kInfoTextSize];
    char FileVersion[kInfoTextSize];
    char InternalName[kInfoTextSize];
    char CompanyName[kInfoTextSize];
    char LegalCopyRight[kInfoTextSize];
    char OriginalFileName[kInfoTextSize];

    char ParentProductName[kInfoTextSize];
    char ParentProductVersion[kInfoTextSize];
    char ParentProductDescription[kInfoTextSize];
    char ParentFileVersion[kInfoTextSize];
    char ParentInternalName[kInfoTextSize];
    char ParentCompanyName[kInfoTextSize];
    char ParentLegalCopyRight[kInfoTextSize];
    char ParentOriginalFileName[kInfoTextSize];
};
#pragma pack(pop)

static_assert(sizeof(OSVERSIONINFOA) == 148);
static_assert(sizeof(OsInfoRecord) == 7208);
static_assert(offsetof(OsInfoRecord, dwOSVersionInfoSize) == 0);
static_assert(offsetof(OsInfoRecord, dwMajorVersion) == 4);
static_assert(offsetof(OsInfoRecord, dwMinorVersion) == 8);
static_assert(offsetof(OsInfoRecord, dwBuildNumber) == 12);
static_assert(offsetof(OsInfoRecord, dwPlatformId) == 16);
static_assert(offsetof(OsInfoRecord, szCSDVersion) == 20);
static_assert(offsetof(OsInfoRecord, OsLong) == 148);
static_assert(offsetof(OsInfoRecord, OsString) == 152);
static_assert(offsetof(OsInfoRecord, OsFamilyLong) == 412);
static_assert(offsetof(OsInfoRecord, OsFamilyString) == 416);
static_assert(offsetof(OsInfoRecord, BuildNumber) == 676);
static_assert(offsetof(OsInfoRecord, BuildName) == 680);
static_assert(offsetof(OsInfoRecord, ServicePack) == 940);
static_assert(offsetof(OsInfoRecord, OsIs64Bit) == 1200);
static_assert(offsetof(OsInfoRecord, RtVersion) == 1204);
static_assert(offsetof(OsInfoRecord, RtVersionText) == 1208);
static_assert(offsetof(OsInfoRecord, Revision) == 1468);
static_assert(offsetof(OsInfoRecord, RevisionText) == 1472);
static_assert(offsetof(OsInfoRecord, CompiledAsCode) == 1732);
static_assert(offsetof(OsInfoRecord, CompiledAs) == 1736);
static_assert(offsetof(OsInfoRecord, ProgramInstance) == 1996);
static_assert(offsetof(OsInfoRecord, ProgramPath) == 2000);
static_assert(offsetof(OsInfoRecord, ProgramName) == 2260);
static_assert(offsetof(OsInfoRecord, ParentInstance) == 2520);
static_assert(offsetof(OsInfoRecord, ParentPath) == 2524);
static_assert(offsetof(OsInfoRecord, ParentName) == 2784);
static_assert(offsetof(OsInfoRecord, HasVersionInfo) == 3044);
static_assert(offsetof(OsInfoRecord, ProductName) == 3048);
static_assert(offsetof(OsInfoRecord, ProductVersion) == 3308);
static_assert(offsetof(OsInfoRecord, ProductDescription) == 3568);
static_assert(offsetof(OsInfoRecord, FileVersion) == 3828);
static_assert(offsetof(OsInfoRecord, InternalName) == 4088);
static_assert(offsetof(OsInfoRecord, CompanyName) == 4348);
static_assert(offsetof(OsInfoRecord, LegalCopyRight) == 4608);
static_assert(offsetof(OsInfoRecord, OriginalFileName) == 4868);
static_assert(offsetof(OsInfoRecord, ParentProductName) == 5128);
static_assert(offsetof(OsInfoRecord, ParentProductVersion) == 5388);
static_assert(offsetof(OsInfoRecord, ParentProductDescription) == 5648);
static_assert(offsetof(OsInfoRecord, ParentFileVersion) == 5908);
static_assert(offsetof(OsInfoRecord, ParentInternalName) == 6168);
static_assert(offsetof(OsInfoRecord, ParentCompanyName) == 6428);
static_assert(offsetof(OsInfoRecord, ParentLegalCopyRight) == 6688);
static_assert(offsetof(OsInfoRecord, ParentOriginalFileName) == 6948);

// Windows version codes (OsLong) with the names they are shown by.
enum OsCode : int32_t {
    kOsUnknown = 0, kOsWin31, kOsWin95, kOsWin98, kOsWinMe, kOsWinNt3, kOsWinNt31, kOsWinNt4,
    kOsWin2000, kOsWinXp, kOsWin2003, kOsWinVista, kOsWin7,
    // Today's Windows, told apart by product type (workstation or server) and build number.
    kOsWin8, kOsWin81, kOsWin10, kOsWin11, kOsWinServer2012, kOsWinServer2012R2, kOsWinServer2016,
    kOsWinServer2019, kOsWinServer2022, kOsWinServer2025
};
// "%OS_WIN_XP" for kOsWinXp; empty for a code outside the table.
const char* OsSymbolicName(int32_t osLong);

// ---- Decisions, from plain values ---------------------------------------------------

// Sets OsLong/OsString, OsFamilyLong/OsFamilyString, BuildNumber/BuildName and ServicePack
// from the version part already in the record and the system's product type
// (VER_NT_WORKSTATION 1, VER_NT_DOMAIN_CONTROLLER 2, VER_NT_SERVER 3; 0 when unknown, taken as
// a workstation); combinations outside the tables leave their fields as they were. Up to
// Windows 7 the product type plays no part.
void ApplyWindowsVersion(OsInfoRecord& info, uint8_t productType = VER_NT_WORKSTATION);

// Build-tool version, hexadecimal-coded per decimal digit: 9.4 -> 0x904, 12.2 -> 0x1202.
int32_t BuildToolCode(int major, int minor);
// The code as text: its hexadecimal digits but the last two, a point, the last two
// (0x904 -> "9.04", 0x1202 -> "12.02").
std::string BuildToolCodeText(int32_t code);
// "&H" and the upper-case hexadecimal digits of the revision (0x1000 -> "&H1000").
std::string RevisionCodeText(int32_t revision);

// A module's full file name split the way the record shows it: every "\" becomes "/", the
// folder runs up to and including the last "/" or ":", the name is the rest.
struct ModulePath {
    std::string folder;
    std::string name;
};
ModulePath SplitModulePath(std::string_view fullName);

// The information log's file name for an executable's full file name: the part after the
// last "\" (or "/"), cut at its first ".", and ".IncludesLog" ("C:\x\app.test.exe" ->
// "app.IncludesLog"). A name without a point keeps its whole name.
std::string InformationLogName(std::string_view executableFullName);

// The block that DisplayOpSysInfo appends, CR LF line ends, the closing empty line included.
std::string InformationLogBlock(const OsInfoRecord& info);

// ---- Around the system --------------------------------------------------------------

// Reads the eight version strings of a file (full path, or a name the system searches)
// into the eight consecutive 260-byte fields starting at first. True when the file has a
// version resource at all.
bool ReadVersionStrings(const char* file, char (*first)[kInfoTextSize]);

// Gathers the record and appends the block to the information log in the current folder.
// Returns ERROR_SUCCESS or the Win32 error of the failed open or write; the record is
// filled in any case.
DWORD AppendInformationLog(OsInfoRecord& info) noexcept;

}  // namespace kestrune

// Exported. Each takes the record by reference (a pointer), fills its group of fields and
// returns 0; a null pointer returns 9 and touches nothing.
KESTRUNE_API int32_t WINAPI GetWindowsOs(kestrune::OsInfoRecord* info);
KESTRUNE_API int32_t WINAPI GetCompiler(kestrune::OsInfoRecord* info);
KESTRUNE_API int32_t WINAPI GetProgram(kestrune::OsInfoRecord* info);
KESTRUNE_API int32_t WINAPI GatherOpSysInfo(kestrune::OsInfoRecord* info);
// Gathers the record and appends one block to "<exe name up to its first '.'>.IncludesLog"
// in the current folder. Returns 0 (9 for a null pointer).
KESTRUNE_API int32_t WINAPI DisplayOpSysInfo(kestrune::OsInfoRecord* info);
