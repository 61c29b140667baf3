#include "app/console/port_watch.h"

#include <algorithm>
#include <cstdio>

#include "app/console/console_row.h"
#include "app/console/scan_tsv.h"
#include "app/console/text_fit.h"
#include "support/fixed_text.h"
#include "support/utf8_text.h"

namespace kestrune {

const char* WatchEventName(WatchEventKind kind) {
    switch (kind) {
        case WatchEventKind::kArrived: return "arrived";
        case WatchEventKind::kRemoved: return "removed";
        case WatchEventKind::kListed: return "listed";
        case WatchEventKind::kUnlisted: return "unlisted";
    }
    return "";
}

namespace {

bool Present(const DiscoveredPort& port) { return PortPresent(port.deviceName, port.portName); }

bool HasDevice(const std::vector<DiscoveredPort>& list, const DiscoveredPort& port) {
    const std::string name = UpperAnsi(port.portName);
    return std::any_of(list.begin(), list.end(), [&](const DiscoveredPort& p) {
        return Present(p) && UpperAnsi(p.portName) == name && p.deviceName == port.deviceName;
    });
}

// Known at all: with a device or from the port list.
bool Known(const std::vector<DiscoveredPort>& list, const DiscoveredPort& port, bool withDevice) {
    const std::string name = UpperAnsi(port.portName);
    return std::any_of(list.begin(), list.end(), [&](const DiscoveredPort& p) {
        return UpperAnsi(p.portName) == name && (!withDevice || Present(p));
    });
}

}  // namespace

std::vector<WatchEvent> DiffListings(const std::vector<DiscoveredPort>& before,
                                     const std::vector<DiscoveredPort>& after) {
    std::vector<WatchEvent> events;
    auto add = [&](WatchEventKind kind, const DiscoveredPort& port) {
        WatchEvent event;
        event.kind = kind;
        event.port = port;
        events.push_back(event);
    };
    for (const DiscoveredPort& port : before) {
        if (port.portName.empty()) continue;
        if (Present(port)) {
            if (!HasDevice(after, port)) add(WatchEventKind::kRemoved, port);
        } else if (!Known(after, port, false)) {
            add(WatchEventKind::kUnlisted, port);
        }
    }
    for (const DiscoveredPort& port : after) {
        if (port.portName.empty()) continue;
        if (Present(port)) {
            if (!HasDevice(before, port)) add(WatchEventKind::kArrived, port);
        } else if (!Known(before, port, false)) {
            add(WatchEventKind::kListed, port);
        }
    }
    return events;
}

std::string WatchTimeText(const SYSTEMTIME& t) {
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%03u", t.wYear, t.wMonth, t.wDay, t.wHour,
                  t.wMinute, t.wSecond, t.wMilliseconds);
    return text;
}

std::string WatchEventLine(const WatchEvent& event) {
    const std::string name = PadToWidth(WatchEventName(event.kind), 8);
    const std::string port = PadToWidth(ControlEscape(AnsiToUtf8(event.port.portName)), 6);
    std::string line = event.time + "  " + name + "  " + port + "  " + ControlEscape(AnsiToUtf8(event.port.deviceName));
    const std::string identity = IdentitySummary(event.identity);
    if (!identity.empty()) line += "  " + ControlEscape(identity);
    return line + "\n";
}

std::string WatchEventTsvLine(const WatchEvent& event) {
    std::string line = event.time + "\t" + WatchEventName(event.kind) + "\t" +
                       TsvEscape(AnsiToUtf8(event.port.portName)) + "\t" +
                       TsvEscape(AnsiToUtf8(event.port.deviceName)) + "\t" +
                       (event.kind == WatchEventKind::kArrived ? "1" : "0");
    for (const std::string& name : IdentityFieldNames())
        line += "\t" + TsvEscape(IdentityText(event.identity, name));
    return line + "\n";
}

}  // namespace kestrune
