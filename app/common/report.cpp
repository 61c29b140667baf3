#include "app/common/report.h"

#include "app/common/shown_record.h"

#include "support/file_io.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "app/common/identity_view.h"
#include "exports/system_info_exports.h"
#include "registry/key_reads.h"
#include "scan/identity_reader.h"
#include "support/fixed_text.h"
#include "support/handles.h"
#include "sysinfo/environment.h"

namespace kestrune {
namespace {

const char kHeading[] = "***   O p e r a t i n g   S y s t e m   I n f o r m a t i o n :   ***";
const char kFiveBlanks[] = "     ";

// The port table's column labels; an empty label is the empty zone after "Device" and
// after "Path".
const char* const kTableLabels[] = {
    "Port", "Baud", "Parity", "DataBits", "StopBits", "Status", "Device", "", "Type", "Path", "",
    "Name", "Version", "Cable", "Attached Device", "Attached Version", "Attached Date", "ProcessId",
    "ObjHandle", "ObjAddress", "sObjName", "DupProcessID", "DupObjHandle", "DupObjAddress",
    "Binary", "Parity", "OutxDtsFlow", "OutxDsrFlow", "DtrControl", "DsrSensitivity",
    "TXContinueOnXoff", "OutX", "InX", "ErrorChar", "NULL", "RtsControl", "AbortOnError", "Dummy2",
    "DTR", "DSR", "RTS", "CTS",
};

std::string Labelled(const char* label, std::string_view value) {
    return std::string(label) + kFiveBlanks + std::string(value);
}

std::string ZonedLine(std::string_view label, std::string_view value) {
    ZoneLine line;
    line.Zone(label).Add(value);
    return line.text();
}

}  // namespace


ZoneLine& ZoneLine::Zone(std::string_view item) {
    text_.append(item);
    text_.append(kPrintZone - text_.size() % kPrintZone, ' ');
    return *this;
}

ZoneLine& ZoneLine::Add(std::string_view item) {
    text_.append(item);
    return *this;
}

std::vector<std::string> OsInfoReportLines(const OsInfoRecord& info) {
    std::vector<std::string> lines;
    lines.push_back(kHeading);
    lines.push_back(ZonedLine("OsString = ", Text(info.OsString)));
    lines.push_back(ZonedLine("OsLong = ", SignedDecimal(info.OsLong)));
    lines.push_back(ZonedLine("     dwMajorVersion = ", SignedDecimal(info.dwMajorVersion)));
    lines.push_back(ZonedLine("     dwMinorVersion = ", SignedDecimal(info.dwMinorVersion)));
    lines.push_back(ZonedLine("OsFamilyString = ", Text(info.OsFamilyString)));
    lines.push_back(ZonedLine("OsFamilyLong = ", SignedDecimal(info.OsFamilyLong)));
    lines.push_back(ZonedLine("     dwPlatformId = ", SignedDecimal(info.dwPlatformId)));
    lines.push_back(ZonedLine("     dwBuildNumber = ", SignedDecimal(info.dwBuildNumber)));
    if (!TextEmpty(info.BuildName)) lines.push_back(Labelled("Build Name = ", Text(info.BuildName)));
    if (!TextEmpty(info.ServicePack)) lines.push_back(Labelled("Service Pack = ", Text(info.ServicePack)));
    lines.push_back(Labelled("Os Is 64 bit = ", SignedDecimal(info.OsIs64Bit)));
    lines.push_back("");
    lines.push_back("");
    lines.push_back(Labelled("RT Version = ", Text(info.RtVersionText)));
    lines.push_back(Labelled("Revision = ", Text(info.RevisionText)));
    lines.push_back(Labelled("Compiled As ", Text(info.CompiledAs)));
    lines.push_back("");
    lines.push_back("");
    lines.push_back(Labelled("Program Instance = ", SignedDecimal(info.ProgramInstance)));
    lines.push_back(Labelled("Program Path = ", Text(info.ProgramPath)));
    lines.push_back(Labelled("Program Name = ", Text(info.ProgramName)));
    lines.push_back(Labelled("Program PARENT Instance = ", SignedDecimal(info.ParentInstance)));
    lines.push_back(Labelled("Program PARENT Path = ", Text(info.ParentPath)));
    lines.push_back(Labelled("Program PARENT Name = ", Text(info.ParentName)));

    static const char* const kVersionLabels[16] = {
        "Product Name = ", "Product Version = ", "Product Description = ", "FileVersion = ",
        "Internal Name = ", "Company Name = ", "Legal CopyRight = ", "Original File Name = ",
        "ParentProduct Name = ", "ParentProduct Version = ", "ParentProduct Description = ",
        "ParentFileVersion = ", "ParentInternal Name = ", "ParentCompany Name = ",
        "ParentLegal CopyRight = ", "ParentOriginal File Name = ",
    };
    // The sixteen version strings are consecutive fields of the record.
    const char(*strings)[kInfoTextSize] = &info.ProductName;
    for (int i = 0; i < 16; ++i)
        if (!TextEmpty(strings[i])) lines.push_back(Labelled(kVersionLabels[i], Text(strings[i])));
    return lines;
}

std::string PortTableHeader() {
    ZoneLine line;
    for (const char* label : kTableLabels) line.Zone(label);
    return line.text();
}

std::string PortTableUnderline() {
    ZoneLine line;
    for (const char* label : kTableLabels) line.Zone(std::string(std::strlen(label), '_'));
    return line.text();
}

std::string PortTableLine(const PortRecord& r) { return PortTableLine(r, GetCurrentProcessId()); }

std::string PortTableLine(const PortRecord& r, uint32_t ownProcessId) {
    const bool program = ShowsOwnerProgram(r, ownProcessId);
    ZoneLine line;
    line.Zone(Text(r.PortName))
        .Zone(TrimmedDecimal(r.Baud))
        .Zone(Text(r.ParityName))
        .Zone(TrimmedDecimal(r.DataBits))
        .Zone(StopBitsText(r.StopBits))
        .Zone(Text(r.Status))
        .Zone(Text(r.DeviceName))
        .Zone(Text(r.DeviceType))
        .Zone(program ? Text(r.ProgramFolder) : "")
        .Zone(program ? Text(r.ProgramName) : "")
        .Zone(program ? Text(r.ProgramVersion) : "");
    if (const auto cable = ShownCableText(r)) line.Zone(*cable);  // otherwise no item and no zone step
    line.Zone(Text(r.AttachedDevice))
        .Zone(Text(r.AttachedVersion))
        .Zone(Text(r.AttachedDate))
        .Zone(program ? PrintedNumber(static_cast<int32_t>(r.ProcessId)) : std::string())
        .Zone(program ? PrintedNumber(r.ObjHandle) : std::string())
        .Zone(PrintedNumber(r.ObjAddress))
        .Zone(Text(r.sObjName))
        .Zone(program ? PrintedNumber(static_cast<int32_t>(r.DupProcessID)) : std::string())
        .Zone(PrintedNumber(r.DupObjHandle))
        .Zone(PrintedNumber(r.DupObjAddress));
    for (uint32_t bit = 0; bit < kFlowBitCount; ++bit) line.Zone(SignedDecimal((r.FlowControlBits >> bit) & 1u));
    if (r.DtrCommand == 5) line.Zone("%SETDTR");
    else if (r.DtrCommand == 6) line.Zone("%CLRDTR");
    line.Zone(r.DataSendReady != 0 ? "%ON" : "%OFF");
    if (r.RtsCommand == 3) line.Zone("%SETRTS");
    else if (r.RtsCommand == 4) line.Zone("%CLRRTS");
    line.Zone(r.ClearToSend != 0 ? "%ON" : "%OFF");
    return line.text();
}

std::string BuildDiagnosticReport(const std::vector<PortRecord>& records, const OsInfoRecord& info,
                                  std::string_view environmentListing) {
    std::string text;
    auto line = [&text](std::string_view content) { text.append(content).append("\r\n"); };
    for (const std::string& osLine : OsInfoReportLines(info)) line(osLine);
    line("");
    line("");
    line("Environment");
    line(environmentListing);
    line("");
    line("");
    line(PortTableHeader());
    line(PortTableUnderline());
    for (const PortRecord& record : records) line(PortTableLine(record));
    return text;
}

std::string BuildDiagnosticReport(const std::vector<PortRecord>& records, const OsInfoRecord& info,
                                  std::string_view environmentListing, const HardwareSnapshot& hardware) {
    std::string text = BuildDiagnosticReport(records, info, environmentListing);
    for (const std::string& line : HardwareReportLines(records, hardware)) text.append(line).append("\r\n");
    return text;
}

bool WholeEnvironmentAsked() {
    DWORD number = 0;
    return ReadValueNumber(HKEY_CURRENT_USER, kSettingsKeyPath, kWholeEnvironmentValueName, number) == ERROR_SUCCESS &&
           number != 0;
}

DWORD WriteDiagnosticReportTo(const char* path, const std::vector<PortRecord>& records,
                              bool wholeEnvironment) noexcept {
    if (!path) return ERROR_INVALID_PARAMETER;
    try {
        OsInfoRecord info{};
        GetWindowsOs(&info);
        GetCompiler(&info);
        GetProgram(&info);
        // The whole text exists before the file is touched, and the file is replaced in one
        // step: a report that cannot be built or written leaves the previous one as it was.
        // It is written to be sent to others: only plain system values, unless asked.
        const std::string environment = EnvironmentListing(!wholeEnvironment && !WholeEnvironmentAsked());
        std::string text = BuildDiagnosticReport(records, info, environment, ReadHardwareSnapshot());

        return ReplaceFileContent(path, text);
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    } catch (...) {
        return ERROR_GEN_FAILURE;
    }
}

bool FolderNotWritable(DWORD error) {
    return error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT || error == ERROR_NETWORK_ACCESS_DENIED;
}

std::string FallbackReportFolder() {
    char base[MAX_PATH * 2];
    const DWORD got = GetEnvironmentVariableA("LOCALAPPDATA", base, sizeof base);
    if (got == 0 || got >= sizeof base) return std::string();
    std::string folder(base, got);
    if (folder.back() != '\\') folder += '\\';
    folder += "Kestrune\\";
    // An existing folder is fine; any other failure shows when the file is written.
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

namespace {

// Whether a new file can be made in the folder of path: one is created under an
// unpredictable name and removed again. Only a failure that says the folder is closed to
// this user counts; anything else is left for the real write to report.
bool FolderTakesNewFiles(const char* path) {
    std::string fresh;
    UniqueHandle probe = CreateNewBeside(path, fresh);
    if (!probe) return !FolderNotWritable(GetLastError());
    probe.reset();
    DeleteFileA(fresh.c_str());
    return true;
}

}  // namespace

DWORD WriteDiagnosticReport(const std::vector<PortRecord>& records, std::string* writtenTo,
                            bool wholeEnvironment) noexcept {
    try {
        std::string path = DiagnosticReportPath();
        if (!FolderTakesNewFiles(kReportFileName)) {
            const std::string folder = FallbackReportFolder();
            if (!folder.empty()) path = folder + kReportFileName;
        }
        const DWORD error = WriteDiagnosticReportTo(path.c_str(), records, wholeEnvironment);
        if (error == ERROR_SUCCESS && writtenTo) *writtenTo = path;
        return error;
    } catch (...) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}

std::string ReportElsewhereText(const std::string& path) { return " Report: " + path; }

std::string ReportFailureReason(DWORD error) {
    char message[512];
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                  message, sizeof message, nullptr);
    while (length > 0 && (message[length - 1] == '\r' || message[length - 1] == '\n' || message[length - 1] == ' '))
        --length;
    return length > 0 ? std::string(message, length) : "error " + std::to_string(error);
}

std::string ReportFailureText(DWORD error) { return " Report not written: " + ReportFailureReason(error); }

std::string DiagnosticReportPath() {
    char buffer[MAX_PATH * 4];
    DWORD got = GetFullPathNameA(kReportFileName, sizeof buffer, buffer, nullptr);
    if (got == 0 || got >= sizeof buffer) return kReportFileName;
    return std::string(buffer, got);
}

}  // namespace kestrune
