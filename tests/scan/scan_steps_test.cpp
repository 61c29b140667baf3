// The per-port steps: settings readout, flow flags, device type, owner program, modem lines
// and the cable decision, as plain functions and on records without a port.
#include <gtest/gtest.h>

#include <cstring>

#include "support/version.h"
#include "scan/cable_experiment.h"
#include "scan/cable_test.h"
#include "exports/modem_line_exports.h"
#include "exports/scan_exports.h"
#include "scan/device_type.h"
#include "scan/modem_lines.h"
#include "scan/scan_driver.h"
#include "scan/settings_readout.h"
#include "support/fixed_text.h"
#include "scan_test_support.h"

using namespace kestrune;

TEST(StopBits, EveryCode) {
    EXPECT_EQ(StopBitsFromCode(0), 10000);
    EXPECT_EQ(StopBitsFromCode(1), 15000);
    EXPECT_EQ(StopBitsFromCode(2), 20000);
    EXPECT_FALSE(StopBitsFromCode(3).has_value());
    EXPECT_FALSE(StopBitsFromCode(255).has_value());
}

TEST(ParityName, EveryCode) {
    const char* names[] = {"None", "Odd", "Even", "Mark", "Space"};
    for (int code = 0; code < 5; ++code) EXPECT_EQ(ParityNameFromCode(code), names[code]);
    EXPECT_FALSE(ParityNameFromCode(5).has_value());
    EXPECT_FALSE(ParityNameFromCode(-1).has_value());
}

TEST(FlowFlags, EachMemberFromItsControlBlockBit) {
    const uint32_t source[14] = {0, 1, 2, 3, 4, 6, 7, 8, 9, 10, 11, 12, 14, 15};
    for (uint32_t member = 0; member < 14; ++member)
        EXPECT_EQ(FlowControlBitsFromFlags(1u << source[member]), 1u << member) << member;
    // The high bit of each two-bit control and the bits above 15 give nothing.
    EXPECT_EQ(FlowControlBitsFromFlags((1u << 5) | (1u << 13) | 0xFFFF0000u), 0u);
    EXPECT_EQ(FlowControlBitsFromFlags(0xFFFFFFFFu), 0x3FFFu);
}

TEST(FlowFlags, ReadFromTheControlBlockBitFields) {
    COMMCONFIG config = {};
    config.dcb.fBinary = 1;
    config.dcb.fDtrControl = DTR_CONTROL_ENABLE;
    config.dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;  // 2: lowest bit 0
    config.dcb.fAbortOnError = 1;
    const uint32_t bits = FlowControlBitsFromFlags(DcbFlagWord(config));
    EXPECT_EQ(bits, (1u << kFlowBinary) | (1u << kFlowDtrControl) | (1u << kFlowAbortOnError));
}

TEST(ParametersReadout, FreshRecordWithoutPort) {
    PortRecord record = {};
    ReadPortParameters(record);
    EXPECT_EQ(record.Baud, 0);
    EXPECT_EQ(record.DataBits, 0);
    EXPECT_EQ(record.StopBits, 10000);
    EXPECT_EQ(record.Parity, 0);
    EXPECT_EQ(Text(record.ParityName), "None");
    EXPECT_TRUE(TextEmpty(record.FunctionName));  // no status window: no report
}

TEST(ParametersReadout, StoredBlockIsAppliedAndUnknownCodesKeepTheirFields) {
    PortRecord record = {};
    record.CommConfig.dcb.BaudRate = 19200;
    record.CommConfig.dcb.ByteSize = 7;
    record.CommConfig.dcb.StopBits = 1;
    record.CommConfig.dcb.Parity = 2;
    ReadPortParameters(record);
    EXPECT_EQ(record.Baud, 19200);
    EXPECT_EQ(record.DataBits, 7);
    EXPECT_EQ(record.StopBits, 15000);
    EXPECT_EQ(Text(record.ParityName), "Even");
    record.CommConfig.dcb.Parity = 7;
    record.CommConfig.dcb.StopBits = 9;
    ReadPortParameters(record);
    EXPECT_EQ(record.Parity, 7);
    EXPECT_EQ(Text(record.ParityName), "Even");
    EXPECT_EQ(record.StopBits, 15000);
}

TEST(FlowControlExport, NoPortClearsEveryFlag) {
    PortRecord record = {};
    record.FlowControlBits = 0x3FFF;
    record.CommConfig.dcb.fBinary = 1;
    EXPECT_EQ(SerialPort_Get_FlowControl(&record), 0);
    EXPECT_EQ(record.FlowControlBits, 0u);
    EXPECT_EQ(record.CommConfig.dcb.fBinary, 1u);  // the record's block is not touched
}

