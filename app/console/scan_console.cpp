#include "app/console/scan_console.h"

#include <algorithm>
#include <exception>

#include "app/common/found_ports.h"
#include "app/common/report.h"
#include "app/console/console_stop.h"
#include "app/console/console_writer.h"
#include "app/console/port_change_wait.h"
#include "app/console/port_listing.h"
#include "app/console/port_watch.h"
#include "app/console/record_values.h"
#include "app/console/release_output.h"
#include "app/console/reservation_release.h"
#include "app/console/scan_json.h"
#include "app/console/scan_options.h"
#include "app/console/scan_table.h"
#include "app/console/scan_tsv.h"
#include "scan/discovery.h"
#include "scan/identity_reader.h"
#include "scan/owner_process.h"
#include "scan/scan_driver.h"
#include "scan/status_probe.h"
#include "support/fixed_text.h"
#include "support/utf8_text.h"

namespace kestrune {
namespace {

// The run's two streams, each written the one way chosen at the start (console_writer.h).
// Every text is UTF-8; JSON for an old code page is written with ASCII escapes.
class Streams {
public:
    explicit Streams(OutputEncoding encoding, bool json = false)
        : out_(GetStdHandle(STD_OUTPUT_HANDLE), encoding), err_(GetStdHandle(STD_ERROR_HANDLE), encoding),
          asciiJson_(json && encoding != OutputEncoding::kUtf8) {}
    // False when standard output is gone.
    bool Emit(const std::string& text) const { return out_.Write(asciiJson_ ? AsciiJson(text) : text); }
    void Line(const std::string& line) const { err_.Write(line + "\n"); }
    void Complain(const std::string& line) const { Line("kestrune-scan: " + line); }

private:
    OutputWriter out_, err_;
    bool asciiJson_;
};

std::string Render(const std::vector<ConsoleRow>& rows, RowSource source, OutputFormat format, bool compactJson,
                   const std::vector<ComReservation>* reservations = nullptr) {
    switch (format) {
        case OutputFormat::kTsv: return RenderTsv(rows, source);
        case OutputFormat::kJson:
            return RenderJson(rows, source, compactJson ? -1 : 2, reservations, CurrentDocumentHeader());
        case OutputFormat::kTable: break;
    }
    return RenderTable(rows, source) + (reservations ? ReservationsBlock(*reservations) : std::string());
}

// Each name in missing on standard error as "COM99: no such port".
void ComplainMissing(const std::vector<std::string>& missing, const Streams& io) {
    for (const std::string& name : missing) io.Complain(AnsiToUtf8(name) + ": no such port");
}

int RunScan(const ScanOptions& options, const Streams& io) {
    std::vector<PortRecord> records;
    const std::vector<DiscoveredPort> known = options.ports.empty() ? std::vector<DiscoveredPort>() : DiscoverPorts();
    {
        ConsoleStop stop;
        ScanNamedPorts(records, nullptr, options.ports);
        // Stopped on the way: the scan has closed what it opened; print nothing half done.
        if (stop.StopRequested()) return kExitInterrupted;
    }
    // The report of the scan as the window writes it (the placeholder record of a machine
    // without ports included), before the table leaves anything out.
    std::string reportPath;
    const DWORD reportError =
        options.report ? WriteDiagnosticReport(records, &reportPath, options.wholeEnvironment) : ERROR_SUCCESS;
    // The placeholder record of a machine without ports is no port to show.
    if (NoSerialPortsFound(records)) records.clear();
    std::vector<std::string> missing;
    records.erase(std::remove_if(records.begin(), records.end(),
                                 [&](const PortRecord& r) {
                                     if (options.ports.empty() || !NoSuchPort(Text(r.PortName), known, Text(r.Status)))
                                         return false;
                                     missing.push_back(UpperAnsi(Text(r.PortName)));
                                     return true;
                                 }),
                  records.end());
    std::vector<std::string> names;
    for (const PortRecord& record : records) names.push_back(std::string(Text(record.PortName)));
    const HardwareSnapshot hardware = ReadHardwareSnapshot();
    std::vector<ConsoleRow> rows(records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        rows[i].record = records[i];
        rows[i].identity = IdentityFieldsOf(hardware, names[i]);
        rows[i].discoveryIndex = i;
        // The owner's path whole, where the record has it only in the ANSI code page.
        if (!ForeignOwnerText(records[i]).empty())
            rows[i].ownerPath = WholeOwnerPath(records[i], ProcessImagePathWhole(records[i].ProcessId));
    }
    const bool written = io.Emit(Render(rows, RowSource::kScan, options.format, false, &hardware.reservations));
    ComplainMissing(missing, io);
    if (options.report && reportError == ERROR_SUCCESS) io.Complain("report: " + AnsiToUtf8(reportPath));
    if (reportError != ERROR_SUCCESS) io.Complain("report not written: " + AnsiToUtf8(ReportFailureReason(reportError)));
    return written && missing.empty() && reportError == ERROR_SUCCESS ? kExitSuccess : kExitFailure;
}

int RunList(const ScanOptions& options, const Streams& io) {
    const HardwareSnapshot hardware = ReadHardwareSnapshot();
    std::vector<DiscoveredPort> ports = ListPorts(options.ports);
    // A listing opens nothing: a named port is one of this machine's only when discovery knows it.
    std::vector<std::string> missing;
    if (!options.ports.empty()) {
        const std::vector<DiscoveredPort> known = DiscoverPorts();
        ports.erase(std::remove_if(ports.begin(), ports.end(),
                                   [&](const DiscoveredPort& port) {
                                       if (!NoSuchPort(port.portName, known, kStatusDisconnected)) return false;
                                       missing.push_back(UpperAnsi(port.portName));
                                       return true;
                                   }),
                    ports.end());
    }
    const std::vector<ConsoleRow> rows = ListingRows(ports, hardware);
    const bool written = io.Emit(Render(rows, RowSource::kListing, options.format, false, &hardware.reservations));
    ComplainMissing(missing, io);
    return written && missing.empty() ? kExitSuccess : kExitFailure;
}

std::string Now() {
    SYSTEMTIME local;
    GetLocalTime(&local);
    return WatchTimeText(local);
}

// How long the watch waits for a notification before it looks anyway.
constexpr DWORD kWatchRecheckMs = 30000;

int RunWatch(const ScanOptions& options, const Streams& io) {
    PortChangeWait wait;
    std::string error;
    if (!wait.Start(&error)) {
        io.Complain("cannot watch for port changes: " + AnsiToUtf8(error));
        return kExitFailure;
    }
    // Armed before the first listing, so that no change between the two is missed.
    std::vector<DiscoveredPort> listed = ListPorts(options.ports);
    if (!io.Emit(Render(ListingRows(listed), RowSource::kListing, options.format, true))) return kExitFailure;
    for (;;) {
        const PortChangeWait::Wake wake = wait.Wait(kWatchRecheckMs);
        if (wake == PortChangeWait::Wake::kStopped) return kExitSuccess;
        std::vector<DiscoveredPort> now = ListPorts(options.ports);
        std::vector<WatchEvent> events = DiffListings(listed, now);
        if (events.empty()) continue;
        std::vector<std::string> names;
        for (const WatchEvent& event : events) names.push_back(event.port.portName);
        std::vector<IdentityFields> identities = ReadPortIdentities(names);
        const std::string time = Now();
        std::string text;
        for (std::size_t i = 0; i < events.size(); ++i) {
            events[i].time = time;
            if (i < identities.size()) events[i].identity = std::move(identities[i]);
            text += options.format == OutputFormat::kJson  ? JsonEventLine(events[i])
                    : options.format == OutputFormat::kTsv ? WatchEventTsvLine(events[i])
                                                           : WatchEventLine(events[i]);
        }
        if (!io.Emit(text)) return kExitFailure;
        listed = std::move(now);
    }
}

// Releasing reservations or restoring a backup: the report on standard output, a failure's
// one line on standard error.
int RunReleaseMode(const ScanOptions& options, const Streams& io) {
    ReleaseSettings settings;
    settings.dryRun = options.dryRun;
    settings.backupPath = options.backupPath;
    settings.force = options.force;
    ConsoleStop stop;
    ReleaseRun run;
    if (options.mode == RunMode::kRestore) {
        run = RunRestore(options.restoreFile, settings);
    } else {
        ReleaseRequest request;
        request.numbers = options.releaseNumbers;
        request.stale = options.releaseStale;
        request.absent = options.releaseAbsent;
        run = RunRelease(request, settings);
    }
    if (run.status == ReleaseStatus::kInterrupted) {
        io.Complain(AnsiToUtf8(run.detail));
        return kExitInterrupted;
    }
    const std::string failure = ReleaseFailureLine(run);
    if (!failure.empty()) io.Line(failure);
    const std::string text = options.format == OutputFormat::kJson ? ReleaseJson(run, CurrentDocumentHeader()) : ReleaseReport(run);
    if (!text.empty() && !io.Emit(text)) return kExitFailure;
    return ReleaseExitStatus(run);
}

}  // namespace

int RunScanConsole(const std::vector<std::string>& args) {
    const CommandLine commandLine = ParseCommandLine(args);
    const ScanOptions& options = commandLine.options;
    const Streams io(options.encoding, options.format == OutputFormat::kJson);
    switch (commandLine.action) {
        case CommandLine::Action::kHelp:
        case CommandLine::Action::kVersion:
            return io.Emit(commandLine.text + (commandLine.text.back() == '\n' ? "" : "\n")) ? kExitSuccess
                                                                                           : kExitFailure;
        case CommandLine::Action::kUsageError:
            io.Line(AnsiToUtf8(commandLine.text));  // it may quote an argument, which is ANSI
            return kExitUsage;
        case CommandLine::Action::kRun: break;
    }
    try {
        switch (options.mode) {
            case RunMode::kScan: return RunScan(options, io);
            case RunMode::kList: return RunList(options, io);
            case RunMode::kWatch: return RunWatch(options, io);
            case RunMode::kRelease:
            case RunMode::kRestore: return RunReleaseMode(options, io);
        }
    } catch (const std::exception& failure) {
        io.Complain(std::string("the scan could not run: ") + AnsiToUtf8(failure.what()));
    }
    return kExitFailure;
}

}  // namespace kestrune
