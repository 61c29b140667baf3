#include "scan/owner_search.h"

#include <algorithm>
#include <unordered_map>

#include "scan/progress.h"
#include "support/fixed_text.h"
#include "support/owned_handles.h"

namespace kestrune {

const char kScanRoutineName[] = "SerialPort_Enum";

namespace {
constexpr DWORD kOwnerAccess = PROCESS_DUP_HANDLE;
constexpr DWORD kPortAccess = GENERIC_READ | GENERIC_WRITE;  // ignored: same access as the source
}  // namespace

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
                         0, FALSE, DUPLICATE_SAME_ACCESS))
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
    // Only what the duplication needs, and nothing a child process could inherit.
    HANDLE owner = OpenProcess(kOwnerAccess, FALSE, entry.processId);
    RememberOwnedHandle(owner);
    record.DupObjHandle = owner ? HandleToField(owner) : 0;
    HANDLE duplicate = nullptr;
    if (!owner || !DuplicateHandle(owner, FieldToHandle(entry.handleValue), GetCurrentProcess(), &duplicate,
                                   kPortAccess, FALSE, DUPLICATE_SAME_ACCESS))
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

namespace {

// The object type of a port handle, learned from a handle this process holds: the scan's
// own port handle when it has one, any file otherwise. 0 when the table does not list it.
uint16_t LearnPortObjectType(const std::vector<HandleEntry>& entries, HANDLE portHandle) {
    const HandleEntry* entry = FindOwnEntry(entries, GetCurrentProcessId(), HandleToField(portHandle));
    return entry ? entry->objectType : 0;
}

UniqueHandle OpenAnyFile() {
    char path[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return {};
    HANDLE file = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              0, nullptr);
    return UniqueHandle(file == INVALID_HANDLE_VALUE ? nullptr : file);
}

}  // namespace

void FindPortOwners(std::vector<PortRecord>& ports, const uint32_t* statusWindow, const NameQueryCalls& calls,
                    OwnerSearchCounters* counters, const OwnerSearchOptions& options) {
    OwnerSearchCounters local;
    OwnerSearchCounters& count = counters ? *counters : local;
    count = OwnerSearchCounters{};
    if (ports.empty()) return;

    std::vector<OwnerRoute> routes;
    std::vector<std::size_t> walkFor;
    HANDLE ownPortHandle = nullptr;
    for (std::size_t p = 0; p < ports.size(); ++p) {
        routes.push_back(ChooseOwnerRoute(Text(ports[p].Status), ports[p].WinHandle, Text(ports[p].DeviceName),
                                          options.walkEveryPort));
        if (routes.back() == OwnerRoute::kWalk) walkFor.push_back(p);
        if (routes.back() == OwnerRoute::kOwnHandle && !ownPortHandle) ownPortHandle = FieldToHandle(ports[p].WinHandle);
    }
    if (walkFor.empty() && !ownPortHandle) return;  // nothing any handle can tell

    // The table is needed only for a walk; the scan's own ports are known without it.
    const bool walk = !walkFor.empty();
    std::vector<HandleEntry> entries;
    if (walk) {
        // Without a port of its own the scan learns the type from a file it opens for the moment.
        UniqueHandle anyFile;
        if (!ownPortHandle && !options.walkEveryPort) anyFile = OpenAnyFile();
        count.snapshotTaken = options.snapshot ? options.snapshot(entries) : TakeHandleSnapshot(entries);
        if (!count.snapshotTaken) return;
        if (!options.walkEveryPort)
            count.portObjectType = LearnPortObjectType(entries, ownPortHandle ? ownPortHandle : anyFile.get());
    }

    // Per process, for this snapshot only: its path and a handle for duplication.
    std::unordered_map<uint32_t, OwnerProcess> processes;
    std::vector<bool> holdsHandles(ports.size(), false);
    NameQueryWorker worker(calls);

    // Ports the scan opened itself: the walk would find the scan's own handle with the
    // port's name; the same entry is taken directly.
    for (std::size_t p = 0; p < ports.size(); ++p) {
        if (routes[p] != OwnerRoute::kOwnHandle) continue;
        const OwnerProcess& own = ProcessOf(processes, GetCurrentProcessId());
        if (own.skipped) continue;
        // With a table at hand the entry comes from it (with the object's address); without,
        // the address is not known.
        HandleEntry entry{GetCurrentProcessId(), ports[p].WinHandle, 0, 0};
        if (walk) {
            const HandleEntry* listed = FindOwnEntry(entries, entry.processId, entry.handleValue);
            if (!listed) continue;  // the walk would not see it either
            entry = *listed;
        }
        const std::string name = worker.Query(FieldToHandle(entry.handleValue));
        if (name.empty()) continue;
        ++count.named;
        if (statusWindow) ReportScanning(ports.back(), *statusWindow, name);
        if (ObjectNameSkipped(name) || !DeviceNameMatches(Text(ports[p].DeviceName), name)) continue;
        FillOwner(ports[p], false, entry, own.path, name);
        holdsHandles[p] = true;
        ++count.ownHandles;
        ++count.matches;
    }
    if (!walk) {
        count.names = worker.counters();
        return;
    }
    count.walked = true;
    const DebugPrivilegeScope debugPrivilege;  // put back as it was when the walk ends

    std::vector<std::string> upperDevices(ports.size());
    for (std::size_t p : walkFor) upperDevices[p] = UpperAnsi(Text(ports[p].DeviceName));

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
            const std::string upperName = UpperAnsi(name);
            for (std::size_t p : walkFor) {
                // DeviceNameMatches, with the device names upper-cased once per search.
                if (upperDevices[p].empty() || upperDevices[p] != upperName) continue;
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
        // A program that is closing does not wait for the rest of the table.
        if (ScanStopRequested()) {
            count.stopped = true;
            break;
        }
        ++count.entries;
        if (!NameHandleOfType(entry.objectType, count.portObjectType)) {
            ++count.typeSkipped;
            continue;
        }
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
    if (!batch.empty() && !count.stopped) finishBatch();  // else its duplicates close unnamed
    count.names = worker.counters();
}

}  // namespace kestrune
