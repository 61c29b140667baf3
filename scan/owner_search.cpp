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

// Each record's route, the records the walk looks for and the first of the scan's own port
// handles.
struct OwnerRoutes {
    std::vector<OwnerRoute> routes;
    std::vector<std::size_t> walkFor;
    HANDLE ownPortHandle = nullptr;

    bool walk() const { return !walkFor.empty(); }
    bool anything() const { return walk() || ownPortHandle; }  // else no handle can tell
};

OwnerRoutes ChooseRoutes(const std::vector<PortRecord>& ports, bool walkEveryPort) {
    OwnerRoutes chosen;
    for (std::size_t p = 0; p < ports.size(); ++p) {
        const OwnerRoute route =
            ChooseOwnerRoute(Text(ports[p].Status), ports[p].WinHandle, Text(ports[p].DeviceName), walkEveryPort);
        chosen.routes.push_back(route);
        if (route == OwnerRoute::kWalk) chosen.walkFor.push_back(p);
        if (route == OwnerRoute::kOwnHandle && !chosen.ownPortHandle)
            chosen.ownPortHandle = FieldToHandle(ports[p].WinHandle);
    }
    return chosen;
}

// The snapshot of the handle table and the object type of a port handle; false when no
// snapshot could be taken.
bool TakeTable(const OwnerRoutes& chosen, const OwnerSearchOptions& options, std::vector<HandleEntry>& entries,
               OwnerSearchCounters& count) {
    // Without a port of its own the scan learns the type from a file it opens for the moment.
    UniqueHandle anyFile;
    if (!chosen.ownPortHandle && !options.walkEveryPort) anyFile = OpenAnyFile();
    count.snapshotTaken = options.snapshot ? options.snapshot(entries) : TakeHandleSnapshot(entries);
    if (!count.snapshotTaken) return false;
    if (!options.walkEveryPort)
        count.portObjectType = LearnPortObjectType(entries, chosen.ownPortHandle ? chosen.ownPortHandle : anyFile.get());
    return true;
}

// What both routes share for one snapshot: the records, the processes met so far (their
// paths and handles for duplication), which records hold handles of a match, the name worker.
struct OwnerSearch {
    OwnerSearch(std::vector<PortRecord>& ports, const uint32_t* statusWindow, const NameQueryCalls& calls,
                OwnerSearchCounters& count)
        : ports(ports), statusWindow(statusWindow), count(count), holdsHandles(ports.size(), false), worker(calls) {}

    // An entry whose object got a name: counted, and reported through the last record.
    void Named(const std::string& name) {
        ++count.named;
        if (statusWindow) ReportScanning(ports.back(), *statusWindow, name);
    }
    void Fill(std::size_t p, const HandleEntry& entry, const std::string& path, const std::string& name) {
        FillOwner(ports[p], holdsHandles[p], entry, path, name);
        holdsHandles[p] = true;
        ++count.matches;
    }

    std::vector<PortRecord>& ports;
    const uint32_t* statusWindow;
    OwnerSearchCounters& count;
    std::unordered_map<uint32_t, OwnerProcess> processes;
    std::vector<bool> holdsHandles;
    NameQueryWorker worker;
};

// Ports the scan opened itself: the walk would find the scan's own handle with the port's
// name; the same entry is taken directly. entries: the table when there is one, else null.
void FillFromOwnHandles(OwnerSearch& search, const std::vector<OwnerRoute>& routes,
                        const std::vector<HandleEntry>* entries) {
    for (std::size_t p = 0; p < search.ports.size(); ++p) {
        if (routes[p] != OwnerRoute::kOwnHandle) continue;
        const OwnerProcess& own = ProcessOf(search.processes, GetCurrentProcessId());
        if (own.skipped) continue;
        // With a table at hand the entry comes from it (with the object's address); without,
        // the address is not known.
        HandleEntry entry{GetCurrentProcessId(), search.ports[p].WinHandle, 0, 0};
        if (entries) {
            const HandleEntry* listed = FindOwnEntry(*entries, entry.processId, entry.handleValue);
            if (!listed) continue;  // the walk would not see it either
            entry = *listed;
        }
        const std::string name = search.worker.Query(FieldToHandle(entry.handleValue));
        if (name.empty()) continue;
        search.Named(name);
        if (ObjectNameSkipped(name) || !DeviceNameMatches(Text(search.ports[p].DeviceName), name)) continue;
        search.Fill(p, entry, own.path, name);
        ++search.count.ownHandles;
    }
}

