#pragma once
// Whole-buffer writes to an open file.
#include <windows.h>

#include <string>

namespace kestrune {

// Writes all of text, in pieces of at most 1 MB. False (GetLastError tells why) when a
// write fails or writes nothing.
bool WriteAll(HANDLE file, const std::string& text);

// Puts text in place of the file at path in one step: the text is written to a new file
// beside it, flushed, and that file then replaces path (created when missing). Until the
// replacement the previous file stays whole, so a full disk or a held file never leaves it
// cut short; on failure the new file is removed again. Returns ERROR_SUCCESS or the Win32
// error that stopped it (never ERROR_SUCCESS for a failure).
DWORD ReplaceFileContent(const char* path, const std::string& text);

}  // namespace kestrune
