#include "scan/name_query_worker.h"

#include <algorithm>
#include <cstring>

#include "scan/worker_thread_end.h"

extern "C" LONG NTAPI NtQueryObject(HANDLE, ULONG, void*, ULONG, ULONG*);
extern "C" LONG NTAPI NtFsControlFile(HANDLE, HANDLE, void*, void*, void*, ULONG, void*, ULONG, void*, ULONG);

namespace kestrune {

namespace {
constexpr LONG kStatusSuccess = 0;
constexpr LONG kStatusBufferOverflow = static_cast<LONG>(0x80000005);
constexpr ULONG kObjectNameInformation = 1;
// A worker that has not said it runs after this long is left to itself, never terminated.
constexpr uint32_t kWorkerStartLimitMilliseconds = 5000;
}  // namespace

bool PeekSaysPipe(LONG status) { return status >= 0 || status == kStatusBufferOverflow; }

std::string ObjectNameFromQuery(bool isPipe, LONG status, const void* nameInfo, std::size_t capacity) {
    if (isPipe || status != kStatusSuccess || !nameInfo) return {};
    struct CountedText {
        USHORT length;
        USHORT maximumLength;
        const wchar_t* buffer;
    };
    if (capacity < sizeof(CountedText)) return {};
    CountedText counted;
    std::memcpy(&counted, nameInfo, sizeof counted);
    const std::size_t chars = counted.length / sizeof(wchar_t);
    if (chars == 0 || !counted.buffer) return {};
    // The characters must lie inside the buffer the system filled.
    const auto* begin = static_cast<const unsigned char*>(nameInfo);
    const auto* text = reinterpret_cast<const unsigned char*>(counted.buffer);
    if (text < begin || text > begin + capacity || chars * sizeof(wchar_t) > static_cast<std::size_t>(begin + capacity - text))
        return {};
    const int wide = static_cast<int>(chars);
    const int bytes = WideCharToMultiByte(CP_ACP, 0, counted.buffer, wide, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return {};
    std::string name(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_ACP, 0, counted.buffer, wide, name.data(), bytes, nullptr, nullptr);
    if (const auto nul = name.find('\0'); nul != std::string::npos) name.resize(nul);
    return name;
}

// ---- the batch watch ------------------------------------------------------------------

BatchWatch::BatchWatch(uint32_t completed, uint32_t now, uint32_t limit)
    : seen_(completed), since_(now), limit_(limit) {}

BatchVerdict BatchWatch::Sample(uint32_t completed, uint32_t now) {
    if (completed != seen_) {
        // A query answered: the next one has its own limit from here.
        seen_ = completed;
        since_ = now;
        return BatchVerdict::kWait;
    }
    return now - since_ >= limit_ ? BatchVerdict::kTerminate : BatchVerdict::kWait;
}

uint32_t BatchWatch::NextWait(uint32_t now, uint32_t slice) const {
    const uint32_t elapsed = now - since_;
    const uint32_t left = elapsed >= limit_ ? 0 : limit_ - elapsed;
    return std::max<uint32_t>(1, std::min(slice, left));
}

// ---- the name-query worker --------------------------------------------------------------

// Room for the longest name the system can give: a counted UTF-16 text of up to 65534
// bytes after its header.
constexpr std::size_t kNameBufferBytes = 16 + 65536 + 16;

// FSCTL_PIPE_PEEK: answered only by a named pipe.
constexpr ULONG kPipePeekControl = 0x0011400C;

struct NameSlot {
    HANDLE target = nullptr;
    LONG status = -1;
    ULONG returned = 0;
    BOOL isPipe = FALSE;
    unsigned char* buffer = nullptr;  // kNameBufferBytes of the job's name buffers
    ULONG_PTR peekStatus[2] = {};     // the peek's I/O status block
    unsigned char peekOut[32] = {};   // the peek's answer (pipe state and counts)
};

struct WorkerJob {
    ObjectNameQueryFunction query = nullptr;
    PipePeekFunction peek = nullptr;
    UniqueHandle go;    // the scanning thread hands over a batch (or the stop)
    UniqueHandle done;  // the worker has answered the whole batch
    volatile LONG stop = 0;
    volatile LONG inCall = 0;     // the worker is inside a peek or a query
    volatile LONG running = 0;    // the worker woke for the batch and is answering it
    LONG first = 0;               // the worker answers slots first .. count-1, in order
    LONG count = 0;
    volatile LONG completed = 0;  // slots answered so far, published by the worker
    NameSlot slots[kNameBatchSize];
    // The slots' name buffers, one block; left unfilled, so only the pages the system
    // writes are ever touched.
    std::unique_ptr<unsigned char[]> names{new unsigned char[kNameBatchSize * kNameBufferBytes]};
};

namespace {

// The worker itself; the rules it keeps are stated in name_query_worker.h.
DWORD WINAPI NameWorkerMain(void* parameter) {
    WorkerJob* job = static_cast<WorkerJob*>(parameter);
    for (;;) {
        if (WaitForSingleObject(job->go.get(), INFINITE) != WAIT_OBJECT_0) return 1;
        if (job->stop) return 0;
        InterlockedExchange(&job->running, 1);
        for (LONG i = job->first; i < job->count; ++i) {
            if (job->stop) return 0;  // cut off: a cancelled call came back
            NameSlot& slot = job->slots[i];
            InterlockedExchange(&job->inCall, 1);
            // A pipe is known by the peek; pipe names never name a port.
            slot.isPipe = PeekSaysPipe(job->peek(slot.target, nullptr, nullptr, nullptr, slot.peekStatus,
                                                 kPipePeekControl, nullptr, 0, slot.peekOut, sizeof slot.peekOut));
            if (!slot.isPipe)
                slot.status = job->query(slot.target, kObjectNameInformation, slot.buffer,
                                         static_cast<ULONG>(kNameBufferBytes), &slot.returned);
            InterlockedExchange(&job->inCall, 0);
            InterlockedExchange(&job->completed, i + 1);
        }
        SetEvent(job->done.get());
    }
}

LONG NTAPI SystemNameQuery(HANDLE h, ULONG infoClass, void* buffer, ULONG size, ULONG* returned) {
    return NtQueryObject(h, infoClass, buffer, size, returned);
}

LONG NTAPI SystemPipePeek(HANDLE h, HANDLE event, void* apc, void* context, void* status, ULONG code, void* in,
                          ULONG inSize, void* out, ULONG outSize) {
    return NtFsControlFile(h, event, apc, context, status, code, in, inSize, out, outSize);
}

}  // namespace

uint64_t NowMicroseconds() {
    static const uint64_t frequency = [] {
        LARGE_INTEGER f;
        return QueryPerformanceFrequency(&f) && f.QuadPart > 0 ? static_cast<uint64_t>(f.QuadPart) : 1000000u;
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    const uint64_t ticks = static_cast<uint64_t>(counter.QuadPart);
    return ticks / frequency * 1000000u + ticks % frequency * 1000000u / frequency;
}

namespace {
uint32_t NowMilliseconds() { return static_cast<uint32_t>(NowMicroseconds() / 1000); }
}  // namespace

NameQueryWorker::NameQueryWorker(const NameQueryCalls& calls) : calls_(calls) {
    if (!calls_.query) calls_.query = SystemNameQuery;
    if (!calls_.peek) calls_.peek = SystemPipePeek;
}

NameQueryWorker::~NameQueryWorker() { EndWorker(false); }

bool NameQueryWorker::EnsureWorker() {
    if (thread_) return true;
    if (abandoned_) return false;
    if (!job_) {
        job_ = std::make_unique<WorkerJob>();
        job_->query = calls_.query;
        job_->peek = calls_.peek;
        for (std::size_t i = 0; i < kNameBatchSize; ++i) job_->slots[i].buffer = job_->names.get() + i * kNameBufferBytes;
    }
    // Fresh events: a terminated worker may have left one signalled.
    job_->go.reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    job_->done.reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    job_->stop = 0;
    job_->inCall = 0;
    if (!job_->go || !job_->done) return false;
    if (!thread_.Start(NameWorkerMain, job_.get())) return false;
    ++counters_.workersStarted;
    return true;
}

void NameQueryWorker::EndWorker(bool terminate) {
    EndWorkerThread(thread_, job_, terminate, kWorkerStartLimitMilliseconds);
}

std::string NameQueryWorker::Query(HANDLE handle) {
    std::string name;
    QueryBatch(&handle, 1, &name);
    return name;
}

void NameQueryWorker::QueryBatch(const HANDLE* handles, std::size_t count, std::string* names) {
    if (!handles || !names) return;
    for (std::size_t i = 0; i < count; ++i) names[i].clear();
    for (std::size_t start = 0; start < count; start += kNameBatchSize)
        AnswerBatch(handles + start, static_cast<long>(std::min(kNameBatchSize, count - start)), names + start);
}

// Waits for the worker to answer slots first .. count-1, with *completed the slots it has
// answered when the wait ends. The watch starts only once the worker says it runs; the
// done event is a hint, the count is what is believed.
NameQueryWorker::BatchOutcome NameQueryWorker::WaitForBatch(long first, long count, long* completed) {
    WorkerJob& job = *job_;
    const uint32_t handedOver = NowMilliseconds();
    bool watching = false;
    BatchWatch watch(static_cast<uint32_t>(first), handedOver, calls_.limitMilliseconds);
    for (;;) {
        const DWORD slice = watching ? watch.NextWait(NowMilliseconds(), kBatchSliceMilliseconds) : kBatchSliceMilliseconds;
        const DWORD wait = WaitForSingleObjectEx(job.done.get(), slice, TRUE);
        if (wait == WAIT_FAILED) Sleep(1);
        *completed = InterlockedCompareExchange(&job.completed, 0, 0);
        if (*completed >= count) return BatchOutcome::kAnswered;
        const uint32_t now = NowMilliseconds();
        if (!watching) {
            if (InterlockedCompareExchange(&job.running, 0, 0) == 0) {
                if (now - handedOver >= kWorkerStartLimitMilliseconds) return BatchOutcome::kNeverStarted;
                continue;
            }
            watching = true;
            watch = BatchWatch(static_cast<uint32_t>(*completed), now, calls_.limitMilliseconds);
            continue;
        }
        if (watch.Sample(static_cast<uint32_t>(*completed), now) == BatchVerdict::kTerminate) return BatchOutcome::kOverran;
    }
}

void NameQueryWorker::AnswerBatch(const HANDLE* handles, long count, std::string* names) {
    for (long first = 0; first < count;) {
        if (!EnsureWorker()) return;  // no worker: the rest stay unnamed
        WorkerJob& job = *job_;
        for (long i = first; i < count; ++i) {
            NameSlot& slot = job.slots[i];
            slot.target = handles[i];
            slot.status = -1;
            slot.returned = 0;
            slot.isPipe = FALSE;
            std::memset(slot.buffer, 0, 64);
        }
        job.first = first;
        job.count = count;
        job.completed = first;
        job.running = 0;
        counters_.queries += static_cast<uint32_t>(count - first);
        ++counters_.batches;
        SetEvent(job.go.get());

        long completed = first;
        const BatchOutcome outcome = WaitForBatch(first, count, &completed);
        completed = std::min(std::max(completed, first), count);
        for (long i = first; i < completed; ++i)
            names[i] = ObjectNameFromQuery(job.slots[i].isPipe != FALSE, job.slots[i].status, job.slots[i].buffer,
                                           kNameBufferBytes);
        if (outcome == BatchOutcome::kAnswered) return;
        if (outcome == BatchOutcome::kNeverStarted) {
            // Never terminated in its start-up: it is left to end by itself, and this
            // search names nothing more.
            abandoned_ = true;
            EndWorker(false);
            return;
        }
        // The query of slot completed overran: it stays unnamed, and a fresh worker takes
        // the rest of the batch.
        ++counters_.overruns;
        EndWorker(true);
        first = completed + 1;
    }
}

}  // namespace kestrune
