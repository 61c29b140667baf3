// The channel family of exported port functions. Forty-odd functions, five shapes: each
// shape is written once below and every export is one line naming its field, property
// and default.
#include <string>

#include "scan/progress.h"
#include "port/channel.h"
#include "port/channel_errors.h"
#include "port/error_capture.h"
#include "port/port_export.h"
#include "port/port_functions.h"
#include "port/port_naming.h"
#include "port/record_handles.h"
#include "record/result_codes.h"
#include "support/fixed_text.h"
#include "support/handles.h"

namespace kestrune {
namespace {

constexpr int32_t kColourSent = 0x00FFFF00;
constexpr int32_t kColourReceived = 0x0000FFFF;
constexpr std::size_t kTextCapacity = kTextSize - 1;

void MarkTerminal(PortRecord& record, int32_t colour) {
    if (record.HwndTerminal == 0) return;
    record.ColorText = colour;
    record.ColorTextBackGround = 0;
}

void StateRt(PortRecord& record) {
    const bool open = record.RtHandle != 0 && IsChannelOpen(record.RtHandle);
    record.State = open ? 0 : 1;
    SetText(record.StateDescription, open ? "%SerialPortOpen" : "%SerialPortClosed");
}

// The state check: refresh State and tell whether the channel is open.
bool CheckState(PortRecord& record) {
    StateRt(record);
    return record.State == 0;
}

int32_t OpenRt(PortRecord& record) {
    if (TextEmpty(record.PortName)) {
        const ChannelPortChoice choice = ChooseChannelPort("", record.Number);
        record.Number = choice.number;
        SetText(record.PortName, choice.portName);
    }
    if (record.RtHandle == 0) record.RtHandle = NextChannelNumber();

    SetLastError(0);  // so the capture sees only what this open caused
    bool opened = false;
    if (record.RtHandle != 0) opened = OpenChannel(record.RtHandle, ChannelDevicePathFor(Text(record.PortName)));

    if (record.RtHandle == 0 || !IsChannelOpen(record.RtHandle)) {
        CaptureErrors(record);
        return record.RtError;
    }
    // Open now. When it was open before this call (55) the record is told so, and it
    // names that channel's handle.
    if (!opened) CaptureErrors(record);
    record.WinHandle = HandleToField(ChannelNativeHandle(record.RtHandle));
    StateRt(record);
    return ChannelError();
}

// Closes channel RtHandle only through a record that names it, and a native open's handle
// left in a record without a channel; another caller's channel or handle is left alone.
int32_t CloseRt(PortRecord& record) {
    const bool channelOpen = record.RtHandle != 0 && IsChannelOpen(record.RtHandle);
    const bool numberNotOpen = record.RtHandle != 0 && !channelOpen;
    const int32_t result =
        ApplyCloseStep(record, PlanCloseRt(channelOpen, ClassifyHandleField(record.WinHandle, record.RtHandle)));
    if (numberNotOpen && result == 0) SetChannelError(kChannelBadFileNameOrNumber);  // as closing it would
    StateRt(record);
    return result;
}

// --- the five shapes ---

// Single-flag setter: state check, then the value behind the second argument.
int32_t SetFlag(PortRecord& record, int32_t value, ChannelProperty property) {
    if (!CheckState(record)) return 0;
    SetChannelProperty(record.RtHandle, property, value);
    return 0;
}

// State-checked line query into a field.
int32_t GetLine(PortRecord& record, int32_t PortRecord::*field, ChannelProperty property) {
    if (!CheckState(record)) return 0;
    record.*field = QueryChannelProperty(record.RtHandle, property);
    return 0;
}

// Record-driven getter: nothing when RtHandle is 0; a failing query stores 0.
int32_t GetField(PortRecord& record, int32_t PortRecord::*field, ChannelProperty property) {
    if (record.RtHandle == 0) return 0;
    record.*field = QueryChannelProperty(record.RtHandle, property);
    return 0;
}

// Record-driven setter: the field's value, or the default when it is 0. No state check:
// on a channel that is not open it fails with 52 and changes nothing.
int32_t SetField(PortRecord& record, int32_t PortRecord::*field, ChannelProperty property, int32_t fallback) {
    const int32_t value = record.*field != 0 ? record.*field : fallback;
    SetChannelProperty(record.RtHandle, property, value);
    return 0;
}

int32_t GetStopBits(PortRecord& record) {
    if (record.RtHandle == 0) return 0;
    record.StopBits = StopBitsFieldFromCode(QueryChannelProperty(record.RtHandle, ChannelProperty::kStopBits));
    return 0;
}

// See StopBitCodeFromField: the field holds the stop-bit code; 0 is one stop bit.
int32_t SetStopBits(PortRecord& record) {
    SetChannelProperty(record.RtHandle, ChannelProperty::kStopBits, StopBitCodeFromField(record.StopBits));
    return 0;
}

int32_t SetBaud(PortRecord& r) { return SetField(r, &PortRecord::Baud, ChannelProperty::kBaud, 9600); }
int32_t SetDataBits(PortRecord& r) { return SetField(r, &PortRecord::DataBits, ChannelProperty::kDataBits, 8); }
int32_t SetParity(PortRecord& r) { return SetField(r, &PortRecord::Parity, ChannelProperty::kParityChecking, 0); }
int32_t SetXmitSize(PortRecord& r) {
    return SetField(r, &PortRecord::XmitBufferSize, ChannelProperty::kOutputQueue, 1024);
}
int32_t SetRecSize(PortRecord& r) {
    return SetField(r, &PortRecord::RecBufferSize, ChannelProperty::kInputQueue, 32768);
}

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
            return SetFlag(r, v, ChannelProperty::property);                                     \
        });                                                                                      \
    }
