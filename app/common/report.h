#pragma once
// The diagnostic report "SerialPort.Kestrune": operating-system and program information,
// the process environment and one table line per scanned port, rewritten in the current
// folder at the end of every refresh. ANSI text, CR LF line ends, print zones of 14.
//
// The text is built by pure functions (below) from the records, an OsInfoRecord and the
// environment listing; WriteDiagnosticReport only gathers those and writes the file.
#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "scan/port_identity.h"
#include "record/port_record.h"
#include "support/number_text.h"
#include "sysinfo/os_record.h"

namespace kestrune {

constexpr const char kReportFileName[] = "SerialPort.Kestrune";
constexpr std::size_t kPrintZone = 14;

// Gathers the OS, build-tool and program information and the environment (only Windows'
// plain variables' values unless the user asked for the whole environment), builds the
// report and puts it in place of "SerialPort.Kestrune" in the current folder in one step
// (written beside it, then swapped in). When the current folder cannot be written (a
// program started in its install folder) the report goes to the folder Kestrune in
// %LOCALAPPDATA% instead. Never throws. Returns ERROR_SUCCESS with *writtenTo set to the file's full path,
// or the Win32 error that stopped it (the file held open by another program, a full
// disk, ...); on failure the previous report is kept whole.
// wholeEnvironment: every environment value, as a user asks for explicitly (a console
// option); the user's setting (WholeEnvironmentAsked) asks for the same.
DWORD WriteDiagnosticReport(const std::vector<PortRecord>& records, std::string* writtenTo = nullptr,
                            bool wholeEnvironment = false) noexcept;

// The status-bar text for a report that could not be written: " Report not written: " and
// the system's message for error (without its line end).
std::string ReportFailureText(DWORD error);
// The system's message for error, without its line end ("error N" when it has none).
std::string ReportFailureReason(DWORD error);
// The status-bar text for a report written elsewhere than the current folder: " Report: " path.
std::string ReportElsewhereText(const std::string& path);

// Same, written to the given path (relative names resolve against the current folder).
DWORD WriteDiagnosticReportTo(const char* path, const std::vector<PortRecord>& records,
                              bool wholeEnvironment = false) noexcept;

// Full path of the report in the current folder, for messages such as "report: <path>".
std::string DiagnosticReportPath();

// Where files go when the current folder cannot be written: %LOCALAPPDATA%\Kestrune\ (with
// its final backslash), created when missing; empty when there is no such folder.
std::string FallbackReportFolder();

// Whether a failure to create a file says the folder cannot be written (rather than that
// the file is held open or the disk is full): the failures a fallback folder mends.
bool FolderNotWritable(DWORD error);

// The user's choice to put the whole environment into the report: the DWORD value
// ReportWholeEnvironment under HKEY_CURRENT_USER\Software\Kestrune, not 0. Unset, 0 or
// unreadable: only the plain system variables show their values.
constexpr char kSettingsKeyPath[] = "Software\\Kestrune";
constexpr char kWholeEnvironmentValueName[] = "ReportWholeEnvironment";
bool WholeEnvironmentAsked();

// ---- Pure text building -------------------------------------------------------------

// Number forms (SignedDecimal, PrintedNumber, TrimmedDecimal, StopBitsText): support/number_text.h.

// A line of print zones: Zone(item) appends the item and pads with blanks up to the next
// multiple of 14 counted from the line start (a full 14 when it ends exactly on one);
// Add(item) appends without a zone step.
class ZoneLine {
public:
    ZoneLine& Zone(std::string_view item);
    ZoneLine& Add(std::string_view item);
    const std::string& text() const { return text_; }

private:
    std::string text_;
};

// The report's lines without their CR LF, block by block.
std::vector<std::string> OsInfoReportLines(const OsInfoRecord& info);
std::string PortTableHeader();
std::string PortTableUnderline();
// The program folder, name and version stay empty where the owner is the scanning process
// (ownProcessId; the one-argument form uses the running process's id).
std::string PortTableLine(const PortRecord& record);
std::string PortTableLine(const PortRecord& record, uint32_t ownProcessId);

// The whole file's text, CR LF line ends included.
std::string BuildDiagnosticReport(const std::vector<PortRecord>& records, const OsInfoRecord& info,
                                  std::string_view environmentListing);
// The same text followed by the hardware block (app/common/identity_view.h), as the file holds it.
std::string BuildDiagnosticReport(const std::vector<PortRecord>& records, const OsInfoRecord& info,
                                  std::string_view environmentListing, const HardwareSnapshot& hardware);

}  // namespace kestrune
