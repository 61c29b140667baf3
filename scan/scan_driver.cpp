#include "scan/scan_driver.h"

#include "port/channel.h"
#include "port/port_functions.h"
#include "scan/cable_test.h"
#include "scan/device_type.h"
#include "scan/discovery.h"
#include "scan/owner_port_reads.h"
#include "scan/owner_search.h"
#include "scan/port_selection.h"
#include "scan/progress.h"
#include "scan/settings_readout.h"
#include "scan/status_probe.h"
#include "support/boundary.h"
#include "support/fixed_text.h"
#include "support/handles.h"
#include "support/safe_array.h"

namespace kestrune {

namespace {

// The per-port steps, in order. Each may report progress and so let window messages run;
// the scan stops before the next one once it is asked to.
using PortStep = void (*)(PortRecord&);
const PortStep kPortSteps[] = {
    [](PortRecord& r) { ReadPortParameters(r); },
    [](PortRecord& r) { SerialPort_Get_Type(&r); },
    [](PortRecord& r) { SerialPort_Get_Program(&r); },
    [](PortRecord& r) { SerialPort_Get_FlowControl(&r); },
    [](PortRecord& r) { RunCableTest(r); },
};

}  // namespace

void EndRecordPass(PortRecord& record) {
    if (record.RtHandle != 0 && IsChannelOpen(record.RtHandle))
        record.WinHandle = HandleToField(ChannelNativeHandle(record.RtHandle));
    SerialPort_Close_Rt(&record);
    ReleaseOwnerHandles(record);
}

void ScanPorts(std::vector<PortRecord>& ports, const uint32_t* statusWindow, const OwnerSearchOptions& ownerOptions) {
    ScanNamedPorts(ports, statusWindow, {}, ownerOptions);
}

void ScanNamedPorts(std::vector<PortRecord>& ports, const uint32_t* statusWindow,
                    const std::vector<std::string>& names, const OwnerSearchOptions& ownerOptions) {
    // A window that does not take progress (not a status bar of this process) gets none:
    // no texts, and no messages are run for it.
    if (statusWindow && *statusWindow != 0 && !ProgressWindowTaken(*statusWindow)) statusWindow = nullptr;

    const std::vector<DiscoveredPort> working = SelectPorts(DiscoverPorts(), names);

    ports.assign(working.size(), PortRecord{});
    UnfinishedRecords unfinished(ports);

    // Probe pass.
    for (size_t i = 0; i < ports.size(); ++i) {
        PortRecord& record = ports[i];
        record.RtHandle = NextChannelNumber();
        SetText(record.DeviceName, working[i].deviceName);
        SetText(record.sObjName, working[i].objName);
        SetText(record.PortName, working[i].portName);
        record.ObjHandle = 0;
        record.ObjAddress = 0;
        if (TextEmpty(record.Name)) SetText(record.Name, Text(record.PortName));
        ProbePortStatus(record);
    }

    // Owner search: one pass over the system handle table, reporting once per named handle.
    if (!ScanStopRequested()) {
        ProgressBurst burst;
        FindPortOwners(ports, statusWindow, {}, nullptr, ownerOptions);
    }
    // The last record carries the progress of the per-port steps.
    if (statusWindow && !ports.empty()) ports.back().StatusWindow = *statusWindow;

    // Per-port pass. Once the scan is asked to stop, the remaining steps are skipped, but
    // every port the probe opened is still closed. Reads through an owner's duplicate run
    // on one bounded worker.
    OwnerReadScope ownerReads;
    const int32_t upper = static_cast<int32_t>(ports.size()) - 1;
    for (std::size_t i = 0; i < ports.size(); ++i) {
        PortRecord& record = ports[i];
        record.LBOUND = 0;
        record.UBOUND = upper;
        for (PortStep step : kPortSteps) {
            if (ScanStopRequested()) break;
            step(record);
        }
        EndRecordPass(record);
        unfinished.Ended(i + 1);
    }
}

}  // namespace kestrune

using namespace kestrune;

KESTRUNE_API int32_t WINAPI SerialPort_Enum(SAFEARRAY** ports, uint32_t* statusWindow) {
    if (!ports) return kNullArgumentResult;
    // A scan that fails on the way (out of memory on a large handle table) leaves the
    // caller's array as it was and gives the failure's number.
    return CallAtBoundary(
        [&]() -> int32_t {
            std::vector<PortRecord> records;
            ScanPorts(records, statusWindow);
            if (!ReplaceSafeArray(ports, records.data(), sizeof(PortRecord), static_cast<uint32_t>(records.size())))
                return 7;
            return 0;
        },
        [](int32_t number) { return number; });
}
