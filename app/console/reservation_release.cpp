#include "app/console/reservation_release.h"

#include <cstdio>
#include <cstring>
#include <optional>

#include "app/console/comdb_backup.h"
#include "app/common/report.h"
#include "scan/identity_reader.h"
#include "scan/progress.h"
#include "support/file_io.h"
#include "support/handles.h"

namespace kestrune {
namespace {

// A backup larger than this is not one (the database is at most 4096 bytes).
constexpr DWORD kMostBackupBytes = 65536;

LONG ReadValue(HKEY key, std::vector<uint8_t>& value) {
    value.clear();
    DWORD type = 0, size = 0;
    LONG status = RegQueryValueExA(key, kComDbValueName, nullptr, &type, nullptr, &size);
    if (status != ERROR_SUCCESS) return status;
    if (type != REG_BINARY || size > 4096) return ERROR_INVALID_DATA;
    value.resize(size);
    status = RegQueryValueExA(key, kComDbValueName, nullptr, &type, value.data(), &size);
    if (status != ERROR_SUCCESS) {
        value.clear();
        return status;
    }
    value.resize(size);
    return ERROR_SUCCESS;
}

std::string ErrorText(LONG error) {
    char message[512];
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                  static_cast<DWORD>(error), 0, message, sizeof message, nullptr);
    while (length > 0 && (message[length - 1] == '\r' || message[length - 1] == '\n' || message[length - 1] == ' ' ||
                          message[length - 1] == '.'))
        --length;
    return length ? std::string(message, length) : "error " + std::to_string(error);
}

// Opens the database key: reading only for a dry run, reading and writing otherwise.
bool OpenDatabase(bool write, UniqueRegKey& key, ReleaseRun& run) {
    const REGSAM access = KEY_QUERY_VALUE | (write ? KEY_SET_VALUE : 0);
    const LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kComDbKeyPath, 0, access, key.put());
    if (status == ERROR_SUCCESS) return true;
    if (status == ERROR_ACCESS_DENIED) {
        run.status = ReleaseStatus::kNoRights;
        run.detail = "administrator rights are needed to change the COM number database";
    } else {
        run.status = ReleaseStatus::kUnreadable;
        run.detail = "the COM number database cannot be opened: " + ErrorText(status);
    }
    return false;
}

std::string LocalTimeText(const SYSTEMTIME& t) {
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                  t.wSecond);
    return text;
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Writes text to a file that must not exist yet (CREATE_NEW), flushed; a half-written file
// is removed again. ERROR_SUCCESS or the Win32 error.
DWORD WriteNewFile(const std::string& path, const std::string& text) {
    UniqueHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return GetLastError();
    if (WriteAll(file.get(), text) && FlushFileBuffers(file.get())) return ERROR_SUCCESS;
    const DWORD error = GetLastError();
    file.reset();
    DeleteFileA(path.c_str());
    return error == ERROR_SUCCESS ? ERROR_WRITE_FAULT : error;
}

std::string ThisMachineName() {
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof name;
    return GetComputerNameA(name, &size) ? std::string(name, size) : std::string();
}

std::string ExistingBackupText(const std::string& path) {
    return "the backup file " + path + " exists already; nothing was written (name a new file)";
}

