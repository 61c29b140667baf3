#include "app/console/release_rules.h"

#include <algorithm>

#include "support/fixed_text.h"

namespace kestrune {
namespace {

bool Names(const std::vector<std::string>& ports, int number) {
    return std::any_of(ports.begin(), ports.end(), [number](const std::string& port) { return ComNumber(port) == number; });
}

std::string DeviceName(const PortIdentity& device) {
    std::string name = !device.friendlyName.empty() ? device.friendlyName : device.description;
    if (name.empty()) name = device.instanceId;
    if (!device.vidPid.empty()) name += " [" + device.vidPid + "]";
    return name;
}

void Add(std::vector<int>& numbers, int number) {
    if (std::find(numbers.begin(), numbers.end(), number) == numbers.end()) numbers.push_back(number);
}

}  // namespace

bool BitSet(const std::vector<uint8_t>& bitmap, int number) {
    if (number < 1) return false;
    const std::size_t bit = static_cast<std::size_t>(number - 1);
    return bit / 8 < bitmap.size() && (bitmap[bit / 8] & (1u << (bit % 8))) != 0;
}

ReleaseOutcome DecideRelease(int number, const ReleaseFacts& facts) {
    ReleaseOutcome outcome;
    outcome.number = number;
    // The names the system's lists use must be able to name it, or nothing below can be checked.
    if (number < 1 || ComNumber("COM" + std::to_string(number)) != number) {
        outcome.reason = "outside the COM number range";
        return outcome;
    }
    const PortIdentity* device = FindIdentity(facts.devices, "COM" + std::to_string(number));
    if (device) outcome.device = DeviceName(*device);
    if (!BitSet(facts.bitmap, number)) {
        outcome.reason = "not reserved";
    } else if (device && device->present) {
        outcome.reason = "a device that is present uses it";
    } else if (Names(facts.deviceMapPorts, number)) {
        outcome.reason = "the device map names it now";
    } else if (Names(facts.portListPorts, number)) {
        outcome.reason = "the port list names it now";
    } else {
        outcome.released = true;
        outcome.reason = device ? "phantom" : "stale";
    }
    return outcome;
}

bool ReleasePlan::AllReleased() const {
    return std::all_of(outcomes.begin(), outcomes.end(), [](const ReleaseOutcome& o) { return o.released; });
}

bool ReleasePlan::AnyPhantom() const {
    return std::any_of(outcomes.begin(), outcomes.end(),
                       [](const ReleaseOutcome& o) { return o.released && o.reason == "phantom"; });
}

ReleasePlan PlanRelease(const ReleaseRequest& request, const ReleaseFacts& facts) {
    std::vector<int> asked;
    for (int number : request.numbers) Add(asked, number);
    if (request.stale || request.absent) {
        for (int number : ReservedComNumbers(facts.bitmap)) {
            // A sweep takes only what it may: numbers the lists can name, held by nothing or a phantom.
            const ReleaseOutcome outcome = DecideRelease(number, facts);
            if (!outcome.released) continue;
            if (outcome.reason == "stale" || (request.absent && outcome.reason == "phantom")) Add(asked, number);
        }
    }
    ReleasePlan plan;
    plan.before = facts.bitmap;
    plan.after = facts.bitmap;
    for (int number : asked) {
        ReleaseOutcome outcome = DecideRelease(number, facts);
        if (outcome.released) {
            const std::size_t bit = static_cast<std::size_t>(number - 1);
            plan.after[bit / 8] = static_cast<uint8_t>(plan.after[bit / 8] & ~(1u << (bit % 8)));
        }
        plan.outcomes.push_back(std::move(outcome));
    }
    return plan;
}

ReleasePlan PlanRestore(const std::vector<uint8_t>& saved, const ReleaseFacts& facts) {
    ReleasePlan plan;
    plan.before = facts.bitmap;
    plan.after = saved;
    for (int number : ReservedComNumbers(facts.bitmap)) {
        if (BitSet(saved, number)) continue;
        ReleaseOutcome outcome = DecideRelease(number, facts);
        if (!outcome.released) {
            const std::size_t bit = static_cast<std::size_t>(number - 1);
            if (plan.after.size() <= bit / 8) plan.after.resize(bit / 8 + 1, 0);
            plan.after[bit / 8] = static_cast<uint8_t>(plan.after[bit / 8] | (1u << (bit % 8)));
        }
        plan.outcomes.push_back(std::move(outcome));
    }
    return plan;
}

std::string RestoreMachineRefusal(const std::optional<std::string>& backupMachine, const std::string& thisMachine,
                                  bool force) {
    if (force) return std::string();
    if (!backupMachine)
        return "the backup names no machine (an older backup): it may be another machine's; --force restores it anyway";
    if (UpperAnsi(*backupMachine) == UpperAnsi(thisMachine)) return std::string();
    return "the backup was made on " + *backupMachine + ", not on " + thisMachine +
           "; --force restores it anyway";
}

std::string HexBytes(const std::vector<uint8_t>& bytes) {
    if (bytes.empty()) return "(empty)";
    static const char kHex[] = "0123456789ABCDEF";
    std::string text;
    for (uint8_t b : bytes) {
        if (!text.empty()) text += ' ';
        text += kHex[b >> 4];
        text += kHex[b & 15];
    }
    return text;
}

}  // namespace kestrune
