#pragma once
// Text in the system's ANSI code page as UTF-8, for outputs that are UTF-8 by definition.
#include <string>
#include <string_view>

namespace kestrune {

// ASCII stays as it is; other bytes are read in the ANSI code page.
std::string AnsiToUtf8(std::string_view ansi);

}  // namespace kestrune
