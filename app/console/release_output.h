#pragma once
// What kestrune-scan prints after releasing reservations or restoring a backup: a few
// aligned lines for people, or one JSON document:
//   {"mode": "release", "schema", "kestrune", "host", "time", "dry_run": false, "backup": "<path>" | null,
//    "released": [{"port": "COM9", "reason": "stale" | "phantom", "device": "..."}],
//    "refused": [{"port": "COM3", "reason": "...", "device": "..."}],
//    "before": "<hex>", "after": "<hex>", "notice": "..." | null, "error": "..." | null}
//   {"mode": "restore", "dry_run": ..., "file": "<path>", "backup": ...,
//    "kept": [{"port": "COM3", "reason": "...", "device": "..."}], "before": ..., "after": ...,
//    "restored": bool, "error": ...}
// "kept" lists the numbers the backup would free that stay reserved because they are in use.
#include <string>

#include "app/console/json_header.h"

#include "app/console/reservation_release.h"

namespace kestrune {

// Said whenever a phantom's number is released.
extern const char kPhantomNotice[];

std::string ReleaseReport(const ReleaseRun& run);
// The document starts with the mode and the header every console document carries.
std::string ReleaseJson(const ReleaseRun& run, const JsonDocumentHeader& header, int indent = 2);

// The one line for standard error when the run failed (empty when it did not).
std::string ReleaseFailureLine(const ReleaseRun& run);

}  // namespace kestrune
