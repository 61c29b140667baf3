#include "record/record_fields.h"

#include <cstdint>
#include <cstring>

#include "support/fixed_text.h"

namespace kestrune {
namespace {

const FieldInfo kFields[] = {
    {"UnicodeFlag", offsetof(PortRecord, UnicodeFlag), sizeof(PortRecord::UnicodeFlag), FieldKind::kI32},
    {"Reserved1", offsetof(PortRecord, Reserved1), sizeof(PortRecord::Reserved1), FieldKind::kText},
    {"UnicodeText", offsetof(PortRecord, UnicodeText), sizeof(PortRecord::UnicodeText), FieldKind::kText},
    {"AnsiText", offsetof(PortRecord, AnsiText), sizeof(PortRecord::AnsiText), FieldKind::kText},
    {"LBOUND", offsetof(PortRecord, LBOUND), sizeof(PortRecord::LBOUND), FieldKind::kI32},
    {"UBOUND", offsetof(PortRecord, UBOUND), sizeof(PortRecord::UBOUND), FieldKind::kI32},
    {"ProcessId", offsetof(PortRecord, ProcessId), sizeof(PortRecord::ProcessId), FieldKind::kU32},
    {"ObjHandle", offsetof(PortRecord, ObjHandle), sizeof(PortRecord::ObjHandle), FieldKind::kU32},
    {"ObjAddress", offsetof(PortRecord, ObjAddress), sizeof(PortRecord::ObjAddress), FieldKind::kU32},
    {"sObjName", offsetof(PortRecord, sObjName), sizeof(PortRecord::sObjName), FieldKind::kText},
    {"DupProcessID", offsetof(PortRecord, DupProcessID), sizeof(PortRecord::DupProcessID), FieldKind::kU32},
    {"DupObjHandle", offsetof(PortRecord, DupObjHandle), sizeof(PortRecord::DupObjHandle), FieldKind::kU32},
    {"DupObjAddress", offsetof(PortRecord, DupObjAddress), sizeof(PortRecord::DupObjAddress), FieldKind::kU32},
    {"Reserved2", offsetof(PortRecord, Reserved2), sizeof(PortRecord::Reserved2), FieldKind::kText},
    {"ProgramPath", offsetof(PortRecord, ProgramPath), sizeof(PortRecord::ProgramPath), FieldKind::kText},
    {"PortName", offsetof(PortRecord, PortName), sizeof(PortRecord::PortName), FieldKind::kText},
    {"ParityName", offsetof(PortRecord, ParityName), sizeof(PortRecord::ParityName), FieldKind::kText},
    {"Status", offsetof(PortRecord, Status), sizeof(PortRecord::Status), FieldKind::kText},
    {"DeviceName", offsetof(PortRecord, DeviceName), sizeof(PortRecord::DeviceName), FieldKind::kText},
    {"DeviceType", offsetof(PortRecord, DeviceType), sizeof(PortRecord::DeviceType), FieldKind::kText},
    {"ProgramFolder", offsetof(PortRecord, ProgramFolder), sizeof(PortRecord::ProgramFolder), FieldKind::kText},
    {"ProgramName", offsetof(PortRecord, ProgramName), sizeof(PortRecord::ProgramName), FieldKind::kText},
    {"ProgramVersion", offsetof(PortRecord, ProgramVersion), sizeof(PortRecord::ProgramVersion), FieldKind::kText},
    {"Name", offsetof(PortRecord, Name), sizeof(PortRecord::Name), FieldKind::kText},
    {"Number", offsetof(PortRecord, Number), sizeof(PortRecord::Number), FieldKind::kI32},
    {"RtHandle", offsetof(PortRecord, RtHandle), sizeof(PortRecord::RtHandle), FieldKind::kI32},
    {"WinHandle", offsetof(PortRecord, WinHandle), sizeof(PortRecord::WinHandle), FieldKind::kU32},
    {"HwndTerminal", offsetof(PortRecord, HwndTerminal), sizeof(PortRecord::HwndTerminal), FieldKind::kU32},
    {"ColorText", offsetof(PortRecord, ColorText), sizeof(PortRecord::ColorText), FieldKind::kI32},
    {"ColorTextBackGround", offsetof(PortRecord, ColorTextBackGround), sizeof(PortRecord::ColorTextBackGround), FieldKind::kI32},
    {"State", offsetof(PortRecord, State), sizeof(PortRecord::State), FieldKind::kI32},
    {"StateDescription", offsetof(PortRecord, StateDescription), sizeof(PortRecord::StateDescription), FieldKind::kText},
    {"Baud", offsetof(PortRecord, Baud), sizeof(PortRecord::Baud), FieldKind::kI32},
    {"DataBits", offsetof(PortRecord, DataBits), sizeof(PortRecord::DataBits), FieldKind::kI32},
    {"Parity", offsetof(PortRecord, Parity), sizeof(PortRecord::Parity), FieldKind::kI32},
    {"StopBits", offsetof(PortRecord, StopBits), sizeof(PortRecord::StopBits), FieldKind::kI64},
    {"ParityChar", offsetof(PortRecord, ParityChar), sizeof(PortRecord::ParityChar), FieldKind::kI32},
    {"ParityReplace", offsetof(PortRecord, ParityReplace), sizeof(PortRecord::ParityReplace), FieldKind::kI32},
    {"ModemStatus", offsetof(PortRecord, ModemStatus), sizeof(PortRecord::ModemStatus), FieldKind::kU32},
    {"CarrierLineDetect", offsetof(PortRecord, CarrierLineDetect), sizeof(PortRecord::CarrierLineDetect), FieldKind::kI32},
    {"ReceiveLineDetect", offsetof(PortRecord, ReceiveLineDetect), sizeof(PortRecord::ReceiveLineDetect), FieldKind::kI32},
    {"Reserved3", offsetof(PortRecord, Reserved3), sizeof(PortRecord::Reserved3), FieldKind::kI32},
    {"DtrCommand", offsetof(PortRecord, DtrCommand), sizeof(PortRecord::DtrCommand), FieldKind::kI32},
    {"DataSendReady", offsetof(PortRecord, DataSendReady), sizeof(PortRecord::DataSendReady), FieldKind::kI32},
    {"Reserved4", offsetof(PortRecord, Reserved4), sizeof(PortRecord::Reserved4), FieldKind::kI32},
    {"RtsCommand", offsetof(PortRecord, RtsCommand), sizeof(PortRecord::RtsCommand), FieldKind::kI32},
    {"ClearToSend", offsetof(PortRecord, ClearToSend), sizeof(PortRecord::ClearToSend), FieldKind::kI32},
    {"Reserved5", offsetof(PortRecord, Reserved5), sizeof(PortRecord::Reserved5), FieldKind::kI32},
    {"DSRSENS", offsetof(PortRecord, DSRSENS), sizeof(PortRecord::DSRSENS), FieldKind::kI32},
    {"RING", offsetof(PortRecord, RING), sizeof(PortRecord::RING), FieldKind::kI32},
    {"ParityChecking", offsetof(PortRecord, ParityChecking), sizeof(PortRecord::ParityChecking), FieldKind::kI32},
    {"BREAK", offsetof(PortRecord, BREAK), sizeof(PortRecord::BREAK), FieldKind::kI32},
    {"DTRLINE", offsetof(PortRecord, DTRLINE), sizeof(PortRecord::DTRLINE), FieldKind::kI32},
    {"CTSFLOW", offsetof(PortRecord, CTSFLOW), sizeof(PortRecord::CTSFLOW), FieldKind::kI32},
    {"DSRFLOW", offsetof(PortRecord, DSRFLOW), sizeof(PortRecord::DSRFLOW), FieldKind::kI32},
    {"XmitBufferSize", offsetof(PortRecord, XmitBufferSize), sizeof(PortRecord::XmitBufferSize), FieldKind::kI32},
    {"RecBufferSize", offsetof(PortRecord, RecBufferSize), sizeof(PortRecord::RecBufferSize), FieldKind::kI32},
    {"XmitBuffer", offsetof(PortRecord, XmitBuffer), sizeof(PortRecord::XmitBuffer), FieldKind::kText},
    {"RecBuffer", offsetof(PortRecord, RecBuffer), sizeof(PortRecord::RecBuffer), FieldKind::kText},
    {"CableKind", offsetof(PortRecord, CableKind), sizeof(PortRecord::CableKind), FieldKind::kI32},
    {"CableResponse", offsetof(PortRecord, CableResponse), sizeof(PortRecord::CableResponse), FieldKind::kI32},
    {"AttachedDevice", offsetof(PortRecord, AttachedDevice), sizeof(PortRecord::AttachedDevice), FieldKind::kText},
    {"AttachedVersion", offsetof(PortRecord, AttachedVersion), sizeof(PortRecord::AttachedVersion), FieldKind::kText},
    {"AttachedDate", offsetof(PortRecord, AttachedDate), sizeof(PortRecord::AttachedDate), FieldKind::kText},
    {"FlowControlBits", offsetof(PortRecord, FlowControlBits), sizeof(PortRecord::FlowControlBits), FieldKind::kU32},
    {"CommConfig", offsetof(PortRecord, CommConfig), sizeof(PortRecord::CommConfig), FieldKind::kBytes},
    {"RtError", offsetof(PortRecord, RtError), sizeof(PortRecord::RtError), FieldKind::kI32},
    {"RtErrorDescription", offsetof(PortRecord, RtErrorDescription), sizeof(PortRecord::RtErrorDescription), FieldKind::kText},
    {"WinError", offsetof(PortRecord, WinError), sizeof(PortRecord::WinError), FieldKind::kU32},
    {"WinErrorDescription", offsetof(PortRecord, WinErrorDescription), sizeof(PortRecord::WinErrorDescription), FieldKind::kText},
    {"AppError", offsetof(PortRecord, AppError), sizeof(PortRecord::AppError), FieldKind::kI32},
    {"AppErrorDescription", offsetof(PortRecord, AppErrorDescription), sizeof(PortRecord::AppErrorDescription), FieldKind::kText},
    {"FunctionName", offsetof(PortRecord, FunctionName), sizeof(PortRecord::FunctionName), FieldKind::kText},
    {"StatusWindow", offsetof(PortRecord, StatusWindow), sizeof(PortRecord::StatusWindow), FieldKind::kU32},
    {"StatusText1", offsetof(PortRecord, StatusText1), sizeof(PortRecord::StatusText1), FieldKind::kText},
    {"StatusText2", offsetof(PortRecord, StatusText2), sizeof(PortRecord::StatusText2), FieldKind::kText},
    {"StatusText3", offsetof(PortRecord, StatusText3), sizeof(PortRecord::StatusText3), FieldKind::kText},
};

template <typename T>
T Read(const PortRecord& record, const FieldInfo& field) {
    T value;
    std::memcpy(&value, reinterpret_cast<const char*>(&record) + field.offset, sizeof value);
    return value;
}

std::string EscapeLine(std::string_view text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '\t': out += "\\t"; break;
            case '\r': out += "\\r"; break;
            case '\n': out += "\\n"; break;
            default: out += c;
        }
    }
    return out;
}

}  // namespace

