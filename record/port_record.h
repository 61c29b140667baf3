#pragma once
// PortRecord: everything known about one serial port, in a fixed byte layout that other
// programs share (arrays of records with a stride of 7528 bytes). No pointers inside;
// integers are 32-bit little-endian, handles are stored as 32-bit values.
#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace kestrune {

constexpr std::size_t kTextSize = 260;

#pragma pack(push, 4)
struct PortRecord {
    int32_t UnicodeFlag;
    char Reserved1[kTextSize];
    char UnicodeText[kTextSize];
    char AnsiText[kTextSize];
    int32_t LBOUND;
    int32_t UBOUND;
    uint32_t ProcessId;
    uint32_t ObjHandle;
    uint32_t ObjAddress;
    char sObjName[kTextSize];
    uint32_t DupProcessID;
    uint32_t DupObjHandle;
    uint32_t DupObjAddress;
    char Reserved2[kTextSize];
    char ProgramPath[kTextSize];
    char PortName[kTextSize];
    char ParityName[kTextSize];
    char Status[kTextSize];
    char DeviceName[kTextSize];
    char DeviceType[kTextSize];
    char ProgramFolder[kTextSize];
    char ProgramName[kTextSize];
    char ProgramVersion[kTextSize];
    char Name[kTextSize];
    int32_t Number;
    int32_t RtHandle;
    uint32_t WinHandle;
    uint32_t HwndTerminal;
    int32_t ColorText;
    int32_t ColorTextBackGround;
    int32_t State;
    char StateDescription[kTextSize];
    int32_t Baud;
    int32_t DataBits;
    int32_t Parity;
    int64_t StopBits;
    int32_t ParityChar;
    int32_t ParityReplace;
    uint32_t ModemStatus;
    int32_t CarrierLineDetect;
    int32_t ReceiveLineDetect;
    int32_t Reserved3;
    int32_t DtrCommand;
    int32_t DataSendReady;
    int32_t Reserved4;
    int32_t RtsCommand;
    int32_t ClearToSend;
    int32_t Reserved5;
    int32_t DSRSENS;
    int32_t RING;
    int32_t ParityChecking;
    int32_t BREAK;
    int32_t DTRLINE;
    int32_t CTSFLOW;
    int32_t DSRFLOW;
    int32_t XmitBufferSize;
    int32_t RecBufferSize;
    char XmitBuffer[kTextSize];
    char RecBuffer[kTextSize];
    int32_t CableKind;
    int32_t CableResponse;
    char AttachedDevice[kTextSize];
    char AttachedVersion[kTextSize];
    char AttachedDate[kTextSize];
    uint32_t FlowControlBits;
    COMMCONFIG CommConfig;
    int32_t RtError;
    char RtErrorDescription[kTextSize];
    uint32_t WinError;
    char WinErrorDescription[kTextSize];
    int32_t AppError;
    char AppErrorDescription[kTextSize];
    char FunctionName[kTextSize];
    uint32_t StatusWindow;
    char StatusText1[kTextSize];
    char StatusText2[kTextSize];
    char StatusText3[kTextSize];
};
#pragma pack(pop)

