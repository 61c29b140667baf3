#include "app/common/shown_record.h"

#include "scan/cable_test.h"

namespace kestrune {

std::optional<std::string> ShownCableText(const PortRecord& record) {
    if (CableNotTested(record)) return std::string(kCableNotTestedText);
    if (CableNotSupported(record)) return std::string(kCableNotSupportedText);
    if (record.CableKind < -1 || record.CableKind > 1) return std::nullopt;
    return std::string(CableKindName(record.CableKind));
}

bool ShowsOwnerProgram(const PortRecord& record, uint32_t ownProcessId) {
    return record.ProcessId == 0 || record.ProcessId != ownProcessId;
}

}  // namespace kestrune
