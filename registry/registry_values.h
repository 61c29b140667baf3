#pragma once
// The rules of registry values, plain bytes in and plain texts out: what a read value shows
// as, what a written text stores, and how numbers cross between the two.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrune {

// The text a read value becomes: REG_SZ, REG_EXPAND_SZ and REG_MULTI_SZ without their
// trailing NULs, REG_DWORD as decimal text, others raw bytes.
std::string ReadValueText(DWORD type, std::string_view bytes);

// The bytes written for a value text of the given type: REG_DWORD as the 4 bytes of the
// text's number, REG_QWORD as 8; the string types with their terminating NUL (REG_MULTI_SZ
// closed by a second one, so the system's readers find the end); any other type the text's
// bytes without a NUL. Nothing when a number's text is not a number or out of range.
std::optional<std::string> WrittenValueBytes(DWORD type, std::string_view text);

// A number's text: optional blanks around it, an optional sign, decimal digits. Negative
// values down to the lower bound of a signed number of that width give their two's
// complement. Nothing for anything else.
std::optional<uint64_t> ParseNumberText(std::string_view text, unsigned bytes);

// A 32-bit number from a value's data: REG_DWORD or REG_BINARY of 4 bytes, or
// REG_DWORD_BIG_ENDIAN. Nothing for other types or sizes.
std::optional<DWORD> NumberFromValue(DWORD type, std::string_view bytes);

// The values RegQueryMultipleValuesA put into one buffer: one text per entry (ReadValueText
// of its data, found through the entry's pointer into the buffer). An entry whose data lies
// outside the buffer gives an empty text.
std::vector<std::string> SplitMultipleValues(const VALENTA* entries, size_t count, const char* buffer,
                                             size_t bufferBytes);

}  // namespace kestrune
