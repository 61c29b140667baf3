#pragma once
// Handle-owner search: who holds a busy port. One snapshot of the system handle table is
// walked in table order; every handle whose object name is a scanned port's device name
// fills that port's owner fields and gives the record a duplicate of the owner's handle.
//
// The object-name query can block for ever on some handles (a synchronous operation
// pending on the file object), so it runs on a worker thread that gets 50 ms per query and
// is terminated when it overruns. The worker is reused while it answers in time, so the
// search pays for a thread only after an overrun; at most one worker exists at a time.
// The worker is handed a small batch of prepared duplicates at a time and answers them in
// order, so the scanning thread wakes once per batch instead of once per handle.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "scan/port_record.h"
#include "support/handles.h"

namespace kestrune {

// ---- decisions (plain values in, plain values out) ----------------------------------

// The path given to a process whose image path cannot be learned; it holds "SYSTEM", so
// such a process is always skipped.
extern const char kUnknownProgramPath[];

// The eight process skip words and the seventeen object skip fragments, in their order.
const std::vector<std::string_view>& ProcessSkipWords();
const std::vector<std::string_view>& ObjectSkipFragments();

// True when the upper-cased path contains an upper-cased process skip word.
bool ProcessPathSkipped(std::string_view path);
// True when the upper-cased object name contains an upper-cased object skip fragment.
bool ObjectNameSkipped(std::string_view name);
// Whole-text equality of the upper-cased texts; an empty device name never matches.
bool DeviceNameMatches(std::string_view deviceName, std::string_view objectName);

// One handle of the system table. Identifiers are kept in full (32 bits); the address is
// the object's kernel address as the table gives it.
struct HandleEntry {
    uint32_t processId = 0;
    uint32_t handleValue = 0;
    uint64_t objectAddress = 0;
    bool operator==(const HandleEntry& o) const {
        return processId == o.processId && handleValue == o.handleValue && objectAddress == o.objectAddress;
    }
};

// The two layouts of the system handle table: the extended one (information class 64,
// full-width process ids and handle values) and the classic one (class 16, 16-bit handle
// values), each in the layout of the build's own word size.
enum class HandleTableLayout { kExtended, kClassic };
constexpr ULONG kExtendedHandleInformationClass = 64;
constexpr ULONG kClassicHandleInformationClass = 16;

// Reads the entries of a table the system wrote into data[0..size). A count that does not
// fit the bytes given keeps only the entries that do. False when not even the count fits.
bool ParseHandleTable(const void* data, std::size_t size, HandleTableLayout layout,
                      std::vector<HandleEntry>& entries);

// Size of the next snapshot buffer after a query that found current bytes too small and
// reported that it needs reported bytes (0 when the system says nothing, as Wine does):
// at least twice the current size, at least the reported size plus an eighth for growth,
// never above kMaxSnapshotBytes. 0 when the buffer cannot grow any further.
constexpr std::size_t kFirstSnapshotBytes = 256 * 1024;
constexpr std::size_t kMaxSnapshotBytes = 256u * 1024 * 1024;
constexpr int kMaxSnapshotTries = 10;
std::size_t NextSnapshotBufferSize(std::size_t current, std::size_t reported);

// The result of a worker's query, turned into the object name: empty for a pipe, a failed
// query or a zero-length name; otherwise the UTF-16 characters in the ANSI code page.
std::string ObjectNameFromQuery(bool isPipe, LONG status, const void* nameInfo, std::size_t capacity);

// The scanning thread's judgement of a worker that answers a batch: the worker publishes
// how many queries of the batch it has completed, and it is stalled, to be terminated, when
// that count has not moved for the limit. Times are milliseconds of a clock that may wrap.
enum class BatchVerdict { kWait, kTerminate };
class BatchWatch {
public:
    // A batch handed over at time now, with completed queries done already.
    BatchWatch(uint32_t completed, uint32_t now, uint32_t limit);
    // The verdict on the completed count seen at time now.
    BatchVerdict Sample(uint32_t completed, uint32_t now);
    // How long to wait for the batch before the next sample: slice, cut to the time the
    // current query has left (at least 1).
    uint32_t NextWait(uint32_t now, uint32_t slice) const;

private:
    uint32_t seen_;   // the count last seen
    uint32_t since_;  // when it was first seen
    uint32_t limit_;
};

// Handles per batch: at about 0.15 ms per handle (duplicate and name) under Wine a batch
// holds the progress reports back for 2 to 3 ms; the hand-over then costs a few
// microseconds per handle instead of a thread switch each.
constexpr std::size_t kNameBatchSize = 16;
// The scanning thread looks at the worker's count this often while a batch runs.
constexpr uint32_t kBatchSliceMilliseconds = 5;

// ---- system side --------------------------------------------------------------------

// One snapshot of the system handle table, extended layout when the system has it, the
// classic one otherwise; the buffer grows until the query succeeds (bounded tries).
// False when no layout gave a table; entries is then empty.
bool TakeHandleSnapshot(std::vector<HandleEntry>& entries, HandleTableLayout* used = nullptr);

// Full path of a process's executable: the first module's file name, or, when the module
// list cannot be read (a 64-bit process seen from a 32-bit scanner), the process image
// name; kUnknownProgramPath when neither answers.
std::string ProcessImagePath(uint32_t processId);

// The two calls a worker makes. Tests hand in Fakes to model a query that blocks.
using ObjectNameQueryFunction = LONG(NTAPI*)(HANDLE, ULONG, void*, ULONG, ULONG*);
using PipePeekFunction = BOOL(WINAPI*)(HANDLE, void*, DWORD, DWORD*, DWORD*, DWORD*);

struct NameQueryCalls {
    ObjectNameQueryFunction query = nullptr;  // null: the system's NtQueryObject
    PipePeekFunction peek = nullptr;          // null: the system's PeekNamedPipe
    DWORD limitMilliseconds = 50;
};

struct NameQueryCounters {
    uint32_t queries = 0;         // queries handed to a worker
    uint32_t batches = 0;         // hand-overs to a worker (a batch restarted after an overrun counts again)
    uint32_t workersStarted = 0;  // threads created
    uint32_t overruns = 0;        // workers terminated for exceeding the limit
};

struct WorkerJob;  // the block a worker and the scanning thread share

// The object-name queries of handles valid in this process, on a worker thread that is
// kept while it answers within the limit. Every buffer the worker touches is prepared
// here, on the scanning thread: the worker allocates nothing and takes no lock, so
// terminating it can never leave a lock or the heap behind.
class NameQueryWorker {
public:
    explicit NameQueryWorker(const NameQueryCalls& calls = {});
    ~NameQueryWorker();  // ends the worker; no thread outlives the object
    NameQueryWorker(const NameQueryWorker&) = delete;
    NameQueryWorker& operator=(const NameQueryWorker&) = delete;

