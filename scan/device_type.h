#pragma once
// Device type and owning program of a port: the type word from the port's object name,
// the owner program's folder, file name and product version.
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "record/port_record.h"

namespace kestrune {

// The first row of the device-type table whose pattern occurs, ignoring case, anywhere in
// the object name; no value when no row matches.
std::optional<std::string_view> DeviceTypeForName(std::string_view objectName);

// A path split after its last ':', '/' or '\': folder with that separator, and the rest.
struct ProgramPathParts {
    std::string folder;
    std::string name;
};
ProgramPathParts SplitProgramPath(std::string_view path);

// Product version as "a.b.c": high and low word of the most significant half, low word of
// the least significant half (6.1.7601.17514 gives 6.1.17514).
std::string ProductVersionText(uint32_t productVersionMS, uint32_t productVersionLS);

// Whether a path can only name a file: not empty, shorter than MAX_PATH, no device or
// object-manager prefix (\\.\, \\?\, \??\), no wildcard, quote, pipe sign, control
// character or stream colon, no component that is a reserved device name (CON, PRN, AUX,
// NUL, COMn, LPTn, CONIN$, CONOUT$, CLOCK$, with or without an extension), and no
// trailing separator, dot or blank.
bool NamesPlainFile(std::string_view path);

// NamesPlainFile, and the file exists as a regular file on a disk: no folder, device or
// link (the open does not follow links and asks GetFileType for FILE_TYPE_DISK).
bool IsDiskFile(const std::string& path);

// The product version of an executable, read from its version resource; nothing for a path
// that is not IsDiskFile.
std::optional<std::string> ReadProductVersion(const std::string& path);

extern const char kTypeRoutineName[];
extern const char kProgramRoutineName[];

// The type step: reports "Get <port> Parameters", then DeviceType from sObjName by the
// table (unchanged when nothing matches). Returns 0.
int32_t ReadDeviceType(PortRecord& record);

// The program step: reports itself, then ProgramFolder and ProgramName from ProgramPath,
// and ProgramVersion when the program has version information (unchanged otherwise).
// Returns 0.
int32_t ReadProgramDetails(PortRecord& record);

}  // namespace kestrune
