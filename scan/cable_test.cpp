#include "scan/cable_test.h"

#include <windows.h>

#include "port/channel.h"
#include "scan/status_probe.h"
#include "support/fixed_text.h"

namespace kestrune {

const char kCableRoutineName[] = "SerialPort_Test_Cable";

CableVerdict DecideCable(int32_t dsrBefore, int32_t ctsBefore, int32_t dsrAfter, int32_t ctsAfter) {
    const bool dsrChanged = dsrAfter != dsrBefore;
    const bool ctsChanged = ctsAfter != ctsBefore;
    if (dsrChanged && ctsChanged) return {1, 1};
    if (dsrChanged != ctsChanged) return {-1, -1};
    if (dsrBefore == 0 && ctsBefore == 0 && dsrAfter == 0 && ctsAfter == 0) return {-1, 0};
    return {0, 1};
}

const char kCableNotSupportedText[] = "Not Supported";

bool CableNotSupported(const PortRecord& record) {
    return record.CableKind == -1 && record.CableResponse == 0 && record.WinError != 0 &&
           (record.DtrCommand != 0 || record.RtsCommand != 0) && Text(record.Status) == kStatusAvailable;
}

const char* CableKindName(int32_t kind) {
    switch (kind) {
        case 1: return "Pass-Through";
        case 0: return "Cross-Over";
        default: return "Unknown";
    }
}

CableTestMode ChooseCableTestMode(bool ownChannelOpen, std::string_view status, uint32_t ownerProcessId,
                                  uint32_t ownProcessId) {
    if (ownChannelOpen) return CableTestMode::kDrive;
    const bool heldElsewhere = status == kStatusInUse || (ownerProcessId != 0 && ownerProcessId != ownProcessId);
    return heldElsewhere ? CableTestMode::kReadOnly : CableTestMode::kDrive;
}

bool CableNotTested(const PortRecord& record) {
    return record.CableKind == -1 && record.CableResponse == 0 && record.DtrCommand == 0 && record.RtsCommand == 0;
}

}  // namespace kestrune
