#pragma once
// The class roads of refresh commands 1027-1029: the scan reached through the program's
// serial-port class as a client would reach it, its records copied into the road's array
// and shown like the direct road's.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "record/port_record.h"

namespace kestrune {

// More records than any machine's ports: bounds beyond this are not a scan's.
constexpr std::size_t kMaxRoadRecords = 65536;

// The number of records a result block holds, from the bounds its first record carries;
// none for bounds no scan gives.
std::optional<std::size_t> ResultBlockCount(int32_t lbound, int32_t ubound);

// fileName in the running program's own folder, by full path; empty when the program's
// path is not known.
std::string ProgramSiblingPath(std::string_view fileName);

// Whether the scan argument came back holding a result address: the call succeeded with
// result 0 and the argument changed from the status-bar handle it went in with to non-zero.
bool ScanArgumentHoldsResults(bool callSucceeded, int32_t methodResult, uint32_t sentArgument,
                              uint32_t returnedArgument);

// The records at a result address (a block the class keeps, records of 7528 bytes end to
// end). An empty list when its bounds are not a scan's.
std::vector<PortRecord> CopyResultBlock(uint32_t address);

// Each road fills its array in the shell and shows it; a road that created no object, found
// no method or whose call failed leaves the array with its single zero record and shows
// nothing. Nothing is reported.
void RunEarlyBoundRoad(HWND dialog, HWND statusBar);   // 1027: the class table, the function table
void RunLateBoundRoad(HWND dialog, HWND statusBar);    // 1028: the COM runtime, by method name
void RunNoRegistryRoad(HWND dialog, HWND statusBar);   // 1029: the program folder's Kestrune.dll

// Releases the objects the roads keep (before COM is shut down).
void ReleaseRoadObjects();

}  // namespace kestrune
