#include "exports/scan_exports.h"

#include <vector>

#include "port/port_export.h"
#include "record/result_codes.h"
#include "scan/device_type.h"
#include "scan/scan_driver.h"
#include "scan/settings_readout.h"
#include "support/boundary.h"
#include "support/safe_array.h"

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

KESTRUNE_API int32_t WINAPI SerialPort_Get_Type(PortRecord* record) { return PortExport(record, ReadDeviceType); }
KESTRUNE_API int32_t WINAPI SerialPort_Get_Program(PortRecord* record) {
    return PortExport(record, ReadProgramDetails);
}
KESTRUNE_API int32_t WINAPI SerialPort_Get_FlowControl(PortRecord* record) {
    return PortExport(record, ReadFlowControl);
}
