#pragma once
// Fitting texts into a fixed number of console columns. Texts are UTF-8; widths are the
// cells a console gives them (DisplayWidth), never bytes.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kestrune {

// The cells a console gives a character: 2 for a wide East Asian one (CJK ideographs, kana,
// Hangul, full-width forms), 0 for a combining mark or a zero-width one, 1 for any other.
int CharacterCells(char32_t c);
// The cells a UTF-8 text takes; a malformed byte takes one.
std::size_t DisplayWidth(std::string_view text);
// text and blanks after it up to width cells.
std::string PadToWidth(std::string_view text, std::size_t width);

// text cut to width cells by replacing its middle with "...", so that both the start of a
// path and its file name stay readable; a character is never split (a wide one that does not
// fit leaves its cell blank). Unchanged when it fits; below 4 columns the start only.
std::string ShortenMiddle(std::string_view text, std::size_t width);

// The same for a text whose tail from tailStart on must stay whole (" (pid 312)" after a
// path): the part before it is shortened. When even the tail does not fit, ShortenMiddle.
std::string ShortenMiddleKeepingTail(std::string_view text, std::size_t tailStart, std::size_t width);

// Column widths for a table whose lines, columns joined by gap blanks, must fit total
// cells. natural: the widest cell (or header) of each column; minimum: how far a
// column may shrink (a column whose minimum equals its natural width never shrinks);
// yieldOrder: columns of a lower value shrink to their minimum before any of a higher value
// gives up a character (all 0 when empty). Among equals the widest gives up a character
// first. When even the minimums do not fit, the minimums.
std::vector<std::size_t> FitColumnWidths(const std::vector<std::size_t>& natural,
                                         const std::vector<std::size_t>& minimum, std::size_t gap,
                                         std::size_t total, const std::vector<int>& yieldOrder = {});

// Rows of cells as aligned lines fitting width (each ended by "\n", trailing blanks dropped):
// every column but the last as wide as its widest cell, columns joined by two blanks, and
// the last one taking what is left, shortened in the middle (never below 12 cells).
std::string AlignedLines(const std::vector<std::vector<std::string>>& rows, std::size_t width);

}  // namespace kestrune
