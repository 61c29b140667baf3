#pragma once
// Whole-buffer writes to an open file.
#include <windows.h>

#include <string>
#include <string_view>

#include "support/handles.h"

namespace kestrune {

// Writes all of text, in pieces of at most 1 MB. False (GetLastError tells why) when a
// write fails or writes nothing.
bool WriteAll(HANDLE file, const std::string& text);

// Puts text in place of the file at path in one step: the text is written to a new file
// beside it, flushed, and that file then replaces path (created when missing). Until the
// replacement the previous file stays whole, so a full disk or a held file never leaves it
// cut short; on failure the new file is removed again. Returns ERROR_SUCCESS or the Win32
// error that stopped it (never ERROR_SUCCESS for a failure).
// The new file gets an unpredictable name (UnpredictableFileName) and is created new; a name
// taken already is not opened but replaced by another, kFreshNameAttempts times at most.
DWORD ReplaceFileContent(const char* path, const std::string& text);

// path + "." + 24 hex digits from the system's random source + ".new".
std::string UnpredictableFileName(std::string_view path);
constexpr int kFreshNameAttempts = 16;

// Creates a new file under an unpredictable name beside path (CREATE_NEW, no sharing, a name
// already taken gives another try); fresh receives its name. An empty handle when none could
// be made (GetLastError tells why).
UniqueHandle CreateNewBeside(std::string_view path, std::string& fresh);

}  // namespace kestrune
