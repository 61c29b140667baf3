#pragma once
// Reads through a port handle duplicated from the program that holds the port: the
// configuration block and the modem status. On Windows a handle opened for synchronous
// I/O serialises its requests, so such a read waits behind the owner's pending read, for
// ever when the owner reads without a time-out. These reads therefore run on a worker
// thread that keeps the rules of name_query_worker.h (prepared buffers, nothing but the
// one system call between its waits, at most one worker, its watch started only once it
// says it runs, never terminated in start-up or shut-down) and get kOwnerReadLimit each.
// The first read that overruns ends the reads of that record: WinHandle becomes 0, so the
// later steps read nothing and their fields stay 0, and the record's error fields say
// "time-out" (ERROR_TIMEOUT).
#include <windows.h>

#include <cstdint>
#include <memory>

#include "record/port_record.h"
#include "scan/worker_thread_end.h"
#include "support/handles.h"

namespace kestrune {

constexpr DWORD kOwnerReadLimitMilliseconds = 200;

// True when the record's WinHandle is a duplicate of a handle another process holds (the
// owner search's duplicate of a port it did not open itself).
bool ReadsThroughOwnerDuplicate(const PortRecord& record);

// The two reads; tests hand in Fakes that block.
using CommConfigRead = BOOL(WINAPI*)(HANDLE, COMMCONFIG*, DWORD*);
using ModemStatusRead = BOOL(WINAPI*)(HANDLE, DWORD*);
struct PortReadCalls {
    CommConfigRead config = nullptr;  // null: GetCommConfig
    ModemStatusRead modem = nullptr;  // null: GetCommModemStatus
    DWORD limitMilliseconds = kOwnerReadLimitMilliseconds;
};

enum class ReadOutcome { kAnswered, kTimedOut };

struct PortReadJob;  // the block a worker and the calling thread share

// The worker. One per scan (see OwnerReadScope); a read outside a scan uses one of its own.
class PortReadWorker {
public:
    explicit PortReadWorker(const PortReadCalls& calls = {});
    ~PortReadWorker();
    PortReadWorker(const PortReadWorker&) = delete;
    PortReadWorker& operator=(const PortReadWorker&) = delete;

    // The system's answer in *ok (and the configuration or status) when it came in time.
    ReadOutcome ReadConfig(HANDLE port, COMMCONFIG& config, BOOL* ok);
    ReadOutcome ReadModemStatus(HANDLE port, DWORD& status, BOOL* ok);

    uint32_t workersStarted() const { return workersStarted_; }
    uint32_t overruns() const { return overruns_; }

private:
    ReadOutcome Run(int kind, HANDLE port);
    bool EnsureWorker();
    void EndWorker(bool terminate);

    PortReadCalls calls_;
    std::unique_ptr<PortReadJob> job_;
    WorkerThread thread_;
    uint32_t workersStarted_ = 0;
    uint32_t overruns_ = 0;
};

// Makes the reads of this thread use one worker until the scope ends (the scan's per-port
// pass); calls replaces the system's reads (tests).
class OwnerReadScope {
public:
    explicit OwnerReadScope(const PortReadCalls& calls = {});
    ~OwnerReadScope();
    OwnerReadScope(const OwnerReadScope&) = delete;
    OwnerReadScope& operator=(const OwnerReadScope&) = delete;
    PortReadWorker& worker() { return worker_; }

private:
    PortReadWorker worker_;
    PortReadWorker* previous_;
};

// GetCommConfig / GetCommModemStatus on the record's WinHandle: directly for a handle of
// this program's own, on the worker for an owner's duplicate. False when the call failed or
// overran (the record then says so, as above); 0 WinHandle reads nothing.
bool ReadPortConfig(PortRecord& record, COMMCONFIG& config);
bool ReadPortModemStatus(PortRecord& record, DWORD& status);

// What a record holds after a read overran: WinHandle 0 and the time-out in WinError and
// AppError with the system's text.
void MarkReadTimedOut(PortRecord& record);

}  // namespace kestrune
