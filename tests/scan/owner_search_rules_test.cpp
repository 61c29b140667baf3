// The owner search's decisions, fed every case as plain values.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "scan/owner_search.h"

using namespace kestrune;

TEST(ProcessSkip, EveryWordSkipsInAnyCaseAnywhere) {
    const char* words[] = {"Process", "SYSTEM", "WINLOGON", "SERVICES", "LSASS", "SVCHOST", "TASKMGR", "BaseNamedObj"};
    ASSERT_EQ(ProcessSkipWords().size(), 8u);
    for (const char* word : words) {
        std::string lower(word);
        for (char& c : lower) c = static_cast<char>(tolower(c));
        EXPECT_TRUE(ProcessPathSkipped(std::string("C:\\x\\") + lower + "y.exe")) << word;
        EXPECT_TRUE(ProcessPathSkipped(word)) << word;
    }
}

TEST(ProcessSkip, OrdinaryProgramsAndTheUnknownPath) {
    EXPECT_FALSE(ProcessPathSkipped("C:\\lab\\holder.exe"));
    EXPECT_FALSE(ProcessPathSkipped("Z:\\work\\tools\\kestrune-scan.exe"));
    EXPECT_FALSE(ProcessPathSkipped(""));
    EXPECT_TRUE(ProcessPathSkipped(kUnknownProgramPath));
    EXPECT_TRUE(ProcessPathSkipped("C:\\lab\\MySystemTools\\holder.exe"));
    EXPECT_TRUE(ProcessPathSkipped("C:\\windows\\system32\\term.exe"));
}

TEST(ObjectSkip, EveryFragmentInOrder) {
    const char* fragments[] = {"\\KnownDlls",       "\\KnownDlls32",      "\\Registry",         "\\Sessions",
                               "\\Default",         "\\BaseNamedObjects", "\\Kernel",          "Named-Pipe",
                               "\\RPC Control",     "\\Device\\HardDisk", "\\Device\\KsecDD",  "\\Device\\Afd",
                               "\\Device\\Nsi",     "\\Device\\0000005e", "\\Device\\ElbyCDIO", "\\Device\\NamedPipe",
                               "\\Device\\WmiDataDevice"};
    ASSERT_EQ(ObjectSkipFragments().size(), 17u);
    for (std::size_t i = 0; i < 17; ++i) {
        EXPECT_EQ(ObjectSkipFragments()[i], fragments[i]);
        std::string lower(fragments[i]);
        for (char& c : lower) c = static_cast<char>(tolower(c));
        EXPECT_TRUE(ObjectNameSkipped("x" + lower + "\\y")) << fragments[i];
    }
    EXPECT_TRUE(ObjectNameSkipped("\\Device\\HarddiskVolume2\\Windows\\x.dll"));
    EXPECT_FALSE(ObjectNameSkipped("\\Device\\Serial0"));
    EXPECT_FALSE(ObjectNameSkipped("\\??\\Z:\\dev\\pts\\3"));
}

TEST(DeviceMatch, WholeNameIgnoringCase) {
    struct Row { const char* device; const char* object; bool match; };
    const Row rows[] = {
        {"\\Device\\Serial0", "\\DEVICE\\SERIAL0", true},
        {"\\Device\\Serial1", "\\Device\\Serial10", false},
        {"\\Device\\Serial10", "\\Device\\Serial1", false},
        {"COM2", "\\Device\\Serial0", false},
        {"", "", false},
        {"\\??\\Z:\\dev\\pts\\3", "\\??\\z:\\DEV\\pts\\3", true},
    };
    for (const Row& row : rows) EXPECT_EQ(DeviceNameMatches(row.device, row.object), row.match) << row.device;
}

namespace {
// A table as the system writes it, in this build's word size.
template <typename Count, typename Entry>
std::vector<unsigned char> Table(Count count, const std::vector<Entry>& entries, std::size_t countField) {
    std::vector<unsigned char> bytes(countField + entries.size() * sizeof(Entry));
    std::memcpy(bytes.data(), &count, sizeof count);
    if (!entries.empty()) std::memcpy(bytes.data() + countField, entries.data(), entries.size() * sizeof(Entry));
    return bytes;
}
struct Extended {
    void* object; ULONG_PTR pid; ULONG_PTR handle; ULONG access; USHORT trace; USHORT type; ULONG attributes; ULONG reserved;
};
struct Classic {
    ULONG pid; UCHAR type; UCHAR flags; USHORT handle; void* object; ULONG access;
};
}  // namespace

