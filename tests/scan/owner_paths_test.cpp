// Where the owner search looks: the scan's own ports without a walk, the walk only for
// ports held by others and only over handles of a port's object type; a full scan compared
// record by record with the walk forced on every port.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "bench/helper_process.h"
#include "scan/owner_search.h"
#include "scan/progress.h"
#include "scan/scan_driver.h"
#include "support/fixed_text.h"
#include "scan_test_support.h"

using namespace kestrune;
using scan_test::HandleCount;
using scan_test::NameOf;

namespace {

const char kFolder[] = "C:\\kestrune-owner-paths";

HANDLE OpenShared(const std::string& path) {
    CreateDirectoryA(kFolder, nullptr);
    return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool Inheritable(uint32_t handle) {
    DWORD flags = 0;
    return GetHandleInformation(FieldToHandle(handle), &flags) && (flags & HANDLE_FLAG_INHERIT);
}

// Fakes of the handle table with odd type numbers.
bool FakeTableWithoutTypes(std::vector<HandleEntry>& entries) {
    if (!TakeHandleSnapshot(entries)) return false;
    for (HandleEntry& entry : entries) entry.objectType = 0;
    return true;
}
bool FakeTableWithoutOwnHandles(std::vector<HandleEntry>& entries) {  // the type cannot be learned
    if (!TakeHandleSnapshot(entries)) return false;
    std::vector<HandleEntry> others;
    for (const HandleEntry& entry : entries)
        if (entry.processId != GetCurrentProcessId()) others.push_back(entry);
    entries = others;
    return true;
}
bool FakeTableWithUnknownTypes(std::vector<HandleEntry>& entries) {  // one type number nobody knows
    if (!TakeHandleSnapshot(entries)) return false;
    for (HandleEntry& entry : entries) entry.objectType = 0xFFFF;
    return true;
}

// A record as the probe leaves it, with the fields a match changes normalised: handle
// values the scan creates differ from scan to scan, so only whether they are set counts.
PortRecord Comparable(PortRecord record) {
    record.DupObjHandle = record.DupObjHandle != 0;
    record.DupObjAddress = record.DupObjAddress != 0;
    record.RtHandle = record.RtHandle != 0;
    record.WinHandle = record.WinHandle != 0;
    if (record.ProcessId == GetCurrentProcessId()) record.ObjHandle = record.ObjHandle != 0;
    return record;
}

// The offset of the first byte in which two records differ once normalised; -1 when none.
long FirstDifference(const PortRecord& a, const PortRecord& b) {
    const PortRecord x = Comparable(a), y = Comparable(b);
    const auto* p = reinterpret_cast<const unsigned char*>(&x);
    const auto* q = reinterpret_cast<const unsigned char*>(&y);
    for (std::size_t i = 0; i < sizeof(PortRecord); ++i)
        if (p[i] != q[i]) return static_cast<long>(i);
    return -1;
}

}  // namespace

TEST(OwnerRoute, EveryCase) {
    struct Row { const char* status; uint32_t winHandle; const char* device; bool force; OwnerRoute route; };
    const Row rows[] = {
        {"Available", 0x1C, "\\??\\Z:\\dev\\pts\\3", false, OwnerRoute::kOwnHandle},
        {"Available", 0, "\\??\\Z:\\dev\\pts\\3", false, OwnerRoute::kWalk},  // no handle of its own
        {"In-Use", 0, "\\Device\\Serial2", false, OwnerRoute::kWalk},
        {"", 0, "\\Device\\Serial2", false, OwnerRoute::kWalk},
        {"Disconnected", 0, "COM4", false, OwnerRoute::kNone},  // a COM name is no object name
        {"In-Use", 0, "", false, OwnerRoute::kNone},
        {"Available", 0x1C, "\\Device\\Serial0", true, OwnerRoute::kWalk},
        {"Disconnected", 0, "COM4", true, OwnerRoute::kWalk},
    };
    for (const Row& row : rows)
        EXPECT_EQ(ChooseOwnerRoute(row.status, row.winHandle, row.device, row.force), row.route)
            << row.status << " " << row.device;
}

TEST(OwnerTypeFilter, OnlyThePortTypeUnlessATypeIsUnknown) {
    struct Row { uint16_t handle, port; bool named; };
    const Row rows[] = {
        {17, 17, true}, {8, 17, false}, {9, 17, false}, {0, 17, true},  // a table without types
        {8, 0, true},                                                    // port type not learned
        {0, 0, true}, {0xFFFF, 17, false}, {28, 28, true},
    };
    for (const Row& row : rows) EXPECT_EQ(NameHandleOfType(row.handle, row.port), row.named) << row.handle << "/" << row.port;
}

TEST(SnapshotSize, TheFirstBufferIsTheLastFitWithRoomToGrow) {
    struct Row { std::size_t lastFit, first; };
    const Row rows[] = {
        {0, kFirstSnapshotBytes},
        {1000, kFirstSnapshotBytes},
        {400000, 500000},
        {kMaxSnapshotBytes - 1, kMaxSnapshotBytes},
        {kMaxSnapshotBytes * 2, kMaxSnapshotBytes},
    };
    for (const Row& row : rows) EXPECT_EQ(FirstSnapshotBufferSize(row.lastFit), row.first) << row.lastFit;
    const std::size_t word = sizeof(void*);
    EXPECT_EQ(HandleTableBytes(HandleTableLayout::kExtended, 0), 2 * word);
    EXPECT_EQ(HandleTableBytes(HandleTableLayout::kExtended, 10), 2 * word + 10 * (word == 4 ? 28 : 40));
    EXPECT_EQ(HandleTableBytes(HandleTableLayout::kClassic, 10), word + 10 * (word == 4 ? 16 : 24));
}

TEST(OwnerPaths, OwnHandleWithoutWalkGivesWhatTheWalkGives) {
    const DWORD handles = HandleCount();
    HANDLE file = OpenShared(std::string(kFolder) + "\\own-port.tmp");
    const std::string name = NameOf(file);
    auto records = [&] {
        std::vector<PortRecord> r(2);
        for (PortRecord& record : r) {
            SetText(record.DeviceName, name);
            SetText(record.Status, "Available");
            record.WinHandle = HandleToField(file);
        }
        SetText(r[1].DeviceName, "COM4");  // a port-list-only port
        SetText(r[1].Status, "Disconnected");
        r[1].WinHandle = 0;
        return r;
    };
    std::vector<PortRecord> direct = records(), walked = records();
    OwnerSearchCounters directCount, walkedCount;
    FindPortOwners(direct, nullptr, {}, &directCount);
    OwnerSearchOptions force;
    force.walkEveryPort = true;
    FindPortOwners(walked, nullptr, {}, &walkedCount, force);

    EXPECT_FALSE(directCount.walked);
    EXPECT_FALSE(directCount.snapshotTaken);
    EXPECT_EQ(directCount.entries, 0u);
    EXPECT_EQ(directCount.names.queries, 1u);  // its own handle only
    EXPECT_EQ(directCount.ownHandles, 1u);
    EXPECT_TRUE(walkedCount.walked);
    EXPECT_GT(walkedCount.names.queries, 1u);
    ASSERT_EQ(direct[0].ProcessId, GetCurrentProcessId());
    for (std::size_t i = 0; i < direct.size(); ++i)
        EXPECT_EQ(FirstDifference(direct[i], walked[i]), -1) << i;
    EXPECT_EQ(direct[0].ObjHandle, HandleToField(file));
    EXPECT_EQ(NameOf(FieldToHandle(direct[0].WinHandle)), name);  // a working duplicate
    EXPECT_FALSE(Inheritable(direct[0].DupObjHandle));
    EXPECT_FALSE(Inheritable(direct[0].DupObjAddress));
    for (auto* set : {&direct, &walked})
        for (PortRecord& record : *set) ReleaseOwnerHandles(record);
    CloseHandle(file);
    EXPECT_EQ(HandleCount(), handles);
}

TEST(OwnerPaths, TheWalkNamesOnlyPortTypesAndOddTablesFallBackToNamingAll) {
    const std::string held = std::string(kFolder) + "\\held-by-helper.tmp";
    HANDLE probe = OpenShared(held);
    const std::string name = NameOf(probe);
    CloseHandle(probe);
    kestrune_helpers::HelperProcess helper;
    ASSERT_TRUE(helper.Start(scan_test::BinDir() + "helper_hold_handles.exe", "1 \"" + held + "\" -"));
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);  // a handle of another type

