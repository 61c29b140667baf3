#pragma once
// How the serial-port class reads a text argument: a caller through standard COM hands in
// UTF-16, the program's own roads hand in ANSI bytes packed into the string. The verdict
// is taken from the bytes alone.
#include <cstdint>
#include <string>
#include <string_view>

namespace kestrune {

enum class TextVerdict { kAnsi, kUtf16 };

// Two passes over the bytes (positions from 1, L bytes, L >= 1):
//  - one byte: ANSI;
//  - first pass, 1..L: a NUL gives ANSI and goes on, the first other byte gives UTF-16
//    and ends the pass;
//  - second pass, 2..L-1: a NUL gives UTF-16 and ends the pass, any other byte gives ANSI.
// The last verdict taken decides. So for three bytes or more the text is UTF-16 exactly
// when a NUL sits somewhere in 2..L-1.
TextVerdict DetectTextEncoding(std::string_view bytes);

// What the detection leaves behind: the flag, the UTF-16 form as bytes and the ANSI form.
struct DetectedText {
    int32_t unicodeFlag = 0;
    std::string unicodeBytes;
    std::string ansi;
};

// The verdict applied: ANSI text is widened through the system code page, UTF-16 text
// narrowed (an odd last byte is dropped). Empty bytes give an empty ANSI result.
DetectedText DetectText(std::string_view bytes);

// The system code page conversions.
std::wstring WidenAnsi(std::string_view ansi);
std::string NarrowUtf16(std::wstring_view wide);

}  // namespace kestrune
