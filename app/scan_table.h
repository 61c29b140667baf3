#pragma once
// The console scan's table: a header of field names and one tab-separated line per record.
#include <string>
#include <vector>

#include "scan/port_record.h"

namespace kestrune {

// The record fields a scan fills, in the order the table shows them.
const std::vector<std::string>& ScanTableColumns();

std::string ScanTableHeader();
std::string ScanTableLine(const PortRecord& record);

}  // namespace kestrune
