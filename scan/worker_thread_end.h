#pragma once
// How the scan's bounded workers (the name queries, the reads through an owner's duplicate)
// end. A worker shares a job block with the thread that hands it work: the block holds
// the worker's go event and stop flag.
//
// - terminate: only for a worker that said it runs and then stood still inside a call;
//   it is cut off and waited for.
// - otherwise an idle worker (or one that never started) is told to stop and waited for;
//   it is never cut off on its way out, where it may hold the loader lock.
// A thread that has not ended within limitMs may still write into its job: the block is
// left to it rather than freed.
#include <windows.h>

#include <memory>

#include "support/handles.h"

namespace kestrune {

template <typename Job>
void EndWorkerThread(UniqueHandle& thread, std::unique_ptr<Job>& job, bool terminate, DWORD limitMs) {
    if (!thread) return;
    if (terminate) {
        TerminateThread(thread.get(), 1);
    } else {
        job->stop = 1;
        SetEvent(job->go.get());
    }
    const bool ended = WaitForSingleObject(thread.get(), limitMs) == WAIT_OBJECT_0;
    thread.reset();
    if (!ended) job.release();
    else job.reset();
}

}  // namespace kestrune