// Writes the backup to a new file: the chosen one, which must not exist, or one beside the
// report (a name that exists already gets "-2", "-3", ... rather than being overwritten).
bool WriteBackup(const std::vector<uint8_t>& value, const ReleaseSettings& settings, ReleaseRun& run) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    const std::string text = ComDbBackupText(value, LocalTimeText(now), ThisMachineName());
    if (!settings.backupPath.empty()) {
        const DWORD error = WriteNewFile(settings.backupPath, text);
        if (error == ERROR_SUCCESS) {
            run.backupPath = settings.backupPath;
            return true;
        }
        run.status = ReleaseStatus::kBackupFailed;
        run.detail = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS
                         ? ExistingBackupText(settings.backupPath)
                         : "the backup " + settings.backupPath + " cannot be written: " + ErrorText(static_cast<LONG>(error));
        return false;
    }
    const std::string name = DefaultBackupName(now);
    // Beside the report: the current folder, or where the report goes when that cannot be written.
    DWORD error = ERROR_FILE_EXISTS;
    for (int place = 0; place < 2; ++place) {
        const std::string folder = place == 0 ? FolderOf(DiagnosticReportPath()) : FallbackReportFolder();
        if (folder.empty()) continue;
        const std::string stem = folder + name.substr(0, name.size() - 4);
        error = ERROR_FILE_EXISTS;
        for (int attempt = 1; attempt <= 100 && error == ERROR_FILE_EXISTS; ++attempt) {
            const std::string path = stem + (attempt > 1 ? "-" + std::to_string(attempt) : "") + ".txt";
            error = WriteNewFile(path, text);
            if (error == ERROR_SUCCESS) {
                run.backupPath = path;
                return true;
            }
        }
        if (!FolderNotWritable(error)) break;
    }
    run.status = ReleaseStatus::kBackupFailed;
    run.detail = "the backup beside the report cannot be written: " + ErrorText(static_cast<LONG>(error));
    return false;
}

// Whether the database value still is what the decision saw.
bool StillAsDecided(HKEY key, const ReleaseRun& run) {
    std::vector<uint8_t> now;
    const LONG read = ReadValue(key, now);
    return read == ERROR_SUCCESS ? now == run.plan.before : read == ERROR_FILE_NOT_FOUND && run.plan.before.empty();
}

// Backup, one write of the whole value, read back. The value must still be what was decided
// on, both before the backup is taken and right before the write.
void WriteWhole(HKEY key, const ReleaseSettings& settings, ReleaseRun& run) {
    const char kChanged[] = "the COM number database changed while this ran; nothing was written";
    if (!StillAsDecided(key, run)) {
        run.status = ReleaseStatus::kChangedMeanwhile;
        run.detail = kChanged;
        return;
    }
    if (!WriteBackup(run.plan.before, settings, run)) return;
    if (ScanStopRequested()) {
        DeleteFileA(run.backupPath.c_str());
        run.backupPath.clear();
        run.status = ReleaseStatus::kInterrupted;
        run.detail = "interrupted; nothing was written";
        return;
    }
    if (!StillAsDecided(key, run)) {
        // The backup holds a value that is gone: it is no backup of anything, take it away.
        DeleteFileA(run.backupPath.c_str());
        run.backupPath.clear();
        run.status = ReleaseStatus::kChangedMeanwhile;
        run.detail = kChanged;
        return;
    }
    const std::vector<uint8_t>& after = run.plan.after;
    const LONG status = RegSetValueExA(key, kComDbValueName, 0, REG_BINARY, after.data(), static_cast<DWORD>(after.size()));
    if (status != ERROR_SUCCESS) {
        run.status = status == ERROR_ACCESS_DENIED ? ReleaseStatus::kNoRights : ReleaseStatus::kWriteFailed;
        run.detail = status == ERROR_ACCESS_DENIED ? "administrator rights are needed to change the COM number database"
                                                   : "the COM number database was not written: " + ErrorText(status);
        return;
    }
    std::vector<uint8_t> back;
    if (ReadValue(key, back) != ERROR_SUCCESS || back != after) {
        run.status = ReleaseStatus::kReadBackDiffers;
        run.detail = "the COM number database reads back otherwise than written: " + HexBytes(back);
    }
}

// A chosen backup file that exists already is refused before anything is decided or written.
bool BackupNameFree(const ReleaseSettings& settings, ReleaseRun& run) {
    if (settings.dryRun || settings.backupPath.empty() ||
        GetFileAttributesA(settings.backupPath.c_str()) == INVALID_FILE_ATTRIBUTES)
        return true;
    run.status = ReleaseStatus::kBackupFailed;
    run.detail = ExistingBackupText(settings.backupPath);
    return false;
}

// The facts a release or restore decides on, besides the database value.
void ReadMachineFacts(ReleaseFacts& facts) {
    facts.devices = ReadHardwareSnapshot().devices;
    facts.deviceMapPorts = DeviceMapPorts();
    facts.portListPorts = PortListPorts();
}

