/* kestrune.h: calling Kestrune.dll from C or C++.

   Link with Kestrune.lib (the import library beside the DLL), or load Kestrune.dll with
   LoadLibrary and look the functions up with GetProcAddress under the names below. Every
   function uses the standard Windows calling convention (WINAPI). Records are passed by
   pointer and keep all inputs and results; text fields are NUL-terminated ANSI, at most
   259 characters. Handles are stored as 32-bit values.

   The serial-port class (Automation, ProgID "Kestrune.SerialPort") is described by the
   type library embedded in Kestrune.dll as resource TYPELIB 1. */
#ifndef KESTRUNE_H
#define KESTRUNE_H

#include <stddef.h>
#include <stdint.h>
#include <windows.h>
#include <oleauto.h>

#ifdef __cplusplus
extern "C" {
#define KESTRUNE_LAYOUT_CHECK(condition) static_assert(condition, #condition)
#else
#define KESTRUNE_LAYOUT_CHECK(condition) _Static_assert(condition, #condition)
#endif

#ifndef KESTRUNE_IMPORT
#define KESTRUNE_IMPORT __declspec(dllimport)
#endif

#pragma pack(push, 4)

/* Everything known about one serial port: 7528 bytes; SerialPort_Enum hands back arrays
   of these with this stride. */
typedef struct PortRecord {
    int32_t UnicodeFlag;
    char Reserved1[260];
    char UnicodeText[260];
    char AnsiText[260];
    int32_t LBOUND;
    int32_t UBOUND;
    uint32_t ProcessId;
    uint32_t ObjHandle;
    uint32_t ObjAddress;
    char sObjName[260];
    uint32_t DupProcessID;
    uint32_t DupObjHandle;
    uint32_t DupObjAddress;
    char Reserved2[260];
    char ProgramPath[260];
    char PortName[260];
    char ParityName[260];
    char Status[260];
    char DeviceName[260];
    char DeviceType[260];
    char ProgramFolder[260];
    char ProgramName[260];
    char ProgramVersion[260];
    char Name[260];
    int32_t Number;
    int32_t RtHandle;
    uint32_t WinHandle;
    uint32_t HwndTerminal;
    int32_t ColorText;
    int32_t ColorTextBackGround;
    int32_t State;
    char StateDescription[260];
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
    char XmitBuffer[260];
    char RecBuffer[260];
    int32_t CableKind;
    int32_t CableResponse;
    char AttachedDevice[260];
    char AttachedVersion[260];
    char AttachedDate[260];
    uint32_t FlowControlBits;
    COMMCONFIG CommConfig;
    int32_t RtError;
    char RtErrorDescription[260];
    uint32_t WinError;
    char WinErrorDescription[260];
    int32_t AppError;
    char AppErrorDescription[260];
    char FunctionName[260];
    uint32_t StatusWindow;
    char StatusText1[260];
    char StatusText2[260];
    char StatusText3[260];
} PortRecord;

/* Operating-system, build-tool and module information: 7208 bytes. */
typedef struct OsInfoRecord {
    uint32_t dwOSVersionInfoSize;
    uint32_t dwMajorVersion;
    uint32_t dwMinorVersion;
    uint32_t dwBuildNumber;
    uint32_t dwPlatformId;
    char szCSDVersion[128];
    int32_t OsLong;
    char OsString[260];
    int32_t OsFamilyLong;
    char OsFamilyString[260];
    uint32_t BuildNumber;
    char BuildName[260];
    char ServicePack[260];
    int32_t OsIs64Bit;
    int32_t RtVersion;
    char RtVersionText[260];
    int32_t Revision;
    char RevisionText[260];
    int32_t CompiledAsCode;
    char CompiledAs[260];
    int32_t ProgramInstance;
    char ProgramPath[260];
    char ProgramName[260];
    int32_t ParentInstance;
    char ParentPath[260];
    char ParentName[260];
    int32_t HasVersionInfo;
    char ProductName[260];
    char ProductVersion[260];
    char ProductDescription[260];
    char FileVersion[260];
    char InternalName[260];
    char CompanyName[260];
    char LegalCopyRight[260];
    char OriginalFileName[260];
    char ParentProductName[260];
    char ParentProductVersion[260];
    char ParentProductDescription[260];
    char ParentFileVersion[260];
    char ParentInternalName[260];
    char ParentCompanyName[260];
    char ParentLegalCopyRight[260];
    char ParentOriginalFileName[260];
} OsInfoRecord;

#pragma pack(pop)

KESTRUNE_LAYOUT_CHECK(sizeof(COMMCONFIG) == 52);
KESTRUNE_LAYOUT_CHECK(sizeof(PortRecord) == 7528);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, UnicodeFlag) == 0);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, Reserved1) == 4);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, UnicodeText) == 264);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, AnsiText) == 524);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, LBOUND) == 784);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, UBOUND) == 788);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, ProcessId) == 792);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, ObjHandle) == 796);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, ObjAddress) == 800);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, sObjName) == 804);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, DupProcessID) == 1064);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, DupObjHandle) == 1068);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, DupObjAddress) == 1072);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, Reserved2) == 1076);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, ProgramPath) == 1336);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, PortName) == 1596);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, ParityName) == 1856);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, Status) == 2116);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, DeviceName) == 2376);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, DeviceType) == 2636);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, ProgramFolder) == 2896);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, ProgramName) == 3156);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, ProgramVersion) == 3416);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, Name) == 3676);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, Number) == 3936);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, RtHandle) == 3940);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, WinHandle) == 3944);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, HwndTerminal) == 3948);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, ColorText) == 3952);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, ColorTextBackGround) == 3956);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, State) == 3960);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, StateDescription) == 3964);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, Baud) == 4224);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, DataBits) == 4228);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, Parity) == 4232);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, StopBits) == 4236);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, ParityChar) == 4244);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, ParityReplace) == 4248);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, ModemStatus) == 4252);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, CarrierLineDetect) == 4256);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, ReceiveLineDetect) == 4260);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, Reserved3) == 4264);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, DtrCommand) == 4268);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, DataSendReady) == 4272);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, Reserved4) == 4276);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, RtsCommand) == 4280);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, ClearToSend) == 4284);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, Reserved5) == 4288);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, DSRSENS) == 4292);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, RING) == 4296);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, ParityChecking) == 4300);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, BREAK) == 4304);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, DTRLINE) == 4308);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, CTSFLOW) == 4312);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, DSRFLOW) == 4316);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, XmitBufferSize) == 4320);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, RecBufferSize) == 4324);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, XmitBuffer) == 4328);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, RecBuffer) == 4588);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, CableKind) == 4848);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, CableResponse) == 4852);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, AttachedDevice) == 4856);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, AttachedVersion) == 5116);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, AttachedDate) == 5376);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, FlowControlBits) == 5636);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, CommConfig) == 5640);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, RtError) == 5692);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, RtErrorDescription) == 5696);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, WinError) == 5956);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, WinErrorDescription) == 5960);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, AppError) == 6220);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, AppErrorDescription) == 6224);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, FunctionName) == 6484);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, StatusWindow) == 6744);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, StatusText1) == 6748);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, StatusText2) == 7008);
KESTRUNE_LAYOUT_CHECK(offsetof(PortRecord, StatusText3) == 7268);
KESTRUNE_LAYOUT_CHECK(sizeof(OsInfoRecord) == 7208);
KESTRUNE_LAYOUT_CHECK(offsetof(OsInfoRecord, dwOSVersionInfoSize) == 0);
KESTRUNE_LAYOUT_CHECK(offsetof(OsInfoRecord, dwMajorVersion) == 4);
KESTRUNE_LAYOUT_CHECK(offsetof(OsInfoRecord, dwMinorVersion) == 8);
KESTRUNE_LAYOUT_CHECK(offsetof(OsInfoRecord, dwBuildNumber) == 12);
KESTRUNE_LAYOUT_CHECK(offsetof(OsInfoRecord, dwPlatformId) == 16);
KESTRUNE_LAYOUT_CHECK(offsetof(OsInfoRecord, szCSDVersion) == 20);
KESTRUNE_LAYOUT_CHECK(offsetof(OsInfoRecord, OsLong) == 148);
KESTRUNE_LAYOUT_CHECK(offsetof(OsInfoRecord, OsString) == 152);
KESTRUNE_LAYOUT_CHECK(offsetof(OsInfoRecord, OsFamilyLong) == 412);
KESTRUNE_LAYOUT_CHECK(offsetof(OsInfoRecord, OsFamilyString) == 416);
KESTRUNE_LAYOUT_CHECK(offsetof(OsInfoRecord, BuildNumber) == 676);
KESTRUNE_LAYOUT_CHECK(offsetof(OsInfoRecord, BuildName) == 680);
KESTRUNE_LAYOUT_CHECK(offsetof(OsInfoRecord, ServicePack) == 940);
KESTRUNE_LAYOUT_CHECK(offsetof(OsInfoRecord, OsIs64Bit) == 1200);
KESTRUNE_LAYOUT_CHECK(offsetof(OsInfoRecord, RtVersion) == 1204);
KESTRUNE_LAYOUT_CHECK(offsetof(OsInfoRecord, RtVersionText) == 1208);
KESTRUNE_LAYOUT_CHECK(offsetof(OsInfoRecord, Revision) == 1468);
KESTRUNE_LAYOUT_CHECK(offsetof(OsInfoRecord, RevisionText) == 1472);
KESTRUNE_LAYOUT_CHECK(offsetof(OsInfoRecord, CompiledAsCode) == 1732);
KESTRUNE_LAYOUT_CHECK(offsetof(OsInfoRecord, CompiledAs) == 1736);
KESTRUNE_LAYOUT_CHECK(offsetof(OsInfoRecord, ProgramInstance) == 1996);
KESTRUNE_LAYOUT_CHECK(offsetof(OsInfoRecord, ProgramPath) == 2000);
KESTRUNE_LAYOUT_CHECK(offsetof(OsInfoRecord, ProgramName) == 2260);
KESTRUNE_LAYOUT_CHECK(offsetof(OsInfoRecord, ParentInstance) == 2520);
KESTRUNE_LAYOUT_CHECK(offsetof(OsInfoRecord, ParentPath) == 2524);
KESTRUNE_LAYOUT_CHECK(offsetof(OsInfoRecord, ParentName) == 2784);
KESTRUNE_LAYOUT_CHECK(offsetof(OsInfoRecord, HasVersionInfo) == 3044);
KESTRUNE_LAYOUT_CHECK(offsetof(OsInfoRecord, ProductName) == 3048);
KESTRUNE_LAYOUT_CHECK(offsetof(OsInfoRecord, ProductVersion) == 3308);
KESTRUNE_LAYOUT_CHECK(offsetof(OsInfoRecord, ProductDescription) == 3568);
KESTRUNE_LAYOUT_CHECK(offsetof(OsInfoRecord, FileVersion) == 3828);
KESTRUNE_LAYOUT_CHECK(offsetof(OsInfoRecord, InternalName) == 4088);
KESTRUNE_LAYOUT_CHECK(offsetof(OsInfoRecord, CompanyName) == 4348);
KESTRUNE_LAYOUT_CHECK(offsetof(OsInfoRecord, LegalCopyRight) == 4608);
KESTRUNE_LAYOUT_CHECK(offsetof(OsInfoRecord, OriginalFileName) == 4868);
KESTRUNE_LAYOUT_CHECK(offsetof(OsInfoRecord, ParentProductName) == 5128);
KESTRUNE_LAYOUT_CHECK(offsetof(OsInfoRecord, ParentProductVersion) == 5388);
KESTRUNE_LAYOUT_CHECK(offsetof(OsInfoRecord, ParentProductDescription) == 5648);
KESTRUNE_LAYOUT_CHECK(offsetof(OsInfoRecord, ParentFileVersion) == 5908);
KESTRUNE_LAYOUT_CHECK(offsetof(OsInfoRecord, ParentInternalName) == 6168);
KESTRUNE_LAYOUT_CHECK(offsetof(OsInfoRecord, ParentCompanyName) == 6428);
KESTRUNE_LAYOUT_CHECK(offsetof(OsInfoRecord, ParentLegalCopyRight) == 6688);
KESTRUNE_LAYOUT_CHECK(offsetof(OsInfoRecord, ParentOriginalFileName) == 6948);

