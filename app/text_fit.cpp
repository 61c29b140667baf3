#include "app/text_fit.h"

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

}  // namespace kestrune
