#pragma once
// The results list view (control 1025): 50 columns, one row per PortRecord of the last
// scan, headers written only for the groups the data fills. What each row and header says is
// decided in app/window/result_cells.h and the colours in app/window/row_colours.h; the
// functions here send it to the control.
#include <windows.h>

#include <vector>

#include "record/port_record.h"

namespace kestrune {

// At start-up: the empty centred columns of width -1.
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

}  // namespace kestrune
