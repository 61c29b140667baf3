#include "app/scan_table.h"

#include <algorithm>

#include "app/record_values.h"
#include "app/text_fit.h"
#include "app/shown_record.h"
#include "scan/cable_test.h"
#include "scan/status_probe.h"
#include "support/fixed_text.h"

namespace kestrune {
namespace {

constexpr std::size_t kGap = 2;

struct ColumnRule {
    const char* header;
    std::size_t minimum;  // 0: never shrinks
    int yieldOrder;       // a lower value gives up width first
};

// Owner and device are paths: they give up width, shortened in the middle, the device
// first (the owner is what a person with a busy port is looking for).
const std::vector<ColumnRule>& Rules(RowSource source) {
    static const std::vector<ColumnRule> scan = {{"Port", 0, 0},  {"Status", 0, 0}, {"Settings", 0, 0},
                                                 {"Owner", 24, 1}, {"Cable", 0, 0}, {"Type", 0, 0},
                                                 {"Device", 12, 0}};
    static const std::vector<ColumnRule> listing = {{"Port", 0, 0}, {"Presence", 0, 0}, {"Device", 12, 0}};
    return source == RowSource::kScan ? scan : listing;
}

std::string DeviceText(const ConsoleRow& row) {
    std::string identity = IdentitySummary(row.identity);
    return identity.empty() ? std::string(Text(row.record.DeviceName)) : identity;
}

// A path keeps its file name and an owner its process id, as long as they fit: the middle
// of the folders goes first.
std::string FitCell(const std::string& cell, std::size_t width) {
    if (cell.size() <= width) return cell;
    const std::size_t pid = cell.rfind(" (pid ");
    const std::size_t end = pid == std::string::npos ? cell.size() : pid;
    const std::size_t slash = end ? cell.rfind('\\', end - 1) : std::string::npos;
    if (slash != std::string::npos && slash > 0 && cell.size() - slash + 4 <= width)
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
        return {std::string(Text(r.PortName)),
                PortPresent(Text(r.DeviceName), Text(r.PortName)) ? "present" : "absent", DeviceText(row)};
    return {std::string(Text(r.PortName)), std::string(Text(r.Status)), LineSettingsText(r), ForeignOwnerText(r),
            ShownCableText(r).value_or(""), std::string(Text(r.DeviceType)), DeviceText(row)};
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

std::string RenderTable(const std::vector<ConsoleRow>& rows, RowSource source, std::size_t width) {
    const std::vector<ColumnRule>& rules = Rules(source);
    std::vector<std::vector<std::string>> lines = {TableHeader(source)};
    for (const ConsoleRow& row : rows) {
        lines.push_back(TableCells(row, source));
        for (std::string& cell : lines.back())
            if (cell.empty()) cell = "-";
    }
    std::vector<std::size_t> natural(rules.size(), 0), minimum(rules.size(), 0);
    std::vector<int> yieldOrder;
    for (const ColumnRule& rule : rules) yieldOrder.push_back(rule.yieldOrder);
    for (const auto& cells : lines)
        for (std::size_t c = 0; c < rules.size(); ++c) natural[c] = std::max(natural[c], cells[c].size());
    for (std::size_t c = 0; c < rules.size(); ++c)
        minimum[c] = rules[c].minimum ? std::max(rules[c].minimum, std::string_view(rules[c].header).size())
                                      : natural[c];
    const std::vector<std::size_t> widths = FitColumnWidths(natural, minimum, kGap, width, yieldOrder);

    std::string out;
    for (const auto& cells : lines) {
        std::string line;
        for (std::size_t c = 0; c < rules.size(); ++c) {
            const std::string cell = FitCell(cells[c], widths[c]);
            line += cell;
            if (c + 1 < rules.size()) line += std::string(widths[c] - cell.size() + kGap, ' ');
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        out += line + "\n";
    }
    return out + TableSummary(rows, source) + "\n";
}

}  // namespace kestrune
