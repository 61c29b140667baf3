#pragma once
// Column widths without measuring every row. The list measures every row of a column for a
// content width, and the widest text decides it: WidestTexts finds that text per column, and
// a hidden twin of the list holding one row of them answers width requests as the list would.
#include <windows.h>

#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "app/common/list_cells.h"

namespace kestrune {

// The widest text of each column, measured with the list's own font once per distinct text.
// The list measures every row of a column for a content width; the widest text decides it,
// so a list holding only that text reaches the same width.
class WidestTexts {
public:
    explicit WidestTexts(HWND list);
    ~WidestTexts();
    WidestTexts(const WidestTexts&) = delete;
    WidestTexts& operator=(const WidestTexts&) = delete;

    bool ok() const { return dc_ != nullptr; }
    // Offers a cell's text; the view must outlive this object (it points into the rows held).
    void Offer(int column, std::string_view text);
    const std::string& Widest(int column) const { return texts_[static_cast<size_t>(column)]; }

private:
    HWND list_;
    HDC dc_;
    HGDIOBJ oldFont_ = nullptr;
    std::vector<std::string> texts_;
    std::vector<int> widths_;
    std::vector<std::unordered_set<std::string_view>> seen_;  // views into the rows held
};

// A hidden twin of the list: same font, styles, columns and headers, holding one row of the
// widest texts. It answers width requests exactly as the list would, at the cost of one row
// instead of every row. It is made once with the list's columns (making a list view costs
// tens of milliseconds under some systems) and is owned by the dialog, which destroys it.
// Returns the twin, or null when it cannot be made.
HWND MakeWidthTwin(HWND list);

// The list's twin (made again when it is gone) with the list's headers and one row of the
// widest texts.
class WidthTwin {
public:
    WidthTwin(HWND list, const WidestTexts& widest);

    bool ok() const { return twin_ != nullptr; }
    // The pixel width the list would take for this request.
    int Width(int column, ColumnWidth width) const;

private:
    HWND twin_ = nullptr;
};

}  // namespace kestrune
