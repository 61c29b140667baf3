#include "scan/status_probe.h"

#include <windows.h>

#include "port/channel.h"
#include "port/channel_errors.h"
#include "port/port_export.h"
#include "port/record_channel.h"
#include "support/fixed_text.h"
#include "support/handles.h"

namespace kestrune {

std::string_view DecideStatus(bool opened, uint32_t openError) {
    if (opened) return kStatusAvailable;
    if (openError == ERROR_ACCESS_DENIED || openError == ERROR_SHARING_VIOLATION) return kStatusInUse;
    return kStatusDisconnected;
}

void ProbePortStatus(PortRecord& record) {
    PortExport(&record, OpenRecordChannel);
    const bool opened = record.RtHandle != 0 && IsChannelOpen(record.RtHandle);
    if (opened) record.WinHandle = HandleToField(ChannelNativeHandle(record.RtHandle));
    SetText(record.Status, DecideStatus(opened, record.WinError));
    if (!opened) {
        ResetChannelError();
        SetLastError(0);
    }
}

}  // namespace kestrune
