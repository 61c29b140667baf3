#pragma once
// What the results list writes for each record: the cell texts of a row, the headers and
// widths the row asks for, and the final headers and widths of a whole array. Plain values
// over records; app/window/results_view.h sends them to the control.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/common/list_cells.h"
#include "record/port_record.h"

namespace kestrune {

// ---- number texts -------------------------------------------------------------------
// The standard number text (SignedDecimal) and the stop-bits text (StopBitsText) are the
// report's too, from support/number_text.h.
// Exactly four upper-case hexadecimal digits: zero-padded, or the last four digits.
std::string Hex4(uint32_t value);
// A handle value as the list shows it: " 4660 (&H1234)".
std::string HandleCellText(uint32_t value);
// "Cross-Over" (0), "Unknown" (-1), "Pass-Through" (1); no text for any other value.

// ---- row and header decisions ----------------------------------------------------------
// Owner columns show when ProcessId is set and is not the running program's own id.
bool OwnerTestHolds(const PortRecord& record, uint32_t ownProcessId);
// Line columns show when Status is neither empty nor "Disconnected" (any case).
bool LineTestHolds(const PortRecord& record);

// The cells of one row in the order they are written.
std::vector<CellWrite> ResultRowCells(const PortRecord& record, uint32_t ownProcessId);

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

}  // namespace kestrune
