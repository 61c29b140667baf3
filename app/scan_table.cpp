#include "app/scan_table.h"

#include "scan/record_fields.h"

namespace kestrune {

const std::vector<std::string>& ScanTableColumns() {
    static const std::vector<std::string> columns = {
        "LBOUND", "UBOUND", "PortName", "DeviceName", "sObjName", "Name",
        "Number", "RtHandle", "WinHandle", "Status", "State", "StateDescription",
        "RtError", "RtErrorDescription", "WinError", "WinErrorDescription", "AppError", "AppErrorDescription",
        "ProcessId", "ProgramPath", "ObjHandle", "ObjAddress", "DupProcessID", "DupObjHandle", "DupObjAddress",
        "Baud", "DataBits", "StopBits", "Parity", "ParityName", "FlowControlBits", "CommConfig",
        "DeviceType", "ProgramFolder", "ProgramName", "ProgramVersion",
        "ModemStatus", "DataSendReady", "ClearToSend", "RING", "ReceiveLineDetect", "DtrCommand", "RtsCommand",
        "CableKind", "CableResponse",
    };
    return columns;
}

std::string ScanTableHeader() {
    std::string line;
    for (const std::string& name : ScanTableColumns()) {
        if (!line.empty()) line += '\t';
        line += name;
    }
    return line;
}

std::string ScanTableLine(const PortRecord& record) {
    std::string line;
    bool first = true;
    for (const std::string& name : ScanTableColumns()) {
        if (!first) line += '\t';
        first = false;
        if (const FieldInfo* field = FindRecordField(name)) line += RecordFieldText(record, *field);
    }
    return line;
}

}  // namespace kestrune
