#pragma once
// Per-port work on a small pool of worker threads, each task bounded in time.
//
// A task runs on a copy of its record, so a call that stalls (a port whose driver blocks
// the open or its first request for seconds while it looks for its remote device) never
// writes into a record the caller may already have freed. The caller waits for each task
// at most the bound; the record of a task given up is left to the caller as it was, and
// the task's late return hands its copy to lateReturn (which closes what the task opened)
// before its worker ends. Every worker holds the module while it runs.
//
// The caller's thread does the waiting: it lets window messages run meanwhile through the
// progress sink, and it is the only thread that writes into the records. Workers never
// report progress (their copies carry no status window).
#include <windows.h>

#include <cstddef>
#include <memory>
#include <vector>

#include "record/port_record.h"

namespace kestrune {

// The longest a port may keep a scan step waiting (its open, its settings, its lines).
constexpr DWORD kPortStepBoundMilliseconds = 2000;
// Workers of a scan pass: ports are few and the work is waiting on drivers, not CPU.
constexpr std::size_t kPortWorkers = 8;
// A task running longer than this is waiting on a stalled driver: the next task starts on a
// worker of its own meanwhile, so stalled ports cost one bound together, not one each.
constexpr DWORD kSlowTaskMilliseconds = 100;

using PortWork = void (*)(PortRecord&);

struct PortTaskOptions {
    std::size_t workers = kPortWorkers;
    DWORD boundMilliseconds = kPortStepBoundMilliseconds;
    PortWork lateReturn = nullptr;  // runs on the copy of a task given up, when it returns
    uint32_t progressWindow = 0;    // the scan's status bar: while waiting, its messages run
};

struct TaskBlock;

class PortTaskPool {
public:
    explicit PortTaskPool(const PortTaskOptions& options);
    ~PortTaskPool();  // idle workers are told to end and waited for; late ones end on their own
    PortTaskPool(const PortTaskPool&) = delete;
    PortTaskPool& operator=(const PortTaskPool&) = delete;

    // Runs work on every record, in index order as workers come free, at most `workers` at
    // once among the tasks younger than kSlowTaskMilliseconds. Answered tasks have their copy
    // written back (StatusWindow kept). Returns, per record, true when it answered and false
    // when it was given up. stopsOnRequest: no further task starts once the scan is asked to
    // stop (those records stay as they were).
    // atOnce: at most this many tasks at a time (0: one per worker).
    std::vector<bool> RunAll(std::vector<PortRecord>& records, PortWork work, bool stopsOnRequest = false,
                             std::size_t atOnce = 0);

    std::size_t workersStarted() const { return started_; }

private:
    struct Slot;
    bool Start(Slot& slot, PortRecord& record, PortWork work);

    PortTaskOptions options_;
    std::vector<std::unique_ptr<Slot>> slots_;
    std::size_t started_ = 0;
};

// What a record given up reads: Status "Disconnected", WinError ERROR_TIMEOUT (1460) with
// the system's text, and no channel or handle of its own (the late task closes them).
void MarkGivenUp(PortRecord& record);

}  // namespace kestrune
