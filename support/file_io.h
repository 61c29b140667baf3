#pragma once
// Whole-buffer writes to an open file.
#include <windows.h>

#include <string>

namespace kestrune {

// Writes all of text, in pieces of at most 1 MB. False (GetLastError tells why) when a
// write fails or writes nothing.
bool WriteAll(HANDLE file, const std::string& text);

}  // namespace kestrune
