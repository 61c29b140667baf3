#pragma once
// The console's JSON output (UTF-8): {"mode": "scan" | "list", the header fields of
// app/json_header.h, "ports": [...]} with one
// object per port. A scanned port carries every record field under its own name, with
// numbers as numbers, StopBits as 1, 1.5 or 2, FlowControlBits as an object of named
// booleans, CommConfig as hex text, and beside them DtrControl and RtsControl (the
// control block's modes by name, null when not read), Present, DiscoveryIndex (its place in
// the scan's order, from 0; the array keeps that order) and an Identity object. A listed port
// carries the discovery fields, Present, DiscoveryIndex and Identity. When reservations are
// given, "reservations" lists every reserved COM number: {"port", "reason", "device", "vidPid"}.
#include <string>
#include <vector>

#include "app/console/console_row.h"
#include "app/console/json_header.h"

namespace kestrune {

struct WatchEvent;

// The whole document ended by "\n": indented by indent blanks per level, or on one line
// when indent is negative.
std::string RenderJson(const std::vector<ConsoleRow>& rows, RowSource source, int indent = 2,
                       const std::vector<ComReservation>* reservations = nullptr,
                       const JsonDocumentHeader& header = {});

// One watch event as a single line of JSON, ended by "\n".
std::string JsonEventLine(const WatchEvent& event);

}  // namespace kestrune
