#include "scan/scan_driver.h"

#include "port/channel.h"
#include "port/port_export.h"
#include "port/record_channel.h"
#include "scan/cable_experiment.h"
#include "scan/cable_test.h"
#include "scan/device_type.h"
#include "scan/discovery.h"
#include "scan/owner_port_reads.h"
#include "scan/owner_search.h"
#include "scan/port_selection.h"
#include "scan/port_tasks.h"
#include "scan/progress.h"
#include "scan/settings_readout.h"
#include "scan/status_probe.h"
#include "support/fixed_text.h"
#include "support/handles.h"

namespace kestrune {

namespace {

// The per-port steps, in order. Each may report progress and so let window messages run;
// the scan stops before the next one once it is asked to.
using PortStep = void (*)(PortRecord&);
const PortStep kPortSteps[] = {
    [](PortRecord& r) { ReadPortParameters(r); },
    [](PortRecord& r) { PortExport(&r, ReadDeviceType); },
    [](PortRecord& r) { PortExport(&r, ReadProgramDetails); },
    [](PortRecord& r) { PortExport(&r, ReadFlowControl); },
};

// One task of the per-port pass: the reading steps of one record on a worker.
void PortPass(PortRecord& record) {
    for (PortStep step : kPortSteps) step(record);
}

// A task given up that returns later closes what its record holds.
void LateReturn(PortRecord& record) { EndRecordPass(record); }

}  // namespace

void EndRecordPass(PortRecord& record) {
    if (record.RtHandle != 0 && IsChannelOpen(record.RtHandle))
        record.WinHandle = HandleToField(ChannelNativeHandle(record.RtHandle));
    PortExport(&record, CloseRecordChannel);
    ReleaseOwnerHandles(record);
}

void ScanPorts(std::vector<PortRecord>& ports, const uint32_t* statusWindow, const OwnerSearchOptions& ownerOptions,
               const ScanPassOptions& passOptions) {
    ScanNamedPorts(ports, statusWindow, {}, ownerOptions, passOptions);
}

void ScanNamedPorts(std::vector<PortRecord>& ports, const uint32_t* statusWindow,
                    const std::vector<std::string>& names, const OwnerSearchOptions& ownerOptions,
                    const ScanPassOptions& passOptions) {
    // A window that does not take progress (not a status bar of this process) gets none:
    // no texts, and no messages are run for it.
    if (statusWindow && *statusWindow != 0 && !ProgressWindowTaken(*statusWindow)) statusWindow = nullptr;
    ProgressScanStarts(statusWindow ? *statusWindow : 0);

    const std::vector<DiscoveredPort> working = SelectPorts(DiscoverPorts(), names);

    ports.assign(working.size(), PortRecord{});
    UnfinishedRecords unfinished(ports);

    // Probe pass: every port opened on its own channel, on the pool, each open bounded.
    for (size_t i = 0; i < ports.size(); ++i) {
        PortRecord& record = ports[i];
        record.RtHandle = NextChannelNumber();
        SetText(record.DeviceName, working[i].deviceName);
        SetText(record.sObjName, working[i].objName);
        SetText(record.PortName, working[i].portName);
        record.ObjHandle = 0;
        record.ObjAddress = 0;
        if (TextEmpty(record.Name)) SetText(record.Name, Text(record.PortName));
    }
    PortTaskOptions taskOptions;
    taskOptions.workers = passOptions.workers;
    taskOptions.boundMilliseconds = passOptions.boundMilliseconds;
    taskOptions.lateReturn = LateReturn;
    taskOptions.progressWindow = statusWindow ? *statusWindow : 0;
    PortTaskPool pool(taskOptions);
    std::vector<bool> answered = pool.RunAll(ports, [](PortRecord& r) { ProbePortStatus(r); });
    std::vector<bool> givenUp(ports.size(), false);
    auto giveUp = [&](const std::vector<bool>& answeredNow) {
        for (size_t i = 0; i < ports.size(); ++i) {
            if (answeredNow[i] || givenUp[i]) continue;
            MarkGivenUp(ports[i]);
            givenUp[i] = true;
            unfinished.GivenUp(i);
        }
    };
    giveUp(answered);

    // Owner search: one pass over the system handle table, reporting once per named handle.
    if (!ScanStopRequested()) {
        ProgressBurst burst;
        FindPortOwners(ports, statusWindow, {}, nullptr, ownerOptions);
    }
    // The last record carries the progress of the per-port steps.
    if (statusWindow && !ports.empty()) ports.back().StatusWindow = *statusWindow;

    // Per-port pass, one task per port on the pool, then one cable experiment over every
    // port still answering (cable_experiment.h). Progress stays on this thread: the last
    // record shows the first step when the pass starts and the cable step when the
    // experiment starts. Once the scan is asked to stop, no further task starts, but every
    // port the probe opened is still closed.
    const int32_t upper = static_cast<int32_t>(ports.size()) - 1;
    for (PortRecord& record : ports) {
        record.LBOUND = 0;
        record.UBOUND = upper;
    }
    if (!ScanStopRequested()) {
        if (!ports.empty())
            ReportStep(ports.back(), kParametersRoutineName,
                       "Get " + std::string(Text(ports.back().PortName)) + " Parameters");
        giveUp(pool.RunAll(ports, PortPass, true));
    }
    if (!ScanStopRequested()) {
        if (!ports.empty()) ReportStep(ports.back(), kCableRoutineName, "");
        CableExperimentOptions cableOptions;
        cableOptions.requestBoundMilliseconds = passOptions.boundMilliseconds;
        cableOptions.progressWindow = taskOptions.progressWindow;
        RunCableExperiment(ports, givenUp, cableOptions);
    }
    for (std::size_t i = 0; i < ports.size(); ++i) {
        if (!givenUp[i]) EndRecordPass(ports[i]);
        unfinished.Ended(i + 1);
        PumpProgressMessages(taskOptions.progressWindow);  // each close is a round trip to the system
    }
}

}  // namespace kestrune
