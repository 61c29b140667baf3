#pragma once
// The system information, exported: the record's groups filled on request, and the
// information log.
#include <windows.h>

#include <cstdint>

#include "support/export.h"
#include "sysinfo/os_record.h"

// Each takes the record by reference (a pointer), fills its group of fields and returns 0; a
// null pointer returns 9 and touches nothing. An exception ends the group with its error
// number (7 for out of memory); fields not reached keep what they held.
KESTRUNE_API int32_t WINAPI GetWindowsOs(kestrune::OsInfoRecord* info);
KESTRUNE_API int32_t WINAPI GetCompiler(kestrune::OsInfoRecord* info);
KESTRUNE_API int32_t WINAPI GetProgram(kestrune::OsInfoRecord* info);
KESTRUNE_API int32_t WINAPI GatherOpSysInfo(kestrune::OsInfoRecord* info);
// Gathers the record and appends one block to "<exe name up to its first '.'>.IncludesLog"
// in the current folder. Returns 0 (9 for a null pointer).
KESTRUNE_API int32_t WINAPI DisplayOpSysInfo(kestrune::OsInfoRecord* info);
