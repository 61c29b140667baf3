#pragma once
// Which Windows runs: the version codes and names the record shows, the rule that picks
// them from the system's version numbers, and the query that fills the record's version
// fields.
#include <windows.h>

#include <cstdint>

#include "sysinfo/os_record.h"

namespace kestrune {

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

// Sets OsLong/OsString, OsFamilyLong/OsFamilyString, BuildNumber/BuildName and ServicePack
// from the version part already in the record and the system's product type
// (VER_NT_WORKSTATION 1, VER_NT_DOMAIN_CONTROLLER 2, VER_NT_SERVER 3; 0 when unknown, taken as
// a workstation); combinations outside the tables leave their fields as they were. Up to
// Windows 7 the product type plays no part.
void ApplyWindowsVersion(OsInfoRecord& info, uint8_t productType = VER_NT_WORKSTATION);

// Fills the version part from the system (a failed query leaves it as it was), applies
// ApplyWindowsVersion with the system's product type, and sets OsIs64Bit to the native
// processor type when the system can tell it.
void ReadWindowsVersion(OsInfoRecord& info);

}  // namespace kestrune
