#pragma once
// OsInfoRecord: which Windows runs, the build tool that made the program, and where the
// program and the process's executable live with their version strings. Its byte layout
// crosses the exported functions: fields follow each other without padding, 7208 bytes.
#include <windows.h>

#include <cstddef>
#include <cstdint>

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

}  // namespace kestrune
