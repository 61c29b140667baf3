// Owner-search benchmark: the full scan (SerialPort_Enum) against a floor that walks the
// same handle table with direct calls only (open the owner, duplicate, ask the name,
// close), with a helper process holding N extra file handles, N = 0, 1000, 5000.
// Prints one "name: value" line per figure.
#include <windows.h>
#include <oleauto.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <unordered_map>
#include <vector>

#include "bench/floor_walk.h"
#include "bench/helper_process.h"
#include "exports/scan_exports.h"
#include "scan/owner_search.h"
#include "scan/scan_driver.h"

using namespace kestrune;
using kestrune_bench::Clock;
using kestrune_bench::FloorWalk;
using kestrune_bench::MillisecondsSince;

namespace {

// The best of several interleaved runs: the machine is shared, and the least disturbed run
// is the closest to each program's own cost.
double Best(const std::vector<double>& values) {
    return values.empty() ? 0 : *std::min_element(values.begin(), values.end());
}

double FullScan(bool withProgress) {
    SAFEARRAY* ports = nullptr;
    uint32_t window = 0;  // progress reports run, into no window
    const auto start = Clock::now();
    SerialPort_Enum(&ports, withProgress ? &window : nullptr);
    const double ms = MillisecondsSince(start);
    if (ports) SafeArrayDestroy(ports);
    return ms;
}

LONG NTAPI FakeBlockingNameQuery(HANDLE, ULONG, void*, ULONG, ULONG*) {
    Sleep(INFINITE);
    return -1;
}

// The median of the runs: the figure of a typical run on the shared machine.
double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

void Print(const char* name, int n, double value) { std::printf("%s_N%d: %.3f\n", name, n, value); }

}  // namespace

int main() {
    const std::string folder = kestrune_helpers::OwnFolder();
    const std::string heldFile = folder + "owner_scan_held.tmp";
    FullScan(false);  // warm caches and the server

    for (int n : {0, 1000, 5000}) {
        kestrune_helpers::HelperProcess helper;
        if (!helper.Start(folder + "helper_hold_handles.exe", std::to_string(n) + " \"" + heldFile + "\" -")) {
            std::printf("helper_failed_N%d: 1\n", n);
            continue;
        }
        const int runs = 7;
        std::vector<double> scan, floor, progress;
        uint32_t named = 0;
        for (int run = 0; run < runs; ++run) {
            scan.push_back(FullScan(false));
            std::vector<HandleEntry> entries;
            TakeHandleSnapshot(entries);
            floor.push_back(FloorWalk(entries, &named));
            progress.push_back(FullScan(true));
        }
        // The walk itself, for one record that nothing matches: every handle named.
        std::vector<PortRecord> records(1);
        OwnerSearchCounters counters;
        OwnerSearchOptions walkAll;
        walkAll.walkEveryPort = true;
        const auto start = Clock::now();
        FindPortOwners(records, nullptr, {}, &counters, walkAll);
        const double search = MillisecondsSince(start);

        Print("scan_ms", n, Best(scan));
        Print("scan_with_progress_ms", n, Best(progress));
        Print("floor_ms", n, Best(floor));
        Print("scan_over_floor", n, Best(floor) > 0 ? Best(scan) / Best(floor) : 0);
        Print("scan_with_progress_over_floor", n, Best(floor) > 0 ? Best(progress) / Best(floor) : 0);
        Print("scan_over_floor_median", n, Median(floor) > 0 ? Median(scan) / Median(floor) : 0);
        Print("owner_search_ms", n, search);
        Print("named_handles", n, counters.named);
        Print("floor_named_handles", n, named);
        Print("workers_started", n, counters.names.workersStarted);
        Print("name_batches", n, counters.names.batches);
        // How long one batch holds the progress reports back: its first duplicate to its last report.
        Print("batch_hold_max_ms", n, counters.longestBatchMicroseconds / 1000.0);
        Print("snapshot_entries", n, counters.entries);
    }
    DeleteFileA(heldFile.c_str());

    // One query that never answers: it costs the limit and a new worker, nothing more.
    {
        NameQueryCalls calls;
        calls.query = FakeBlockingNameQuery;
        NameQueryWorker worker(calls);
        HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        const auto start = Clock::now();
        worker.Query(event);
        std::printf("blocking_query_ms: %.3f\n", MillisecondsSince(start));
        CloseHandle(event);
    }
    // The cost of one answered query on the reused worker.
    {
        NameQueryWorker worker;
        HANDLE event = CreateEventA(nullptr, TRUE, FALSE, "Local\\kestrune-bench-named-event");
        const int queries = 2000;
        const auto start = Clock::now();
        for (int i = 0; i < queries; ++i) worker.Query(event);
        std::printf("worker_query_us: %.3f\n", MillisecondsSince(start) * 1000.0 / queries);
        CloseHandle(event);
    }
    // The same queries handed over a batch at a time.
    {
        NameQueryWorker worker;
        HANDLE event = CreateEventA(nullptr, TRUE, FALSE, "Local\\kestrune-bench-batch-event");
        std::vector<HANDLE> handles(kNameBatchSize, event);
        std::vector<std::string> names(kNameBatchSize);
        const int batches = 2000 / static_cast<int>(kNameBatchSize);
        const auto start = Clock::now();
        for (int i = 0; i < batches; ++i) worker.QueryBatch(handles.data(), handles.size(), names.data());
        std::printf("worker_batch_query_us: %.3f\n", MillisecondsSince(start) * 1000.0 / (batches * kNameBatchSize));
        CloseHandle(event);
    }
    std::fflush(stdout);
    return 0;
}
