#include "scan/scan_driver.h"

#include "port/channel.h"
#include "port/port_functions.h"
#include "scan/cable_test.h"
#include "scan/device_type.h"
#include "scan/discovery.h"
#include "scan/owner_port_reads.h"
#include "scan/owner_search.h"
#include "scan/settings_readout.h"
#include "scan/status_probe.h"
#include "support/fixed_text.h"
#include "support/safe_array.h"

namespace kestrune {

void ScanPorts(std::vector<PortRecord>& ports, const uint32_t* statusWindow, const OwnerSearchOptions& ownerOptions) {
    const std::vector<DiscoveredPort> working = DiscoverPorts();

    ports.assign(working.size(), PortRecord{});

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

    // Owner search: one pass over the system handle table.
    FindPortOwners(ports, statusWindow, {}, nullptr, ownerOptions);

    // Per-port pass; reads through an owner's duplicate run on one bounded worker.
    OwnerReadScope ownerReads;
    const int32_t upper = static_cast<int32_t>(ports.size()) - 1;
    for (PortRecord& record : ports) {
        record.LBOUND = 0;
        record.UBOUND = upper;
        ReadPortParameters(record);
        SerialPort_Get_Type(&record);
        SerialPort_Get_Program(&record);
        SerialPort_Get_FlowControl(&record);
        RunCableTest(record);
        SerialPort_Close_Rt(&record);
        ReleaseOwnerHandles(record);
    }
}

}  // namespace kestrune

using namespace kestrune;

KESTRUNE_API int32_t WINAPI SerialPort_Enum(SAFEARRAY** ports, uint32_t* statusWindow) {
    if (!ports) return kNullArgumentResult;
    std::vector<PortRecord> records;
    ScanPorts(records, statusWindow);
    if (!ReplaceSafeArray(ports, records.data(), sizeof(PortRecord), static_cast<uint32_t>(records.size())))
        return 7;
    return 0;
}
