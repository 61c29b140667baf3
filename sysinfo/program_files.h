#pragma once
// Where the program lives: the module that carries this code and the process's executable,
// their folders and names as the record shows them, and their version strings.
#include <windows.h>

#include <string>
#include <string_view>

#include "sysinfo/os_record.h"

namespace kestrune {

// A module's full file name split the way the record shows it: every "\" becomes "/", the
// folder runs up to and including the last "/" or ":", the name is the rest.
struct ModulePath {
    std::string folder;
    std::string name;
};
ModulePath SplitModulePath(std::string_view fullName);

// A module's full file name, however long (null: the process's executable); empty when the
// system cannot tell it.
std::string ModuleFileName(HMODULE module);

// The module that carries this code: the executable, or the class library when the same
// code is built as one.
HMODULE CodeModule();

// Reads the eight version strings of a file (full path, or a name the system searches)
// into the eight consecutive 260-byte fields starting at first. True when the file has a
// version resource at all.
bool ReadVersionStrings(const char* file, char (*first)[kInfoTextSize]);

// Fills the program's fields (ProgramInstance/Path/Name and its version strings from
// ProductName on) from the module carrying this code, the parent's from the process's
// executable; HasVersionInfo becomes 1 when either file has version strings.
void ReadProgramFiles(OsInfoRecord& info);

}  // namespace kestrune
