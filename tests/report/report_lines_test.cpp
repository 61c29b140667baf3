// The report's text: expected lines worked out by hand from the report's layout rules
// (zones of 14 counted from the line start, a full zone after an item ending on one).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "app/common/report.h"
#include "support/fixed_text.h"

namespace kestrune {
namespace {

std::string Blanks(std::size_t n) { return std::string(n, ' '); }

OsInfoRecord WindowsSeven() {
    OsInfoRecord info{};
    info.dwMajorVersion = 6;
    info.dwMinorVersion = 1;
    info.dwBuildNumber = 7601;
    info.dwPlatformId = 2;
    info.OsLong = 12;
    SetText(info.OsString, "Windows 7");
    info.OsFamilyLong = 2;
    SetText(info.OsFamilyString, "NT family");
    info.BuildNumber = 7601;
    SetText(info.ServicePack, "Service Pack 1");
    info.OsIs64Bit = 8664;
    SetText(info.RtVersionText, "12.02");
    SetText(info.RevisionText, "&H1000");
    SetText(info.CompiledAs, "EXE");
    info.ProgramInstance = 4194304;
    SetText(info.ProgramPath, "C:/Tools/");
    SetText(info.ProgramName, "app.exe");
    info.ParentInstance = -2;
    SetText(info.ParentPath, "C:/Tools/");
    SetText(info.ParentName, "app.exe");
    return info;
}

TEST(NumberForms, AsTheReportWritesThem) {
    EXPECT_EQ(SignedDecimal(0), " 0");
    EXPECT_EQ(SignedDecimal(6), " 6");
    EXPECT_EQ(SignedDecimal(-6), "-6");
    EXPECT_EQ(PrintedNumber(0), " 0 ");
    EXPECT_EQ(PrintedNumber(-1), "-1 ");
    EXPECT_EQ(PrintedNumber(4294967295u), " 4294967295 ");
    EXPECT_EQ(TrimmedDecimal(9600), "9600");
    EXPECT_EQ(TrimmedDecimal(-3), "-3");
}

TEST(NumberForms, StopBits) {
    EXPECT_EQ(StopBitsText(10000), "1");
    EXPECT_EQ(StopBitsText(15000), "1.5");
    EXPECT_EQ(StopBitsText(20000), "2");
    EXPECT_EQ(StopBitsText(0), "0");
    EXPECT_EQ(StopBitsText(12345), "1.2345");
    EXPECT_EQ(StopBitsText(10500), "1.05");
    EXPECT_EQ(StopBitsText(-15000), "-1.5");
    EXPECT_EQ(StopBitsText(INT64_MIN), "-922337203685477.5808");
}

TEST(ZoneLine, PaddingToTheNextMultipleOfFourteen) {
    EXPECT_EQ(ZoneLine().Zone("OsString = ").text(), "OsString = " + Blanks(3));
    EXPECT_EQ(ZoneLine().Zone("").text(), Blanks(14));
    EXPECT_EQ(ZoneLine().Zone("ABCDEFGHIJKLMN").text(), "ABCDEFGHIJKLMN" + Blanks(14));
    EXPECT_EQ(ZoneLine().Zone("ABCDEFGHIJKLMNO").text(), "ABCDEFGHIJKLMNO" + Blanks(13));
    EXPECT_EQ(ZoneLine().Zone("A").Zone("B").Add("C").text(), "A" + Blanks(13) + "B" + Blanks(13) + "C");
    EXPECT_EQ(ZoneLine().Zone(std::string(27, 'x')).Zone("y").text(), std::string(27, 'x') + " y" + Blanks(13));
}

TEST(OsInfoLines, WindowsSevenRecord) {
    std::vector<std::string> expected = {
        "***   O p e r a t i n g   S y s t e m   I n f o r m a t i o n :   ***",
        "OsString = " + Blanks(3) + "Windows 7",  // text starts at column 15
        "OsLong = " + Blanks(5) + " 12",
        "     dwMajorVersion = " + Blanks(6) + " 6",  // the value 6 starts at column 29
        "     dwMinorVersion = " + Blanks(6) + " 1",
        "OsFamilyString = " + Blanks(11) + "NT family",
        "OsFamilyLong = " + Blanks(13) + " 2",
        "     dwPlatformId = " + Blanks(8) + " 2",
        "     dwBuildNumber = " + Blanks(7) + " 7601",
        "Service Pack =      Service Pack 1",
        "Os Is 64 bit =       8664",
        "",
        "",
        "RT Version =      12.02",
        "Revision =      &H1000",
        "Compiled As      EXE",
        "",
        "",
        "Program Instance =       4194304",
        "Program Path =      C:/Tools/",
        "Program Name =      app.exe",
        "Program PARENT Instance =      -2",
        "Program PARENT Path =      C:/Tools/",
        "Program PARENT Name =      app.exe",
    };
    EXPECT_EQ(OsInfoReportLines(WindowsSeven()), expected);
}

TEST(OsInfoLines, OptionalLines) {
    OsInfoRecord info = WindowsSeven();
    SetText(info.ServicePack, "");
    SetText(info.BuildName, "OSR2");
    SetText(info.ProductDescription, "Serial diagnostics");
    SetText(info.ParentLegalCopyRight, "(C) Somebody");
    std::vector<std::string> lines = OsInfoReportLines(info);
    ASSERT_EQ(lines.size(), 26u);
    EXPECT_EQ(lines[9], "Build Name =      OSR2");
    // No service pack line; the 64-bit line is always there.
    EXPECT_EQ(lines[10], "Os Is 64 bit =       8664");
    EXPECT_EQ(lines[24], "Product Description =      Serial diagnostics");
    EXPECT_EQ(lines[25], "ParentLegal CopyRight =      (C) Somebody");
    for (const std::string& line : lines) EXPECT_EQ(line.find("Service Pack"), std::string::npos);
}

// Column of each header label, by hand: 14 per zone, "Attached Device" (15), "Attached
// Version" (16) and "TXContinueOnXoff" (16) push past one zone; "DsrSensitivity" (14) ends
// on a zone boundary and is followed by a full zone of blanks.
const std::vector<std::pair<std::size_t, std::string>> kHeaderColumns = {
    {0, "Port"},          {14, "Baud"},          {28, "Parity"},          {42, "DataBits"},
    {56, "StopBits"},     {70, "Status"},        {84, "Device"},          {112, "Type"},
    {126, "Path"},        {154, "Name"},         {168, "Version"},        {182, "Cable"},
    {196, "Attached Device"}, {224, "Attached Version"}, {252, "Attached Date"}, {266, "ProcessId"},
    {280, "ObjHandle"},   {294, "ObjAddress"},   {308, "sObjName"},       {322, "DupProcessID"},
    {336, "DupObjHandle"}, {350, "DupObjAddress"}, {364, "Binary"},       {378, "Parity"},
    {392, "OutxDtsFlow"}, {406, "OutxDsrFlow"},  {420, "DtrControl"},     {434, "DsrSensitivity"},
    {462, "TXContinueOnXoff"}, {490, "OutX"},    {504, "InX"},            {518, "ErrorChar"},
    {532, "NULL"},        {546, "RtsControl"},   {560, "AbortOnError"},   {574, "Dummy2"},
    {588, "DTR"},         {602, "DSR"},          {616, "RTS"},            {630, "CTS"},
};

std::string LineFromColumns(const std::vector<std::pair<std::size_t, std::string>>& columns, std::size_t length) {
    std::string line(length, ' ');
    for (const auto& [column, text] : columns) line.replace(column, text.size(), text);
    return line;
}

TEST(PortTable, Header) {
    std::string header = PortTableHeader();
    EXPECT_EQ(header, LineFromColumns(kHeaderColumns, 644));
    EXPECT_EQ(header.substr(434, 28), "DsrSensitivity" + Blanks(14));
    EXPECT_EQ(header.substr(84, 28), "Device" + Blanks(22));  // the empty zone after "Device"
}

TEST(PortTable, Underline) {
    std::vector<std::pair<std::size_t, std::string>> bars;
    for (const auto& [column, label] : kHeaderColumns) bars.emplace_back(column, std::string(label.size(), '_'));
    std::string underline = PortTableUnderline();
    EXPECT_EQ(underline, LineFromColumns(bars, 644));
    EXPECT_EQ(underline.substr(196, 16), std::string(15, '_') + " ");  // "Attached Device"
    EXPECT_EQ(underline.substr(363, 8), " ______ ");                    // "Binary"
}

TEST(PortTable, OneZeroRecord) {
    PortRecord zero{};
    std::string expected = Blanks(14)                       // PortName
                           + "0" + Blanks(13)               // Baud
                           + Blanks(14)                     // ParityName
                           + "0" + Blanks(13)               // DataBits
                           + "0" + Blanks(13)               // StopBits
                           + Blanks(14 * 6)                 // Status .. ProgramVersion
                           + "Cross-Over" + Blanks(4)       // CableKind 0
                           + Blanks(14 * 3)                 // Attached device, version, date
                           + " 0 " + Blanks(11)             // ProcessId shown, not hidden
                           + " 0 " + Blanks(11) + " 0 " + Blanks(11)  // ObjHandle, ObjAddress
                           + Blanks(14)                     // sObjName
                           + " 0 " + Blanks(11) + " 0 " + Blanks(11) + " 0 " + Blanks(11);
    for (int bit = 0; bit < 14; ++bit) expected += " 0" + Blanks(12);
    expected += "%OFF" + Blanks(10) + "%OFF" + Blanks(10);  // no DTR or RTS command
    EXPECT_EQ(PortTableLine(zero), expected);
}

PortRecord FullRecord() {
    PortRecord r{};
    SetText(r.PortName, "COM1");
    r.Baud = 115200;
    SetText(r.ParityName, "None");
    r.DataBits = 8;
    r.StopBits = 20000;
    SetText(r.Status, "In-Use");
    SetText(r.DeviceName, "\\Device\\Serial0");
    SetText(r.DeviceType, "Serial");
    SetText(r.ProgramFolder, "C:/x/");
    SetText(r.ProgramName, "t.exe");
    SetText(r.ProgramVersion, "1.0");
    r.CableKind = 1;
    SetText(r.AttachedDevice, "Modem");
    r.ProcessId = 1234;
    r.ObjHandle = 0xFFFFFFFFu;
    r.ObjAddress = 0;
    SetText(r.sObjName, "\\Device\\Serial0");
    r.DupProcessID = 8;
    r.DupObjHandle = 44;
    r.DupObjAddress = 0;
    r.FlowControlBits = (1u << kFlowBinary) | (1u << kFlowRtsControl) | (1u << kFlowDummy2);
    r.DtrCommand = 5;
    r.DataSendReady = 1;
    r.RtsCommand = 4;
    r.ClearToSend = 0;
    return r;
}

TEST(PortTable, FullRecord) {
    std::string expected = "COM1" + Blanks(10) + "115200" + Blanks(8) + "None" + Blanks(10) + "8" + Blanks(13) +
                           "2" + Blanks(13)                          // StopBits 20000
                           + "In-Use" + Blanks(8)
                           + "\\Device\\Serial0" + Blanks(13)        // 15 characters: into the next zone
                           + "Serial" + Blanks(8) + "C:/x/" + Blanks(9) + "t.exe" + Blanks(9) + "1.0" + Blanks(11) +
                           "Pass-Through" + Blanks(2) + "Modem" + Blanks(9) + Blanks(14) + Blanks(14) +
                           " 1234 " + Blanks(8) + " 4294967295 " + Blanks(2) + " 0 " + Blanks(11) +
                           "\\Device\\Serial0" + Blanks(13) + " 8 " + Blanks(11) + " 44 " + Blanks(10) + " 0 " +
                           Blanks(11);
    const char* bits[14] = {" 1", " 0", " 0", " 0", " 0", " 0", " 0", " 0", " 0", " 0", " 0", " 1", " 0", " 1"};
    for (const char* bit : bits) expected += std::string(bit) + Blanks(12);
    expected += "%SETDTR" + Blanks(7) + "%ON" + Blanks(11) + "%CLRRTS" + Blanks(7) + "%OFF" + Blanks(10);
    EXPECT_EQ(PortTableLine(FullRecord()), expected);
}

TEST(PortTable, UnknownCableAndNoCommandsDropTheirZones) {
    PortRecord valid = FullRecord();
    PortRecord odd = FullRecord();
    odd.CableKind = 2;
    odd.DtrCommand = 0;
    odd.RtsCommand = 0;
    std::string validLine = PortTableLine(valid), oddLine = PortTableLine(odd);
    EXPECT_EQ(validLine.size() - oddLine.size(), 3u * 14u);
    // "Modem" moves from the cable's zone after it into the cable's own zone.
    EXPECT_EQ(validLine.find("Modem"), 182u);
    EXPECT_EQ(oddLine.find("Modem"), 168u);
    EXPECT_EQ(oddLine.find("Pass-Through"), std::string::npos);
    EXPECT_EQ(oddLine.substr(oddLine.size() - 28), "%ON" + Blanks(11) + "%OFF" + Blanks(10));

    PortRecord unknown = FullRecord();
    unknown.CableKind = -1;
    unknown.DtrCommand = 6;
    unknown.RtsCommand = 3;
    std::string unknownLine = PortTableLine(unknown);
    EXPECT_EQ(unknownLine.find("Unknown"), 168u);
    EXPECT_NE(unknownLine.find("%CLRDTR" + Blanks(7) + "%ON" + Blanks(11) + "%SETRTS"), std::string::npos);
}

TEST(PortTable, HeldPortNotTestedAndOwnProgramLeftOut) {
    PortRecord held = FullRecord();
    held.CableKind = -1;
    held.CableResponse = 0;
    held.DtrCommand = 0;
    held.RtsCommand = 0;
    const std::string heldLine = PortTableLine(held, 99);
    EXPECT_EQ(heldLine.find("Not Tested"), 168u);
    EXPECT_EQ(heldLine.find("%SETDTR"), std::string::npos);
    EXPECT_EQ(heldLine.find("%CLRRTS"), std::string::npos);

    PortRecord own = FullRecord();  // ProcessId 1234: the scanning process itself
    const std::string ownLine = PortTableLine(own, 1234), otherLine = PortTableLine(own, 99);
    EXPECT_NE(otherLine.find("C:/x/" + Blanks(9) + "t.exe" + Blanks(9) + "1.0"), std::string::npos);
    for (const char* item : {"C:/x/", "t.exe", "1.0 "}) EXPECT_EQ(ownLine.find(item), std::string::npos) << item;
    EXPECT_EQ(ownLine.size(), otherLine.size());  // the three zones stay, empty
    EXPECT_EQ(ownLine.find("Pass-Through"), otherLine.find("Pass-Through"));
}

// A port the scan itself holds names no owner: its process, handle and duplicate's process
// zones stay empty, as its path and name do; the zones themselves stay.
TEST(PortTable, OwnPortShowsNoOwnerNumbers) {
    const PortRecord own = FullRecord();  // ProcessId 1234
    const std::string ownLine = PortTableLine(own, 1234), otherLine = PortTableLine(own, 99);
    EXPECT_EQ(ownLine.size(), otherLine.size());
    const struct {
        std::string text;  // as the line of another program's port has it
        bool kept;         // the own port's line has it at the same place
    } zones[] = {{" 1234 ", false},
                 {" 4294967295 ", false},
                 {" 8 " + Blanks(11) + " 44 ", false},  // DupProcessID, then DupObjHandle
                 {" 44 " + Blanks(10) + " 0 ", true},
                 {"\\Device\\Serial0" + Blanks(13) + " ", true}};
    for (const auto& zone : zones) {
        SCOPED_TRACE(zone.text);
        const size_t at = otherLine.find(zone.text);
        ASSERT_NE(at, std::string::npos);
        EXPECT_EQ(ownLine.substr(at, zone.text.size()) == zone.text, zone.kept);
    }
}

TEST(PortTable, StopBitsForms) {
    PortRecord r{};
    for (auto [stored, text] : std::vector<std::pair<int64_t, std::string>>{{10000, "1"}, {15000, "1.5"}, {20000, "2"}}) {
        r.StopBits = stored;
        EXPECT_EQ(PortTableLine(r).substr(56, 14), text + Blanks(14 - text.size()));
    }
}

TEST(PortTable, UnterminatedTextStaysInItsField) {
    PortRecord r{};
    std::memset(r.PortName, 'P', sizeof r.PortName);  // no NUL: read as 259 characters
    std::string line = PortTableLine(r);
    EXPECT_EQ(line.find_first_not_of('P'), 259u);
    EXPECT_EQ(line.substr(259, 7), Blanks(7));  // 259 + 7 = 266, the next multiple of 14
    EXPECT_EQ(line.substr(266, 1), "0");
}

TEST(WholeReport, BlocksInOrderWithCrLf) {
    std::vector<PortRecord> records(2);
    SetText(records[1].PortName, "COM2");
    std::string text = BuildDiagnosticReport(records, WindowsSeven(), "A=1\r\nB=2\r\n\r\n");
    const std::string expectedMiddle =
        "Program PARENT Name =      app.exe\r\n"
        "\r\n"
        "\r\n"
        "Environment\r\n"
        "A=1\r\n"
        "B=2\r\n"
        "\r\n"
        "\r\n"  // the item's own line end
        "\r\n"
        "\r\n"
        "Port          Baud";
    EXPECT_NE(text.find(expectedMiddle), std::string::npos);
    EXPECT_EQ(text.rfind("***   O p e r a t i n g", 0), 0u);
    EXPECT_EQ(text.find("Port          Baud"), text.find("Environment") + 31);
    // Header, underline and two port lines close the file, each with CR LF.
    std::size_t table = text.find("Port          Baud");
    std::string expectedTable = PortTableHeader() + "\r\n" + PortTableUnderline() + "\r\n" + PortTableLine(records[0]) +
                                "\r\n" + PortTableLine(records[1]) + "\r\n";
    EXPECT_EQ(text.substr(table), expectedTable);
    // Only CR LF line ends.
    for (std::size_t i = 0; i < text.size(); ++i)
        if (text[i] == '\n') { ASSERT_TRUE(i > 0 && text[i - 1] == '\r') << i; }
}

TEST(WholeReport, EmptyArrayStillHasHeaderAndUnderline) {
    std::string text = BuildDiagnosticReport({}, OsInfoRecord{}, "\r\n");
    std::string tail = PortTableHeader() + "\r\n" + PortTableUnderline() + "\r\n";
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
}

}  // namespace
}  // namespace kestrune
