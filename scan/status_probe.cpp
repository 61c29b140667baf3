#include "scan/status_probe.h"

#include <windows.h>

#include "port/channel.h"
#include "port/channel_errors.h"
#include "port/port_functions.h"
#include "support/fixed_text.h"
#include "support/handles.h"

namespace kestrune {

std::string_view DecideStatus(bool opened, std::string_view deviceName, std::string_view portName) {
    if (opened) return kStatusAvailable;
    return deviceName == portName ? kStatusDisconnected : kStatusInUse;
}

void ProbePortStatus(PortRecord& record) {
    SerialPort_Open_Rt(&record);
    const bool opened = record.RtHandle != 0 && IsChannelOpen(record.RtHandle);
    if (opened) record.WinHandle = HandleToField(ChannelNativeHandle(record.RtHandle));
    SetText(record.Status, DecideStatus(opened, Text(record.DeviceName), Text(record.PortName)));
    if (!opened) {
        ResetChannelError();
        SetLastError(0);
    }
}

}  // namespace kestrune
