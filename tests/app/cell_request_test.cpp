// A list's request for a cell text is answered within the buffer it names, in both
// character sets: never a character, terminator included, past cchTextMax.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "app/window/result_rows.h"
#include "support/fixed_text.h"

using namespace kestrune;

namespace {

constexpr int kGuard = 8;  // characters after the buffer that must stay as they were

template <typename Char, typename DispInfo>
std::basic_string<Char> Ask(HWND list, UINT code, int capacity, bool* guardIntact) {
    Char buffer[64 + kGuard];
    for (Char& c : buffer) c = static_cast<Char>('#');
    DispInfo request{};
    request.hdr.hwndFrom = list;
    request.hdr.code = code;
    request.item.mask = LVIF_TEXT;
    request.item.iItem = 0;
    request.item.iSubItem = 0;  // column 1, the port name
    request.item.pszText = buffer;
    request.item.cchTextMax = capacity;
    EXPECT_TRUE(AnswerCellRequest(&request.hdr));
    *guardIntact = true;
    for (int i = capacity; i < capacity + kGuard; ++i) *guardIntact = *guardIntact && buffer[i] == static_cast<Char>('#');
    if (capacity == 0) return std::basic_string<Char>(1, buffer[0]);  // "#": nothing written
    Char* end = std::find(buffer, buffer + capacity, Char{});
    if (end == buffer + capacity) return std::basic_string<Char>(1, static_cast<Char>('?'));  // unterminated
    return std::basic_string<Char>(static_cast<Char*>(buffer), end);
}

TEST(CellRequest, TheAnswerFitsTheBufferInBothCharacterSets) {
    HWND list = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x5150));  // only a key: no window is needed
    PortRecord record{};
    SetText(record.PortName, "COM12");
    RowTextsOf(list).InsertInFront({record}, 1);

    const struct {
        int capacity;
        const char* text;  // what the buffer holds afterwards; "#" = left untouched
    } cases[] = {{0, "#"}, {1, ""}, {2, "C"}, {5, "COM1"}, {6, "COM12"}, {7, "COM12"}};
    for (const auto& c : cases) {
        bool guardA = false, guardW = false;
        EXPECT_EQ((Ask<char, NMLVDISPINFOA>(list, LVN_GETDISPINFOA, c.capacity, &guardA)), c.text) << c.capacity;
        const std::string expected(c.text);
        EXPECT_EQ((Ask<wchar_t, NMLVDISPINFOW>(list, LVN_GETDISPINFOW, c.capacity, &guardW)),
                  std::wstring(expected.begin(), expected.end()))
            << c.capacity;
        EXPECT_TRUE(guardA) << c.capacity << ": written past the ANSI buffer";
        EXPECT_TRUE(guardW) << c.capacity << ": written past the UTF-16 buffer";
    }
    ForgetRowTexts(list);
}

}  // namespace
