#include "port/record_channel_settings.h"

#include "port/channel.h"
#include "port/record_channel.h"

namespace kestrune {

int32_t SetRecordFlag(PortRecord& record, int32_t value, ChannelProperty property) {
    if (!CheckChannelState(record)) return 0;
    SetChannelProperty(record.RtHandle, property, value);
    return 0;
}

int32_t SetRecordOutputFlow(PortRecord& record, int32_t value) {
    SetRecordFlag(record, value, ChannelProperty::kCtsOutputFlow);
    return SetRecordFlag(record, value, ChannelProperty::kDsrOutputFlow);
}

int32_t GetRecordLine(PortRecord& record, int32_t PortRecord::*field, ChannelProperty property) {
    if (!CheckChannelState(record)) return 0;
    record.*field = QueryChannelProperty(record.RtHandle, property);
    return 0;
}

int32_t GetRecordField(PortRecord& record, int32_t PortRecord::*field, ChannelProperty property) {
    if (record.RtHandle == 0) return 0;
    record.*field = QueryChannelProperty(record.RtHandle, property);
    return 0;
}

int32_t SetRecordField(PortRecord& record, int32_t PortRecord::*field, ChannelProperty property, int32_t fallback) {
    const int32_t value = record.*field != 0 ? record.*field : fallback;
    SetChannelProperty(record.RtHandle, property, value);
    return 0;
}

int32_t GetRecordStopBits(PortRecord& record) {
    if (record.RtHandle == 0) return 0;
    record.StopBits = StopBitsFieldFromCode(QueryChannelProperty(record.RtHandle, ChannelProperty::kStopBits));
    return 0;
}

// See StopBitCodeFromField: the field holds the stop-bit code; 0 is one stop bit.
int32_t SetRecordStopBits(PortRecord& record) {
    SetChannelProperty(record.RtHandle, ChannelProperty::kStopBits, StopBitCodeFromField(record.StopBits));
    return 0;
}

int32_t SetRecordBaud(PortRecord& r) { return SetRecordField(r, &PortRecord::Baud, ChannelProperty::kBaud, 9600); }
int32_t SetRecordDataBits(PortRecord& r) {
    return SetRecordField(r, &PortRecord::DataBits, ChannelProperty::kDataBits, 8);
}
int32_t SetRecordParity(PortRecord& r) {
    return SetRecordField(r, &PortRecord::Parity, ChannelProperty::kParityChecking, 0);
}
int32_t SetRecordXmitSize(PortRecord& r) {
    return SetRecordField(r, &PortRecord::XmitBufferSize, ChannelProperty::kOutputQueue, 1024);
}
int32_t SetRecordRecSize(PortRecord& r) {
    return SetRecordField(r, &PortRecord::RecBufferSize, ChannelProperty::kInputQueue, 32768);
}

// Data bits go first, so parity and stop bits override the changes that data bits make on
// their own.
int32_t SetRecordDefaults(PortRecord& record) {
    if (!CheckChannelState(record)) return 0;
    SetRecordBaud(record);
    SetRecordDataBits(record);
    SetRecordParity(record);
    SetRecordStopBits(record);
    SetRecordXmitSize(record);
    SetRecordRecSize(record);
    return 0;
}

}  // namespace kestrune