#define KESTRUNE_LINE_GETTER(name, field, property)                                              \
    KESTRUNE_API int32_t WINAPI name(PortRecord* record) {                                       \
        return Exported(record, [](PortRecord& r) {                                              \
            return GetLine(r, &PortRecord::field, ChannelProperty::property);                    \
        });                                                                                      \
    }
#define KESTRUNE_FIELD_GETTER(name, field, property)                                             \
    KESTRUNE_API int32_t WINAPI name(PortRecord* record) {                                       \
        return Exported(record, [](PortRecord& r) {                                              \
            return GetField(r, &PortRecord::field, ChannelProperty::property);                   \
        });                                                                                      \
    }
#define KESTRUNE_FIELD_SETTER(name, field, property, fallback)                                   \
    KESTRUNE_API int32_t WINAPI name(PortRecord* record) {                                       \
        return Exported(record, [](PortRecord& r) {                                              \
            return SetField(r, &PortRecord::field, ChannelProperty::property, fallback);         \
        });                                                                                      \
    }
#define KESTRUNE_EXPORT(name, body) \
    KESTRUNE_API int32_t WINAPI name(PortRecord* record) { return Exported(record, body); }

KESTRUNE_EXPORT(SerialPort_Open_Rt, OpenRt)
KESTRUNE_EXPORT(SerialPort_State_Rt, [](PortRecord& r) {
    StateRt(r);
    return 0;
})
// What a caller asking a channel for its name expects: the port it is open on. A record
// whose channel is not open keeps its PortName.
KESTRUNE_EXPORT(SerialPort_Get_Name_Rt, [](PortRecord& r) {
    if (r.RtHandle != 0 && IsChannelOpen(r.RtHandle)) {
        const std::string path = ChannelDevicePath(r.RtHandle);
        if (!path.empty()) SetText(r.PortName, PortNameOfDevicePath(path));
    }
    return 0;
})
KESTRUNE_EXPORT(SerialPort_Send_Rt, [](PortRecord& r) {
    if (!CheckState(r)) return 0;
    SendOnChannel(r.RtHandle, Text(r.XmitBuffer));
    MarkTerminal(r, kColourSent);
    return 0;
})
KESTRUNE_EXPORT(SerialPort_Receive_Rt, [](PortRecord& r) {
    if (!CheckState(r)) return 0;
    SetText(r.RecBuffer, ReceiveFromChannel(r.RtHandle, kTextCapacity));
    MarkTerminal(r, kColourReceived);
    return 0;
})
KESTRUNE_EXPORT(SerialPort_Close_Rt, CloseRt)

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
    return ExportedWithValue(record, value, [](PortRecord& r, int32_t v) {
        SetFlag(r, v, ChannelProperty::kCtsOutputFlow);
        return SetFlag(r, v, ChannelProperty::kDsrOutputFlow);
    });
}

KESTRUNE_EXPORT(SerialPort_Get_Baud_RT, [](PortRecord& r) {
    ReportStep(r, "SerialPort_Get_Baud_RT", "");
    return GetField(r, &PortRecord::Baud, ChannelProperty::kBaud);
})
KESTRUNE_EXPORT(SerialPort_Set_Baud_RT, SetBaud)
KESTRUNE_FIELD_GETTER(SerialPort_Get_DataBits_RT, DataBits, kDataBits)
KESTRUNE_EXPORT(SerialPort_Set_DataBits_RT, SetDataBits)
KESTRUNE_FIELD_GETTER(RtSerialPortGetParity, Parity, kParityChecking)
KESTRUNE_EXPORT(SerialPort_Set_Parity_RT, SetParity)
KESTRUNE_EXPORT(RtSerialPortGetStopBits, GetStopBits)
KESTRUNE_EXPORT(RtSerialPortSetStopBits, SetStopBits)
KESTRUNE_FIELD_GETTER(RtSerialPortGetXmitBufferSize, XmitBufferSize, kOutputQueue)
KESTRUNE_EXPORT(RtSerialPortSetXmitBufferSize, SetXmitSize)
KESTRUNE_FIELD_GETTER(RtSerialPortGetRecBufferSize, RecBufferSize, kInputQueue)
KESTRUNE_EXPORT(RtSerialPortSetRecBufferSize, SetRecSize)
KESTRUNE_FIELD_GETTER(RtSerialPortGetParityChar, ParityChar, kReplacementChar)
KESTRUNE_FIELD_SETTER(SerialPort_Set_Parity_RTChar, ParityChar, kReplacementChar, 63)
KESTRUNE_FIELD_GETTER(SerialPort_Get_ParityReplace_RT, ParityReplace, kParityReplacement)
KESTRUNE_FIELD_SETTER(SerialPort_Set_ParityReplace_RT, ParityReplace, kParityReplacement, 1)

// The whole set with defaults; data bits go first, so parity and stop bits override the
// changes that data bits make on their own.
KESTRUNE_EXPORT(SerialPort_Set_Default_RT, [](PortRecord& r) {
    if (!CheckState(r)) return 0;
    SetBaud(r);
    SetDataBits(r);
    SetParity(r);
    SetStopBits(r);
    SetXmitSize(r);
    SetRecSize(r);
    return 0;
})