TEST(HandleTable, ExtendedLayoutKeepsFullWidthIdentifiers) {
    std::vector<Extended> rows = {
        {reinterpret_cast<void*>(0x1234), 70000, 0x1F004, 0, 0, 0, 0, 0},
        {reinterpret_cast<void*>(0x5678), 4, 8, 0, 0, 0, 0, 0},
    };
    auto bytes = Table<ULONG_PTR>(2, rows, 2 * sizeof(ULONG_PTR));
    std::vector<HandleEntry> entries;
    ASSERT_TRUE(ParseHandleTable(bytes.data(), bytes.size(), HandleTableLayout::kExtended, entries));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0], (HandleEntry{70000, 0x1F004, 0x1234}));
    EXPECT_EQ(entries[1], (HandleEntry{4, 8, 0x5678}));
}

TEST(HandleTable, ClassicLayout) {
    std::vector<Classic> rows = {{612, 28, 0, 0x48, reinterpret_cast<void*>(0x99), 0}};
    auto bytes = Table<ULONG>(1, rows, alignof(void*) > 4 ? 8 : 4);
    std::vector<HandleEntry> entries;
    ASSERT_TRUE(ParseHandleTable(bytes.data(), bytes.size(), HandleTableLayout::kClassic, entries));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0], (HandleEntry{612, 0x48, 0x99}));
}

TEST(HandleTable, ACountBeyondTheBytesKeepsOnlyWholeEntries) {
    std::vector<Extended> rows = {{nullptr, 1, 4, 0, 0, 0, 0, 0}, {nullptr, 2, 8, 0, 0, 0, 0, 0}};
    auto bytes = Table<ULONG_PTR>(1000000, rows, 2 * sizeof(ULONG_PTR));
    bytes.resize(bytes.size() - 1);  // the second entry is cut
    std::vector<HandleEntry> entries;
    ASSERT_TRUE(ParseHandleTable(bytes.data(), bytes.size(), HandleTableLayout::kExtended, entries));
    EXPECT_EQ(entries.size(), 1u);
    EXPECT_FALSE(ParseHandleTable(bytes.data(), 3, HandleTableLayout::kExtended, entries));
    EXPECT_TRUE(entries.empty());
    EXPECT_FALSE(ParseHandleTable(nullptr, 100, HandleTableLayout::kClassic, entries));
}

TEST(SnapshotSize, GrowsWhenTheSystemReportsNothingOrTooLittle) {
    EXPECT_EQ(NextSnapshotBufferSize(1000, 0), 2000u);            // Wine reports 0: double
    EXPECT_EQ(NextSnapshotBufferSize(1000, 1500), 2000u);         // doubling covers it
    EXPECT_EQ(NextSnapshotBufferSize(1000, 8000), 9000u);         // reported plus an eighth
    EXPECT_EQ(NextSnapshotBufferSize(0, 0), kFirstSnapshotBytes);
    EXPECT_EQ(NextSnapshotBufferSize(kMaxSnapshotBytes - 1, 0), kMaxSnapshotBytes);
    EXPECT_EQ(NextSnapshotBufferSize(1000, 0xFFFFFFFFu), kMaxSnapshotBytes);
    EXPECT_EQ(NextSnapshotBufferSize(kMaxSnapshotBytes, 0), 0u);  // cannot grow: stop trying
    // Bounded: from the first size the buffer reaches the cap within the allowed tries.
    std::size_t size = kFirstSnapshotBytes;
    int tries = 1;
    while ((size = NextSnapshotBufferSize(size, 0)) != 0) ++tries;
    EXPECT_LE(tries, kMaxSnapshotTries + 1);
}

namespace {
struct NameInfo {
    USHORT length;
    USHORT maximum;
    const wchar_t* buffer;
    wchar_t text[32];
};
}  // namespace

TEST(ObjectNameResult, OnlyASuccessfulNonPipeQueryGivesAName) {
    NameInfo info = {};
    const wchar_t name[] = L"\\Device\\Serial0";
    std::memcpy(info.text, name, sizeof name);
    info.length = static_cast<USHORT>((sizeof name) - sizeof(wchar_t));
    info.maximum = sizeof info.text;
    info.buffer = info.text;
    EXPECT_EQ(ObjectNameFromQuery(false, 0, &info, sizeof info), "\\Device\\Serial0");
    EXPECT_EQ(ObjectNameFromQuery(true, 0, &info, sizeof info), "");
    EXPECT_EQ(ObjectNameFromQuery(false, static_cast<LONG>(0xC0000004), &info, sizeof info), "");
    EXPECT_EQ(ObjectNameFromQuery(false, 0, nullptr, sizeof info), "");
    NameInfo empty = info;
    empty.length = 0;
    EXPECT_EQ(ObjectNameFromQuery(false, 0, &empty, sizeof empty), "");
    // Characters said to lie outside the filled buffer are not read.
    NameInfo outside = info;
    outside.buffer = outside.text;
    outside.length = 60000;
    EXPECT_EQ(ObjectNameFromQuery(false, 0, &outside, sizeof outside), "");
    EXPECT_EQ(ObjectNameFromQuery(false, 0, &info, 4), "");
}
