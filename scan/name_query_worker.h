#pragma once
// The bounded worker that asks the system for the names of objects behind handles.
//
// Asking for an object's name can block for ever (a synchronous operation pending on the
// file object), so the queries run on a worker thread that the scanning thread watches
// and terminates when a query overruns its limit (50 ms). The rules that make the
// termination safe, for every worker in this file:
//  - Every buffer the worker touches is prepared by the scanning thread before the
//    hand-over (the job block and its name buffers); the worker allocates nothing, takes
//    no lock and calls nothing but the pipe peek and the name query between its waits.
//  - At most one worker exists at a time: an overrunning worker is cut off (its I/O
//    cancelled, then terminated if it still stands in its call) and has ended before the
//    next one is created; while one that did not end still runs, none is created and the
//    rest of the search stays unnamed (scan/worker_thread_end.h).
//  - A worker is terminated only inside a query: its watch starts when the worker says it
//    runs (not at the hand-over, when it may still be starting under the loader lock),
//    and a worker that is told to stop is waited for, never cut off on its way out. A
//    worker that never says it runs is left alone and no other is started.
//  - The pipe test is the file-system peek on a buffer of the job block, not
//    PeekNamedPipe, which allocates from the process heap.
//  - The worker is reused while it answers in time, so the search pays for a thread only
//    after an overrun. It is handed a small batch of prepared handles at a time and
//    answers them in order, publishing how many it has completed; the scanning thread
//    wakes once per batch instead of once per handle and reads a slot only after the
//    worker has counted it as completed.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "scan/worker_thread_end.h"
#include "support/handles.h"

namespace kestrune {

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

// The two calls a worker makes. Tests hand in Fakes to model a query that blocks.
using ObjectNameQueryFunction = LONG(NTAPI*)(HANDLE, ULONG, void*, ULONG, ULONG*);
// The pipe peek is the file-system control FSCTL_PIPE_PEEK on a buffer in the job block
// (PeekNamedPipe would allocate from the process heap, and a worker terminated inside it
// would leave the heap locked).
using PipePeekFunction = LONG(NTAPI*)(HANDLE, HANDLE, void*, void*, void*, ULONG, void*, ULONG, void*, ULONG);

// True when the peek's status says the handle is a pipe (success or a partial answer).
bool PeekSaysPipe(LONG status);

struct NameQueryCalls {
    ObjectNameQueryFunction query = nullptr;  // null: the system's NtQueryObject
    PipePeekFunction peek = nullptr;          // null: the system's NtFsControlFile
    DWORD limitMilliseconds = 50;
};

struct NameQueryCounters {
    uint32_t queries = 0;         // queries handed to a worker
    uint32_t batches = 0;         // hand-overs to a worker (a batch restarted after an overrun counts again)
    uint32_t workersStarted = 0;  // threads created
    uint32_t overruns = 0;        // workers terminated for exceeding the limit
};

struct WorkerJob;  // the block a worker and the scanning thread share

// The object-name queries of handles valid in this process, on the worker described at
// the top of this file.
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
    enum class BatchOutcome { kAnswered, kOverran, kNeverStarted };
    BatchOutcome WaitForBatch(long first, long count, long* completed);

    NameQueryCalls calls_;
    NameQueryCounters counters_;
    std::unique_ptr<WorkerJob> job_;
    WorkerThread thread_;
    bool abandoned_ = false;  // a worker never said it runs: no more are started
};

// Microseconds of a free-running clock finer than the tick count (which moves in 16 ms
// steps on Windows).
uint64_t NowMicroseconds();

}  // namespace kestrune
