#include "app/console/scan_options.h"

#include <algorithm>

#include <CLI/CLI.hpp>

#include "app/console/scan_tsv.h"
#include "support/version.h"
#include "support/fixed_text.h"

namespace kestrune {
namespace {

// The help, as a person reads it: what each option does, grouped by what it is for. The
// parser's own help (which lists every exclusion on every line) is not shown.
const char kHelp[] =
    "kestrune-scan: diagnoses this machine's serial (COM) ports.\n"
    "\n"
    "Usage: kestrune-scan [--list | --watch] [--port COMn ...] [--tsv | --json]\n"
    "       kestrune-scan --release COMn ... | --release-stale | --release-absent\n"
    "                     [--dry-run] [--backup FILE] [--json]\n"
    "       kestrune-scan --restore FILE [--force] [--dry-run] [--backup FILE] [--json]\n"
    "\n"
    "Without options it scans every port (opens each free one, reads its settings, tests the\n"
    "cable, finds the program that holds a busy one) and prints a table.\n"
    "\n"
    "Looking at ports:\n"
    "  --list            gentle listing: discovery only, no port opened, no other process touched\n"
    "  --watch           the gentle listing, then a line per port that arrives or is removed,\n"
    "                    until interrupted (Ctrl+C)\n"
    "  --port COMn       only this port (repeatable, or COM3,COM4); a name no port of this\n"
    "                    machine has is reported on standard error and the exit status is 1\n"
    "  --tsv             every field, tab-separated (escaping below)\n"
    "  --json            every field as JSON (one object a line with --watch); the documents are\n"
    "                    described by kestrune-scan.schema.json\n"
    "  --report          a scan also writes the diagnostic report SerialPort.Kestrune (into the\n"
    "                    current folder, or %LOCALAPPDATA%\\Kestrune when that cannot be written)\n"
    "                    and says where on standard error; of the environment it shows Windows'\n"
    "                    plain variables only\n"
    "  --whole-environment  with --report: every environment variable's value (secrets too)\n"
    "  --encoding E      redirected output's bytes: utf8 (default), oem or ansi code page\n"
    "\n"
    "A scan opens free ports, which on many USB adapters toggles DTR and resets the board behind\n"
    "them; --list and --watch read only what the system keeps about ports and open none.\n"
    "\n"
    "COM number reservations (writing needs administrator rights):\n"
    "  --release COMn    free the COM number a device no longer uses (several: COM9 COM12)\n"
    "  --release-stale   free every number nothing holds\n"
    "  --release-absent  those too, and the numbers of unplugged (phantom) devices; one plugged\n"
    "                    back in may get a new number\n"
    "  --restore FILE    put a saved database value back; a number it would free that a device\n"
    "                    or the system's lists use now stays reserved and is listed\n"
    "  --force           with --restore: also a backup made on another machine (or an older\n"
    "                    backup that names no machine)\n"
    "  --dry-run         show what would change, change nothing\n"
    "  --backup FILE     save the previous value to this new file (an existing file is never\n"
    "                    replaced); by default a new file beside the report\n"
    "\n"
    "A number that a present device, the device map or the port list names is never freed.\n"
    "\n"
    "  -h, --help, /?    this help\n"
    "  --version         the program's version\n"
    "\n"
    "Exit status: 0 success; 1 the scan could not run, a named port does not exist, or a number\n"
    "was not released or restored; 2 usage error; 130 interrupted by Ctrl+C.\n";

const char kEncodingHelp[] =
    "Encoding: a console shows every name whole. Redirected, every output is UTF-8; --encoding oem\n"
    "or ansi writes the machine's OEM or ANSI code page instead ('?' for what it lacks; JSON then\n"
    "escapes every non-ASCII character as \\uXXXX and loses nothing).";

// COM1 ... COM9999, any letter case, a trailing colon allowed.
std::string PortNameCheck(std::string& name) {
    if (!name.empty() && name.back() == ':') name.pop_back();
    const std::string upper = UpperAnsi(name);
    const bool digits = upper.size() > 3 && upper.size() <= 7 && upper.compare(0, 3, "COM") == 0 &&
                        upper[3] != '0' &&
                        std::all_of(upper.begin() + 3, upper.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (!digits) return "not a port name like COM3: '" + name + "'";
    name = upper;
    return std::string();
}

// utf8, oem or ansi, any letter case.
std::string EncodingCheck(std::string& name) {
    std::string lower = name;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; });
    if (lower != "utf8" && lower != "oem" && lower != "ansi") return "not utf8, oem or ansi: '" + name + "'";
    name = lower;
    return std::string();
}

std::string OneLine(std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
    CLI::App app("", "kestrune-scan");
    app.set_version_flag("--version", std::string("kestrune-scan ") + KESTRUNE_VERSION_TEXT);
    app.get_formatter()->column_width(22);

    bool list = false, watch = false, tsv = false, json = false;
    std::vector<std::string> ports;
    app.add_flag("--list", list, "gentle listing: discovery only, no port opened, no other process touched");
    app.add_flag("--watch", watch, "gentle listing, then a line per port that arrives or is removed");
    CLI::Option* tsvOption = app.add_flag("--tsv", tsv, "every field, tab-separated (escaping below)");
    CLI::Option* jsonOption = app.add_flag("--json", json, "every field as JSON (one object a line with --watch)");
    tsvOption->excludes(jsonOption);
    std::string encoding = "utf8";
    app.add_option("--encoding", encoding, "redirected output's bytes: utf8 (default), oem or ansi code page")
        ->type_name("ENC")
        ->transform(CLI::Validator(EncodingCheck, "", "encoding"));
    app.add_option("--port", ports, "scan or list only this port (repeatable, or COM3,COM4)")
        ->type_name("COMn")
        ->delimiter(',')
        ->transform(CLI::Validator(PortNameCheck, "", "port name"));

    std::vector<std::string> release;
    bool releaseStale = false, releaseAbsent = false, dryRun = false;
    std::string backup, restore;
    CLI::Option* releaseOption = app.add_option("--release", release, "free these COM numbers' reservations")
                                     ->type_name("COMn ...")
                                     ->delimiter(',')
                                     ->transform(CLI::Validator(PortNameCheck, "", "port name"));
    CLI::Option* staleOption = app.add_flag("--release-stale", releaseStale, "free every reservation nothing holds");
    CLI::Option* absentOption =
        app.add_flag("--release-absent", releaseAbsent, "free stale reservations and those of unplugged devices");
    CLI::Option* restoreOption =
        app.add_option("--restore", restore, "put a saved COM number database back")->type_name("FILE");
    CLI::Option* dryRunOption = app.add_flag("--dry-run", dryRun, "with a release or restore: show, change nothing");
    CLI::Option* backupOption =
        app.add_option("--backup", backup, "where a release or restore saves the previous value")->type_name("FILE");
    bool report = false, wholeEnvironment = false;
    CLI::Option* reportOption = app.add_flag("--report", report, "a scan also writes the diagnostic report");
    CLI::Option* wholeOption =
        app.add_flag("--whole-environment", wholeEnvironment, "with --report: every environment value");
    bool force = false;
    CLI::Option* forceOption = app.add_flag("--force", force, "with --restore: a backup of another machine too");
    for (CLI::Option* changing : {releaseOption, staleOption, absentOption}) {
        changing->excludes(restoreOption);
        for (const char* gentle : {"--list", "--watch", "--port", "--tsv"}) changing->excludes(gentle);
    }
    for (const char* gentle : {"--list", "--watch", "--port", "--tsv"}) restoreOption->excludes(gentle);

    CommandLine result;
    // "/?" is how Windows programs are asked for help.
    if (std::find(args.begin(), args.end(), "/?") != args.end()) {
        result.action = CommandLine::Action::kHelp;
        result.text = std::string(kHelp) + "\n" + kTsvEscapingHelp + "\n\n" + kEncodingHelp + "\n";
        return result;
    }
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        result.action = CommandLine::Action::kHelp;
        result.text = std::string(kHelp) + "\n" + kTsvEscapingHelp + "\n\n" + kEncodingHelp + "\n";
        return result;
    } catch (const CLI::CallForVersion&) {
        result.action = CommandLine::Action::kVersion;
        result.text = app.version();
        return result;
    } catch (const CLI::ParseError& error) {
        result.action = CommandLine::Action::kUsageError;
        result.text = "kestrune-scan: " + OneLine(error.what()) + " (see --help)";
        return result;
    }
    ScanOptions& options = result.options;
    const bool releasing = !release.empty() || releaseStale || releaseAbsent;
    if ((*dryRunOption || *backupOption) && !releasing && !*restoreOption) {
        result.action = CommandLine::Action::kUsageError;
        result.text = std::string("kestrune-scan: ") + (*dryRunOption ? "--dry-run" : "--backup") +
                      " goes with --release, --release-stale, --release-absent or --restore (see --help)";
        return result;
    }
    if (*forceOption && !*restoreOption) {
        result.action = CommandLine::Action::kUsageError;
        result.text = "kestrune-scan: --force goes with --restore (see --help)";
        return result;
    }
    const bool scanning = !list && !watch && !releasing && !*restoreOption;
    if ((*reportOption && !scanning) || (*wholeOption && !*reportOption)) {
        result.action = CommandLine::Action::kUsageError;
        result.text = *reportOption && !scanning ? "kestrune-scan: --report goes with a scan only (see --help)"
                                                 : "kestrune-scan: --whole-environment goes with --report (see --help)";
        return result;
    }
    options.report = report;
    options.wholeEnvironment = wholeEnvironment;
    options.force = force;
    options.mode = watch ? RunMode::kWatch : list ? RunMode::kList : RunMode::kScan;
    if (releasing) options.mode = RunMode::kRelease;
    if (*restoreOption) options.mode = RunMode::kRestore;
    for (const std::string& port : release) {
        const int number = std::stoi(port.substr(3));
        if (std::find(options.releaseNumbers.begin(), options.releaseNumbers.end(), number) ==
            options.releaseNumbers.end())
            options.releaseNumbers.push_back(number);
    }
    options.releaseStale = releaseStale;
    options.releaseAbsent = releaseAbsent;
    options.dryRun = dryRun;
    options.backupPath = backup;
    options.restoreFile = restore;
    options.format = tsv ? OutputFormat::kTsv : json ? OutputFormat::kJson : OutputFormat::kTable;
    options.encoding = encoding == "oem" ? OutputEncoding::kOem : encoding == "ansi" ? OutputEncoding::kAnsi
                                                                                     : OutputEncoding::kUtf8;
    for (const std::string& port : ports)
        if (std::find(options.ports.begin(), options.ports.end(), port) == options.ports.end())
            options.ports.push_back(port);
    return result;
}

}  // namespace kestrune
