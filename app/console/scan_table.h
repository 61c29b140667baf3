#pragma once
// The console's readable table: one aligned line per port under a header, and a one-line
// summary, fitting a given width (100 console cells by default: a Chinese character takes
// two). Texts are UTF-8; long paths are shortened in the middle; an empty cell shows "-".
#include <cstddef>
#include <string>
#include <vector>

#include "app/console/console_row.h"

namespace kestrune {

constexpr std::size_t kTableWidth = 100;

// The header names of the table's columns for rows of this source.
std::vector<std::string> TableHeader(RowSource source);

// One row's cells, unshortened, in header order.
std::vector<std::string> TableCells(const ConsoleRow& row, RowSource source);

// "9 ports: 6 available, 2 in use, 1 disconnected; 1 held by another program" for a scan,
// "9 ports: 8 present, 1 absent; no port opened" for the gentle listing.
std::string TableSummary(const std::vector<ConsoleRow>& rows, RowSource source);

// What the table says for a machine without ports.
inline constexpr char kNoPortsText[] = "No USB and Serial Ports found";

// The rows in COM-number order (COM2 before COM10), names that are not COM names last.
std::vector<ConsoleRow> InComOrder(const std::vector<ConsoleRow>& rows);

// Header, rows in COM-number order and summary, each line ended by "\n"; kNoPortsText
// alone when there are no rows. Control characters in texts show escaped (ControlEscape);
// a column empty in every row is left out.
std::string RenderTable(const std::vector<ConsoleRow>& rows, RowSource source, std::size_t width = kTableWidth);

// The reserved COM numbers after an empty line, aligned and fitted to width like the
// table; nothing when none is reserved.
std::string ReservationsBlock(const std::vector<ComReservation>& reservations, std::size_t width = kTableWidth);

}  // namespace kestrune
