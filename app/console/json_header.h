#pragma once
// The top of every JSON document the console writes, so that output gathered from many
// machines can be told apart and checked: {"mode", "schema", "kestrune", "host", "time", ...}.
// "schema" is the version of docs/kestrune-scan.schema.json the document follows, "kestrune"
// the program's version, "host" the computer's name, "time" when the document was made (UTC,
// ISO 8601 with milliseconds).
#include <windows.h>

#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace kestrune {

// Raised in the minor number when fields are added, in the major one when a field changes
// or goes away.
inline constexpr char kJsonSchemaVersion[] = "2.0";

struct JsonDocumentHeader {
    std::string host;  // UTF-8
    std::string time;  // "2026-12-09T02:40:12.345Z"
};

// "2026-12-09T02:40:12.345Z"; fields out of range give "" (never a crash).
std::string UtcIsoTime(const SYSTEMTIME& utc);

// A document object that starts with the mode and the header fields.
nlohmann::ordered_json JsonDocumentStart(std::string_view mode, const JsonDocumentHeader& header);

// This computer's name and the current time.
JsonDocumentHeader CurrentDocumentHeader();

}  // namespace kestrune
