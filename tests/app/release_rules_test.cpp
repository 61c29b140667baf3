// Releasing COM number reservations, the plain part: which numbers may go and why the others
// may not, the sweeps, the value after the release, and the backup file's form.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "app/console/comdb_backup.h"
#include "app/console/release_output.h"
#include "app/console/release_rules.h"

using namespace kestrune;

namespace {

PortIdentity Device(const char* port, bool present, const char* friendly) {
    PortIdentity device;
    device.portName = port;
    device.friendlyName = friendly;
    device.instanceId = std::string("USB\\VID_0403&PID_6001\\") + port;
    device.vidPid = "0403:6001";
    device.present = present;
    return device;
}

// COM2 present device, COM3 present device also listed, COM4 port list only, COM5 device map
// only, COM7 phantom, COM8 phantom still in the port list, COM9 stale; COM6 not reserved.
ReleaseFacts Machine() {
    ReleaseFacts facts;
    facts.bitmap = std::vector<uint8_t>(32, 0);
    for (int number : {2, 3, 4, 5, 7, 8, 9}) facts.bitmap[(number - 1) / 8] |= 1u << ((number - 1) % 8);
    facts.devices = {Device("COM2", true, "Board (COM2)"), Device("COM3", true, "Adapter (COM3)"),
                     Device("COM7", false, "Gone (COM7)"), Device("COM8", false, "Gone too (COM8)")};
    facts.deviceMapPorts = {"COM2", "COM3", "COM5"};
    facts.portListPorts = {"COM3", "COM4", "COM8"};
    return facts;
}

TEST(ReleaseRules, EachNumberReleasedOrRefusedWithItsReason) {
    const ReleaseFacts facts = Machine();
    const struct {
        int number;
        bool released;
        const char* reason;
        const char* device;
    } cases[] = {
        {2, false, "a device that is present uses it", "Board (COM2) [0403:6001]"},
        {3, false, "a device that is present uses it", "Adapter (COM3) [0403:6001]"},
        {4, false, "the port list names it now", ""},
        {5, false, "the device map names it now", ""},
        {6, false, "not reserved", ""},
        {7, true, "phantom", "Gone (COM7) [0403:6001]"},
        {8, false, "the port list names it now", "Gone too (COM8) [0403:6001]"},
        {9, true, "stale", ""},
        {200, false, "not reserved", ""},  // inside the range, outside the 32-byte value
        {0, false, "outside the COM number range", ""},
        {5000, false, "outside the COM number range", ""},
        {-3, false, "outside the COM number range", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.number);
        const ReleaseOutcome outcome = DecideRelease(c.number, facts);
        EXPECT_EQ(outcome.released, c.released);
        EXPECT_EQ(outcome.reason, c.reason);
        EXPECT_EQ(outcome.device, c.device);
    }
    // A present device wins over a phantom naming the same number.
    ReleaseFacts both = facts;
    both.devices.push_back(Device("COM7", true, "Back again (COM7)"));
    EXPECT_EQ(DecideRelease(7, both).reason, "a device that is present uses it");
}

TEST(ReleaseRules, SweepsAndNamedNumbersChangeOnlyTheirBits) {
    const ReleaseFacts facts = Machine();
    auto numbers = [](const ReleasePlan& plan) {
        std::vector<std::pair<int, bool>> out;
        for (const ReleaseOutcome& o : plan.outcomes) out.push_back({o.number, o.released});
        return out;
    };
    ReleaseRequest stale;
    stale.stale = true;
    const ReleasePlan stalePlan = PlanRelease(stale, facts);
    EXPECT_EQ(numbers(stalePlan), (std::vector<std::pair<int, bool>>{{9, true}}));
    EXPECT_FALSE(stalePlan.AnyPhantom());

    ReleaseRequest absent;
    absent.absent = true;
    absent.numbers = {4, 9, 4};  // asked first, each once; the sweep adds what is left
    const ReleasePlan absentPlan = PlanRelease(absent, facts);
    EXPECT_EQ(numbers(absentPlan), (std::vector<std::pair<int, bool>>{{4, false}, {9, true}, {7, true}}));
    EXPECT_FALSE(absentPlan.AllReleased());
    EXPECT_TRUE(absentPlan.AnyPhantom());
    EXPECT_EQ(absentPlan.before, facts.bitmap);
    std::vector<uint8_t> expected = facts.bitmap;
    expected[0] = static_cast<uint8_t>(expected[0] & ~(1u << 6));  // COM7
    expected[1] = static_cast<uint8_t>(expected[1] & ~1u);          // COM9
    EXPECT_EQ(absentPlan.after, expected);

    // A value shorter than 32 bytes keeps its length.
    ReleaseFacts shortValue = facts;
    shortValue.bitmap.resize(2);
    ReleaseRequest named;
    named.numbers = {9, 17};
    const ReleasePlan shortPlan = PlanRelease(named, shortValue);
    EXPECT_EQ(shortPlan.after.size(), 2u);
    EXPECT_EQ(shortPlan.after[1], 0u);
    EXPECT_EQ(shortPlan.outcomes[1].reason, "not reserved");

    ReleaseFacts empty;
    EXPECT_TRUE(PlanRelease(stale, empty).outcomes.empty());
    EXPECT_FALSE(PlanRelease(stale, empty).Changes());
    EXPECT_EQ(HexBytes({0x7C, 0x02}), "7C 02");
    EXPECT_EQ(HexBytes({}), "(empty)");
}

// A restore frees what the backup frees only where the release would: each number the
// saved value clears goes through the same rules, and a number in use stays reserved.
TEST(ReleaseRules, RestoreFreesOnlyWhatAReleaseWould) {
    const ReleaseFacts facts = Machine();  // COM2 3 4 5 7 8 9 reserved now
    std::vector<uint8_t> saved(32, 0);
    saved[0] = 1u << 0;  // COM1 reserved in the backup (an adapter since removed), nothing else
    const ReleasePlan plan = PlanRestore(saved, facts);
    std::vector<std::string> outcomes;
    for (const ReleaseOutcome& o : plan.outcomes) outcomes.push_back(std::to_string(o.number) + "=" + o.reason);
    EXPECT_EQ(outcomes, (std::vector<std::string>{"2=a device that is present uses it",
                                                  "3=a device that is present uses it", "4=the port list names it now",
                                                  "5=the device map names it now", "7=phantom",
                                                  "8=the port list names it now", "9=stale"}));
    EXPECT_FALSE(plan.AllReleased());
    std::vector<uint8_t> expected(32, 0);
    for (int number : {1, 2, 3, 4, 5, 8}) expected[(number - 1) / 8] |= 1u << ((number - 1) % 8);
    EXPECT_EQ(plan.after, expected);

    // A backup shorter than the value grows where a kept number lies beyond its end.
    ReleaseFacts beyond = facts;
    beyond.bitmap[4] = 1u << 1;  // COM34
    beyond.devices.push_back(Device("COM34", true, "Hub (COM34)"));
    EXPECT_EQ(PlanRestore(std::vector<uint8_t>(2, 0), beyond).after.size(), 5u);
    // A backup that frees nothing restores whole.
    EXPECT_TRUE(PlanRestore(facts.bitmap, facts).AllReleased());
    EXPECT_EQ(PlanRestore(facts.bitmap, facts).after, facts.bitmap);
}

TEST(ReleaseRules, RestoreOnAnotherMachineNeedsForce) {
    const struct {
        std::optional<std::string> backup;
        bool force;
        bool refused;
    } cases[] = {
        {std::string("LAB-7"), false, false}, {std::string("lab-7"), false, false},
        {std::string("OFFICE"), false, true}, {std::string("OFFICE"), true, false},
        {std::nullopt, false, true},          {std::nullopt, true, false},
        {std::string(""), false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.backup.value_or("(none)") + (c.force ? " --force" : ""));
        const std::string refusal = RestoreMachineRefusal(c.backup, "LAB-7", c.force);
        EXPECT_EQ(!refusal.empty(), c.refused) << refusal;
        if (c.refused) EXPECT_NE(refusal.find("--force"), std::string::npos) << refusal;
    }
}

// Once the backup is written, whatever goes wrong after it, the failure line says where the
// previous value is; before it there is no file to name.
TEST(ReleaseOutput, AFailureAfterTheBackupNamesIt) {
    const struct {
        ReleaseStatus status;
        const char* backup;
        const char* line;
    } cases[] = {
        {ReleaseStatus::kReadBackDiffers, "C:\\b.txt", "kestrune-scan: x; the previous value is saved in C:\\b.txt"},
        {ReleaseStatus::kWriteFailed, "C:\\b.txt", "kestrune-scan: x; the previous value is saved in C:\\b.txt"},
        {ReleaseStatus::kBackupFailed, "", "kestrune-scan: x"},
        {ReleaseStatus::kOtherMachine, "", "kestrune-scan: x"},
        {ReleaseStatus::kDone, "C:\\b.txt", ""},
    };
    for (const auto& c : cases) {
        ReleaseRun run;
        run.status = c.status;
        run.detail = "x";
        run.backupPath = c.backup;
        EXPECT_EQ(ReleaseFailureLine(run), c.line);
    }
}

TEST(ComDbBackupFile, RoundTripAndEveryDamageRefused) {
    const std::vector<uint8_t> value = {0x7C, 0x02, 0x00, 0xFF};
    const std::string text = ComDbBackupText(value, "2026-12-09 02:40:11", "LAB-7");
    std::string why;
    std::optional<std::string> machine;
    ASSERT_EQ(ParseComDbBackup(text, &why, &machine), value) << why;
    EXPECT_EQ(machine, std::optional<std::string>("LAB-7"));
    // A backup of an older version names no machine; it still reads.
    ASSERT_EQ(ParseComDbBackup(text.substr(0, text.find("machine: ")) + text.substr(text.find("saved: ")), &why, &machine),
              value);
    EXPECT_EQ(machine, std::nullopt);
    EXPECT_EQ(Crc32({'1', '2', '3', '4', '5', '6', '7', '8', '9'}), 0xCBF43926u);  // the standard check value

    auto replaced = [&](const std::string& from, const std::string& to) {
        std::string changed = text;
        changed.replace(changed.find(from), from.size(), to);
        return changed;
    };
    std::string lfOnly = text;
    for (std::size_t at; (at = lfOnly.find('\r')) != std::string::npos;) lfOnly.erase(at, 1);
    EXPECT_EQ(ParseComDbBackup(lfOnly, &why), value) << "LF line ends read too";

    const struct {
        std::string text, why;
    } damaged[] = {
        {"", "not a COM number database backup"},
        {"Windows Registry Editor Version 5.00\r\n", "not a COM number database backup"},
        {replaced("backup 1", "backup 2"), "not a COM number database backup"},
        {replaced("value: ComDB", "value: Other"), "the backup is of another registry value"},
        {replaced("COM Name Arbiter", "Elsewhere"), "the backup is of another registry value"},
        {replaced("bytes: 4", "bytes: 5"), "the backup's data is damaged"},
        {replaced("bytes: 4", "bytes: x"), "the backup's length is damaged"},
        {replaced("bytes: 4", "bytes: 999999"), "the backup's length is damaged"},
        {replaced("7C0200FF", "7C0201FF"), "the backup's check does not match its data"},
        {replaced("7C0200FF", "7C02G0FF"), "the backup's data is damaged"},
        {replaced("check: ", "check: 0"), "the backup's check does not match its data"},
        {text.substr(0, text.find("check: ")), "the backup's check does not match its data"},
    };
    for (const auto& d : damaged) {
        SCOPED_TRACE(d.text);
        why.clear();
        EXPECT_FALSE(ParseComDbBackup(d.text, &why).has_value());
        EXPECT_EQ(why, d.why);
    }
}

}  // namespace