/* ---- Functions ------------------------------------------------------------------------
   Port functions take one record; a null record gives 9 and touches nothing. They return
   0, except the opens and closes, which return the error number of the failed step. */

/* The scan: *ports (an array the caller owns, or null) is destroyed and replaced by a
   one-dimensional array, bounds 0..n-1, of PortRecord; statusWindow, when not null, holds
   a window handle that receives the progress texts. 0; 9 for null ports; 7 out of memory. */
KESTRUNE_IMPORT int32_t WINAPI SerialPort_Enum(SAFEARRAY** ports, uint32_t* statusWindow);

/* Scan steps on one record. */
KESTRUNE_IMPORT int32_t WINAPI SerialPort_Get_FlowControl(PortRecord* record);
KESTRUNE_IMPORT int32_t WINAPI SerialPort_Get_Type(PortRecord* record);
KESTRUNE_IMPORT int32_t WINAPI SerialPort_Get_Program(PortRecord* record);
KESTRUNE_IMPORT int32_t WINAPI SerialPort_Get_Dsr(PortRecord* record);
KESTRUNE_IMPORT int32_t WINAPI SerialPort_Get_Cts(PortRecord* record);
KESTRUNE_IMPORT int32_t WINAPI SerialPort_Get_Ring(PortRecord* record);
KESTRUNE_IMPORT int32_t WINAPI SerialPort_Get_ReceiveLineSignalDetect(PortRecord* record);
KESTRUNE_IMPORT int32_t WINAPI SerialPort_Set_Dtr(PortRecord* record);
KESTRUNE_IMPORT int32_t WINAPI SerialPort_Clear_Dtr(PortRecord* record);
KESTRUNE_IMPORT int32_t WINAPI SerialPort_Set_Rts(PortRecord* record);
KESTRUNE_IMPORT int32_t WINAPI SerialPort_Clear_Rts(PortRecord* record);

