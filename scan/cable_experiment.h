#pragma once
// The cable test of every port a scan holds, as one experiment.
//
// The free ports the scan opened drive their lines together: all low for one settle window,
// then a few rounds in which each drives a bit of its code (cable_readings.h), every input of
// every port read once the round's settle window has passed. The rounds grow with the
// logarithm of the number of ports, and no port's change can arrive during another port's
// measurement. A port held by another program is read once and never driven.
//
// Each port's requests run on its own lane (cable_lanes.h), each waited for at most the
// request bound: a port that overruns it leaves the experiment (its cable "Not Tested", no
// line commands), a port whose device is gone reads "Disconnected", a driver that refuses line
// control "Not Supported". Every line of every port that took part is put back as it was at
// the start, on every path; a lane given up puts its port back when its call returns.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "record/port_record.h"
#include "scan/port_tasks.h"

namespace kestrune {

struct CableExperimentOptions {
    DWORD requestBoundMilliseconds = kPortStepBoundMilliseconds;
    uint32_t progressWindow = 0;         // its messages run while the experiment waits
    std::vector<uint32_t> settleBounds;  // per record, ms; empty: read from the device tree
};

struct CableExperimentReport {
    std::size_t drivenPorts = 0;    // ports that drove their lines
    std::size_t settleWindows = 0;  // settle windows waited
};

// The cable test of every record whose skip entry is not true (a missing entry: tested); a
// skipped record (given up earlier) reads not tested. Writes only the records, on the
// calling thread.
CableExperimentReport RunCableExperiment(std::vector<PortRecord>& records, const std::vector<bool>& skip,
                                         const CableExperimentOptions& options = {});

// The cable test of one record: the experiment over that port alone, after a progress
// report. A port another program holds is read once into the four line fields and gets the
// not-tested verdict; a record with no handle the verdict of a port with nothing on it.
void RunCableTest(PortRecord& record);

}  // namespace kestrune
