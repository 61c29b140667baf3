#pragma once
// What the window and the report show of a record where a field as it stands would mislead
// the reader. The record itself keeps every field for the programs that call the scan.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "record/port_record.h"

namespace kestrune {

constexpr char kCableNotTestedText[] = "Not Tested";

// The cable text: "Not Tested" for a port the cable test only read because another program
// holds it, "Not Supported" for a driver that refused line control, "Pass-Through" (1),
// "Cross-Over" (0) or "Unknown" (-1) for a verdict, nothing
// for any other CableKind.
std::optional<std::string> ShownCableText(const PortRecord& record);

// Whether the owning program (folder, name, version) is shown. Not when the owner found is
// the scanning process itself: that is the scan's own handle of a free port.
bool ShowsOwnerProgram(const PortRecord& record, uint32_t ownProcessId);

// The record's fields that name the program holding a port (its process id, handle and
// program path, folder, name and version): left empty where ShowsOwnerProgram is false.
bool IsOwnerField(std::string_view fieldName);

// A text field as shown: without the line end a system message carries (CR, LF and the
// blanks before them); any other text comes back whole.
std::string_view WithoutLineEnd(std::string_view text);

}  // namespace kestrune