/* A port as a numbered channel (RtHandle). */
KESTRUNE_IMPORT int32_t WINAPI SerialPort_Open_Rt(PortRecord* record);
KESTRUNE_IMPORT int32_t WINAPI SerialPort_State_Rt(PortRecord* record);
KESTRUNE_IMPORT int32_t WINAPI SerialPort_Get_Name_Rt(PortRecord* record);
KESTRUNE_IMPORT int32_t WINAPI SerialPort_Send_Rt(PortRecord* record);
KESTRUNE_IMPORT int32_t WINAPI SerialPort_Receive_Rt(PortRecord* record);
KESTRUNE_IMPORT int32_t WINAPI SerialPort_Close_Rt(PortRecord* record);
KESTRUNE_IMPORT int32_t WINAPI SerialPort_Get_CarrierLine_RT(PortRecord* record);
KESTRUNE_IMPORT int32_t WINAPI SerialPort_Get_ReceiveLine_RT(PortRecord* record);
KESTRUNE_IMPORT int32_t WINAPI RtSerialPortEnableRing(PortRecord* record);
/* Single-flag setters: the new value by reference. */
KESTRUNE_IMPORT int32_t WINAPI SerialPort_Set_FlowEnableCts_RT(PortRecord* record, const int32_t* value);
KESTRUNE_IMPORT int32_t WINAPI RtSerialPortFlowEnableDSR(PortRecord* record, const int32_t* value);
KESTRUNE_IMPORT int32_t WINAPI RtSerialPortFlowEnable(PortRecord* record, const int32_t* value);
KESTRUNE_IMPORT int32_t WINAPI RtSerialPortEnableDsrSense(PortRecord* record, const int32_t* value);
KESTRUNE_IMPORT int32_t WINAPI RtSerialPortFlowEnableDTR(PortRecord* record, const int32_t* value);
KESTRUNE_IMPORT int32_t WINAPI RtSerialPortEnableDtrLine(PortRecord* record, const int32_t* value);
KESTRUNE_IMPORT int32_t WINAPI RtSerialPortFlowEnableRTS(PortRecord* record, const int32_t* value);
KESTRUNE_IMPORT int32_t WINAPI RtSerialPortDiscardNulls(PortRecord* record, const int32_t* value);
KESTRUNE_IMPORT int32_t WINAPI RtSerialPortEnableParity(PortRecord* record, const int32_t* value);
KESTRUNE_IMPORT int32_t WINAPI RtSerialPortParityChar(PortRecord* record, const int32_t* value);
KESTRUNE_IMPORT int32_t WINAPI RtSerialPortEnableParityReplace(PortRecord* record, const int32_t* value);
KESTRUNE_IMPORT int32_t WINAPI RtSerialPortParityType(PortRecord* record, const int32_t* value);
/* Setting accessors: getters read the channel into the record, setters write the record's field. */
KESTRUNE_IMPORT int32_t WINAPI SerialPort_Get_Baud_RT(PortRecord* record);
KESTRUNE_IMPORT int32_t WINAPI SerialPort_Set_Baud_RT(PortRecord* record);
KESTRUNE_IMPORT int32_t WINAPI SerialPort_Get_DataBits_RT(PortRecord* record);
KESTRUNE_IMPORT int32_t WINAPI SerialPort_Set_DataBits_RT(PortRecord* record);
KESTRUNE_IMPORT int32_t WINAPI RtSerialPortGetParity(PortRecord* record);
KESTRUNE_IMPORT int32_t WINAPI SerialPort_Set_Parity_RT(PortRecord* record);
KESTRUNE_IMPORT int32_t WINAPI RtSerialPortGetStopBits(PortRecord* record);
KESTRUNE_IMPORT int32_t WINAPI RtSerialPortSetStopBits(PortRecord* record);
KESTRUNE_IMPORT int32_t WINAPI RtSerialPortGetXmitBufferSize(PortRecord* record);
KESTRUNE_IMPORT int32_t WINAPI RtSerialPortSetXmitBufferSize(PortRecord* record);
KESTRUNE_IMPORT int32_t WINAPI RtSerialPortGetRecBufferSize(PortRecord* record);
KESTRUNE_IMPORT int32_t WINAPI RtSerialPortSetRecBufferSize(PortRecord* record);
KESTRUNE_IMPORT int32_t WINAPI RtSerialPortGetParityChar(PortRecord* record);
KESTRUNE_IMPORT int32_t WINAPI SerialPort_Set_Parity_RTChar(PortRecord* record);
KESTRUNE_IMPORT int32_t WINAPI SerialPort_Get_ParityReplace_RT(PortRecord* record);
KESTRUNE_IMPORT int32_t WINAPI SerialPort_Set_ParityReplace_RT(PortRecord* record);
KESTRUNE_IMPORT int32_t WINAPI SerialPort_Set_Default_RT(PortRecord* record);

