#pragma once
// The information log: the record gathered and appended as a text block to a file beside
// the current folder's other logs, named after the executable.
#include <windows.h>

#include <string>
#include <string_view>

#include "sysinfo/os_record.h"

namespace kestrune {

// The information log's file name for an executable's full file name: the part after the
// last "\" (or "/"), cut at its first ".", and ".IncludesLog" ("C:\x\app.test.exe" ->
// "app.IncludesLog"). A name without a point keeps its whole name.
std::string InformationLogName(std::string_view executableFullName);

// The block that DisplayOpSysInfo appends, CR LF line ends, the closing empty line included.
std::string InformationLogBlock(const OsInfoRecord& info);

// Gathers the record and appends the block to the information log in the current folder.
// Returns ERROR_SUCCESS or the Win32 error of the failed open or write; the record is
// filled in any case.
DWORD AppendInformationLog(OsInfoRecord& info) noexcept;

}  // namespace kestrune
