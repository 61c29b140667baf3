#pragma once
// The exports that take a record, listed once for every test that calls them all: X(name)
// for each, so a test makes function pointers or names of them as it needs.

// Every export that takes one record.
#define KESTRUNE_RECORD_EXPORTS(X)                                                                               \
    X(SerialPort_Get_FlowControl) X(SerialPort_Get_Type) X(SerialPort_Get_Program) X(SerialPort_Get_Dsr)         \
    X(SerialPort_Get_Cts) X(SerialPort_Get_Ring) X(SerialPort_Get_ReceiveLineSignalDetect) X(SerialPort_Set_Dtr) \
    X(SerialPort_Clear_Dtr) X(SerialPort_Set_Rts) X(SerialPort_Clear_Rts) X(SerialPort_Open_Rt)                  \
    X(SerialPort_State_Rt) X(SerialPort_Get_Name_Rt) X(SerialPort_Send_Rt) X(SerialPort_Receive_Rt)              \
    X(SerialPort_Close_Rt) X(SerialPort_Get_CarrierLine_RT) X(SerialPort_Get_ReceiveLine_RT)                     \
    X(RtSerialPortEnableRing) X(SerialPort_Get_Baud_RT) X(SerialPort_Set_Baud_RT) X(SerialPort_Get_DataBits_RT)  \
    X(SerialPort_Set_DataBits_RT) X(RtSerialPortGetParity) X(SerialPort_Set_Parity_RT) X(RtSerialPortGetStopBits) \
    X(RtSerialPortSetStopBits) X(RtSerialPortGetXmitBufferSize) X(RtSerialPortSetXmitBufferSize)                 \
    X(RtSerialPortGetRecBufferSize) X(RtSerialPortSetRecBufferSize) X(RtSerialPortGetParityChar)                 \
    X(SerialPort_Set_Parity_RTChar) X(SerialPort_Get_ParityReplace_RT) X(SerialPort_Set_ParityReplace_RT)        \
    X(SerialPort_Set_Default_RT) X(SerialPort_Open_Win) X(SerialPort_State_Win) X(SerialPort_Send_Win)           \
    X(SerialPort_Close_Win)

// Every export that takes a record and a flag by reference.
#define KESTRUNE_FLAG_EXPORTS(X)                                                                                   \
    X(SerialPort_Set_FlowEnableCts_RT) X(RtSerialPortFlowEnableDSR) X(RtSerialPortFlowEnable)                    \
    X(RtSerialPortEnableDsrSense) X(RtSerialPortFlowEnableDTR) X(RtSerialPortEnableDtrLine)                      \
    X(RtSerialPortFlowEnableRTS) X(RtSerialPortDiscardNulls) X(RtSerialPortEnableParity) X(RtSerialPortParityChar) \
    X(RtSerialPortEnableParityReplace) X(RtSerialPortParityType)
