// Both handle-table layouts as the running system writes them, in this build's word size:
// the entries of either class must list this process's handles with their true values.
#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "scan/owner_search.h"
#include "support/handles.h"

using namespace kestrune;

extern "C" LONG NTAPI NtQuerySystemInformation(ULONG, void*, ULONG, ULONG*);

namespace {

// The table of one class, read with a buffer that grows until it fits.
bool ReadTable(ULONG infoClass, HandleTableLayout layout, std::vector<HandleEntry>& entries) {
    std::size_t size = kFirstSnapshotBytes;
    for (int attempt = 0; attempt < kMaxSnapshotTries && size; ++attempt) {
        std::vector<unsigned char> buffer(size);
        ULONG reported = 0;
        const LONG status = NtQuerySystemInformation(infoClass, buffer.data(), static_cast<ULONG>(size), &reported);
        if (status == 0) return ParseHandleTable(buffer.data(), reported && reported <= size ? reported : size, layout, entries);
        size = NextSnapshotBufferSize(size, reported);
    }
    return false;
}

}  // namespace

TEST(HandleTableLive, BothClassesListThisProcessesHandles) {
    struct Row { ULONG infoClass; HandleTableLayout layout; };
    const Row rows[] = {{kExtendedHandleInformationClass, HandleTableLayout::kExtended},
                        {kClassicHandleInformationClass, HandleTableLayout::kClassic}};
    UniqueHandle events[3];
    for (UniqueHandle& e : events) e.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    for (const Row& row : rows) {
        std::vector<HandleEntry> entries;
        ASSERT_TRUE(ReadTable(row.infoClass, row.layout, entries)) << row.infoClass;
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
