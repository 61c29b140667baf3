#pragma once
// kestrune-scan's command line.
#include <string>
#include <vector>

namespace kestrune {

enum class RunMode { kScan, kList, kWatch, kRelease, kRestore };
enum class OutputFormat { kTable, kTsv, kJson };
// The bytes of redirected output (--encoding); a console always gets UTF-16.
enum class OutputEncoding { kUtf8, kOem, kAnsi };

struct ScanOptions {
    RunMode mode = RunMode::kScan;
    OutputFormat format = OutputFormat::kTable;
    OutputEncoding encoding = OutputEncoding::kUtf8;
    std::vector<std::string> ports;  // upper-cased COM names, each once, in the order given
    // Releasing reservations (kRelease) and putting a backup back (kRestore).
    std::vector<int> releaseNumbers;  // --release, each once, in the order given
    bool releaseStale = false;
    bool releaseAbsent = false;
    bool dryRun = false;
    std::string backupPath;   // --backup
    std::string restoreFile;  // --restore
    bool force = false;       // --force: restore another machine's backup
    bool report = false;            // --report: a scan also writes the diagnostic report
    bool wholeEnvironment = false;  // --whole-environment: every environment value in it
};

struct CommandLine {
    enum class Action { kRun, kHelp, kVersion, kUsageError };
    Action action = Action::kRun;
    ScanOptions options;
    std::string text;  // the help or version text, or the one-line usage error
};

// args: the arguments after the program name.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

// The exit statuses: success, the scan could not run (or a reservation was not released, or
// a named port does not exist), a usage error, interrupted by Ctrl+C (the console's
// conventional 128 + 2).
constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr int kExitInterrupted = 130;

}  // namespace kestrune
