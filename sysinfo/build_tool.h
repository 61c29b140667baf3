#pragma once
// The build tool that made the program: its version and the runtime's revision as the
// record codes them, and whether the code runs as the executable or the class library.
#include <cstdint>
#include <string>

#include "sysinfo/os_record.h"

namespace kestrune {

// Build-tool version, hexadecimal-coded per decimal digit: 9.4 -> 0x904, 12.2 -> 0x1202.
int32_t BuildToolCode(int major, int minor);
// The code as text: its hexadecimal digits but the last two, a point, the last two
// (0x904 -> "9.04", 0x1202 -> "12.02").
std::string BuildToolCodeText(int32_t code);
// "&H" and the upper-case hexadecimal digits of the revision (0x1000 -> "&H1000").
std::string RevisionCodeText(int32_t revision);

// Fills RtVersion/RtVersionText (the compiler's version), Revision/RevisionText (the
// runtime's) and CompiledAsCode/CompiledAs (1 "EXE" in the executable, 0 "DLL" in the class
// library).
void ReadBuildTool(OsInfoRecord& info);

}  // namespace kestrune
