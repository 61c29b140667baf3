#pragma once
// The scan: one PortRecord per serial port the registry knows.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "scan/owner_search.h"
#include "record/port_record.h"
#include "record/result_codes.h"
#include "scan/port_tasks.h"

namespace kestrune {

// How the probe pass and the per-port pass run: workers at once (1: port by port), and the
// bound each port's task gets.
struct ScanPassOptions {
    std::size_t workers = kPortWorkers;
    DWORD boundMilliseconds = kPortStepBoundMilliseconds;
};

// Replaces ports with one record per discovered port (never fewer than one) and runs every
// scan step on them. statusWindow, when not null, is read afresh at each progress report.
// ownerOptions: how the owner search runs (tests force the full walk with it).
void ScanPorts(std::vector<PortRecord>& ports, const uint32_t* statusWindow,
               const OwnerSearchOptions& ownerOptions = {}, const ScanPassOptions& passOptions = {});

// The same scan over the named ports only (see SelectPorts): one owner search for all of
// them. No names scans every port.
void ScanNamedPorts(std::vector<PortRecord>& ports, const uint32_t* statusWindow,
                    const std::vector<std::string>& names, const OwnerSearchOptions& ownerOptions = {},
                    const ScanPassOptions& passOptions = {});

// Closes what the scan opened for a record: its probe channel, whatever handle the owner
// search left in WinHandle meanwhile (a duplicate of the scan's own handle, or none), and
// the owner handles.
void EndRecordPass(PortRecord& record);

// Ends the record pass of every record the scan has not ended itself when it goes, so a
// scan stopped on the way (out of memory on a large handle table) leaves no port held and
// no handle open. The scan tells it how many records it has ended.
class UnfinishedRecords {
public:
    explicit UnfinishedRecords(std::vector<PortRecord>& ports) : ports_(ports) {}
    ~UnfinishedRecords() {
        for (std::size_t i = ended_; i < ports_.size(); ++i)
            if (i >= givenUp_.size() || !givenUp_[i]) EndRecordPass(ports_[i]);
    }
    UnfinishedRecords(const UnfinishedRecords&) = delete;
    UnfinishedRecords& operator=(const UnfinishedRecords&) = delete;
    void Ended(std::size_t count) { ended_ = count; }
    // A record whose task was given up: its late task closes what it holds.
    void GivenUp(std::size_t index) {
        if (givenUp_.size() <= index) givenUp_.resize(index + 1, false);
        givenUp_[index] = true;
    }

private:
    std::vector<PortRecord>& ports_;
    std::vector<bool> givenUp_;
    std::size_t ended_ = 0;
};

}  // namespace kestrune
