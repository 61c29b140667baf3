#pragma once
// Handle-owner search: who holds a busy port. One snapshot of the system handle table is
// walked in table order; every handle whose object name is a scanned port's device name
// fills that port's owner fields and gives the record a duplicate of the owner's handle.
// The names are asked on the bounded worker of name_query_worker.h.
//
// Only what can be a port is looked at: a port the scan opened itself is owned by the
// scanning process through the handle the scan holds, so its fields come from that handle
// without a walk; the walk runs only when some port is held by someone else, looks only
// for those ports and names only handles of the object type a port handle has.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "scan/handle_snapshot.h"
#include "scan/name_query_worker.h"
#include "scan/owner_match.h"
#include "scan/owner_process.h"
#include "record/port_record.h"
#include "support/handles.h"

namespace kestrune {

// What the search knows about one process for the length of one snapshot.
struct OwnerProcess {
    std::string path;          // image path or kUnknownProgramPath
    bool skipped = true;       // path holds a process skip word
    UniqueHandle dupAccess;    // opened for handle duplication; empty when that failed
    bool dupAccessTried = false;
};

struct OwnerSearchCounters {
    bool walked = false;        // the table was walked for ports held by others
    uint16_t portObjectType = 0;  // the object type of a port handle; 0 when not learned
    uint32_t typeSkipped = 0;   // entries not named for their object type
    uint32_t ownHandles = 0;    // records filled from the scan's own handle
    uint32_t entries = 0;       // snapshot entries walked
    uint32_t named = 0;         // entries whose object got a name (progress reports)
    uint32_t matches = 0;       // record fills
    uint32_t longestBatchMicroseconds = 0;  // first duplicate of a batch to its last report
    NameQueryCounters names;
    bool snapshotTaken = false;
    bool stopped = false;       // the walk ended early: the scan was asked to stop
};

using SnapshotFunction = bool (*)(std::vector<HandleEntry>& entries);

struct OwnerSearchOptions {
    // Walk the table for every record and name every handle, whatever is known already:
    // the search as it was before it learned to look only where a port can be.
    bool walkEveryPort = false;
    SnapshotFunction snapshot = nullptr;  // null: TakeHandleSnapshot; tests hand in Fakes
};

// The search over ports after the probe pass (each record's route by ChooseOwnerRoute).
// statusWindow, when not null, makes every named entry report "Scanning" / " " + name
// through the last record. Matches fill ProcessId, ProgramPath, sObjName, ObjHandle,
// ObjAddress, DupProcessID, DupObjHandle, DupObjAddress and WinHandle; a later match in
// table order replaces an earlier one. Once the scan is asked to stop (ScanStopRequested)
// the walk ends at its next entry, leaving the ports not yet matched as they are.
void FindPortOwners(std::vector<PortRecord>& ports, const uint32_t* statusWindow,
                    const NameQueryCalls& calls = {}, OwnerSearchCounters* counters = nullptr,
                    const OwnerSearchOptions& options = {});

// Closes the owner-process handle and the duplicated port handle a match left in the
// record; their numeric values stay for display.
void ReleaseOwnerHandles(PortRecord& record);

// The routine name the owner search shows in the status bar.
extern const char kScanRoutineName[];

}  // namespace kestrune
