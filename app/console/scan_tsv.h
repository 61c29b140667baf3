#pragma once
// The console's tab-separated output: a header of field names, then one line per port.
//
// A cell never holds a tab or a line break. Texts are UTF-8, with a backslash written as
// \\, tab as \t, line feed as \n, carriage return as \r and any other control character
// as \xHH (two upper-case hex digits); every other byte stands for itself. Numbers are
// decimal, StopBits is 1, 1.5 or 2, FlowControlBits the flag word in decimal, CommConfig
// the block's bytes in hex. A value that is not known is an empty cell.
#include <string>
#include <string_view>
#include <vector>

#include "app/console/console_row.h"

namespace kestrune {

std::string TsvEscape(std::string_view text);

// The same escaping for the outputs people read: control characters as \t, \n, \r and \xHH;
// a backslash stays a backslash (paths stay readable).
std::string ControlEscape(std::string_view text);

// The column names for rows of this source: every record field for a scan, the discovery
// fields for the listing, each followed by DtrControl and RtsControl (scan only), Present,
// DiscoveryIndex (the port's place in the scan's order, from 0; rows keep that order) and
// the identity fields.
std::vector<std::string> TsvColumns(RowSource source);

std::vector<std::string> TsvCells(const ConsoleRow& row, RowSource source);

// Header and rows, each line ended by "\n".
std::string RenderTsv(const std::vector<ConsoleRow>& rows, RowSource source);

// The help text's account of the escaping.
extern const char kTsvEscapingHelp[];

}  // namespace kestrune
