// Batches of name queries: when the scanning thread gives up on a worker, and that a batch
// with queries that never answer costs each of them its limit, names the rest in order, and
// leaves no thread or handle behind.
#include <gtest/gtest.h>
#include <windows.h>
#include <winternl.h>

#include <string>
#include <vector>

#include "scan/owner_search.h"
#include "scan_test_support.h"

using namespace kestrune;
using scan_test::HandleCount;
using scan_test::NameOf;
using scan_test::FakeBlockingNameQuery;
using scan_test::ThreadCount;

namespace {

struct Sample {
    uint32_t completed;
    uint32_t now;
    BatchVerdict verdict;
};

struct WatchCase {
    const char* what;
    uint32_t startCompleted;
    uint32_t start;
    std::vector<Sample> samples;
};

// The watch starts with limit 50.
const WatchCase kWatchCases[] = {
    {"answers in time", 0, 1000, {{0, 1005, BatchVerdict::kWait}, {3, 1010, BatchVerdict::kWait}}},
    {"one query stalls for the limit", 0, 1000,
     {{2, 1004, BatchVerdict::kWait}, {2, 1053, BatchVerdict::kWait}, {2, 1054, BatchVerdict::kTerminate}}},
    {"the limit is counted from the last move, not the batch start", 0, 1000,
     {{1, 1040, BatchVerdict::kWait}, {2, 1080, BatchVerdict::kWait}, {2, 1129, BatchVerdict::kWait},
      {2, 1130, BatchVerdict::kTerminate}}},
    {"the first query of a batch has the limit from the hand-over", 0, 1000,
     {{0, 1049, BatchVerdict::kWait}, {0, 1050, BatchVerdict::kTerminate}}},
    {"a batch resumed after an overrun starts from its count", 7, 500,
     {{7, 549, BatchVerdict::kWait}, {8, 560, BatchVerdict::kWait}, {8, 610, BatchVerdict::kTerminate}}},
    {"the clock wraps", 0, 0xFFFFFFF0u,
     {{0, 0x10, BatchVerdict::kWait}, {0, 0x21, BatchVerdict::kWait}, {0, 0x22, BatchVerdict::kTerminate}}},
    {"a late look after a long stall terminates at once", 4, 0, {{4, 400, BatchVerdict::kTerminate}}},
};

HANDLE OpenTemp(const std::string& name) {
    CreateDirectoryA("C:\\kestrune-batch-test", nullptr);
    return CreateFileA(("C:\\kestrune-batch-test\\" + name).c_str(), GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

TEST(BatchWatch, TerminatesOnlyWhenTheCountStoodStillForTheLimit) {
    for (const WatchCase& c : kWatchCases) {
        BatchWatch watch(c.startCompleted, c.start, 50);
        for (std::size_t i = 0; i < c.samples.size(); ++i)
            EXPECT_EQ(watch.Sample(c.samples[i].completed, c.samples[i].now), c.samples[i].verdict)
                << c.what << ", sample " << i;
    }
}

TEST(BatchWatch, WaitsASliceCutToTheTimeLeft) {
    BatchWatch watch(0, 1000, 50);
    EXPECT_EQ(watch.NextWait(1000, 5), 5u);
    EXPECT_EQ(watch.NextWait(1047, 5), 3u);
    EXPECT_EQ(watch.NextWait(1050, 5), 1u);  // never a zero wait: the sample then decides
    EXPECT_EQ(watch.NextWait(1200, 5), 1u);
    watch.Sample(1, 1048);  // a move restarts the limit
    EXPECT_EQ(watch.NextWait(1048, 5), 5u);
    EXPECT_EQ(watch.NextWait(1096, 5), 2u);
}

TEST(NameBatch, BlockingQueriesCostTheirLimitAndTheRestIsNamedInOrder) {
    const int threads = ThreadCount();
    const DWORD handles = HandleCount();
    // More handles than one batch holds, two of them blocking, one of them the last of a batch.
    const std::size_t count = kNameBatchSize + 5;
    std::vector<HANDLE> files;
    std::vector<std::string> expected;
    for (std::size_t i = 0; i < count; ++i) {
        files.push_back(OpenTemp("batch" + std::to_string(i) + ".tmp"));
        expected.push_back(NameOf(files.back()));
        ASSERT_FALSE(expected.back().empty());
    }
    const std::size_t blocking[] = {3, kNameBatchSize - 1};
    scan_test::BlockingNames().clear();
    for (std::size_t b : blocking) {
        scan_test::BlockingNames().push_back(expected[b]);
        expected[b].clear();
    }
    {
        NameQueryCalls calls;
        calls.query = FakeBlockingNameQuery;
        NameQueryWorker worker(calls);
        std::vector<std::string> names(count, "stale");
        worker.QueryBatch(files.data(), count, names.data());
        EXPECT_EQ(names, expected);
        EXPECT_EQ(worker.counters().overruns, 2u);
        // Two replacements: after slot 3, and for the second batch after the first batch's
        // last slot overran; the first batch was handed over twice.
        EXPECT_EQ(worker.counters().workersStarted, 3u);
        EXPECT_EQ(worker.counters().batches, 3u);
        EXPECT_EQ(ThreadCount(), threads + 1);             // at most one worker
    }
    for (HANDLE file : files) CloseHandle(file);
    EXPECT_EQ(ThreadCount(), threads);
    EXPECT_EQ(HandleCount(), handles);
}

TEST(NameBatch, PipesAndNullHandlesGiveEmptyNamesWithoutStallingTheBatch) {
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, nullptr, 0));
    HANDLE file = OpenTemp("pipe-neighbour.tmp");
    const std::string fileName = NameOf(file);
    HANDLE batch[] = {readEnd, nullptr, file, readEnd, file};
    std::string names[5] = {"stale", "stale", "stale", "stale", "stale"};
    NameQueryWorker worker;
    worker.QueryBatch(batch, 5, names);
    EXPECT_EQ(names[0], "");
    EXPECT_EQ(names[1], "");
    EXPECT_EQ(names[2], fileName);
    EXPECT_EQ(names[3], "");
    EXPECT_EQ(names[4], fileName);
    EXPECT_EQ(worker.counters().overruns, 0u);
    EXPECT_EQ(worker.counters().batches, 1u);
    worker.QueryBatch(nullptr, 3, names);  // defined: nothing asked
    worker.QueryBatch(batch, 3, nullptr);
    EXPECT_EQ(worker.counters().batches, 1u);
    CloseHandle(readEnd);
    CloseHandle(writeEnd);
    CloseHandle(file);
}
