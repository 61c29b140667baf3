#pragma once
// Handle-owner search: who holds a busy port. One snapshot of the system handle table is
// walked in table order; every handle whose object name is a scanned port's device name
// fills that port's owner fields and gives the record a duplicate of the owner's handle.
// The names are asked on the bounded worker of name_query_worker.h.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "scan/handle_snapshot.h"
#include "scan/name_query_worker.h"
#include "scan/owner_match.h"
#include "scan/owner_process.h"
#include "scan/port_record.h"
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
    uint32_t entries = 0;       // snapshot entries walked
    uint32_t named = 0;         // entries whose object got a name (progress reports)
    uint32_t matches = 0;       // record fills
    uint32_t longestBatchMicroseconds = 0;  // first duplicate of a batch to its last report
    NameQueryCounters names;
    bool snapshotTaken = false;
};

// The search over ports after the probe pass. statusWindow, when not null, makes every
// named entry report "Scanning" / " " + name through the last record. Matches fill
// ProcessId, ProgramPath, sObjName, ObjHandle, ObjAddress, DupProcessID, DupObjHandle,
// DupObjAddress and WinHandle; a later match in table order replaces an earlier one.
void FindPortOwners(std::vector<PortRecord>& ports, const uint32_t* statusWindow,
                    const NameQueryCalls& calls = {}, OwnerSearchCounters* counters = nullptr);

// Closes the owner-process handle and the duplicated port handle a match left in the
// record; their numeric values stay for display.
void ReleaseOwnerHandles(PortRecord& record);

// The routine name the owner search shows in the status bar.
extern const char kScanRoutineName[];

}  // namespace kestrune
