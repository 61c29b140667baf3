#include "scan/owner_search.h"

#include <algorithm>
#include <unordered_map>

#include "app/progress.h"
#include "support/fixed_text.h"

namespace kestrune {

const char kScanRoutineName[] = "SerialPort_Enum";

namespace {
constexpr DWORD kAllProcessAccess = 0x1F0FFF;
constexpr DWORD kPortAccess = GENERIC_READ | GENERIC_WRITE;  // ignored: same access as the source
}  // namespace

void ReleaseOwnerHandles(PortRecord& record) {
    if (record.DupObjAddress) CloseHandle(FieldToHandle(record.DupObjAddress));
    if (record.DupObjHandle) CloseHandle(FieldToHandle(record.DupObjHandle));
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
    record.DupObjHandle = owner ? HandleToField(owner) : 0;
    HANDLE duplicate = nullptr;
    if (!owner || !DuplicateHandle(owner, FieldToHandle(entry.handleValue), GetCurrentProcess(), &duplicate,
                                   kPortAccess, TRUE, DUPLICATE_SAME_ACCESS))
        duplicate = nullptr;
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
