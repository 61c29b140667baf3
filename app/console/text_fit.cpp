#include "app/console/text_fit.h"

#include <algorithm>
#include <numeric>

namespace kestrune {

namespace {

// The code point at text[at] and its length in bytes; a malformed byte is U+FFFD of length 1.
char32_t Decode(std::string_view text, std::size_t at, std::size_t& length) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    length = 1;
    if (lead < 0x80) return lead;
    const std::size_t size = lead >= 0xF0 && lead < 0xF5 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 && lead < 0xE0 ? 2 : 0;
    if (size == 0 || at + size > text.size()) return 0xFFFD;
    char32_t c = lead & (0x7F >> size);
    for (std::size_t i = 1; i < size; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return 0xFFFD;
        c = (c << 6) | (byte(at + i) & 0x3F);
    }
    length = size;
    return c;
}

struct Range {
    char32_t first, last;
};

bool InRanges(char32_t c, const Range* ranges, std::size_t count) {
    return std::any_of(ranges, ranges + count, [c](const Range& r) { return c >= r.first && c <= r.last; });
}

// The start of the character that ends just before byte end.
std::size_t PreviousStart(std::string_view text, std::size_t end) {
    std::size_t at = end - 1;
    while (at > 0 && end - at < 4 && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) --at;
    std::size_t length = 0;
    Decode(text, at, length);
    return at + length == end ? at : end - 1;
}

// The longest start of text that takes at most cells cells (zero-width marks after the last
// character kept with it).
std::string_view Head(std::string_view text, std::size_t cells) {
    std::size_t at = 0, used = 0;
    while (at < text.size()) {
        std::size_t length = 0;
        const std::size_t w = static_cast<std::size_t>(CharacterCells(Decode(text, at, length)));
        if (used + w > cells) break;
        used += w;
        at += length;
    }
    return text.substr(0, at);
}

// The longest end of text that takes at most cells cells, starting at no zero-width mark.
std::string_view Tail(std::string_view text, std::size_t cells) {
    std::size_t at = text.size(), used = 0, start = text.size();
    while (at > 0) {
        const std::size_t previous = PreviousStart(text, at);
        std::size_t length = 0;
        const std::size_t w = static_cast<std::size_t>(CharacterCells(Decode(text, previous, length)));
        if (used + w > cells) break;
        used += w;
        at = previous;
        if (w > 0) start = at;
    }
    return text.substr(start);
}

}  // namespace

int CharacterCells(char32_t c) {
    static const Range kZero[] = {{0x0300, 0x036F}, {0x0483, 0x0489}, {0x0591, 0x05BD}, {0x0610, 0x061A},
                                  {0x064B, 0x065F}, {0x0E31, 0x0E31}, {0x0E34, 0x0E3A}, {0x0E47, 0x0E4E},
                                  {0x1AB0, 0x1AFF}, {0x1DC0, 0x1DFF}, {0x200B, 0x200F}, {0x20D0, 0x20FF},
                                  {0xFE00, 0xFE0F}, {0xFE20, 0xFE2F}, {0xFEFF, 0xFEFF}};
    static const Range kWide[] = {{0x1100, 0x115F}, {0x231A, 0x231B}, {0x2329, 0x232A}, {0x2E80, 0x303E},
                                  {0x3041, 0x33FF}, {0x3400, 0x4DBF}, {0x4E00, 0x9FFF}, {0xA000, 0xA4CF},
                                  {0xA960, 0xA97F}, {0xAC00, 0xD7A3}, {0xF900, 0xFAFF}, {0xFE10, 0xFE19},
                                  {0xFE30, 0xFE6F}, {0xFF00, 0xFF60}, {0xFFE0, 0xFFE6}, {0x1F300, 0x1F64F},
                                  {0x1F900, 0x1F9FF}, {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD}};
    if (InRanges(c, kZero, sizeof kZero / sizeof kZero[0])) return 0;
    if (InRanges(c, kWide, sizeof kWide / sizeof kWide[0])) return 2;
    return 1;
}

