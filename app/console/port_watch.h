#pragma once
// Watching ports come and go: what changed between two listings, and the lines that say so.
#include <windows.h>

#include <string>
#include <vector>

#include "app/console/identity_fields.h"
#include "scan/discovery.h"

namespace kestrune {

// arrived: the device map lists the port's device now; removed: it no longer does (the
// port may stay in the port list); listed / unlisted: a port without a device entered or
// left the port list.
enum class WatchEventKind { kArrived, kRemoved, kListed, kUnlisted };

struct WatchEvent {
    WatchEventKind kind = WatchEventKind::kArrived;
    DiscoveredPort port;
    std::string time;  // local time, "2026-12-08 16:40:12.345"
    IdentityFields identity;
};

const char* WatchEventName(WatchEventKind kind);

// The events that lead from listing before to listing after: removals first, in the order
// of before, then arrivals in the order of after. A port whose device changed (same COM
// name, another device) is removed and arrives again. time and identity are left empty.
std::vector<WatchEvent> DiffListings(const std::vector<DiscoveredPort>& before,
                                     const std::vector<DiscoveredPort>& after);

std::string WatchTimeText(const SYSTEMTIME& local);

// "2026-12-08 16:40:12.345  arrived   COM9  \??\Z:\dev\pts\12", identity summary appended
// when known.
std::string WatchEventLine(const WatchEvent& event);

// time, event, PortName, DeviceName, Present and the identity fields, tab-separated and
// escaped as the TSV output is.
std::string WatchEventTsvLine(const WatchEvent& event);

}  // namespace kestrune
