#include "scan/owner_port_reads.h"

#include <cstring>

#include "scan/worker_thread_end.h"
#include "support/fixed_text.h"

namespace kestrune {

namespace {

enum ReadKind : LONG { kReadConfig = 1, kReadModem = 2 };

// A worker that has not said it runs after this long is left to itself, never terminated.
constexpr DWORD kStartLimitMilliseconds = 5000;

thread_local PortReadWorker* t_scopeWorker = nullptr;

}  // namespace

struct PortReadJob {
    CommConfigRead config = nullptr;
    ModemStatusRead modem = nullptr;
    UniqueHandle go;        // the calling thread hands over a read (or the stop)
    UniqueHandle running;   // the worker woke and is about to call the system
    UniqueHandle finished;  // the worker has the answer
    volatile LONG stop = 0;
    volatile LONG inCall = 0;  // the worker is inside its read
    LONG kind = 0;
    HANDLE port = nullptr;
    COMMCONFIG configBlock = {};
    DWORD configSize = 0;
    DWORD modemStatus = 0;
    BOOL ok = FALSE;
};

namespace {
DWORD WINAPI PortReadWorkerMain(void* parameter) {
    PortReadJob* job = static_cast<PortReadJob*>(parameter);
    for (;;) {
        if (WaitForSingleObject(job->go.get(), INFINITE) != WAIT_OBJECT_0) return 1;
        if (job->stop) return 0;
        InterlockedExchange(&job->inCall, 1);
        SetEvent(job->running.get());
        if (job->kind == kReadConfig) job->ok = job->config(job->port, &job->configBlock, &job->configSize);
        else job->ok = job->modem(job->port, &job->modemStatus);
        InterlockedExchange(&job->inCall, 0);
        SetEvent(job->finished.get());
    }
}
}  // namespace

PortReadWorker::PortReadWorker(const PortReadCalls& calls) : calls_(calls) {
    if (!calls_.config) calls_.config = GetCommConfig;
    if (!calls_.modem) calls_.modem = GetCommModemStatus;
}

PortReadWorker::~PortReadWorker() { EndWorker(false); }

bool PortReadWorker::EnsureWorker() {
    if (thread_) return true;
    job_ = std::make_unique<PortReadJob>();
    job_->config = calls_.config;
    job_->modem = calls_.modem;
    job_->go.reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    job_->running.reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    job_->finished.reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    if (!job_->go || !job_->running || !job_->finished) return false;
    if (!thread_.Start(PortReadWorkerMain, job_.get())) return false;
    ++workersStarted_;
    return true;
}

void PortReadWorker::EndWorker(bool terminate) { EndWorkerThread(thread_, job_, terminate, kStartLimitMilliseconds); }

ReadOutcome PortReadWorker::Run(int kind, HANDLE port) {
    if (!EnsureWorker()) {
        EndWorker(false);
        return ReadOutcome::kTimedOut;  // no worker: the read cannot be bounded, so it is not made
    }
    PortReadJob& job = *job_;
    job.kind = kind;
    job.port = port;
    job.ok = FALSE;
    job.configSize = sizeof(COMMCONFIG);
    SetEvent(job.go.get());
    // The watch starts when the worker says it runs: a worker still starting (loader lock,
    // thread attach) is waited for, not cut off.
    HANDLE startWaits[2] = {job.running.get(), job.finished.get()};
    if (WaitForMultipleObjects(2, startWaits, FALSE, kStartLimitMilliseconds) == WAIT_TIMEOUT) {
        job.stop = 1;
        EndWorker(false);  // gives up on it without terminating it
        return ReadOutcome::kTimedOut;
    }
    if (WaitForSingleObject(job.finished.get(), calls_.limitMilliseconds) == WAIT_OBJECT_0) return ReadOutcome::kAnswered;
    ++overruns_;
    EndWorker(true);
    return ReadOutcome::kTimedOut;
}

ReadOutcome PortReadWorker::ReadConfig(HANDLE port, COMMCONFIG& config, BOOL* ok) {
    const ReadOutcome outcome = Run(kReadConfig, port);
    if (outcome == ReadOutcome::kAnswered) {
        *ok = job_->ok;
        if (job_->ok) std::memcpy(&config, &job_->configBlock, sizeof config);
    }
    return outcome;
}

ReadOutcome PortReadWorker::ReadModemStatus(HANDLE port, DWORD& status, BOOL* ok) {
    const ReadOutcome outcome = Run(kReadModem, port);
    if (outcome == ReadOutcome::kAnswered) {
        *ok = job_->ok;
        if (job_->ok) status = job_->modemStatus;
    }
    return outcome;
}

OwnerReadScope::OwnerReadScope(const PortReadCalls& calls) : worker_(calls), previous_(t_scopeWorker) {
    t_scopeWorker = &worker_;
}

OwnerReadScope::~OwnerReadScope() { t_scopeWorker = previous_; }

bool ReadsThroughOwnerDuplicate(const PortRecord& record) {
    return record.WinHandle != 0 && record.WinHandle == record.DupObjAddress && record.ProcessId != 0 &&
           record.ProcessId != record.DupProcessID;
}

void MarkReadTimedOut(PortRecord& record) {
    record.WinHandle = 0;
    record.WinError = ERROR_TIMEOUT;
    char message[512];
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                        ERROR_TIMEOUT, 0, message, sizeof message, nullptr);
    SetText(record.WinErrorDescription, std::string_view(message, length));
    record.AppError = static_cast<int32_t>(ERROR_TIMEOUT);
    SetText(record.AppErrorDescription, Text(record.WinErrorDescription));
}

namespace {
template <typename Read>
bool ReadThroughWorker(PortRecord& record, Read read) {
    BOOL ok = FALSE;
    ReadOutcome outcome;
    if (t_scopeWorker) {
        outcome = read(*t_scopeWorker, &ok);
    } else {
        PortReadWorker own;
        outcome = read(own, &ok);
    }
    if (outcome == ReadOutcome::kTimedOut) {
        MarkReadTimedOut(record);
        return false;
    }
    return ok != FALSE;
}
}  // namespace

bool ReadPortConfig(PortRecord& record, COMMCONFIG& config) {
    if (record.WinHandle == 0) return false;
    const HANDLE port = FieldToHandle(record.WinHandle);
    if (!ReadsThroughOwnerDuplicate(record)) {
        DWORD size = sizeof config;
        return GetCommConfig(port, &config, &size) != FALSE;
    }
    return ReadThroughWorker(record, [&](PortReadWorker& worker, BOOL* ok) { return worker.ReadConfig(port, config, ok); });
}

bool ReadPortModemStatus(PortRecord& record, DWORD& status) {
    if (record.WinHandle == 0) return false;
    const HANDLE port = FieldToHandle(record.WinHandle);
    if (!ReadsThroughOwnerDuplicate(record)) return GetCommModemStatus(port, &status) != FALSE;
    return ReadThroughWorker(record,
                             [&](PortReadWorker& worker, BOOL* ok) { return worker.ReadModemStatus(port, status, ok); });
}

}  // namespace kestrune
