#include "app/scan_options.h"

#include <algorithm>

#include <CLI/CLI.hpp>

#include "app/scan_tsv.h"
#include "app/version.h"
#include "support/fixed_text.h"

namespace kestrune {
namespace {

const char kDescription[] =
    "kestrune-scan: diagnoses this machine's serial (COM) ports.\n"
    "Without options it scans every port (opens each free one, reads its settings, tests the\n"
    "cable, finds the program that holds a busy one) and prints a table.";

const char kFooter[] =
    "Modes: a scan opens free ports, which on many USB adapters toggles DTR and resets the board\n"
    "behind them; --list and --watch read only what the system keeps about ports and open none.\n"
    "--watch prints the listing, then one line per port that arrives or is removed, until\n"
    "interrupted (Ctrl+C).\n\n"
    "Exit status: 0 success, 1 the scan could not run, 2 usage error.";

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

std::string OneLine(std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
    CLI::App app(kDescription, "kestrune-scan");
    app.footer(std::string(kFooter) + "\n\n" + kTsvEscapingHelp);
    app.set_version_flag("--version", std::string("kestrune-scan ") + KESTRUNE_VERSION_TEXT);
    app.get_formatter()->column_width(22);

    bool list = false, watch = false, tsv = false, json = false;
    std::vector<std::string> ports;
    app.add_flag("--list", list, "gentle listing: discovery only, no port opened, no other process touched");
    app.add_flag("--watch", watch, "gentle listing, then a line per port that arrives or is removed");
    CLI::Option* tsvOption = app.add_flag("--tsv", tsv, "every field, tab-separated (escaping below)");
    CLI::Option* jsonOption = app.add_flag("--json", json, "every field as JSON (one object a line with --watch)");
    tsvOption->excludes(jsonOption);
    app.add_option("--port", ports, "scan or list only this port (repeatable, or COM3,COM4)")
        ->type_name("COMn")
        ->delimiter(',')
        ->transform(CLI::Validator(PortNameCheck, "", "port name"));

    CommandLine result;
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        result.action = CommandLine::Action::kHelp;
        result.text = app.help();
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
    options.mode = watch ? RunMode::kWatch : list ? RunMode::kList : RunMode::kScan;
    options.format = tsv ? OutputFormat::kTsv : json ? OutputFormat::kJson : OutputFormat::kTable;
    for (const std::string& port : ports)
        if (std::find(options.ports.begin(), options.ports.end(), port) == options.ports.end())
            options.ports.push_back(port);
    return result;
}

}  // namespace kestrune
