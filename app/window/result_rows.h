#pragma once
// The cell texts of the results list's rows. The list is virtual: it holds no text itself
// and asks for a cell (LVN_GETDISPINFO) only when it draws or is asked for it, so rows
// nobody looks at cost nothing in the control. A column more is one more cell text from
// ResultRowCells; nothing here knows the columns.
#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "record/port_record.h"

namespace kestrune {

class ResultRowTexts {
public:
    // Puts one row per record in front of the rows held, as inserting rows 0..n-1 would.
    // Returns, per column number, whether some new cell asks for a content width.
    std::vector<bool> InsertInFront(const std::vector<PortRecord>& records, uint32_t ownProcessId);
    void Clear() { cells_.clear(); }
    size_t RowCount() const;
    // The text of a cell; empty for a cell never written and for a row or column out of range.
    std::string_view Cell(size_t row, int column) const;

private:
    std::vector<std::string> cells_;  // row after row, one text per column
};

// The rows of one results list, made on first use and dropped with ForgetRowTexts.
ResultRowTexts& RowTextsOf(HWND list);
void ForgetRowTexts(HWND list);

// Fills a list's request for a cell (LVN_GETDISPINFOA or W) from its rows: the text (cut to
// the buffer, NUL-terminated) and image 0. False, doing nothing, for any other notice or a
// list whose rows are not kept here.
bool AnswerCellRequest(NMHDR* notice);

}  // namespace kestrune
