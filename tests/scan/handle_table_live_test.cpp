// Both handle-table layouts as the running system writes them, in this build's word size:
// the entries of either class must list this process's handles with their true values.
#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "scan/owner_search.h"
#include "support/handles.h"

using namespace kestrune;

TEST(HandleTableLive, BothClassesListThisProcessesHandles) {
    struct Row { ULONG infoClass; HandleTableLayout layout; };
    const Row rows[] = {{kExtendedHandleInformationClass, HandleTableLayout::kExtended},
                        {kClassicHandleInformationClass, HandleTableLayout::kClassic}};
    UniqueHandle events[3];
    for (UniqueHandle& e : events) e.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    for (const Row& row : rows) {
        std::vector<HandleEntry> entries;
        ASSERT_TRUE(TakeHandleSnapshotIn(row.layout, entries)) << row.infoClass;
        for (const UniqueHandle& e : events) {
            int found = 0;
            for (const HandleEntry& entry : entries)
                found += entry.processId == GetCurrentProcessId() && entry.handleValue == HandleToField(e.get());
            EXPECT_EQ(found, 1) << "class " << row.infoClass << " handle " << HandleToField(e.get());
        }
        // Misread entries show as process ids that no process has.
        for (const HandleEntry& entry : entries) ASSERT_LT(entry.processId, 0x100000u) << row.infoClass;
    }
}

// The first buffer follows the table, not the buffers before it: many snapshots of a small
// table keep asking for the smallest buffer (they once grew by a quarter each, to 256 MB).
TEST(HandleTableLive, RepeatedSnapshotsDoNotGrowTheFirstBuffer) {
    std::vector<HandleEntry> entries;
    for (int i = 0; i < 40; ++i) ASSERT_TRUE(TakeHandleSnapshot(entries));
    ASSERT_LT(HandleTableBytes(HandleTableLayout::kExtended, entries.size()), kFirstSnapshotBytes);
    EXPECT_EQ(SnapshotFirstBufferBytes(), kFirstSnapshotBytes);
}