std::size_t DisplayWidth(std::string_view text) {
    std::size_t cells = 0;
    for (std::size_t at = 0, length = 0; at < text.size(); at += length)
        cells += static_cast<std::size_t>(CharacterCells(Decode(text, at, length)));
    return cells;
}

std::string PadToWidth(std::string_view text, std::size_t width) {
    const std::size_t cells = DisplayWidth(text);
    return std::string(text) + std::string(width > cells ? width - cells : 0, ' ');
}

std::string ShortenMiddle(std::string_view text, std::size_t width) {
    if (DisplayWidth(text) <= width) return std::string(text);
    if (width < 4) return std::string(Head(text, width));
    const std::size_t kept = width - 3;
    const std::size_t head = (kept + 1) / 2;
    const std::string_view start = Head(text, head);
    // The end gets what the start left, a blank cell of a wide character included.
    const std::size_t tail = kept - DisplayWidth(start);
    return std::string(start) + "..." + std::string(Tail(text.substr(start.size()), tail));
}

std::string ShortenMiddleKeepingTail(std::string_view text, std::size_t tailStart, std::size_t width) {
    if (DisplayWidth(text) <= width) return std::string(text);
    if (tailStart > text.size()) return ShortenMiddle(text, width);
    const std::string_view tail = text.substr(tailStart);
    const std::size_t tailCells = DisplayWidth(tail);
    if (tailCells + 4 > width) return ShortenMiddle(text, width);
    return ShortenMiddle(text.substr(0, tailStart), width - tailCells) + std::string(tail);
}

std::vector<std::size_t> FitColumnWidths(const std::vector<std::size_t>& natural,
                                         const std::vector<std::size_t>& minimum, std::size_t gap,
                                         std::size_t total, const std::vector<int>& yieldOrder) {
    std::vector<std::size_t> widths = natural;
    if (widths.empty()) return widths;
    std::vector<std::size_t> floor(widths.size());
    for (std::size_t i = 0; i < widths.size(); ++i)
        floor[i] = std::min(widths[i], i < minimum.size() ? minimum[i] : widths[i]);
    const std::size_t gaps = gap * (widths.size() - 1);
    std::size_t used = std::accumulate(widths.begin(), widths.end(), gaps);
    auto order = [&](std::size_t i) { return i < yieldOrder.size() ? yieldOrder[i] : 0; };
    while (used > total) {
        std::size_t widest = widths.size();
        for (std::size_t i = 0; i < widths.size(); ++i) {
            if (widths[i] <= floor[i]) continue;
            if (widest == widths.size() || order(i) < order(widest) ||
                (order(i) == order(widest) && widths[i] > widths[widest]))
                widest = i;
        }
        if (widest == widths.size()) break;
        --widths[widest];
        --used;
    }
    return widths;
}

std::string AlignedLines(const std::vector<std::vector<std::string>>& rows, std::size_t width) {
    constexpr std::size_t kGap = 2, kLeast = 12;
    std::size_t columns = 0;
    for (const auto& row : rows) columns = std::max(columns, row.size());
    if (columns == 0) return std::string();
    std::vector<std::size_t> natural(columns, 0), minimum;
    for (const auto& row : rows)
        for (std::size_t c = 0; c < row.size(); ++c) natural[c] = std::max(natural[c], DisplayWidth(row[c]));
    minimum = natural;
    minimum.back() = std::min(natural.back(), kLeast);
    const std::vector<std::size_t> widths = FitColumnWidths(natural, minimum, kGap, width);
    std::string out;
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t c = 0; c < row.size(); ++c) {
            const std::string cell = ShortenMiddle(row[c], widths[c]);
            line += cell;
            if (c + 1 < row.size()) line += std::string(widths[c] - DisplayWidth(cell) + kGap, ' ');
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        out += line + "\n";
    }
    return out;
}

}  // namespace kestrune