/* A port through its native handle (WinHandle). */
KESTRUNE_IMPORT int32_t WINAPI SerialPort_Open_Win(PortRecord* record);
KESTRUNE_IMPORT int32_t WINAPI SerialPort_State_Win(PortRecord* record);
KESTRUNE_IMPORT int32_t WINAPI SerialPort_Send_Win(PortRecord* record);
KESTRUNE_IMPORT int32_t WINAPI SerialPort_Close_Win(PortRecord* record);

/* System information: each fills its group of fields and returns 0 (9 for null).
   DisplayOpSysInfo also appends a block to "<program name>.IncludesLog" in the current folder. */
KESTRUNE_IMPORT int32_t WINAPI GetWindowsOs(OsInfoRecord* info);
KESTRUNE_IMPORT int32_t WINAPI GetCompiler(OsInfoRecord* info);
KESTRUNE_IMPORT int32_t WINAPI GetProgram(OsInfoRecord* info);
KESTRUNE_IMPORT int32_t WINAPI GatherOpSysInfo(OsInfoRecord* info);
KESTRUNE_IMPORT int32_t WINAPI DisplayOpSysInfo(OsInfoRecord* info);

/* Registry: every value of root\subKey into three arrays (names and data as BSTRs holding
   ANSI bytes, types as longs) and their count. 0 or the Win32 error. */
