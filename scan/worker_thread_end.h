#pragma once
// How the scan's bounded workers (the name queries, the reads through an owner's duplicate)
// start and end. A worker shares a job block with the thread that hands it work: the block
// holds the worker's go event, its stop flag and its in-call flag (1 while it is inside the
// one system call it makes).
//
// - Ending a worker always tells it to stop first.
// - Cutting off a worker that overran: its pending synchronous I/O is cancelled first
//   (CancelSynchronousIo), and a worker that comes back from its call ends by itself. Only
//   a worker still inside its call after that is terminated, and only while it is
//   suspended and seen inside the call, never on its way out, where it may hold the
//   loader lock.
// - A thread that has not ended within limitMs may still write into its job: thread and
//   block go to the lingering workers below, which keep both until the thread has ended.
// - At most one worker runs: no new worker starts while a lingering one still runs (its
//   search then gives the rest no query, and says so in its results).
// - Every worker thread takes a module hold for as long as it lives, so an in-process
//   server is not unloaded under it.
#include <windows.h>

#include <memory>
#include <optional>

#include "support/handles.h"
#include "support/module_hold.h"

namespace kestrune {

// After CancelSynchronousIo, how long a worker gets to come back from its call and end.
constexpr DWORD kCancelGraceMilliseconds = 20;

// Workers that did not end when they were told to or cut off. Keep takes the thread, the
// job block it may still write into, and a module hold, until the thread has ended.
void KeepLingeringWorker(UniqueHandle thread, std::shared_ptr<void> job);
// How many still run (those that ended meanwhile are let go: block freed, hold released).
long LingeringWorkers();

// A worker's thread and its module hold.
class WorkerThread {
public:
    // Starts main(job) unless a lingering worker still runs; false when no thread runs.
    bool Start(LPTHREAD_START_ROUTINE main, void* job) {
        if (handle_) return true;
        if (LingeringWorkers() > 0) return false;
        hold_.emplace();
        handle_.reset(CreateThread(nullptr, 64 * 1024, main, job, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
        if (!handle_) hold_.reset();
        return static_cast<bool>(handle_);
    }
    HANDLE get() const { return handle_.get(); }
    explicit operator bool() const { return static_cast<bool>(handle_); }
    // The thread has ended (ended) or goes to the lingering workers (not ended).
    template <typename Job>
    void Let(bool ended, std::unique_ptr<Job>& job) {
        if (ended) {
            job.reset();
        } else {
            KeepLingeringWorker(std::move(handle_), std::shared_ptr<void>(std::move(job)));
        }
        handle_.reset();
        hold_.reset();
    }

private:
    UniqueHandle handle_;
    std::optional<ModuleHold> hold_;
};

// True when the worker is inside its call; it is left suspended then (the caller terminates
// it), resumed otherwise.
template <typename Job>
bool SuspendedInCall(HANDLE thread, Job& job) {
    if (SuspendThread(thread) == static_cast<DWORD>(-1)) return false;
    if (InterlockedCompareExchange(&job.inCall, 0, 0) != 0) return true;
    ResumeThread(thread);
    return false;
}

template <typename Job>
void EndWorkerThread(WorkerThread& thread, std::unique_ptr<Job>& job, bool cutOff, DWORD limitMs) {
    if (!thread) return;
    job->stop = 1;
    SetEvent(job->go.get());
    bool ended = false;
    if (cutOff) {
        CancelSynchronousIo(thread.get());
        ended = WaitForSingleObject(thread.get(), kCancelGraceMilliseconds) == WAIT_OBJECT_0;
        if (!ended && SuspendedInCall(thread.get(), *job)) TerminateThread(thread.get(), 1);
    }
    if (!ended) ended = WaitForSingleObject(thread.get(), limitMs) == WAIT_OBJECT_0;
    thread.Let(ended, job);
}

}  // namespace kestrune
