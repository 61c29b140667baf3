#pragma once
// The class registration check and its repair: running the system's registration tool,
// elevated, on the in-process server module, and waiting for it while the calling thread's
// windows stay painted.
#include <windows.h>

#include <string>
#include <string_view>

namespace kestrune {

// The registration tool gets this long; a tool still running then is left to finish alone.
constexpr DWORD kRegistrationToolWaitMs = 120000;

// How a wait that keeps the thread's windows alive ended.
enum class MessageWaitResult { Signalled, TimedOut, QuitRequested, Failed };

// How a run of the registration tool went.
struct RegistrationToolRun {
    bool started = false;
    DWORD launchError = 0;
    MessageWaitResult wait = MessageWaitResult::Failed;
    DWORD exitCode = STILL_ACTIVE;
};

// The path of a module beside another one: moduleFileName's folder (up to and including its
// last "\", "/" or ":") followed by fileName.
std::string SiblingModulePath(std::string_view moduleFileName, std::string_view fileName);

// Runs "RegSvr32.exe" with the verb "runas" and the parameters "/s" plus the quoted path,
// and when a process handle comes back waits for it, dispatching messages, at most
// waitLimitMs. The process handle is closed before returning.
RegistrationToolRun RunRegistrationTool(std::string_view modulePath, DWORD waitLimitMs = kRegistrationToolWaitMs);

// True when CLSID\{...} of clsid exists under HKEY_CLASSES_ROOT.
bool ClassRegistered(const CLSID& clsid);

}  // namespace kestrune
