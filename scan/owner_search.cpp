#include "scan/owner_search.h"

#include <psapi.h>

#include <algorithm>
#include <cstring>

#include "scan/progress.h"
#include "support/fixed_text.h"
#include "support/owned_handles.h"

extern "C" LONG NTAPI NtQuerySystemInformation(ULONG, void*, ULONG, ULONG*);
extern "C" LONG NTAPI NtQueryObject(HANDLE, ULONG, void*, ULONG, ULONG*);

namespace kestrune {

const char kUnknownProgramPath[] = "FileName: SYSTEM";
const char kScanRoutineName[] = "SerialPort_Enum";

namespace {

constexpr LONG kStatusSuccess = 0;
constexpr LONG kStatusInfoLengthMismatch = static_cast<LONG>(0xC0000004);
constexpr LONG kStatusBufferOverflow = static_cast<LONG>(0x80000005);
constexpr LONG kStatusBufferTooSmall = static_cast<LONG>(0xC0000023);
constexpr ULONG kObjectNameInformation = 1;

constexpr DWORD kQueryAndRead = PROCESS_QUERY_INFORMATION | PROCESS_VM_READ;  // 0x410
constexpr DWORD kAllProcessAccess = 0x1F0FFF;
constexpr DWORD kPortAccess = GENERIC_READ | GENERIC_WRITE;  // ignored: same access as the source

// The system's own layouts of the two handle tables, in this build's word size.
struct ClassicEntry {
    ULONG processId;
    UCHAR objectType;
    UCHAR flags;
    USHORT handleValue;
    void* object;
    ULONG grantedAccess;
};
struct ClassicTable {
    ULONG count;
    ClassicEntry entries[1];
};
struct ExtendedEntry {
    void* object;
    ULONG_PTR processId;
    ULONG_PTR handleValue;
    ULONG grantedAccess;
    USHORT creatorBackTraceIndex;
    USHORT objectType;
    ULONG attributes;
    ULONG reserved;
};
struct ExtendedTable {
    ULONG_PTR count;
    ULONG_PTR reserved;
    ExtendedEntry entries[1];
};

// The system writes these bytes: 16- and 28-byte entries on 32-bit Windows, 24 and 40 on 64-bit.
constexpr std::size_t kWord = sizeof(void*);
static_assert(kWord == 4 || kWord == 8);
static_assert(offsetof(ClassicEntry, processId) == 0 && offsetof(ClassicEntry, objectType) == 4 &&
              offsetof(ClassicEntry, flags) == 5 && offsetof(ClassicEntry, handleValue) == 6 &&
              offsetof(ClassicEntry, object) == 8 && offsetof(ClassicEntry, grantedAccess) == 8 + kWord);
static_assert(sizeof(ClassicEntry) == (kWord == 4 ? 16 : 24));
static_assert(offsetof(ClassicTable, entries) == kWord);
static_assert(offsetof(ExtendedEntry, object) == 0 && offsetof(ExtendedEntry, processId) == kWord &&
              offsetof(ExtendedEntry, handleValue) == 2 * kWord &&
              offsetof(ExtendedEntry, grantedAccess) == 3 * kWord &&
              offsetof(ExtendedEntry, creatorBackTraceIndex) == 3 * kWord + 4 &&
              offsetof(ExtendedEntry, objectType) == 3 * kWord + 6 &&
              offsetof(ExtendedEntry, attributes) == 3 * kWord + 8 &&
              offsetof(ExtendedEntry, reserved) == 3 * kWord + 12);
static_assert(sizeof(ExtendedEntry) == (kWord == 4 ? 28 : 40));
static_assert(offsetof(ExtendedTable, count) == 0 && offsetof(ExtendedTable, entries) == 2 * kWord);

template <typename Table, typename Entry, typename Convert>
bool ParseTable(const unsigned char* bytes, std::size_t size, std::vector<HandleEntry>& out, Convert convert) {
    const std::size_t first = offsetof(Table, entries);
    if (size < first) return false;
    decltype(Table::count) count;
    std::memcpy(&count, bytes, sizeof count);
    const std::size_t fit = (size - first) / sizeof(Entry);
    const std::size_t n = std::min<std::size_t>(count, fit);
    out.reserve(out.size() + n);
    for (std::size_t i = 0; i < n; ++i) {
        Entry e;
        std::memcpy(&e, bytes + first + i * sizeof(Entry), sizeof e);
        out.push_back(convert(e));
    }
    return true;
}

}  // namespace

// ---- decisions ------------------------------------------------------------------------

const std::vector<std::string_view>& ProcessSkipWords() {
    static const std::vector<std::string_view> words = {
        "Process", "SYSTEM", "WINLOGON", "SERVICES", "LSASS", "SVCHOST", "TASKMGR", "BaseNamedObj",
    };
    return words;
}

const std::vector<std::string_view>& ObjectSkipFragments() {
    static const std::vector<std::string_view> fragments = {
        "\\KnownDlls",        "\\KnownDlls32",      "\\Registry",         "\\Sessions",
        "\\Default",          "\\BaseNamedObjects", "\\Kernel",          "Named-Pipe",
        "\\RPC Control",      "\\Device\\HardDisk", "\\Device\\KsecDD",  "\\Device\\Afd",
        "\\Device\\Nsi",      "\\Device\\0000005e", "\\Device\\ElbyCDIO", "\\Device\\NamedPipe",
        "\\Device\\WmiDataDevice",
    };
    return fragments;
}

namespace {
bool ContainsAnyUpper(std::string_view text, const std::vector<std::string_view>& patterns) {
    const std::string upper = UpperAnsi(text);
    for (std::string_view pattern : patterns)
        if (upper.find(UpperAnsi(pattern)) != std::string::npos) return true;
    return false;
}
}  // namespace

bool ProcessPathSkipped(std::string_view path) { return ContainsAnyUpper(path, ProcessSkipWords()); }

bool ObjectNameSkipped(std::string_view name) { return ContainsAnyUpper(name, ObjectSkipFragments()); }

bool DeviceNameMatches(std::string_view deviceName, std::string_view objectName) {
    if (deviceName.empty()) return false;
    return UpperAnsi(deviceName) == UpperAnsi(objectName);
}

bool ParseHandleTable(const void* data, std::size_t size, HandleTableLayout layout,
                      std::vector<HandleEntry>& entries) {
    entries.clear();
    if (!data) return false;
    const auto* bytes = static_cast<const unsigned char*>(data);
    if (layout == HandleTableLayout::kExtended) {
        return ParseTable<ExtendedTable, ExtendedEntry>(bytes, size, entries, [](const ExtendedEntry& e) {
            return HandleEntry{static_cast<uint32_t>(e.processId), static_cast<uint32_t>(e.handleValue),
                               static_cast<uint64_t>(reinterpret_cast<uintptr_t>(e.object))};
        });
    }
    return ParseTable<ClassicTable, ClassicEntry>(bytes, size, entries, [](const ClassicEntry& e) {
        return HandleEntry{e.processId, e.handleValue, static_cast<uint64_t>(reinterpret_cast<uintptr_t>(e.object))};
    });
}

std::size_t NextSnapshotBufferSize(std::size_t current, std::size_t reported) {
    if (current >= kMaxSnapshotBytes) return 0;
    std::size_t next = current < kMaxSnapshotBytes / 2 ? current * 2 : kMaxSnapshotBytes;
    if (next == 0) next = kFirstSnapshotBytes;
    if (reported < kMaxSnapshotBytes) next = std::max(next, reported + reported / 8);
    else next = kMaxSnapshotBytes;
    return std::min(next, kMaxSnapshotBytes);
}

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

// ---- snapshot -------------------------------------------------------------------------

namespace {
bool SnapshotWithLayout(HandleTableLayout layout, std::vector<HandleEntry>& entries) {
    const ULONG infoClass = layout == HandleTableLayout::kExtended ? kExtendedHandleInformationClass
                                                                  : kClassicHandleInformationClass;
    std::size_t size = kFirstSnapshotBytes;
    for (int attempt = 0; attempt < kMaxSnapshotTries && size != 0; ++attempt) {
        std::vector<unsigned char> buffer(size, 0);
        ULONG reported = 0;
        const LONG status = NtQuerySystemInformation(infoClass, buffer.data(), static_cast<ULONG>(size), &reported);
        if (status == kStatusSuccess) {
            const std::size_t filled = reported != 0 && reported <= size ? reported : size;
            return ParseHandleTable(buffer.data(), filled, layout, entries);
        }
        if (status != kStatusInfoLengthMismatch && status != kStatusBufferOverflow && status != kStatusBufferTooSmall)
            return false;  // this layout is not offered
        size = NextSnapshotBufferSize(size, reported);
    }
    return false;
}
}  // namespace

bool TakeHandleSnapshot(std::vector<HandleEntry>& entries, HandleTableLayout* used) {
    for (HandleTableLayout layout : {HandleTableLayout::kExtended, HandleTableLayout::kClassic}) {
        if (SnapshotWithLayout(layout, entries)) {
            if (used) *used = layout;
            return true;
        }
    }
    entries.clear();
    return false;
}

// ---- process image path ---------------------------------------------------------------

std::string ProcessImagePath(uint32_t processId) {
    UniqueHandle process(OpenProcess(kQueryAndRead, FALSE, processId));
    if (!process) return kUnknownProgramPath;

    // The first module of the list is the executable.
    HMODULE modules[1] = {nullptr};
    DWORD needed = 0;
    char path[MAX_PATH] = {};
    if (EnumProcessModules(process.get(), modules, sizeof modules, &needed) && modules[0]) {
        const DWORD n = GetModuleFileNameExA(process.get(), modules[0], path, MAX_PATH);
        if (n > 0 && n < MAX_PATH) return std::string(path, n);
    }

    // A 32-bit scanner cannot list a 64-bit process's modules: ask for the image name.
    using QueryImageName = BOOL(WINAPI*)(HANDLE, DWORD, LPSTR, PDWORD);
    static const auto queryImageName = reinterpret_cast<QueryImageName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "QueryFullProcessImageNameA")));
    if (queryImageName) {
        DWORD length = MAX_PATH;
        if (queryImageName(process.get(), 0, path, &length) && length > 0 && length < MAX_PATH)
            return std::string(path, length);
    }
    return kUnknownProgramPath;
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

