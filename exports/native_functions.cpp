// The native-handle family of exported port functions: a port opened with a bare handle
// kept in WinHandle (port/native_record.h).
#include "exports/port_functions.h"
#include "port/native_record.h"
#include "port/port_export.h"

namespace kestrune {
namespace {

template <typename Body>
int32_t Exported(PortRecord* record, Body body) {
    return PortExport(record, body);
}

}  // namespace
}  // namespace kestrune

using namespace kestrune;

KESTRUNE_API int32_t WINAPI SerialPort_Open_Win(PortRecord* record) { return Exported(record, OpenNativeRecord); }

// Reports the channel RtHandle, as SerialPort_State_Rt does.
KESTRUNE_API int32_t WINAPI SerialPort_State_Win(PortRecord* record) {
    return Exported(record, [](PortRecord& r) { return SerialPort_State_Rt(&r); });
}

// Marks the terminal colours of a transmission; writes nothing to the port.
KESTRUNE_API int32_t WINAPI SerialPort_Send_Win(PortRecord* record) { return Exported(record, MarkNativeSend); }

KESTRUNE_API int32_t WINAPI SerialPort_Close_Win(PortRecord* record) { return Exported(record, CloseNativeRecord); }