    // The name of the object behind handle; empty for a pipe, on failure, and when the
    // worker did not answer within the limit (it is then terminated and replaced).
    std::string Query(HANDLE handle);

    // names[i] = Query(handles[i]) for i < count, asked in order, kNameBatchSize handles per
    // hand-over. A query that overruns leaves its name empty; a fresh worker answers the rest.
    void QueryBatch(const HANDLE* handles, std::size_t count, std::string* names);

    const NameQueryCounters& counters() const { return counters_; }

private:
    bool EnsureWorker();
    void EndWorker(bool terminate);
    void AnswerBatch(const HANDLE* handles, long count, std::string* names);
    bool WaitForBatch(long first, long count, long* completed);

    NameQueryCalls calls_;
    NameQueryCounters counters_;
    std::unique_ptr<WorkerJob> job_;
    UniqueHandle thread_;
};

// What the search knows about one process for the length of one snapshot.
struct OwnerProcess {
    std::string path;          // image path or kUnknownProgramPath
    bool skipped = true;       // path holds a process skip word
    UniqueHandle dupAccess;    // opened for handle duplication; empty when that failed
    bool dupAccessTried = false;
};

struct OwnerSearchCounters {
    uint32_t entries = 0;       // snapshot entries walked
    uint32_t named = 0;         // entries whose object got a name (progress reports)
    uint32_t matches = 0;       // record fills
    uint32_t longestBatchMicroseconds = 0;  // first duplicate of a batch to its last report
    NameQueryCounters names;
    bool snapshotTaken = false;
};

// The search over ports after the probe pass. statusWindow, when not null, makes every
// named entry report "Scanning" / " " + name through the last record. Matches fill
// ProcessId, ProgramPath, sObjName, ObjHandle, ObjAddress, DupProcessID, DupObjHandle,
// DupObjAddress and WinHandle; a later match in table order replaces an earlier one.
void FindPortOwners(std::vector<PortRecord>& ports, const uint32_t* statusWindow,
                    const NameQueryCalls& calls = {}, OwnerSearchCounters* counters = nullptr);

// Closes the owner-process handle and the duplicated port handle a match left in the
// record; their numeric values stay for display.
void ReleaseOwnerHandles(PortRecord& record);

// The routine name the owner search shows in the status bar.
extern const char kScanRoutineName[];

}  // namespace kestrune
