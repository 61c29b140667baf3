#include "app/console/scan_table.h"

#include <algorithm>

#include "app/console/record_values.h"
#include "app/console/scan_tsv.h"
#include "app/console/text_fit.h"
#include "app/common/shown_record.h"
#include "scan/cable_test.h"
#include "scan/status_probe.h"
#include "support/fixed_text.h"
#include "support/utf8_text.h"

namespace kestrune {
namespace {

constexpr std::size_t kGap = 2;

struct ColumnRule {
    const char* header;
    std::size_t cap;      // the widest the column grows for its longest cell; 0: no cap
    std::size_t minimum;  // how far it shrinks when the line is still too long; 0: never
    int yieldOrder;       // a lower value gives up width first
};

// Each column is as wide as its longest cell, up to its cap; the device takes what the
// others leave and gives up width first, down to 12 characters; then the owner, a path
// shortened in the middle (it is what a person with a busy port is looking for).
const std::vector<ColumnRule>& Rules(RowSource source) {
    static const std::vector<ColumnRule> scan = {{"Port", 7, 0, 0},    {"Status", 12, 0, 0}, {"Settings", 12, 0, 0},
                                                 {"Owner", 30, 16, 1}, {"Cable", 13, 0, 0},  {"Type", 10, 0, 0},
                                                 {"Device", 0, 12, 0}};
    static const std::vector<ColumnRule> listing = {{"Port", 7, 0, 0}, {"Presence", 8, 0, 0}, {"Device", 0, 12, 0}};
    return source == RowSource::kScan ? scan : listing;
}

// The number of a COM name for ordering ("COM10" after "COM2"); names that are not COM
// names come after every COM port, in the order they came.
unsigned long ComOrder(std::string_view name) {
    if (name.size() < 4 || UpperAnsi(name.substr(0, 3)) != "COM" || name.size() > 12) return ~0ul;
    unsigned long number = 0;
    for (char c : name.substr(3)) {
        if (c < '0' || c > '9') return ~0ul;
        number = number * 10 + static_cast<unsigned long>(c - '0');
    }
    return number;
}

// A record's ANSI text as the table's UTF-8, control characters escaped.
std::string Shown(std::string_view ansi) { return ControlEscape(AnsiToUtf8(ansi)); }

// The device's name whole (the identity is UTF-8), else the device map's name.
std::string DeviceText(const ConsoleRow& row) {
    const std::string identity = IdentitySummary(row.identity);
    return identity.empty() ? Shown(Text(row.record.DeviceName)) : ControlEscape(identity);
}

// A path keeps its file name and an owner its process id, as long as they fit: the middle
// of the folders goes first.
std::string FitCell(const std::string& cell, std::size_t width) {
    if (DisplayWidth(cell) <= width) return cell;
    const std::size_t pid = cell.rfind(" (pid ");
    const std::size_t end = pid == std::string::npos ? cell.size() : pid;
    const std::size_t slash = end ? cell.rfind('\\', end - 1) : std::string::npos;
    if (slash != std::string::npos && slash > 0 && DisplayWidth(std::string_view(cell).substr(slash)) + 4 <= width)
        return ShortenMiddleKeepingTail(cell, slash, width);
    return pid == std::string::npos ? ShortenMiddle(cell, width) : ShortenMiddleKeepingTail(cell, pid, width);
}

}  // namespace

std::vector<std::string> TableHeader(RowSource source) {
    std::vector<std::string> header;
    for (const ColumnRule& rule : Rules(source)) header.push_back(rule.header);
    return header;
}

std::vector<std::string> TableCells(const ConsoleRow& row, RowSource source) {
    const PortRecord& r = row.record;
    if (source == RowSource::kListing)
        return {Shown(Text(r.PortName)), PortPresent(Text(r.DeviceName), Text(r.PortName)) ? "present" : "absent",
                DeviceText(row)};
    return {Shown(Text(r.PortName)), Shown(Text(r.Status)), LineSettingsText(r),
            ControlEscape(ForeignOwnerTextUtf8(r, row.ownerPath)),
            ShownCableText(r).value_or(""), Shown(Text(r.DeviceType)), DeviceText(row)};
}

std::string TableSummary(const std::vector<ConsoleRow>& rows, RowSource source) {
    const std::string ports = std::to_string(rows.size()) + (rows.size() == 1 ? " port: " : " ports: ");
    if (source == RowSource::kListing) {
        const auto present = std::count_if(rows.begin(), rows.end(), [](const ConsoleRow& row) {
            return PortPresent(Text(row.record.DeviceName), Text(row.record.PortName));
        });
        return ports + std::to_string(present) + " present, " + std::to_string(rows.size() - present) +
               " absent; no port opened";
    }
    std::size_t available = 0, inUse = 0, disconnected = 0, foreign = 0;
    for (const ConsoleRow& row : rows) {
        const std::string_view status = Text(row.record.Status);
        available += status == kStatusAvailable;
        inUse += status == kStatusInUse;
        disconnected += status == kStatusDisconnected;
        foreign += !ForeignOwnerText(row.record).empty();
    }
    return ports + std::to_string(available) + " available, " + std::to_string(inUse) + " in use, " +
           std::to_string(disconnected) + " disconnected; " + std::to_string(foreign) +
           (foreign == 1 ? " held by another program" : " held by other programs");
}

std::vector<ConsoleRow> InComOrder(const std::vector<ConsoleRow>& rows) {
    std::vector<ConsoleRow> sorted = rows;
    std::stable_sort(sorted.begin(), sorted.end(), [](const ConsoleRow& a, const ConsoleRow& b) {
        return ComOrder(Text(a.record.PortName)) < ComOrder(Text(b.record.PortName));
    });
    return sorted;
}

std::string RenderTable(const std::vector<ConsoleRow>& unsorted, RowSource source, std::size_t width) {
    if (unsorted.empty()) return std::string(kNoPortsText) + "\n";
    const std::vector<ConsoleRow> rows = InComOrder(unsorted);
    const std::vector<ColumnRule>& all = Rules(source);
    std::vector<std::vector<std::string>> cells;
    for (const ConsoleRow& row : rows) cells.push_back(TableCells(row, source));
    // A column empty in every row takes no room.
    std::vector<std::size_t> shown;
    for (std::size_t c = 0; c < all.size(); ++c)
        if (std::any_of(cells.begin(), cells.end(), [c](const auto& line) { return !line[c].empty(); }))
            shown.push_back(c);
    if (shown.empty()) shown.push_back(0);
    std::vector<std::vector<std::string>> lines(1);
    for (std::size_t c : shown) lines[0].push_back(all[c].header);
    for (const auto& line : cells) {
        lines.emplace_back();
        for (std::size_t c : shown) lines.back().push_back(line[c].empty() ? "-" : line[c]);
    }
    const std::size_t count = shown.size();
    std::vector<std::size_t> natural(count, 0), minimum(count, 0);
    std::vector<int> yieldOrder(count, 0);
    for (const auto& line : lines)
        for (std::size_t i = 0; i < count; ++i) natural[i] = std::max(natural[i], DisplayWidth(line[i]));
    for (std::size_t i = 0; i < count; ++i) {
        const ColumnRule& rule = all[shown[i]];
        const std::size_t header = std::string_view(rule.header).size();
        if (rule.cap) natural[i] = std::min(natural[i], std::max(rule.cap, header));
        minimum[i] = rule.minimum ? std::min(natural[i], std::max(rule.minimum, header)) : natural[i];
        yieldOrder[i] = rule.yieldOrder;
    }
    const std::vector<std::size_t> widths = FitColumnWidths(natural, minimum, kGap, width, yieldOrder);

    std::string out;
    for (const auto& line : lines) {
        std::string text;
        for (std::size_t i = 0; i < count; ++i) {
            const std::string cell = FitCell(line[i], widths[i]);
            text += i + 1 < count ? PadToWidth(cell, widths[i] + kGap) : cell;
        }
        while (!text.empty() && text.back() == ' ') text.pop_back();
        out += text + "\n";
    }
    return out + TableSummary(rows, source) + "\n";
}

std::string ReservationsBlock(const std::vector<ComReservation>& reservations, std::size_t width) {
    if (reservations.empty()) return std::string();
    std::vector<std::vector<std::string>> rows;
    for (const ComReservation& r : reservations) {
        std::string device = r.device;
        if (!r.vidPid.empty()) device += (device.empty() ? "[" : " [") + r.vidPid + "]";
        rows.push_back({"COM" + std::to_string(r.number), ReservationReasonText(r.reason), ControlEscape(device)});
    }
    return "\nCOM number reservations\n" + AlignedLines(rows, width);
}

}  // namespace kestrune