TEST(DeviceType, EveryRowAndNoMatch) {
    struct Row { const char* name; const char* type; };
    const Row rows[] = {
        {"\\Device\\Serial0", "RS232"},          {"\\Device\\Serial12", "RS232"},
        {"\\Device\\ProlificSerial0", "USB Adapter"}, {"\\device\\prolificserial0", "USB Adapter"},
        {"\\Device\\EdgeSer3", "USB Adapter"},   {"\\Device\\NiSerP1x", "NI Virtual Com"},
        {"\\Device\\NTPNP_PCI0026", "NI Virtual Com"}, {"\\Device\\NIPALK7", "NI Virtual Com"},
        {"X\\Device\\Serial0", "RS232"},
    };
    for (const Row& row : rows) EXPECT_EQ(DeviceTypeForName(row.name), row.type) << row.name;
    EXPECT_FALSE(DeviceTypeForName("\\Device\\VCP0").has_value());
    EXPECT_FALSE(DeviceTypeForName("\\??\\Z:\\dev\\pts\\3").has_value());
    EXPECT_FALSE(DeviceTypeForName("").has_value());
}

TEST(DeviceType, ExportKeepsThePreviousTypeWhenNothingMatches) {
    PortRecord record = {};
    SetText(record.sObjName, "\\Device\\VCP0");
    EXPECT_EQ(SerialPort_Get_Type(&record), 0);
    EXPECT_TRUE(TextEmpty(record.DeviceType));
    SetText(record.DeviceType, "RS232");
    EXPECT_EQ(SerialPort_Get_Type(&record), 0);
    EXPECT_EQ(Text(record.DeviceType), "RS232");
}

TEST(ProgramPath, SplitAtTheLastSeparator) {
    struct Row { const char* path; const char* folder; const char* name; };
    const Row rows[] = {
        {"C:\\Tools\\term.exe", "C:\\Tools\\", "term.exe"}, {"/opt/x/term.exe", "/opt/x/", "term.exe"},
        {"C:term.exe", "C:", "term.exe"},                   {"term.exe", "", "term.exe"},
        {"", "", ""},                                        {"C:\\a/b\\c.exe", "C:\\a/b\\", "c.exe"},
        {"C:\\Tools\\", "C:\\Tools\\", ""},
    };
    for (const Row& row : rows) {
        const ProgramPathParts parts = SplitProgramPath(row.path);
        EXPECT_EQ(parts.folder, row.folder) << row.path;
        EXPECT_EQ(parts.name, row.name) << row.path;
    }
}

TEST(ProgramVersion, ThreeNumbersWithoutTheThirdPart) {
    EXPECT_EQ(ProductVersionText((6u << 16) | 1, (7601u << 16) | 17514), "6.1.17514");
    EXPECT_EQ(ProductVersionText(5u << 16, 0), "5.0.0");
    EXPECT_EQ(ProductVersionText(0xFFFFFFFFu, 0xFFFFFFFFu), "65535.65535.65535");
}

TEST(ProgramExport, ReadsTheVersionOfARealProgram) {
    PortRecord record = {};
    const std::string path = scan_test::BinDir() + "Kestrune.exe";
    SetText(record.ProgramPath, path);
    EXPECT_EQ(SerialPort_Get_Program(&record), 0);
    EXPECT_EQ(Text(record.ProgramName), "Kestrune.exe");
    EXPECT_EQ(Text(record.ProgramFolder), scan_test::BinDir());
    EXPECT_EQ(Text(record.ProgramVersion), std::to_string(KESTRUNE_VERSION_MAJOR) + "." +
                                               std::to_string(KESTRUNE_VERSION_MINOR) + "." +
                                               std::to_string(KESTRUNE_VERSION_BUILD));
}

TEST(ProgramExport, NoPathOrNoVersionKeepsTheVersion) {
    PortRecord record = {};
    SetText(record.ProgramVersion, "9.9.9");
    EXPECT_EQ(SerialPort_Get_Program(&record), 0);
    EXPECT_TRUE(TextEmpty(record.ProgramFolder));
    EXPECT_TRUE(TextEmpty(record.ProgramName));
    EXPECT_EQ(Text(record.ProgramVersion), "9.9.9");
    SetText(record.ProgramPath, "C:\\nowhere\\missing.exe");
    SerialPort_Get_Program(&record);
    EXPECT_EQ(Text(record.ProgramName), "missing.exe");
    EXPECT_EQ(Text(record.ProgramVersion), "9.9.9");
}

