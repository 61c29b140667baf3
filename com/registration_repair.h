#pragma once
// The class registration check and its repair: running the system's registration tool,
// elevated, on the in-process server module, and waiting for it while the calling thread's
// windows stay painted.
#include <windows.h>

#include <string>
#include <string_view>

#include "support/system_folder.h"

namespace kestrune {

// The registration tool gets this long; a tool still running then is left to finish alone.
constexpr DWORD kRegistrationToolWaitMs = 120000;

// How a wait that keeps the thread's windows alive ended.
enum class MessageWaitResult {
    Signalled,      // the handle was signalled
    TimedOut,       // the limit passed first
    QuitRequested,  // a quit message arrived; it is posted again for the thread's own loop
    Failed,         // the handle cannot be waited for
};

// Waits for handle at most limitMs, dispatching this thread's messages meanwhile (so its
// windows keep painting and answering).
MessageWaitResult WaitDispatchingMessages(HANDLE handle, DWORD limitMs);

// How a run of the registration tool went.
struct RegistrationToolRun {
    bool started = false;                  // a process handle came back
    DWORD launchError = 0;                 // ShellExecuteExA's error when it failed (1223: declined)
    MessageWaitResult wait = MessageWaitResult::Failed;  // meaningful when started
    DWORD exitCode = STILL_ACTIVE;         // the tool's exit code when it ended within the wait
};

// The registration tool's parameters for one module: "/s", a blank, the path in double quotes.
std::string RegistrationToolParameters(std::string_view modulePath);

// The path of a module beside another one: moduleFileName's folder (up to and including its
// last "\", "/" or ":") followed by fileName. A name without a folder gives fileName alone.
std::string SiblingModulePath(std::string_view moduleFileName, std::string_view fileName);

// The full path of the system's registration tool: the system folder's "RegSvr32.exe" (for a
// 32-bit program on a 64-bit system, the 32-bit system folder's). Empty when no folder is known.
std::string RegistrationToolPath();

// Runs RegistrationToolPath() (never a bare name) with the verb "runas" (the system asks for elevation) and
// RegistrationToolParameters(modulePath), shown normally, and when a process handle comes
// back waits for it with WaitDispatchingMessages for at most waitLimitMs. The process handle
// is closed before returning.
RegistrationToolRun RunRegistrationTool(std::string_view modulePath, DWORD waitLimitMs = kRegistrationToolWaitMs);

// "CLSID\{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}": the class key below HKEY_CLASSES_ROOT, with
// the identifier in its braced upper-case text form.
std::string ClassKeyPath(const CLSID& clsid);

// True when the class key exists under HKEY_CLASSES_ROOT (Reg_KeyExists gives 1); a key that
// is missing or cannot be read counts as not registered.
bool ClassRegistered(const CLSID& clsid);

}  // namespace kestrune
