#include "app/window/results_view.h"

#include <commctrl.h>

#include <optional>

#include "app/common/found_ports.h"
#include "app/common/list_cells.h"
#include "app/window/control_ids.h"
#include "app/window/list_control.h"
#include "app/window/result_cells.h"
#include "app/window/result_rows.h"
#include "app/window/width_twin.h"

namespace kestrune {

namespace {

HWND ResultList(HWND dialog) { return GetDlgItem(dialog, kResultsListId); }

// Puts the rows in front of those shown and tells the list how many there are; the list
// asks for each cell when it needs it. Returns, per column number, whether some cell asked
// for a content width. A content width measures every row, and the last request per column
// decides it; rows written after that request leave that column empty, so measuring once at
// the end gives the same width as measuring after every cell.
std::vector<bool> WriteRows(HWND list, const std::vector<PortRecord>& records, WidestTexts* widest = nullptr) {
    ResultRowTexts& rows = RowTextsOf(list);
    std::vector<bool> autosize = rows.InsertInFront(records, GetCurrentProcessId());
    if (widest)
        for (size_t row = 0; row < records.size(); ++row)
            for (int column = 1; column <= kResultColumnCount; ++column) widest->Offer(column, rows.Cell(row, column));
    SendMessageA(list, LVM_SETITEMCOUNT, rows.RowCount(), 0);
    return autosize;
}

void WriteHeaders(HWND list, const std::vector<ColumnOutcome>& outcome) {
    for (int column = 1; column <= kResultColumnCount; ++column) {
        const ColumnOutcome& wanted = outcome[static_cast<size_t>(column)];
        if (!wanted.header) continue;
        LVCOLUMNA header{};
        header.mask = LVCF_TEXT;
        header.pszText = const_cast<char*>(wanted.header->c_str());
        SendMessageA(list, LVM_SETCOLUMNA, static_cast<WPARAM>(column - 1), reinterpret_cast<LPARAM>(&header));
    }
}

}  // namespace

void CreateResultColumns(HWND dialog) {
    HWND list = ResultList(dialog);
    RowTextsOf(list).Clear();
    InsertEmptyColumns(list, kResultColumnCount);
    MakeWidthTwin(list);
}

void ClearResultList(HWND dialog) {
    HWND list = ResultList(dialog);
    SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
    RowTextsOf(list).Clear();
    RedrawWindow(list, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

void FillResultRows(HWND dialog, const std::vector<PortRecord>& records) {
    HWND list = ResultList(dialog);
    HeldDrawing held(list);
    const std::vector<bool> autosize = WriteRows(list, records);
    for (int column = 1; column <= kResultColumnCount; ++column)
        if (autosize[static_cast<size_t>(column)]) SetColumnWidth(list, column, ColumnWidth::kAutosizeContent);
}

void SetResultHeaders(HWND dialog, const std::vector<PortRecord>& records) {
    HWND list = ResultList(dialog);
    HeldDrawing held(list);
    const std::vector<ColumnOutcome> outcome = FinalHeaderOutcome(records, GetCurrentProcessId());
    WriteHeaders(list, outcome);
    for (int column = 1; column <= kResultColumnCount; ++column)
        SetColumnWidth(list, column, outcome[static_cast<size_t>(column)].width);
}

void ShowResults(HWND dialog, const std::vector<PortRecord>& scanned) {
    // A machine without ports: the title says so and the list stays empty; the record the
    // scan made stays in the road's array for its callers.
    static const std::vector<PortRecord> kNoRows;
    const std::vector<PortRecord>& records = NoSerialPortsFound(scanned) ? kNoRows : scanned;
    HWND list = ResultList(dialog);
    HeldDrawing held(list);
    WidestTexts widest(list);
    const std::vector<bool> autosize = WriteRows(list, records, &widest);
    const std::vector<ColumnOutcome> outcome = FinalHeaderOutcome(records, GetCurrentProcessId());
    WriteHeaders(list, outcome);
    // A header width replaces the content width the rows asked for: measure once, on the
    // twin when it can be made (a content width measures every row of the list).
    std::optional<WidthTwin> twin;
    if (!records.empty() && widest.ok()) twin.emplace(list, widest);
    for (int column = 1; column <= kResultColumnCount; ++column) {
        ColumnWidth width = outcome[static_cast<size_t>(column)].width;
        if (width == ColumnWidth::kUnchanged && autosize[static_cast<size_t>(column)])
            width = ColumnWidth::kAutosizeContent;
        // The last column's request also depends on the space left of the list: it goes to
        // the list itself.
        if (width != ColumnWidth::kUnchanged && column < kResultColumnCount && twin && twin->ok())
            SendMessageA(list, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(column - 1), twin->Width(column, width));
        else
            SetColumnWidth(list, column, width);
    }
}

}  // namespace kestrune