// The walk of the table for the records held by others: entries are named in batches on
// the worker, then taken in table order as if each had been named alone.
class TableWalk {
public:
    TableWalk(OwnerSearch& search, const std::vector<std::size_t>& walkFor)
        : search_(search), walkFor_(walkFor), upperDevices_(search.ports.size()) {
        for (std::size_t p : walkFor_) upperDevices_[p] = UpperAnsi(Text(search.ports[p].DeviceName));
        batch_.reserve(kNameBatchSize);
    }

    // One entry of the table; false once the scan is asked to stop (a program that is
    // closing does not wait for the rest of the table).
    bool Take(const HandleEntry& entry) {
        OwnerSearchCounters& count = search_.count;
        if (ScanStopRequested()) {
            count.stopped = true;
            return false;
        }
        ++count.entries;
        if (!NameHandleOfType(entry.objectType, count.portObjectType)) {
            ++count.typeSkipped;
            return true;
        }
        // Learning a new process's path takes a while: the waiting entries report first.
        if (!batch_.empty() && search_.processes.find(entry.processId) == search_.processes.end()) FinishBatch();
        OwnerProcess& process = ProcessOf(search_.processes, entry.processId);
        if (process.skipped) return true;
        UniqueHandle duplicate = DuplicateForQuery(process, entry);
        if (!duplicate) return true;
        if (batch_.empty()) batchStart_ = NowMicroseconds();
        batch_.push_back(PendingEntry{&entry, &process, std::move(duplicate)});
        if (batch_.size() == kNameBatchSize) FinishBatch();
        return true;
    }

    // After the last entry: the waiting entries are named, unless the walk was stopped
    // (then their duplicates close unnamed).
    void Finish() {
        if (!batch_.empty() && !search_.count.stopped) FinishBatch();
    }

private:
    // Names the batch, then takes its entries in table order: progress report, object skip
    // test, matches.
    void FinishBatch() {
        for (std::size_t i = 0; i < batch_.size(); ++i) handles_[i] = batch_[i].duplicate.get();
        search_.worker.QueryBatch(handles_, batch_.size(), names_);
        for (std::size_t i = 0; i < batch_.size(); ++i) TakeNamed(batch_[i], names_[i]);
        batch_.clear();
        search_.count.longestBatchMicroseconds = std::max(search_.count.longestBatchMicroseconds,
                                                          static_cast<uint32_t>(NowMicroseconds() - batchStart_));
    }

    void TakeNamed(const PendingEntry& pending, const std::string& name) {
        if (name.empty()) return;
        search_.Named(name);
        if (ObjectNameSkipped(name)) return;
        const std::string upperName = UpperAnsi(name);
        for (std::size_t p : walkFor_) {
            // DeviceNameMatches, with the device names upper-cased once per search.
            if (upperDevices_[p].empty() || upperDevices_[p] != upperName) continue;
            search_.Fill(p, *pending.entry, pending.process->path, name);
        }
    }

    OwnerSearch& search_;
    const std::vector<std::size_t>& walkFor_;
    std::vector<std::string> upperDevices_;
    std::vector<PendingEntry> batch_;
    HANDLE handles_[kNameBatchSize];
    std::string names_[kNameBatchSize];
    uint64_t batchStart_ = 0;
};

void WalkTable(OwnerSearch& search, const std::vector<std::size_t>& walkFor, const std::vector<HandleEntry>& entries) {
    search.count.walked = true;
    const DebugPrivilegeScope debugPrivilege;  // put back as it was when the walk ends
    TableWalk walk(search, walkFor);
    for (const HandleEntry& entry : entries)
        if (!walk.Take(entry)) break;
    walk.Finish();
}

}  // namespace

void FindPortOwners(std::vector<PortRecord>& ports, const uint32_t* statusWindow, const NameQueryCalls& calls,
                    OwnerSearchCounters* counters, const OwnerSearchOptions& options) {
    OwnerSearchCounters local;
    OwnerSearchCounters& count = counters ? *counters : local;
    count = OwnerSearchCounters{};
    if (ports.empty()) return;

    const OwnerRoutes chosen = ChooseRoutes(ports, options.walkEveryPort);
    if (!chosen.anything()) return;
    // The table is needed only for a walk; the scan's own ports are known without it.
    std::vector<HandleEntry> entries;
    if (chosen.walk() && !TakeTable(chosen, options, entries, count)) return;

    OwnerSearch search(ports, statusWindow, calls, count);
    FillFromOwnHandles(search, chosen.routes, chosen.walk() ? &entries : nullptr);
    if (chosen.walk()) WalkTable(search, chosen.walkFor, entries);
    count.names = search.worker.counters();
}

}  // namespace kestrune
