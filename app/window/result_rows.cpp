#include "app/window/result_rows.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "app/common/list_cells.h"
#include "app/window/result_cells.h"

namespace kestrune {

namespace {

std::map<HWND, ResultRowTexts>& AllRows() {
    static std::map<HWND, ResultRowTexts> rows;
    return rows;
}

// Writes at most capacity characters, the terminator included: a one-character buffer
// gets the terminator alone, a zero-character one nothing.
template <typename Char>
void CopyCell(std::string_view text, Char* buffer, int capacity) {
    if (!buffer || capacity <= 0) return;
    const int room = capacity - 1;  // characters before the terminator
    int n = 0;
    if constexpr (sizeof(Char) == 1) {
        n = static_cast<int>(std::min(text.size(), static_cast<size_t>(room)));
        std::memcpy(buffer, text.data(), static_cast<size_t>(n));
    } else if (room > 0 && !text.empty()) {
        // Converted whole, then cut: a count of 0 would ask for the length, not convert.
        std::wstring wide(text.size(), L'\0');
        n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                                static_cast<int>(wide.size()));
        n = std::max(0, std::min(n, room));
        std::memcpy(buffer, wide.data(), static_cast<size_t>(n) * sizeof(wchar_t));
    }
    buffer[n] = Char{};
}

template <typename DispInfo>
bool Answer(DispInfo& request) {
    auto& rows = AllRows();
    auto found = rows.find(request.hdr.hwndFrom);
    if (found == rows.end()) return false;
    auto& item = request.item;
    if (item.mask & LVIF_TEXT) {
        const std::string_view text =
            item.iItem < 0 ? std::string_view() : found->second.Cell(static_cast<size_t>(item.iItem), item.iSubItem + 1);
        CopyCell(text, item.pszText, item.cchTextMax);
    }
    if (item.mask & LVIF_IMAGE) item.iImage = 0;
    return true;
}

}  // namespace

std::vector<bool> ResultRowTexts::InsertInFront(const std::vector<PortRecord>& records, uint32_t ownProcessId) {
    std::vector<bool> autosize(kResultColumnCount + 1, false);
    std::vector<std::string> cells(records.size() * kResultColumnCount);
    for (size_t row = 0; row < records.size(); ++row) {
        for (CellWrite& cell : ResultRowCells(records[row], ownProcessId)) {
            if (cell.column < 1 || cell.column > kResultColumnCount) continue;
            cells[row * kResultColumnCount + static_cast<size_t>(cell.column - 1)] = std::move(cell.text);
            if (cell.width == ColumnWidth::kAutosizeContent) autosize[static_cast<size_t>(cell.column)] = true;
        }
    }
    cells.insert(cells.end(), std::make_move_iterator(cells_.begin()), std::make_move_iterator(cells_.end()));
    cells_ = std::move(cells);
    return autosize;
}

size_t ResultRowTexts::RowCount() const { return cells_.size() / kResultColumnCount; }

std::string_view ResultRowTexts::Cell(size_t row, int column) const {
    if (row >= RowCount() || column < 1 || column > kResultColumnCount) return {};
    return cells_[row * kResultColumnCount + static_cast<size_t>(column - 1)];
}

ResultRowTexts& RowTextsOf(HWND list) { return AllRows()[list]; }

void ForgetRowTexts(HWND list) { AllRows().erase(list); }

bool AnswerCellRequest(NMHDR* notice) {
    if (!notice) return false;
    if (notice->code == LVN_GETDISPINFOA) return Answer(*reinterpret_cast<NMLVDISPINFOA*>(notice));
    if (notice->code == LVN_GETDISPINFOW) return Answer(*reinterpret_cast<NMLVDISPINFOW*>(notice));
    return false;
}

}  // namespace kestrune