    struct Row { const char* what; SnapshotFunction table; bool filtered; };
    const Row rows[] = {
        {"the system's table", nullptr, true},
        {"no types at all", FakeTableWithoutTypes, false},
        {"the own handles missing", FakeTableWithoutOwnHandles, false},
        {"one unknown type number", FakeTableWithUnknownTypes, false},
    };
    for (const Row& row : rows) {
        std::vector<PortRecord> records(1);
        SetText(records[0].DeviceName, name);
        SetText(records[0].Status, "In-Use");
        OwnerSearchOptions options;
        options.snapshot = row.table;
        OwnerSearchCounters count;
        FindPortOwners(records, nullptr, {}, &count, options);
        EXPECT_TRUE(count.walked) << row.what;
        EXPECT_EQ(records[0].ProcessId, helper.processId()) << row.what;
        EXPECT_NE(records[0].WinHandle, 0u) << row.what;
        EXPECT_FALSE(Inheritable(records[0].DupObjHandle)) << row.what;
        EXPECT_FALSE(Inheritable(records[0].DupObjAddress)) << row.what;
        EXPECT_EQ(count.typeSkipped > 0, row.filtered) << row.what;
        ReleaseOwnerHandles(records[0]);
    }
    CloseHandle(event);
}

TEST(OwnerPaths, FullScanEqualsTheScanWithTheWalkForcedOnEveryPort) {
    if (!scan_test::LabUp()) GTEST_SKIP() << "serial lab is not up";
    OwnerSearchOptions force;
    force.walkEveryPort = true;
    std::vector<PortRecord> forced, current;
    ScanPorts(forced, nullptr, force);
    ScanPorts(current, nullptr);
    ASSERT_EQ(forced.size(), current.size());
    ASSERT_GT(current.size(), 1u);
    bool ownerSeen = false;
    for (std::size_t i = 0; i < current.size(); ++i) {
        EXPECT_EQ(FirstDifference(forced[i], current[i]), -1)
            << Text(current[i].PortName) << " " << Text(current[i].Status) << " owner " << current[i].ProcessId << "/"
            << forced[i].ProcessId;
        ownerSeen |= current[i].ProcessId != 0 && current[i].ProcessId != GetCurrentProcessId();
    }
    EXPECT_TRUE(ownerSeen);  // the lab's held port was attributed on both paths
}

