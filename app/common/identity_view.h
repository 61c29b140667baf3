#pragma once
// Where people see port identity: the trailing columns of the results list (a divider,
// "Description", "VID:PID", "Serial Number", after the designed 46), the hardware block at the
// end of the diagnostic report, and the console scan's trailing columns and reservation table.
#include <string>
#include <string_view>
#include <vector>

#include "app/common/list_cells.h"
#include "record/port_record.h"
#include "scan/port_identity.h"

namespace kestrune {

// ---- the results list -----------------------------------------------------------------
constexpr int kFirstIdentityColumn = kDesignedColumnCount + 1;  // 47, the divider

// The header of an identity column (47..50); "" for the divider.
const char* IdentityColumnHeader(int column);
// The text of an identity cell: the device's friendly name (its description when it has none),
// its VID:PID, its serial number (or instance id), in the ANSI code page of the list. Empty
// without a device, for the divider and for columns outside 47..50.
std::string IdentityCellText(const PortIdentity* identity, int column);
// The identity cells of one row, in column order (the divider always, the others when not empty;
// each asks for a content width).
std::vector<CellWrite> IdentityRowCells(const PortIdentity* identity);
// The identity headers one row asks for: the divider's always, the others when the row fills them.
std::vector<HeaderStep> IdentityHeaderSteps(const PortIdentity* identity);

// The hardware behind the rows the list shows: set by the refresh after its scan.
void SetShownHardware(HardwareSnapshot snapshot);
const HardwareSnapshot& ShownHardware();
// The shown identity of a record's port; null when no device names it.
const PortIdentity* ShownIdentity(const PortRecord& record);

// ---- the diagnostic report -------------------------------------------------------------
// The report's last block (lines without CR LF): two empty lines, "Hardware Identity", per
// scanned port its device (or that it has none) and per device no scanned port names the
// same; then "COM Number Reservations" with one line per reserved number and its reason. The
// identity's texts are converted to the report's ANSI code page.
std::vector<std::string> HardwareReportLines(const std::vector<PortRecord>& records, const HardwareSnapshot& hardware);

}  // namespace kestrune
