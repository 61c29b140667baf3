#pragma once
// The results list view (control 1025): 46 columns, one row per PortRecord of the last
// scan, headers written only for the groups the data fills, and the row colours by status.
//
// The decisions (cell texts, which cells and headers are written, widths, colours) are
// plain functions over records; the functions at the end send them to the control.
#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "record/port_record.h"

namespace kestrune {

// The designed columns, then the port identity's trailing columns (app/identity_view.h).
constexpr int kDesignedColumnCount = 46;
constexpr int kIdentityColumnCount = 4;
constexpr int kResultColumnCount = kDesignedColumnCount + kIdentityColumnCount;

// Width actions on a column (the values LVM_SETCOLUMNWIDTH takes).
enum class ColumnWidth : int {
    kUnchanged = 0,
    kAutosizeContent = LVSCW_AUTOSIZE,           // -1
    kAutosizeWithHeader = LVSCW_AUTOSIZE_USEHEADER,  // -2
};

// ---- number texts -------------------------------------------------------------------
// The standard number text (SignedDecimal) and the stop-bits text (StopBitsText) are the
// report's too, from support/number_text.h.
// Exactly four upper-case hexadecimal digits: zero-padded, or the last four digits.
std::string Hex4(uint32_t value);
// A handle value as the list shows it: " 4660 (&H1234)".
std::string HandleCellText(uint32_t value);
// "Cross-Over" (0), "Unknown" (-1), "Pass-Through" (1); no text for any other value.
std::optional<std::string> CableText(int32_t cableKind);

// ---- row and header decisions ----------------------------------------------------------
// Owner columns show when ProcessId is set and is not the running program's own id.
bool OwnerTestHolds(const PortRecord& record, uint32_t ownProcessId);
// Line columns show when Status is neither empty nor "Disconnected" (any case).
bool LineTestHolds(const PortRecord& record);

struct CellWrite {
    int column;  // 1..46
    std::string text;
    ColumnWidth width;  // kUnchanged or kAutosizeContent, applied after the cell
};
// The cells of one row in the order they are written.
std::vector<CellWrite> ResultRowCells(const PortRecord& record, uint32_t ownProcessId);

struct HeaderStep {
    int column;                       // 1..46
    std::optional<std::string> text;  // header text to set, if any
    ColumnWidth width;
};
// The header texts and widths one record asks for, in order.
std::vector<HeaderStep> ResultHeaderSteps(const PortRecord& record, uint32_t ownProcessId);

// The final state a whole array asks for: per column the last header text set (if any)
// and the last width action (if any). Applying it gives the same headers and widths as
// replaying every step, since a column's header text never changes after a width call.
struct ColumnOutcome {
    std::optional<std::string> header;
    ColumnWidth width = ColumnWidth::kUnchanged;
};
std::vector<ColumnOutcome> FinalHeaderOutcome(const std::vector<PortRecord>& records, uint32_t ownProcessId);

// ---- colours -----------------------------------------------------------------------------
// List-view subitems 6, 9, 13, 18, 26 and 41 divide the column groups; 46 comes before the
// identity columns.
bool IsSeparatorSubItem(int subItem);

struct CustomDrawAnswer {
    LRESULT result = CDRF_DODEFAULT;
    std::optional<COLORREF> text;
    std::optional<COLORREF> background;
};
// The answer for one custom-draw notification. status is the row's Status for a sub-item
// stage (nullopt when the row has no record).
CustomDrawAnswer DecideCustomDraw(DWORD drawStage, int subItem, std::optional<std::string_view> status);

// ---- the control -----------------------------------------------------------------------
// Appends count empty centred columns of width -1 to a list view in report mode.
void InsertEmptyColumns(HWND list, int count);
// At start-up: the 46 empty centred columns of width -1.
void CreateResultColumns(HWND dialog);
// Deletes all rows and repaints at once.
void ClearResultList(HWND dialog);
// One row per record with the cells of ResultRowCells; content widths set once per column.
void FillResultRows(HWND dialog, const std::vector<PortRecord>& records);
// Header texts and header-based widths of the whole array.
void SetResultHeaders(HWND dialog, const std::vector<PortRecord>& records);
// FillResultRows followed by SetResultHeaders, in one pass that measures each column once:
// the same rows, headers and widths. The placeholder record of a machine without ports
// (NoSerialPortsFound) shows no row.
void ShowResults(HWND dialog, const std::vector<PortRecord>& records);
// The dialog's answer to NM_CUSTOMDRAW from the list: colours set in place, result returned.
// record is the row's record, or null when the row has none.
LRESULT ResultListCustomDraw(NMLVCUSTOMDRAW& draw, const PortRecord* record);

}  // namespace kestrune
