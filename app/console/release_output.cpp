#include "app/console/release_output.h"

#include <nlohmann/json.hpp>

#include "app/console/scan_table.h"
#include "app/console/scan_tsv.h"
#include "app/console/text_fit.h"
#include "support/utf8_text.h"

namespace kestrune {

const char kPhantomNotice[] =
    "A phantom device plugged back in may be given a new COM number by Windows.";

namespace {

using Json = nlohmann::ordered_json;

bool Succeeded(const ReleaseRun& run) {
    return run.status == ReleaseStatus::kDone || run.status == ReleaseStatus::kDryRun;
}

std::string Port(int number) { return "COM" + std::to_string(number); }

// "byte 1: 02 -> 00" for every byte that differs (a length change shows as missing bytes).
std::string ChangedBytes(const ReleasePlan& plan) {
    static const char kHex[] = "0123456789ABCDEF";
    auto hex = [](const std::vector<uint8_t>& bytes, std::size_t i) {
        if (i >= bytes.size()) return std::string("--");
        return std::string{kHex[bytes[i] >> 4], kHex[bytes[i] & 15]};
    };
    std::vector<std::vector<std::string>> rows;
    const std::size_t size = std::max(plan.before.size(), plan.after.size());
    for (std::size_t i = 0; i < size; ++i)
        if (hex(plan.before, i) != hex(plan.after, i))
            rows.push_back({"  byte " + std::to_string(i) + ":", hex(plan.before, i) + " -> " + hex(plan.after, i)});
    return AlignedLines(rows, kTableWidth);
}

std::string ValueLines(const ReleaseRun& run) {
    const ReleasePlan& plan = run.plan;
    if (!plan.Changes()) return "The COM number database stays as it is (" + std::to_string(plan.before.size()) + " bytes).\n";
    return std::string("COM number database (") + std::to_string(plan.before.size()) + " bytes" +
           (plan.after.size() != plan.before.size() ? " -> " + std::to_string(plan.after.size()) + " bytes" : "") +
           (run.dryRun ? "), would change:\n" : "), changed:\n") + ChangedBytes(plan);
}

}  // namespace

std::string ReleaseFailureLine(const ReleaseRun& run) {
    if (Succeeded(run)) return std::string();
    // Past the backup, whatever went wrong, the previous value is in that file.
    const std::string saved =
        run.backupPath.empty() ? "" : "; the previous value is saved in " + AnsiToUtf8(run.backupPath);
    return "kestrune-scan: " + AnsiToUtf8(run.detail) + saved;
}

std::string ReleaseReport(const ReleaseRun& run) {
    if (!Succeeded(run)) return std::string();
    std::string text;
    if (run.restore) {
        text = (run.dryRun ? "Would restore the COM number database from " : "Restored the COM number database from ") +
               ControlEscape(AnsiToUtf8(run.restoreFile)) + (run.dryRun ? " (dry run, nothing changed)\n" : "\n");
        std::vector<std::vector<std::string>> kept;
        for (const ReleaseOutcome& o : run.plan.outcomes)
            if (!o.released) kept.push_back({Port(o.number), o.reason, ControlEscape(o.device)});
        if (!kept.empty())
            text += std::string(run.dryRun ? "Would keep reserved" : "Kept reserved") +
                    " (the backup frees them, but they are in use):\n" + AlignedLines(kept, kTableWidth);
    } else {
        std::vector<std::vector<std::string>> released, refused;
        for (const ReleaseOutcome& o : run.plan.outcomes)
            (o.released ? released : refused).push_back({Port(o.number), o.reason, ControlEscape(o.device)});
        if (released.empty() && refused.empty()) text += "No COM number reservation to release.\n";
        if (!released.empty())
            text += std::string(run.dryRun ? "Would release (dry run, nothing changed):\n" : "Released:\n") +
                    AlignedLines(released, kTableWidth);
        if (!refused.empty()) text += "Refused:\n" + AlignedLines(refused, kTableWidth);
    }
    text += ValueLines(run);
    if (!run.backupPath.empty()) text += "Previous value saved to " + AnsiToUtf8(run.backupPath) + "\n";
    if (!run.restore && run.plan.AnyPhantom()) text += std::string(kPhantomNotice) + "\n";
    return text;
}

std::string ReleaseJson(const ReleaseRun& run, const JsonDocumentHeader& header, int indent) {
    Json document = JsonDocumentStart(run.restore ? "restore" : "release", header);
    document["dry_run"] = run.dryRun;
    if (run.restore) document["file"] = AnsiToUtf8(run.restoreFile);
    document["backup"] = run.backupPath.empty() ? Json(nullptr) : Json(AnsiToUtf8(run.backupPath));
    const bool succeeded = Succeeded(run);
    if (run.restore) {
        Json kept = Json::array();
        for (const ReleaseOutcome& o : run.plan.outcomes) {
            if (o.released) continue;
            Json item = {{"port", Port(o.number)}, {"reason", o.reason}};
            item["device"] = o.device.empty() ? Json(nullptr) : Json(o.device);
            kept.push_back(std::move(item));
        }
        document["kept"] = std::move(kept);
    } else {
        Json released = Json::array(), refused = Json::array();
        for (const ReleaseOutcome& o : run.plan.outcomes) {
            Json item = {{"port", Port(o.number)}, {"reason", o.reason}};
            item["device"] = o.device.empty() ? Json(nullptr) : Json(o.device);
            if (!o.released) refused.push_back(std::move(item));
            else if (succeeded) released.push_back(std::move(item));
        }
        document["released"] = std::move(released);
        document["refused"] = std::move(refused);
    }
    auto hex = [](const std::vector<uint8_t>& bytes) { return bytes.empty() ? std::string() : HexBytes(bytes); };
    document["before"] = hex(run.plan.before);
    document["after"] = hex(succeeded ? run.plan.after : run.plan.before);
    if (run.restore) document["restored"] = succeeded && !run.dryRun;
    else document["notice"] = succeeded && run.plan.AnyPhantom() ? Json(kPhantomNotice) : Json(nullptr);
    document["error"] = succeeded ? Json(nullptr) : Json(AnsiToUtf8(run.detail));
    return document.dump(indent, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace kestrune