KESTRUNE_IMPORT LONG WINAPI Reg_EnumValues(HKEY root, const char* subKey, SAFEARRAY** names, SAFEARRAY** types,
                                           SAFEARRAY** data, int32_t* count);

/* The registry helper family: each returns 0 or the Win32 error code (Reg_KeyExists and
   Reg_ValueExists answer 1 or 0). Texts go in as NUL-terminated ANSI strings; texts come
   back as BSTRs holding the ANSI bytes (an old string in the slot is freed), lists as arrays
   of such strings. String types are written with their terminating NULs and read back
   without them; REG_DWORD reads as its decimal text. */
KESTRUNE_IMPORT LONG WINAPI Reg_KeyExists(HKEY root, const char* subKey);
KESTRUNE_IMPORT LONG WINAPI Reg_EnumKeys(HKEY root, const char* subKey, SAFEARRAY** names, int32_t* count);
KESTRUNE_IMPORT LONG WINAPI Reg_ReadValue(HKEY root, const char* subKey, const char* valueName, BSTR* text,
                                          uint32_t* type);
KESTRUNE_IMPORT LONG WINAPI Reg_ReadNumber(HKEY root, const char* subKey, const char* valueName, uint32_t* number);
KESTRUNE_IMPORT LONG WINAPI Reg_ReadValueType(HKEY root, const char* subKey, const char* valueName, uint32_t* type);
/* names: array of byte strings naming the values; *count of them are read, from the first;
   results becomes one text per name, as Reg_ReadValue gives it. */
