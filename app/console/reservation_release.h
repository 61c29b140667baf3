#pragma once
// Releasing COM number reservations and putting a saved database value back: the part that
// talks to the registry and the file system. What may be released is decided in
// app/release_rules.h; the backup's form is app/comdb_backup.h.
//
// Every change writes the database value whole, once, after the previous value has been
// saved to a new backup file; the value is read again before the backup and once more right
// before the write (it must still be what the decision saw) and after it (it must be what
// was written). A restore frees only the numbers the release would free.
#include <windows.h>

#include <string>

#include "app/console/release_rules.h"

namespace kestrune {

enum class ReleaseStatus {
    kDone,             // written and read back, or nothing needed writing
    kDryRun,           // decided and shown, nothing changed
    kNoRights,         // the key cannot be opened for writing: nothing written
    kUnreadable,       // the database value cannot be read
    kChangedMeanwhile, // the value changed between the decision and the write: nothing written
    kBackupFailed,     // the backup file could not be written: nothing written
    kWriteFailed,      // the registry refused the write
    kReadBackDiffers,  // written, but the value reads back otherwise
    kNotABackup,       // the file to restore is not a backup (or cannot be read)
    kOtherMachine,     // the backup is (or may be) another machine's and --force was not given
    kInterrupted,      // Ctrl+C came before the write: nothing written, no backup left
};

struct ReleaseSettings {
    bool dryRun = false;
    std::string backupPath;  // empty: a new file beside the report; never an existing file
    bool force = false;      // restore a backup another machine made (or that names none)
};

struct ReleaseRun {
    bool restore = false;
    bool dryRun = false;
    ReleaseStatus status = ReleaseStatus::kDone;
    std::string detail;       // the reason behind a failure status, in words
    ReleasePlan plan;         // for a restore: no outcomes, before and after only
    std::string backupPath;   // where the previous value went; empty when none was written
    std::string restoreFile;  // the file a restore read
};

ReleaseRun RunRelease(const ReleaseRequest& request, const ReleaseSettings& settings);
ReleaseRun RunRestore(const std::string& file, const ReleaseSettings& settings);

// 0 when every asked number was released (or the restore went through with no number
// kept back), else 1.
int ReleaseExitStatus(const ReleaseRun& run);

// The default backup's name for a local time: "ComDB-backup-20261209-024011.txt".
std::string DefaultBackupName(const SYSTEMTIME& local);

}  // namespace kestrune