bool ReadFileText(const std::string& path, std::string& text, std::string& why) {
    UniqueHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) {
        why = ErrorText(static_cast<LONG>(GetLastError()));
        return false;
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > kMostBackupBytes) {
        why = "not a COM number database backup";
        return false;
    }
    text.resize(static_cast<std::size_t>(size.QuadPart));
    DWORD got = 0;
    if (!text.empty() && (!ReadFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &got, nullptr) ||
                          got != text.size())) {
        why = ErrorText(static_cast<LONG>(GetLastError()));
        return false;
    }
    return true;
}

std::string FullPath(const std::string& path) {
    char buffer[MAX_PATH * 4];
    const DWORD got = GetFullPathNameA(path.c_str(), sizeof buffer, buffer, nullptr);
    return got == 0 || got >= sizeof buffer ? path : std::string(buffer, got);
}

}  // namespace

std::string DefaultBackupName(const SYSTEMTIME& t) {
    char name[64];
    std::snprintf(name, sizeof name, "ComDB-backup-%04u%02u%02u-%02u%02u%02u.txt", t.wYear, t.wMonth, t.wDay, t.wHour,
                  t.wMinute, t.wSecond);
    return name;
}

ReleaseRun RunRelease(const ReleaseRequest& request, const ReleaseSettings& settings) {
    ReleaseRun run;
    run.dryRun = settings.dryRun;
    if (!BackupNameFree(settings, run)) return run;
    UniqueRegKey key;
    if (!OpenDatabase(!settings.dryRun, key, run)) return run;
    ReleaseFacts facts;
    if (const LONG status = ReadValue(key.get(), facts.bitmap); status != ERROR_SUCCESS) {
        run.status = ReleaseStatus::kUnreadable;
        run.detail = "the COM number database cannot be read: " + ErrorText(status);
        return run;
    }
    ReadMachineFacts(facts);
    run.plan = PlanRelease(request, facts);
    if (settings.dryRun) {
        run.status = ReleaseStatus::kDryRun;
        return run;
    }
    if (run.plan.Changes()) WriteWhole(key.get(), settings, run);
    return run;
}

ReleaseRun RunRestore(const std::string& file, const ReleaseSettings& settings) {
    ReleaseRun run;
    run.restore = true;
    run.dryRun = settings.dryRun;
    run.restoreFile = file;
    std::string text, why;
    std::optional<std::vector<uint8_t>> saved;
    std::optional<std::string> savedOn;
    if (ReadFileText(file, text, why)) saved = ParseComDbBackup(text, &why, &savedOn);
    if (!saved) {
        run.status = ReleaseStatus::kNotABackup;
        run.detail = file + ": " + why;
        return run;
    }
    if (const std::string refusal = RestoreMachineRefusal(savedOn, ThisMachineName(), settings.force);
        !refusal.empty()) {
        run.status = ReleaseStatus::kOtherMachine;
        run.detail = file + ": " + refusal;
        return run;
    }
    if (!settings.backupPath.empty() && _stricmp(FullPath(settings.backupPath).c_str(), FullPath(file).c_str()) == 0) {
        run.status = ReleaseStatus::kBackupFailed;
        run.detail = "the backup file must not be the file being restored";
        return run;
    }
    if (!BackupNameFree(settings, run)) return run;
    UniqueRegKey key;
    if (!OpenDatabase(!settings.dryRun, key, run)) return run;
    ReleaseFacts facts;
    if (const LONG status = ReadValue(key.get(), facts.bitmap); status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
        run.status = ReleaseStatus::kUnreadable;
        run.detail = "the COM number database cannot be read: " + ErrorText(status);
        return run;
    }
    // The numbers the backup would free go through the release's rules one by one.
    ReadMachineFacts(facts);
    run.plan = PlanRestore(*saved, facts);
    if (settings.dryRun) {
        run.status = ReleaseStatus::kDryRun;
        return run;
    }
    if (run.plan.Changes()) WriteWhole(key.get(), settings, run);
    return run;
}

int ReleaseExitStatus(const ReleaseRun& run) {
    const bool wrote = run.status == ReleaseStatus::kDone || run.status == ReleaseStatus::kDryRun;
    return wrote && run.plan.AllReleased() ? 0 : 1;
}

}  // namespace kestrune
