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

std::vector<std::size_t> FitColumnWidths(const std::vector<std::size_t>& natural,
                                         const std::vector<std::size_t>& minimum, std::size_t gap,
                                         std::size_t total) {
    std::vector<std::size_t> widths = natural;
    if (widths.empty()) return widths;
    std::vector<std::size_t> floor(widths.size());
    for (std::size_t i = 0; i < widths.size(); ++i)
        floor[i] = std::min(widths[i], i < minimum.size() ? minimum[i] : widths[i]);
    const std::size_t gaps = gap * (widths.size() - 1);
    std::size_t used = std::accumulate(widths.begin(), widths.end(), gaps);
    while (used > total) {
        std::size_t widest = widths.size();
        for (std::size_t i = 0; i < widths.size(); ++i)
            if (widths[i] > floor[i] && (widest == widths.size() || widths[i] > widths[widest])) widest = i;
        if (widest == widths.size()) break;
        --widths[widest];
        --used;
    }
    return widths;
}

}  // namespace kestrune
