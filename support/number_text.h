#pragma once
// Numbers as text, in the forms the window, the report and the information log share.
#include <cstdint>
#include <string>

namespace kestrune {

// Signed decimal: one leading blank for a value that is not negative, no trailing blank.
inline std::string SignedDecimal(int64_t value) {
    return (value < 0 ? "" : " ") + std::to_string(value);
}

// Printed number: the signed decimal form and one blank.
inline std::string PrintedNumber(int64_t value) { return SignedDecimal(value) + " "; }

// Trimmed: no blanks at all.
inline std::string TrimmedDecimal(int64_t value) { return std::to_string(value); }

// A fixed-point value with four decimals (value times 10000, as the record's StopBits) in
// its shortest decimal form: 1, 1.5, 2.
std::string StopBitsText(int64_t stored);

}  // namespace kestrune
