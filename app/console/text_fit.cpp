#include "app/console/text_fit.h"

#include <algorithm>
#include <numeric>

namespace kestrune {

std::string ShortenMiddle(std::string_view text, std::size_t width) {
    if (text.size() <= width) return std::string(text);
    if (width < 4) return std::string(text.substr(0, width));
    const std::size_t kept = width - 3;
    const std::size_t head = (kept + 1) / 2;
    const std::size_t tail = kept - head;
    return std::string(text.substr(0, head)) + "..." + std::string(text.substr(text.size() - tail));
}

std::string ShortenMiddleKeepingTail(std::string_view text, std::size_t tailStart, std::size_t width) {
    if (text.size() <= width) return std::string(text);
    if (tailStart > text.size() || text.size() - tailStart + 4 > width) return ShortenMiddle(text, width);
    const std::string_view tail = text.substr(tailStart);
    return ShortenMiddle(text.substr(0, tailStart), width - tail.size()) + std::string(tail);
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
        for (std::size_t c = 0; c < row.size(); ++c) natural[c] = std::max(natural[c], row[c].size());
    minimum = natural;
    minimum.back() = std::min(natural.back(), kLeast);
    const std::vector<std::size_t> widths = FitColumnWidths(natural, minimum, kGap, width);
    std::string out;
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t c = 0; c < row.size(); ++c) {
            const std::string cell = ShortenMiddle(row[c], widths[c]);
            line += cell;
            if (c + 1 < row.size()) line += std::string(widths[c] - cell.size() + kGap, ' ');
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        out += line + "\n";
    }
    return out;
}

}  // namespace kestrune
