// The channel family of exported port functions. Forty-odd functions, five shapes: each
// shape is written once below and every export is one line naming its field, property
// and default. The work is the record's channel (port/record_channel.h) and its settings
// (port/record_channel_settings.h).
#include "exports/port_functions.h"
#include "port/port_export.h"
#include "port/record_channel.h"
#include "port/record_channel_settings.h"
#include "record/result_codes.h"
#include "scan/progress.h"

namespace kestrune {
namespace {

// Every export goes through PortExport (port_export.h).
template <typename Body>
int32_t Exported(PortRecord* record, Body body) {
    return PortExport(record, body);
}

template <typename Body>
int32_t ExportedWithValue(PortRecord* record, const int32_t* value, Body body) {
    if (!value) return kNullArgumentResult;
    return PortExport(record, [&](PortRecord& r) { return body(r, *value); });
}

}  // namespace
}  // namespace kestrune

using namespace kestrune;

#define KESTRUNE_FLAG_SETTER(name, property)                                                     \
    KESTRUNE_API int32_t WINAPI name(PortRecord* record, const int32_t* value) {                 \
        return ExportedWithValue(record, value, [](PortRecord& r, int32_t v) {                   \
            return SetRecordFlag(r, v, ChannelProperty::property);                               \
        });                                                                                      \
    }
#define KESTRUNE_LINE_GETTER(name, field, property)                                              \
    KESTRUNE_API int32_t WINAPI name(PortRecord* record) {                                       \
        return Exported(record, [](PortRecord& r) {                                              \
            return GetRecordLine(r, &PortRecord::field, ChannelProperty::property);              \
        });                                                                                      \
    }
#define KESTRUNE_FIELD_GETTER(name, field, property)                                             \
    KESTRUNE_API int32_t WINAPI name(PortRecord* record) {                                       \
        return Exported(record, [](PortRecord& r) {                                              \
            return GetRecordField(r, &PortRecord::field, ChannelProperty::property);             \
        });                                                                                      \
    }
#define KESTRUNE_FIELD_SETTER(name, field, property, fallback)                                   \
    KESTRUNE_API int32_t WINAPI name(PortRecord* record) {                                       \
        return Exported(record, [](PortRecord& r) {                                              \
            return SetRecordField(r, &PortRecord::field, ChannelProperty::property, fallback);   \
        });                                                                                      \
    }
#define KESTRUNE_EXPORT(name, body) \
    KESTRUNE_API int32_t WINAPI name(PortRecord* record) { return Exported(record, body); }

KESTRUNE_EXPORT(SerialPort_Open_Rt, OpenRecordChannel)
KESTRUNE_EXPORT(SerialPort_State_Rt, ReadRecordChannelState)
KESTRUNE_EXPORT(SerialPort_Get_Name_Rt, NameRecordChannelPort)
KESTRUNE_EXPORT(SerialPort_Send_Rt, SendOnRecordChannel)
KESTRUNE_EXPORT(SerialPort_Receive_Rt, ReceiveOnRecordChannel)
KESTRUNE_EXPORT(SerialPort_Close_Rt, CloseRecordChannel)

// Carrier detect and receive-line-signal-detect are one signal, read into two fields.
KESTRUNE_LINE_GETTER(SerialPort_Get_CarrierLine_RT, CarrierLineDetect, kCarrier)
KESTRUNE_LINE_GETTER(SerialPort_Get_ReceiveLine_RT, ReceiveLineDetect, kCarrier)
KESTRUNE_LINE_GETTER(RtSerialPortEnableRing, RING, kRing)

KESTRUNE_FLAG_SETTER(SerialPort_Set_FlowEnableCts_RT, kCtsOutputFlow)
KESTRUNE_FLAG_SETTER(RtSerialPortFlowEnableDSR, kDsrOutputFlow)
KESTRUNE_FLAG_SETTER(RtSerialPortEnableDsrSense, kDsrSensitivity)
KESTRUNE_FLAG_SETTER(RtSerialPortFlowEnableDTR, kDtrHandshake)
KESTRUNE_FLAG_SETTER(RtSerialPortEnableDtrLine, kDtrLine)
KESTRUNE_FLAG_SETTER(RtSerialPortFlowEnableRTS, kRtsControl)
KESTRUNE_FLAG_SETTER(RtSerialPortDiscardNulls, kDiscardNulls)
KESTRUNE_FLAG_SETTER(RtSerialPortEnableParity, kParityChecking)
KESTRUNE_FLAG_SETTER(RtSerialPortParityChar, kReplacementChar)
KESTRUNE_FLAG_SETTER(RtSerialPortEnableParityReplace, kParityReplacement)
KESTRUNE_FLAG_SETTER(RtSerialPortParityType, kParityScheme)

KESTRUNE_API int32_t WINAPI RtSerialPortFlowEnable(PortRecord* record, const int32_t* value) {
    return ExportedWithValue(record, value, SetRecordOutputFlow);
}

KESTRUNE_EXPORT(SerialPort_Get_Baud_RT, [](PortRecord& r) {
    ReportStep(r, "SerialPort_Get_Baud_RT", "");
    return GetRecordField(r, &PortRecord::Baud, ChannelProperty::kBaud);
})
KESTRUNE_EXPORT(SerialPort_Set_Baud_RT, SetRecordBaud)
KESTRUNE_FIELD_GETTER(SerialPort_Get_DataBits_RT, DataBits, kDataBits)
KESTRUNE_EXPORT(SerialPort_Set_DataBits_RT, SetRecordDataBits)
KESTRUNE_FIELD_GETTER(RtSerialPortGetParity, Parity, kParityChecking)
KESTRUNE_EXPORT(SerialPort_Set_Parity_RT, SetRecordParity)
KESTRUNE_EXPORT(RtSerialPortGetStopBits, GetRecordStopBits)
KESTRUNE_EXPORT(RtSerialPortSetStopBits, SetRecordStopBits)
KESTRUNE_FIELD_GETTER(RtSerialPortGetXmitBufferSize, XmitBufferSize, kOutputQueue)
KESTRUNE_EXPORT(RtSerialPortSetXmitBufferSize, SetRecordXmitSize)
KESTRUNE_FIELD_GETTER(RtSerialPortGetRecBufferSize, RecBufferSize, kInputQueue)
KESTRUNE_EXPORT(RtSerialPortSetRecBufferSize, SetRecordRecSize)
KESTRUNE_FIELD_GETTER(RtSerialPortGetParityChar, ParityChar, kReplacementChar)
KESTRUNE_FIELD_SETTER(SerialPort_Set_Parity_RTChar, ParityChar, kReplacementChar, 63)
KESTRUNE_FIELD_GETTER(SerialPort_Get_ParityReplace_RT, ParityReplace, kParityReplacement)
KESTRUNE_FIELD_SETTER(SerialPort_Set_ParityReplace_RT, ParityReplace, kParityReplacement, 1)

// The whole set with defaults (see SetRecordDefaults).
KESTRUNE_EXPORT(SerialPort_Set_Default_RT, SetRecordDefaults)