TEST(OwnerNotice, SaysWhenOwnersMayBeMissing) {
    EXPECT_EQ(OwnerSearchNotice(false), "owners may be missing: not elevated");
    EXPECT_EQ(OwnerSearchNotice(true), "");
    // The privilege is turned on exactly when the program runs elevated.
    EXPECT_EQ(DebugPrivilegeScope().enabled(), ProcessIsElevated());
}

namespace {
// Stands for a window that is closed while the walk reports: asks the scan to stop once it
// has shown its first name.
class CloseAtFirstReport : public ProgressSink {
public:
    CloseAtFirstReport() : previous_(SetProgressSink(this)) {}
    ~CloseAtFirstReport() override { SetProgressSink(previous_); }
    void Show(const ProgressTexts&) override { closed = true; }
    bool TakesProgress(uint32_t) override { return true; }
    void Pump() override {}
    bool StopRequested() override { return closed; }
    bool closed = false;

private:
    ProgressSink* previous_;
};
}  // namespace

TEST(OwnerPaths, AClosingProgramEndsTheWalkWithinABatch) {
    const std::string held = std::string(kFolder) + "\\held-many.tmp";
    CloseHandle(OpenShared(held));
    kestrune_helpers::HelperProcess helper;
    ASSERT_TRUE(helper.Start(scan_test::BinDir() + "helper_hold_handles.exe", "300 \"" + held + "\" -"));
    const DWORD handles = HandleCount();
    std::vector<PortRecord> records(1);
    SetText(records[0].DeviceName, "\\Device\\NoSuchPort");
    SetText(records[0].Status, "In-Use");
    OwnerSearchCounters count;
    {
        CloseAtFirstReport window;
        const uint32_t statusWindow = 1;
        FindPortOwners(records, &statusWindow, {}, &count);
    }
    EXPECT_TRUE(count.stopped);
    EXPECT_LE(count.named, kNameBatchSize) << "only the batch under way is named";
    EXPECT_EQ(HandleCount(), handles) << "the unnamed duplicates are closed";
}