KESTRUNE_IMPORT LONG WINAPI Reg_ReadValues(HKEY root, const char* subKey, SAFEARRAY* const* names,
                                           SAFEARRAY** results, const int32_t* count);
KESTRUNE_IMPORT LONG WINAPI Reg_ValueExists(HKEY root, const char* subKey, const char* valueName);
KESTRUNE_IMPORT LONG WINAPI Reg_CreateKey(HKEY root, const char* subKey);
KESTRUNE_IMPORT LONG WINAPI Reg_WriteValue(HKEY root, const char* subKey, const char* valueName,
                                           const char* valueText, uint32_t type);
KESTRUNE_IMPORT LONG WINAPI Reg_WriteNumber(HKEY root, const char* subKey, const char* valueName,
                                            const uint32_t* number);
KESTRUNE_IMPORT LONG WINAPI Reg_WriteDefault(HKEY root, const char* subKey, const char* valueName,
                                             const char* valueText, uint32_t type);
KESTRUNE_IMPORT LONG WINAPI Reg_DeleteValue(HKEY root, const char* subKey, const char* valueName);
KESTRUNE_IMPORT LONG WINAPI Reg_DeleteKey(HKEY root, const char* subKey);
KESTRUNE_IMPORT LONG WINAPI Reg_DeleteKeyTree(HKEY root, const char* parentKey, const char* subKey);
KESTRUNE_IMPORT LONG WINAPI Reg_DeleteKeyRecursive(HKEY root, const char* subKey);
KESTRUNE_IMPORT LONG WINAPI Reg_KeyInfoText(HKEY root, const char* subKey, BSTR* result);
KESTRUNE_IMPORT LONG WINAPI ExpandEnvironment(const char* textIn, BSTR* textOut);
KESTRUNE_IMPORT LONG WINAPI ShowMessage(const char* text, const char* caption);

/* The serial-port class's name: *name (a BSTR holding ANSI bytes, freed and replaced)
   receives "CLASSSERIALPORT". When the class is not registered, RegSvr32.exe is first run
   elevated on Kestrune.dll and waited for (at most two minutes). 0; 9 for null. */
KESTRUNE_IMPORT int32_t WINAPI SerialPort_GetClassNameId(BSTR* name);

/* COM server entry points (Kestrune.dll): registration writes the class, its ProgIDs and its
   type library under HKEY_CLASSES_ROOT; unregistration removes them. */
HRESULT WINAPI DllRegisterServer(void);
HRESULT WINAPI DllUnregisterServer(void);
HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object);
HRESULT WINAPI DllCanUnloadNow(void);

#ifdef __cplusplus
}
#endif

#endif /* KESTRUNE_H */
