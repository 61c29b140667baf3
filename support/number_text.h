#pragma once
// Numbers as text, in the forms the window, the report and the information log share.
#include <cstdint>
#include <string>

namespace kestrune {

// Signed decimal: one leading blank for a value that is not negative, no trailing blank.
inline std::string SignedDecimal(int64_t value) {
    return (value < 0 ? "" : " ") + std::to_string(value);
}

}  // namespace kestrune
