#include "app/console/scan_console.h"

#include <exception>

#include "app/common/found_ports.h"
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
#include "scan/identity_reader.h"
#include "scan/owner_process.h"
#include "scan/scan_driver.h"
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

int RunScan(const ScanOptions& options, const Streams& io) {
    std::vector<PortRecord> records;
    ScanNamedPorts(records, nullptr, options.ports);
    // The placeholder record of a machine without ports is no port to show.
    if (NoSerialPortsFound(records)) records.clear();
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
    return io.Emit(Render(rows, RowSource::kScan, options.format, false, &hardware.reservations)) ? kExitSuccess
                                                                                                 : kExitFailure;
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
            case RunMode::kList: {
                const HardwareSnapshot hardware = ReadHardwareSnapshot();
                const std::vector<ConsoleRow> rows = ListingRows(ListPorts(options.ports), hardware);
                return io.Emit(Render(rows, RowSource::kListing, options.format, false, &hardware.reservations))
                           ? kExitSuccess
                           : kExitFailure;
            }
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