TEST(CableDecision, EveryRow) {
    struct Row { int dsrBefore, ctsBefore, dsrAfter, ctsAfter, kind, response; };
    const Row rows[] = {
        {0, 0, 0, 0, -1, 0},      // nothing at all
        {32, 0, 32, 0, 0, 1},     // DSR present, nothing follows: cross-over
        {0, 16, 0, 16, 0, 1},
        {32, 16, 32, 16, 0, 1},
        {0, 0, 32, 16, 1, 1},     // both follow: pass-through
        {32, 16, 0, 0, 1, 1},
        {0, 0, 32, 0, -1, -1},    // only DSR follows
        {32, 16, 0, 16, -1, -1},
        {0, 0, 0, 16, -1, -1},    // only CTS follows
        {32, 0, 32, 16, -1, -1},
    };
    for (const Row& row : rows)
        EXPECT_EQ(DecideCable(row.dsrBefore, row.ctsBefore, row.dsrAfter, row.ctsAfter),
                  (CableVerdict{row.kind, row.response}))
            << row.dsrBefore << " " << row.ctsBefore << " " << row.dsrAfter << " " << row.ctsAfter;
    EXPECT_STREQ(CableKindName(1), "Pass-Through");
    EXPECT_STREQ(CableKindName(0), "Cross-Over");
    EXPECT_STREQ(CableKindName(-1), "Unknown");
}

TEST(CableTest, NoPortIsUnknownWithNoSignal) {
    PortRecord record = {};
    RunCableTest(record);
    EXPECT_EQ(record.CableKind, -1);
    EXPECT_EQ(record.CableResponse, 0);
    EXPECT_EQ(record.DtrCommand, 5);
    EXPECT_EQ(record.RtsCommand, 3);
}

TEST(CableTest, DrivesOnlyAPortItHoldsItself) {
    constexpr uint32_t self = 100, other = 200;
    const struct {
        bool ownChannel;
        const char* status;
        uint32_t owner;
        CableTestMode mode;
    } rows[] = {
        {true, "Available", 0, CableTestMode::kDrive},
        {true, "Available", self, CableTestMode::kDrive},  // the scan's own handle found as owner
        {false, "In-Use", other, CableTestMode::kReadOnly},
        {false, "In-Use", 0, CableTestMode::kReadOnly},    // held, owner not found
        {false, "", other, CableTestMode::kReadOnly},      // a handle of another process
        {false, "Disconnected", 0, CableTestMode::kDrive}, // no handle: nothing reaches a port
    };
    for (const auto& row : rows)
        EXPECT_EQ(ChooseCableTestMode(row.ownChannel, row.status, row.owner, self), row.mode)
            << row.ownChannel << " " << row.status << " " << row.owner;
}

TEST(ModemLines, AFailedStatusCallRepeatsThePreviousWord) {
    PortRecord record = {};
    record.ModemStatus = 0xF0;
    SerialPort_Get_Dsr(&record);
    SerialPort_Get_Cts(&record);
    SerialPort_Get_Ring(&record);
    SerialPort_Get_ReceiveLineSignalDetect(&record);
    EXPECT_EQ(record.ModemStatus, 0xF0u);
    EXPECT_EQ(record.DataSendReady, 32);
    EXPECT_EQ(record.ClearToSend, 16);
    EXPECT_EQ(record.RING, 64);
    EXPECT_EQ(record.ReceiveLineDetect, 128);
    SerialPort_Clear_Dtr(&record);
    SerialPort_Clear_Rts(&record);
    EXPECT_EQ(record.DtrCommand, 6);
    EXPECT_EQ(record.RtsCommand, 4);
}

TEST(NullRecord, EveryExportOfTheStepsGivesNine) {
    using Export = int32_t(WINAPI*)(PortRecord*);
    const Export exports[] = {SerialPort_Get_FlowControl, SerialPort_Get_Type, SerialPort_Get_Program,
                              SerialPort_Get_Dsr, SerialPort_Get_Cts, SerialPort_Get_Ring,
                              SerialPort_Get_ReceiveLineSignalDetect, SerialPort_Set_Dtr, SerialPort_Clear_Dtr,
                              SerialPort_Set_Rts, SerialPort_Clear_Rts};
    for (Export call : exports) EXPECT_EQ(call(nullptr), kNullArgumentResult);
}