const FieldInfo* RecordFields(std::size_t* count) {
    if (count) *count = sizeof kFields / sizeof kFields[0];
    return kFields;
}

const FieldInfo* FindRecordField(std::string_view name) {
    for (const FieldInfo& f : kFields)
        if (name == f.name) return &f;
    return nullptr;
}

std::string RecordFieldText(const PortRecord& record, const FieldInfo& field) {
    const char* base = reinterpret_cast<const char*>(&record) + field.offset;
    switch (field.kind) {
        case FieldKind::kI32: return std::to_string(Read<int32_t>(record, field));
        case FieldKind::kI64: return std::to_string(Read<int64_t>(record, field));
        case FieldKind::kU32:
            if (field.offset == offsetof(PortRecord, FlowControlBits)) {
                std::string bits;
                for (uint32_t bit = 0; bit < kFlowBitCount; ++bit) bits += (record.FlowControlBits >> bit & 1) ? '1' : '0';
                return bits;
            }
            return std::to_string(Read<uint32_t>(record, field));
        case FieldKind::kText: return EscapeLine(std::string_view(base, BoundedLength(base, field.size - 1)));
        case FieldKind::kBytes: {
            static const char digits[] = "0123456789ABCDEF";
            std::string hex;
            for (std::size_t i = 0; i < field.size; ++i) {
                unsigned char b = static_cast<unsigned char>(base[i]);
                hex += digits[b >> 4];
                hex += digits[b & 15];
            }
            return hex;
        }
    }
    return std::string();
}

}  // namespace kestrune
