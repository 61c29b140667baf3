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

bool IsOwnerField(std::string_view fieldName) {
    for (std::string_view owner :
         {"ProcessId", "ObjHandle", "DupProcessID", "ProgramPath", "ProgramFolder", "ProgramName", "ProgramVersion"})
        if (fieldName == owner) return true;
    return false;
}

std::string_view WithoutLineEnd(std::string_view text) {
    std::size_t end = text.size();
    while (end > 0 && (text[end - 1] == '\r' || text[end - 1] == '\n')) --end;
    if (end == text.size()) return text;
    while (end > 0 && text[end - 1] == ' ') --end;
    return text.substr(0, end);
}

}  // namespace kestrune
