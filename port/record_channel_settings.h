#pragma once
// The settings of a record's channel, in the shapes the channel functions take: a single
// flag set from a value, a modem line read into a field, a field read from or written to a
// channel property, and the stop bits and defaults that need more than one property.
#include <cstdint>

#include "port/comm_properties.h"
#include "record/port_record.h"

namespace kestrune {

// Single-flag setter: state check, then value. Returns 0.
int32_t SetRecordFlag(PortRecord& record, int32_t value, ChannelProperty property);

// CTS and DSR output flow together, each state-checked. Returns 0.
int32_t SetRecordOutputFlow(PortRecord& record, int32_t value);

// State-checked line query into a field. Returns 0.
int32_t GetRecordLine(PortRecord& record, int32_t PortRecord::*field, ChannelProperty property);

// Record-driven getter: nothing when RtHandle is 0; a failing query stores 0. Returns 0.
int32_t GetRecordField(PortRecord& record, int32_t PortRecord::*field, ChannelProperty property);

// Record-driven setter: the field's value, or fallback when it is 0. No state check: on a
// channel that is not open it fails with 52 and changes nothing. Returns 0.
int32_t SetRecordField(PortRecord& record, int32_t PortRecord::*field, ChannelProperty property, int32_t fallback);

// StopBits from the channel (nothing when RtHandle is 0), and the channel's stop bits from
// StopBits (the field holds the stop-bit code; 0 is one stop bit). Return 0.
int32_t GetRecordStopBits(PortRecord& record);
int32_t SetRecordStopBits(PortRecord& record);

// The record-driven setters with their defaults: 9600 baud, 8 data bits, parity 0, an
// output queue of 1024 and an input queue of 32768 bytes. Return 0.
int32_t SetRecordBaud(PortRecord& record);
int32_t SetRecordDataBits(PortRecord& record);
int32_t SetRecordParity(PortRecord& record);
int32_t SetRecordXmitSize(PortRecord& record);
int32_t SetRecordRecSize(PortRecord& record);

// State-checked: the whole set with defaults. Returns 0.
int32_t SetRecordDefaults(PortRecord& record);

}  // namespace kestrune
