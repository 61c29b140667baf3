#pragma once
// The exported port functions: a port opened as a numbered channel (the _Rt/_RT family and
// the RtSerialPort accessors) or through a bare native handle (the _Win family).
//
// Each takes the caller's PortRecord by reference and keeps its inputs and results there.
// A null record (or a null value pointer of a single-flag setter) gives 9, "Subscript/
// Pointer out of range", and touches nothing. Otherwise the result is 0, except for the
// open and close functions, which give the error number of the failed step. Channel
// failures are never raised; only the opens and SerialPort_Close_Win write the record's
// error fields.
#include <cstdint>

#include "record/port_record.h"
#include "support/export.h"

using kestrune::PortRecord;

// --- Channel functions ---------------------------------------------------------------
// Opens PortName (or "COM" + Number when PortName is empty; Number 0 or above 255 gives 1)
// as channel RtHandle (a new number when RtHandle is 0). On success WinHandle = the
// channel's handle and State 0; on failure the error fields are filled and State and
// WinHandle stay. Returns the channel error of this call: 0, 69 for a refused open, 55 when
// the channel was open already (the record then names that open channel), 52 for a
// channel number outside 1..32767.
KESTRUNE_API int32_t WINAPI SerialPort_Open_Rt(PortRecord* record);
// State 0 "%SerialPortOpen" when channel RtHandle is open, else 1 "%SerialPortClosed".
KESTRUNE_API int32_t WINAPI SerialPort_State_Rt(PortRecord* record);
// When channel RtHandle is open, PortName becomes the name of the port it was opened on.
KESTRUNE_API int32_t WINAPI SerialPort_Get_Name_Rt(PortRecord* record);
KESTRUNE_API int32_t WINAPI SerialPort_Send_Rt(PortRecord* record);
KESTRUNE_API int32_t WINAPI SerialPort_Receive_Rt(PortRecord* record);
KESTRUNE_API int32_t WINAPI SerialPort_Close_Rt(PortRecord* record);

// Modem lines (state-checked: nothing happens on a closed channel).
KESTRUNE_API int32_t WINAPI SerialPort_Get_CarrierLine_RT(PortRecord* record);
KESTRUNE_API int32_t WINAPI SerialPort_Get_ReceiveLine_RT(PortRecord* record);
KESTRUNE_API int32_t WINAPI RtSerialPortEnableRing(PortRecord* record);

// Single-flag setters: the new value by reference, not stored in the record.
KESTRUNE_API int32_t WINAPI SerialPort_Set_FlowEnableCts_RT(PortRecord* record, const int32_t* value);
KESTRUNE_API int32_t WINAPI RtSerialPortFlowEnableDSR(PortRecord* record, const int32_t* value);
KESTRUNE_API int32_t WINAPI RtSerialPortFlowEnable(PortRecord* record, const int32_t* value);
KESTRUNE_API int32_t WINAPI RtSerialPortEnableDsrSense(PortRecord* record, const int32_t* value);
KESTRUNE_API int32_t WINAPI RtSerialPortFlowEnableDTR(PortRecord* record, const int32_t* value);
KESTRUNE_API int32_t WINAPI RtSerialPortEnableDtrLine(PortRecord* record, const int32_t* value);
KESTRUNE_API int32_t WINAPI RtSerialPortFlowEnableRTS(PortRecord* record, const int32_t* value);
KESTRUNE_API int32_t WINAPI RtSerialPortDiscardNulls(PortRecord* record, const int32_t* value);
KESTRUNE_API int32_t WINAPI RtSerialPortEnableParity(PortRecord* record, const int32_t* value);
KESTRUNE_API int32_t WINAPI RtSerialPortParityChar(PortRecord* record, const int32_t* value);
KESTRUNE_API int32_t WINAPI RtSerialPortEnableParityReplace(PortRecord* record, const int32_t* value);
KESTRUNE_API int32_t WINAPI RtSerialPortParityType(PortRecord* record, const int32_t* value);

// Record-driven getters (nothing happens when RtHandle is 0) and setters (the field's
// value, or the default when it is 0).
KESTRUNE_API int32_t WINAPI SerialPort_Get_Baud_RT(PortRecord* record);
KESTRUNE_API int32_t WINAPI SerialPort_Set_Baud_RT(PortRecord* record);
KESTRUNE_API int32_t WINAPI SerialPort_Get_DataBits_RT(PortRecord* record);
KESTRUNE_API int32_t WINAPI SerialPort_Set_DataBits_RT(PortRecord* record);
KESTRUNE_API int32_t WINAPI RtSerialPortGetParity(PortRecord* record);
KESTRUNE_API int32_t WINAPI SerialPort_Set_Parity_RT(PortRecord* record);
KESTRUNE_API int32_t WINAPI RtSerialPortGetStopBits(PortRecord* record);
KESTRUNE_API int32_t WINAPI RtSerialPortSetStopBits(PortRecord* record);
KESTRUNE_API int32_t WINAPI RtSerialPortGetXmitBufferSize(PortRecord* record);
KESTRUNE_API int32_t WINAPI RtSerialPortSetXmitBufferSize(PortRecord* record);
KESTRUNE_API int32_t WINAPI RtSerialPortGetRecBufferSize(PortRecord* record);
KESTRUNE_API int32_t WINAPI RtSerialPortSetRecBufferSize(PortRecord* record);
KESTRUNE_API int32_t WINAPI RtSerialPortGetParityChar(PortRecord* record);
KESTRUNE_API int32_t WINAPI SerialPort_Set_Parity_RTChar(PortRecord* record);
KESTRUNE_API int32_t WINAPI SerialPort_Get_ParityReplace_RT(PortRecord* record);
KESTRUNE_API int32_t WINAPI SerialPort_Set_ParityReplace_RT(PortRecord* record);
KESTRUNE_API int32_t WINAPI SerialPort_Set_Default_RT(PortRecord* record);

// --- Native-handle functions ---------------------------------------------------------
KESTRUNE_API int32_t WINAPI SerialPort_Open_Win(PortRecord* record);
KESTRUNE_API int32_t WINAPI SerialPort_State_Win(PortRecord* record);
KESTRUNE_API int32_t WINAPI SerialPort_Send_Win(PortRecord* record);
KESTRUNE_API int32_t WINAPI SerialPort_Close_Win(PortRecord* record);
