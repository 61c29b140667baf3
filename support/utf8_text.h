#pragma once
// Text between the system's code pages and UTF-8. Unicode texts the system hands out (device
// names, paths) are kept as UTF-8; the record, the report and the window take them in the ANSI
// code page, the console outputs in UTF-8 or the code page a script asks for.
#include <string>
#include <string_view>

namespace kestrune {

// ASCII stays as it is; other bytes are read in the ANSI code page.
std::string AnsiToUtf8(std::string_view ansi);

// UTF-16 from the system as UTF-8, and back. A lone surrogate or a malformed byte becomes
// U+FFFD; nothing is dropped silently.
std::string WideToUtf8(std::wstring_view wide);
std::wstring Utf8ToWide(std::string_view utf8);

// UTF-8 in the code page codePage (CP_UTF8 leaves it as it is): a character the code page
// does not have becomes '?' (no look-alike is put in its place).
std::string Utf8ToCodePage(std::string_view utf8, unsigned codePage);
// The same in the system's ANSI code page, where a text enters a fixed ANSI field.
std::string Utf8ToAnsi(std::string_view utf8);
// UTF-8 in the ANSI code page as the system's own ANSI functions give a text (a look-alike
// where the code page has one, '?' for the rest): to tell whether a text read whole is the one
// an ANSI call gave.
std::string Utf8ToAnsiAsSystem(std::string_view utf8);

}  // namespace kestrune
