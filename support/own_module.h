#pragma once
// The module this code was linked into: the program, or the class library built from the
// same sources.
#include <windows.h>

#include <string>

namespace kestrune {

HMODULE OwnModule();
// Its full file name ("" when the system gives none).
std::wstring OwnModulePath();
// True in the class library, false in a program.
bool RunsInLibrary();

}  // namespace kestrune