struct NameSlot {
    HANDLE target = nullptr;
    LONG status = -1;
    ULONG returned = 0;
    BOOL isPipe = FALSE;
    unsigned char* buffer = nullptr;  // kNameBufferBytes of the job's name buffers
};

struct WorkerJob {
    ObjectNameQueryFunction query = nullptr;
    PipePeekFunction peek = nullptr;
    UniqueHandle go;    // the scanning thread hands over a batch (or the stop)
    UniqueHandle done;  // the worker has answered the whole batch
    volatile LONG stop = 0;
    LONG first = 0;               // the worker answers slots first .. count-1, in order
    LONG count = 0;
    volatile LONG completed = 0;  // slots answered so far, published by the worker
    NameSlot slots[kNameBatchSize];
    // The slots' name buffers, one block; left unfilled, so only the pages the system
    // writes are ever touched.
    std::unique_ptr<unsigned char[]> names{new unsigned char[kNameBatchSize * kNameBufferBytes]};
};

namespace {

// Calls nothing but the pipe peek and the name query between its waits, and touches only
// the job block the scanning thread prepared.
DWORD WINAPI NameWorkerMain(void* parameter) {
    WorkerJob* job = static_cast<WorkerJob*>(parameter);
    for (;;) {
        if (WaitForSingleObject(job->go.get(), INFINITE) != WAIT_OBJECT_0) return 1;
        if (job->stop) return 0;
        for (LONG i = job->first; i < job->count; ++i) {
            NameSlot& slot = job->slots[i];
            // A pipe is known by the peek; pipe names never name a port.
            slot.isPipe = job->peek(slot.target, nullptr, 0, nullptr, nullptr, nullptr);
            if (!slot.isPipe)
                slot.status = job->query(slot.target, kObjectNameInformation, slot.buffer,
                                         static_cast<ULONG>(kNameBufferBytes), &slot.returned);
            InterlockedExchange(&job->completed, i + 1);
        }
        SetEvent(job->done.get());
    }
}

LONG NTAPI SystemNameQuery(HANDLE h, ULONG infoClass, void* buffer, ULONG size, ULONG* returned) {
    return NtQueryObject(h, infoClass, buffer, size, returned);
}

BOOL WINAPI SystemPipePeek(HANDLE h, void* buffer, DWORD size, DWORD* read, DWORD* available, DWORD* left) {
    return PeekNamedPipe(h, buffer, size, read, available, left);
}

// Microseconds of a free-running clock finer than the tick count (which moves in 16 ms
// steps on Windows).
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

uint32_t NowMilliseconds() { return static_cast<uint32_t>(NowMicroseconds() / 1000); }

}  // namespace

