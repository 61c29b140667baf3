#pragma once
// Where kestrune-scan's texts go, and as what bytes. Every output is built as UTF-8 and goes
// through one writer per stream, chosen once at the start:
// - to a console: UTF-16 through the console's own output, so every name shows whole,
//   whatever code page the console has (850 or 866 would garble ANSI bytes);
// - redirected (a file, a pipe): bytes in UTF-8, or in the OEM or ANSI code page a script
//   that reads with an old code page asks for (--encoding); a character that code page lacks
//   becomes '?'. Line ends are CR LF on both roads, as a Windows program writes its text.
#include <windows.h>

#include <string>
#include <string_view>

#include "app/console/scan_options.h"

namespace kestrune {

// What a writer does with its text.
struct OutputRoad {
    bool console = false;   // UTF-16 to the console
    unsigned codePage = 0;  // otherwise bytes in this code page (CP_UTF8, or the OEM or ANSI one)
};

// The road for a stream: a console always gets UTF-16; redirected output gets the code page
// that encoding names on this machine.
OutputRoad ChooseOutputRoad(bool isConsole, OutputEncoding encoding, unsigned oemCodePage, unsigned ansiCodePage);

// The bytes redirected output gets for utf8: converted to codePage, each "\n" as "\r\n".
std::string RedirectedBytes(std::string_view utf8, unsigned codePage);

// A JSON text with every character outside ASCII written as a \uXXXX escape (a pair of them
// beyond U+FFFF): the same document, readable in any code page.
std::string AsciiJson(std::string_view json);

// The system calls a writer makes; the tests give their own.
struct ConsoleCalls {
    bool (*isConsole)(HANDLE stream);                          // GetConsoleMode succeeds
    bool (*writeWide)(HANDLE stream, std::wstring_view text);  // WriteConsoleW, all of it
    bool (*writeBytes)(HANDLE stream, std::string_view bytes); // WriteFile, all of it
};
const ConsoleCalls& SystemConsoleCalls();

// One output stream (standard output or standard error).
class OutputWriter {
public:
    OutputWriter(HANDLE stream, OutputEncoding encoding, const ConsoleCalls& calls = SystemConsoleCalls());
    // Writes utf8 at once (a script reading a watch sees each line as it happens); false when
    // the stream is gone.
    bool Write(std::string_view utf8) const;
    const OutputRoad& road() const { return road_; }

private:
    HANDLE stream_;
    const ConsoleCalls* calls_;
    OutputRoad road_;
};

}  // namespace kestrune
