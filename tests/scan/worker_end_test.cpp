// How a bounded worker ends: an overrun's pending I/O is cancelled before the worker is cut
// off, a worker is terminated only inside its call, a thread that does not end lingers
// (holding the module) and no new worker starts until it has ended. The blocking calls are
// Fakes standing in for a name query that never returns: a read of an empty pipe (I/O the
// system can cancel) and a wait on an event nobody sets (nothing to cancel).
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>

#include "scan/name_query_worker.h"
#include "scan/owner_port_reads.h"
#include "scan/worker_thread_end.h"
#include "scan_test_support.h"
#include "support/module_hold.h"
#include "test_helpers.h"

using namespace kestrune;

namespace {

HANDLE g_pipeRead = nullptr;    // read by the cancellable Fake; nothing is ever written
HANDLE g_never = nullptr;       // waited for by the stuck Fake; never set
volatile LONG g_cameBack = 0;   // a Fake's call returned

LONG NTAPI NotAPipe(HANDLE, HANDLE, void*, void*, void*, ULONG, void*, ULONG, void*, ULONG) {
    return static_cast<LONG>(0xC0000010);
}
LONG NTAPI FakeQueryReadingAPipe(HANDLE, ULONG, void*, ULONG, ULONG*) {
    char byte = 0;
    DWORD got = 0;
    ReadFile(g_pipeRead, &byte, 1, &got, nullptr);
    InterlockedExchange(&g_cameBack, 1);
    return static_cast<LONG>(0xC0000120);  // cancelled
}
LONG NTAPI FakeQueryWaitingForever(HANDLE, ULONG, void*, ULONG, ULONG*) {
    WaitForSingleObject(g_never, INFINITE);
    InterlockedExchange(&g_cameBack, 1);
    return 0;
}

TEST(WorkerEnd, AnOverrunIsCancelledFirstAndCutOffOnlyWhenThatFails) {
    HANDLE writeEnd = nullptr;
    ASSERT_TRUE(CreatePipe(&g_pipeRead, &writeEnd, nullptr, 0));
    g_never = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    const int threads = scan_test::ThreadCount();
    const long holds = ModuleHolds();
    const struct {
        const char* what;
        ObjectNameQueryFunction query;
        bool cameBack;  // the worker left its call by itself (cancelled), not terminated
    } rows[] = {{"a read of an empty pipe", FakeQueryReadingAPipe, true},
                {"a wait nobody ends", FakeQueryWaitingForever, false}};
    for (const auto& row : rows) {
        g_cameBack = 0;
        NameQueryCalls calls;
        calls.query = row.query;
        calls.peek = NotAPipe;
        calls.limitMilliseconds = 50;
        {
            NameQueryWorker worker(calls);
            EXPECT_EQ(worker.Query(GetCurrentProcess()), "") << row.what;
            EXPECT_EQ(worker.counters().overruns, 1u) << row.what;
            EXPECT_EQ(g_cameBack, row.cameBack ? 1 : 0) << row.what;
            EXPECT_EQ(LingeringWorkers(), 0) << row.what;
        }
        EXPECT_EQ(scan_test::ThreadCount(), threads) << row.what;
        EXPECT_EQ(ModuleHolds(), holds) << row.what;
    }
    CloseHandle(writeEnd);
    CloseHandle(g_pipeRead);
    CloseHandle(g_never);
}

// A stand-in worker: says it is inside its call (or not), then waits for the test's
// release, deaf to the stop request.
struct StandInJob {
    UniqueHandle go{CreateEventA(nullptr, FALSE, FALSE, nullptr)};
    volatile LONG stop = 0;
    volatile LONG inCall = 0;
    bool enterCall = false;
    HANDLE started = nullptr;
    HANDLE release = nullptr;
};

DWORD WINAPI StandInWorker(void* parameter) {
    auto* job = static_cast<StandInJob*>(parameter);
    const HANDLE release = job->release;  // the job may be gone once the test lets it go
    if (job->enterCall) InterlockedExchange(&job->inCall, 1);
    SetEvent(job->started);
    WaitForSingleObject(release, INFINITE);
    return 0;
}

TEST(WorkerEnd, AWorkerThatDoesNotEndLingersHoldsTheModuleAndNoOtherStarts) {
    UniqueHandle started(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    UniqueHandle release(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    const long holds = ModuleHolds();
    const struct {
        const char* what;
        bool cutOff, inCall, lingers;
    } rows[] = {
        {"told to stop, does not", false, false, true},
        {"cut off outside its call: not terminated", true, false, true},
        {"cut off inside its call: terminated", true, true, false},
    };
    for (const auto& row : rows) {
        ResetEvent(release.get());
        auto job = std::make_unique<StandInJob>();
        job->enterCall = row.inCall;
        job->started = started.get();
        job->release = release.get();
        WorkerThread thread;
        ASSERT_TRUE(thread.Start(StandInWorker, job.get())) << row.what;
        EXPECT_EQ(ModuleHolds(), holds + 1) << row.what << ": a running worker holds the module";
        ASSERT_EQ(WaitForSingleObject(started.get(), 5000), WAIT_OBJECT_0);
        EndWorkerThread(thread, job, row.cutOff, 50);
        EXPECT_FALSE(thread) << row.what;
        EXPECT_EQ(LingeringWorkers(), row.lingers ? 1 : 0) << row.what;
        EXPECT_EQ(ModuleHolds(), holds + (row.lingers ? 1 : 0)) << row.what;
        if (row.lingers) {
            // While it runs, no worker starts: the search names nothing, the read is not made.
            HANDLE self = CreateFileA(scan_test::OwnPath().c_str(), 0, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
            NameQueryWorker names;
            EXPECT_EQ(names.Query(self), "") << row.what;
            EXPECT_EQ(names.counters().workersStarted, 0u) << row.what;
            PortReadWorker reads;
            DWORD status = 0;
            BOOL ok = FALSE;
            EXPECT_EQ(reads.ReadModemStatus(self, status, &ok), ReadOutcome::kTimedOut) << row.what;
            EXPECT_EQ(reads.workersStarted(), 0u) << row.what;
            SetEvent(release.get());
            EXPECT_TRUE(test_helpers::PollUntil([] { return LingeringWorkers() == 0; })) << row.what;
            EXPECT_NE(names.Query(self), "") << row.what << ": a worker starts again once it has ended";
            CloseHandle(self);
        }
        EXPECT_EQ(ModuleHolds(), holds) << row.what;
    }
    SetEvent(release.get());
}

}  // namespace