static_assert(sizeof(COMMCONFIG) == 52);
static_assert(sizeof(PortRecord) == 7528);
static_assert(offsetof(PortRecord, UnicodeFlag) == 0);
static_assert(offsetof(PortRecord, Reserved1) == 4);
static_assert(offsetof(PortRecord, UnicodeText) == 264);
static_assert(offsetof(PortRecord, AnsiText) == 524);
static_assert(offsetof(PortRecord, LBOUND) == 784);
static_assert(offsetof(PortRecord, UBOUND) == 788);
static_assert(offsetof(PortRecord, ProcessId) == 792);
static_assert(offsetof(PortRecord, ObjHandle) == 796);
static_assert(offsetof(PortRecord, ObjAddress) == 800);
static_assert(offsetof(PortRecord, sObjName) == 804);
static_assert(offsetof(PortRecord, DupProcessID) == 1064);
static_assert(offsetof(PortRecord, DupObjHandle) == 1068);
static_assert(offsetof(PortRecord, DupObjAddress) == 1072);
static_assert(offsetof(PortRecord, Reserved2) == 1076);
static_assert(offsetof(PortRecord, ProgramPath) == 1336);
static_assert(offsetof(PortRecord, PortName) == 1596);
static_assert(offsetof(PortRecord, ParityName) == 1856);
static_assert(offsetof(PortRecord, Status) == 2116);
static_assert(offsetof(PortRecord, DeviceName) == 2376);
static_assert(offsetof(PortRecord, DeviceType) == 2636);
static_assert(offsetof(PortRecord, ProgramFolder) == 2896);
static_assert(offsetof(PortRecord, ProgramName) == 3156);
static_assert(offsetof(PortRecord, ProgramVersion) == 3416);
static_assert(offsetof(PortRecord, Name) == 3676);
static_assert(offsetof(PortRecord, Number) == 3936);
static_assert(offsetof(PortRecord, RtHandle) == 3940);
static_assert(offsetof(PortRecord, WinHandle) == 3944);
static_assert(offsetof(PortRecord, HwndTerminal) == 3948);
static_assert(offsetof(PortRecord, ColorText) == 3952);
static_assert(offsetof(PortRecord, ColorTextBackGround) == 3956);
static_assert(offsetof(PortRecord, State) == 3960);
static_assert(offsetof(PortRecord, StateDescription) == 3964);
static_assert(offsetof(PortRecord, Baud) == 4224);
static_assert(offsetof(PortRecord, DataBits) == 4228);
static_assert(offsetof(PortRecord, Parity) == 4232);
static_assert(offsetof(PortRecord, StopBits) == 4236);
static_assert(offsetof(PortRecord, ParityChar) == 4244);
static_assert(offsetof(PortRecord, ParityReplace) == 4248);
static_assert(offsetof(PortRecord, ModemStatus) == 4252);
static_assert(offsetof(PortRecord, CarrierLineDetect) == 4256);
static_assert(offsetof(PortRecord, ReceiveLineDetect) == 4260);
static_assert(offsetof(PortRecord, Reserved3) == 4264);
static_assert(offsetof(PortRecord, DtrCommand) == 4268);
static_assert(offsetof(PortRecord, DataSendReady) == 4272);
static_assert(offsetof(PortRecord, Reserved4) == 4276);
static_assert(offsetof(PortRecord, RtsCommand) == 4280);
static_assert(offsetof(PortRecord, ClearToSend) == 4284);
static_assert(offsetof(PortRecord, Reserved5) == 4288);
static_assert(offsetof(PortRecord, DSRSENS) == 4292);
static_assert(offsetof(PortRecord, RING) == 4296);
static_assert(offsetof(PortRecord, ParityChecking) == 4300);
static_assert(offsetof(PortRecord, BREAK) == 4304);
static_assert(offsetof(PortRecord, DTRLINE) == 4308);
static_assert(offsetof(PortRecord, CTSFLOW) == 4312);
static_assert(offsetof(PortRecord, DSRFLOW) == 4316);
static_assert(offsetof(PortRecord, XmitBufferSize) == 4320);
static_assert(offsetof(PortRecord, RecBufferSize) == 4324);
static_assert(offsetof(PortRecord, XmitBuffer) == 4328);
static_assert(offsetof(PortRecord, RecBuffer) == 4588);
static_assert(offsetof(PortRecord, CableKind) == 4848);
static_assert(offsetof(PortRecord, CableResponse) == 4852);
static_assert(offsetof(PortRecord, AttachedDevice) == 4856);
static_assert(offsetof(PortRecord, AttachedVersion) == 5116);
static_assert(offsetof(PortRecord, AttachedDate) == 5376);
static_assert(offsetof(PortRecord, FlowControlBits) == 5636);
static_assert(offsetof(PortRecord, CommConfig) == 5640);
static_assert(offsetof(PortRecord, RtError) == 5692);
static_assert(offsetof(PortRecord, RtErrorDescription) == 5696);
static_assert(offsetof(PortRecord, WinError) == 5956);
static_assert(offsetof(PortRecord, WinErrorDescription) == 5960);
static_assert(offsetof(PortRecord, AppError) == 6220);
static_assert(offsetof(PortRecord, AppErrorDescription) == 6224);
static_assert(offsetof(PortRecord, FunctionName) == 6484);
static_assert(offsetof(PortRecord, StatusWindow) == 6744);
static_assert(offsetof(PortRecord, StatusText1) == 6748);
static_assert(offsetof(PortRecord, StatusText2) == 7008);
static_assert(offsetof(PortRecord, StatusText3) == 7268);

// FlowControlBits, from bit 0 upward.
enum FlowControlBit : uint32_t {
    kFlowBinary, kFlowParity, kFlowOutxDtsFlow, kFlowOutxDsrFlow, kFlowDtrControl,
    kFlowDsrSensitivity, kFlowTXContinueOnXoff, kFlowOutX, kFlowInX, kFlowErrorChar,
    kFlowNull, kFlowRtsControl, kFlowAbortOnError, kFlowDummy2, kFlowBitCount
};

// StopBits is fixed point: the value times 10000.
constexpr int64_t kStopBitsScale = 10000;

}  // namespace kestrune
