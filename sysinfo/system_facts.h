#pragma once
// The whole record gathered: the Windows version, the build tool and the program's files.
#include "sysinfo/os_record.h"

namespace kestrune {

// Fills the three groups in turn (ReadWindowsVersion, ReadBuildTool, ReadProgramFiles). A
// group that fails keeps the fields it did not reach as they were and does not stop the
// others.
void GatherSystemFacts(OsInfoRecord& info) noexcept;

}  // namespace kestrune