NameQueryWorker::NameQueryWorker(const NameQueryCalls& calls) : calls_(calls) {
    if (!calls_.query) calls_.query = SystemNameQuery;
    if (!calls_.peek) calls_.peek = SystemPipePeek;
}

NameQueryWorker::~NameQueryWorker() { EndWorker(false); }

bool NameQueryWorker::EnsureWorker() {
    if (thread_) return true;
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
    if (!job_->go || !job_->done) return false;
    thread_.reset(CreateThread(nullptr, 64 * 1024, NameWorkerMain, job_.get(), STACK_SIZE_PARAM_IS_A_RESERVATION,
                               nullptr));
    if (!thread_) return false;
    ++counters_.workersStarted;
    return true;
}

void NameQueryWorker::EndWorker(bool terminate) {
    if (!thread_) return;
    bool ended = false;
    if (!terminate) {
        // An idle worker leaves at once when told to stop.
        job_->stop = 1;
        SetEvent(job_->go.get());
        ended = WaitForSingleObject(thread_.get(), calls_.limitMilliseconds) == WAIT_OBJECT_0;
    }
    if (!ended) {
        TerminateThread(thread_.get(), 1);
        ended = WaitForSingleObject(thread_.get(), 5000) == WAIT_OBJECT_0;
    }
    thread_.reset();
    // A thread that has not ended yet may still write into its job: leave the block to it.
    if (!ended) job_.release();
    else job_.reset();
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

// Waits for the worker to answer slots first .. count-1. True when it did; false when it
// stalled (or the wait failed), with *completed the slots it had answered by then.
bool NameQueryWorker::WaitForBatch(long first, long count, long* completed) {
    WorkerJob& job = *job_;
    BatchWatch watch(static_cast<uint32_t>(first), NowMilliseconds(), calls_.limitMilliseconds);
    for (;;) {
        const DWORD wait = WaitForSingleObjectEx(job.done.get(), watch.NextWait(NowMilliseconds(), kBatchSliceMilliseconds), TRUE);
        *completed = InterlockedCompareExchange(&job.completed, 0, 0);
        if (wait == WAIT_OBJECT_0) return true;
        // A timed-out slice or a queued call that ran during the wait: judge the count.
        if (wait != WAIT_TIMEOUT && wait != WAIT_IO_COMPLETION) return false;
        if (watch.Sample(static_cast<uint32_t>(*completed), NowMilliseconds()) == BatchVerdict::kTerminate) return false;
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
        counters_.queries += static_cast<uint32_t>(count - first);
        ++counters_.batches;
        SetEvent(job.go.get());

        long completed = first;
        const bool answered = WaitForBatch(first, count, &completed);
        completed = std::min(std::max(completed, first), count);
        for (long i = first; i < completed; ++i)
            names[i] = ObjectNameFromQuery(job.slots[i].isPipe != FALSE, job.slots[i].status, job.slots[i].buffer,
                                           kNameBufferBytes);
        if (answered) return;
        // The query of slot completed overran: it stays unnamed, and a fresh worker takes
        // the rest of the batch.
        ++counters_.overruns;
        EndWorker(true);
        first = completed + 1;
    }
}

// ---- the search ---------------------------------------------------------------------

void ReleaseOwnerHandles(PortRecord& record) {
    // Only handles the search made itself: a value already closed, or one a caller put
    // into the record, is left alone.
    if (record.DupObjAddress) CloseOwnedHandle(FieldToHandle(record.DupObjAddress));
    if (record.DupObjHandle) CloseOwnedHandle(FieldToHandle(record.DupObjHandle));
}

namespace {

OwnerProcess& ProcessOf(std::unordered_map<uint32_t, OwnerProcess>& processes, uint32_t processId) {
    auto found = processes.find(processId);
    if (found != processes.end()) return found->second;
    OwnerProcess& process = processes[processId];
    process.path = ProcessImagePath(processId);
    process.skipped = ProcessPathSkipped(process.path);
    return process;
}

// A duplicate of the entry's handle in this process, for the name query; empty when the
// owner cannot be opened for duplication or the handle not duplicated.
UniqueHandle DuplicateForQuery(OwnerProcess& process, const HandleEntry& entry) {
    if (entry.processId == 0) return {};
    if (!process.dupAccessTried) {
        process.dupAccessTried = true;
        process.dupAccess.reset(OpenProcess(PROCESS_DUP_HANDLE, FALSE, entry.processId));
    }
    if (!process.dupAccess) return {};
    HANDLE duplicate = nullptr;
    if (!DuplicateHandle(process.dupAccess.get(), FieldToHandle(entry.handleValue), GetCurrentProcess(), &duplicate,
                         0, TRUE, DUPLICATE_SAME_ACCESS))
        return {};
    return UniqueHandle(duplicate);
}

void ReportScanning(PortRecord& carrier, uint32_t statusWindow, const std::string& name) {
    carrier.StatusWindow = statusWindow;
    SetText(carrier.FunctionName, kScanRoutineName);
    SetText(carrier.StatusText1, "Scanning");
    SetText(carrier.StatusText2, " " + name);
    SetText(carrier.StatusText3, "");
    ProgressUpdate(carrier);
}

void FillOwner(PortRecord& record, bool holdsHandles, const HandleEntry& entry, const std::string& path,
               const std::string& name) {
    record.ProcessId = entry.processId;
    SetText(record.ProgramPath, path);
    SetText(record.sObjName, name);
    record.ObjHandle = entry.handleValue;
    record.ObjAddress = static_cast<uint32_t>(entry.objectAddress);
    record.DupProcessID = GetCurrentProcessId();
    if (holdsHandles) ReleaseOwnerHandles(record);
    HANDLE owner = OpenProcess(kAllProcessAccess, TRUE, entry.processId);
    RememberOwnedHandle(owner);
    record.DupObjHandle = owner ? HandleToField(owner) : 0;
    HANDLE duplicate = nullptr;
    if (!owner || !DuplicateHandle(owner, FieldToHandle(entry.handleValue), GetCurrentProcess(), &duplicate,
                                   kPortAccess, TRUE, DUPLICATE_SAME_ACCESS))
        duplicate = nullptr;
    RememberOwnedHandle(duplicate);
    record.DupObjAddress = duplicate ? HandleToField(duplicate) : 0;
    record.WinHandle = record.DupObjAddress;
}

}  // namespace

// Entries waiting for their names: their duplicates stay open until the batch is done.
struct PendingEntry {
    const HandleEntry* entry;
    const OwnerProcess* process;
    UniqueHandle duplicate;
};

void FindPortOwners(std::vector<PortRecord>& ports, const uint32_t* statusWindow, const NameQueryCalls& calls,
                    OwnerSearchCounters* counters) {
    OwnerSearchCounters local;
    OwnerSearchCounters& count = counters ? *counters : local;
    count = OwnerSearchCounters{};
    if (ports.empty()) return;

    std::vector<HandleEntry> entries;
    count.snapshotTaken = TakeHandleSnapshot(entries);
    if (!count.snapshotTaken) return;

    // Per process, for this snapshot only: its path and a handle for duplication.
    std::unordered_map<uint32_t, OwnerProcess> processes;
    std::vector<bool> holdsHandles(ports.size(), false);
    NameQueryWorker worker(calls);
    std::vector<PendingEntry> batch;
    batch.reserve(kNameBatchSize);
    HANDLE handles[kNameBatchSize];
    std::string names[kNameBatchSize];
    uint64_t batchStart = 0;

    // Names the batch, then takes its entries in table order as if each had been named
    // alone: progress report, object skip test, matches.
    auto finishBatch = [&] {
        for (std::size_t i = 0; i < batch.size(); ++i) handles[i] = batch[i].duplicate.get();
        worker.QueryBatch(handles, batch.size(), names);
        for (std::size_t i = 0; i < batch.size(); ++i) {
            const std::string& name = names[i];
            if (name.empty()) continue;
            ++count.named;
            if (statusWindow) ReportScanning(ports.back(), *statusWindow, name);
            if (ObjectNameSkipped(name)) continue;
            for (std::size_t p = 0; p < ports.size(); ++p) {
                if (!DeviceNameMatches(Text(ports[p].DeviceName), name)) continue;
                FillOwner(ports[p], holdsHandles[p], *batch[i].entry, batch[i].process->path, name);
                holdsHandles[p] = true;
                ++count.matches;
            }
        }
        batch.clear();
        count.longestBatchMicroseconds =
            std::max(count.longestBatchMicroseconds, static_cast<uint32_t>(NowMicroseconds() - batchStart));
    };

    for (const HandleEntry& entry : entries) {
        ++count.entries;
        // Learning a new process's path takes a while: the waiting entries report first.
        if (!batch.empty() && processes.find(entry.processId) == processes.end()) finishBatch();
        OwnerProcess& process = ProcessOf(processes, entry.processId);
        if (process.skipped) continue;
        UniqueHandle duplicate = DuplicateForQuery(process, entry);
        if (!duplicate) continue;
        if (batch.empty()) batchStart = NowMicroseconds();
        batch.push_back(PendingEntry{&entry, &process, std::move(duplicate)});
        if (batch.size() == kNameBatchSize) finishBatch();
    }
    if (!batch.empty()) finishBatch();
    count.names = worker.counters();
}

}  // namespace kestrune
