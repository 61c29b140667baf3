#include "com/registration_repair.h"

#include <shellapi.h>

#include <cstdio>

#include "exports/registry_exports.h"
#include "support/handles.h"

namespace kestrune {

#if defined(_WIN32) && !defined(_WIN64)
// The 32-bit product hands the shell the 60-byte request of its platform.
static_assert(sizeof(SHELLEXECUTEINFOA) == 60, "SHELLEXECUTEINFOA layout");
static_assert(offsetof(SHELLEXECUTEINFOA, fMask) == 4 && offsetof(SHELLEXECUTEINFOA, lpVerb) == 12 &&
                  offsetof(SHELLEXECUTEINFOA, lpFile) == 16 && offsetof(SHELLEXECUTEINFOA, lpParameters) == 20 &&
                  offsetof(SHELLEXECUTEINFOA, nShow) == 28 && offsetof(SHELLEXECUTEINFOA, hProcess) == 56,
              "SHELLEXECUTEINFOA offsets");
#endif

MessageWaitResult WaitDispatchingMessages(HANDLE handle, DWORD limitMs) {
    const ULONGLONG deadline = GetTickCount64() + limitMs;
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        const DWORD remaining = now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
        // MWMO_INPUTAVAILABLE: messages already queued before the wait wake it too.
        const DWORD woke = MsgWaitForMultipleObjectsEx(1, &handle, remaining, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (woke == WAIT_OBJECT_0) return MessageWaitResult::Signalled;
        if (woke == WAIT_TIMEOUT) return MessageWaitResult::TimedOut;
        if (woke != WAIT_OBJECT_0 + 1) return MessageWaitResult::Failed;
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(message.wParam));
                return MessageWaitResult::QuitRequested;
            }
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        if (WaitForSingleObject(handle, 0) == WAIT_OBJECT_0) return MessageWaitResult::Signalled;
        if (remaining == 0) return MessageWaitResult::TimedOut;
    }
}

std::string RegistrationToolParameters(std::string_view modulePath) {
    return std::string("/s \"").append(modulePath).append("\"");
}

std::string SiblingModulePath(std::string_view moduleFileName, std::string_view fileName) {
    const size_t last = moduleFileName.find_last_of("\\/:");
    const std::string_view folder = last == std::string_view::npos ? std::string_view() : moduleFileName.substr(0, last + 1);
    return std::string(folder).append(fileName);
}

std::string RegistrationToolPath() {
    char folder[MAX_PATH] = {};
    UINT length = 0;
#if !defined(_WIN64)
    // A 32-bit program on a 64-bit system registers a 32-bit module: the 32-bit tool, named
    // by its real folder (an elevated start is made by another process, which sees no
    // redirection of the system folder).
    BOOL wow64 = FALSE;
    if (IsWow64Process(GetCurrentProcess(), &wow64) && wow64) length = GetSystemWow64DirectoryA(folder, MAX_PATH);
#endif
    if (length == 0) length = GetSystemDirectoryA(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    return SystemToolPath(std::string_view(folder, length), "RegSvr32.exe");
}

RegistrationToolRun RunRegistrationTool(std::string_view modulePath, DWORD waitLimitMs) {
    RegistrationToolRun run;
    // By full path: a bare name would let the shell's search find a planted tool first.
    const std::string tool = RegistrationToolPath();
    if (tool.empty()) {
        run.launchError = ERROR_PATH_NOT_FOUND;
        return run;
    }
    const std::string parameters = RegistrationToolParameters(modulePath);
    SHELLEXECUTEINFOA request{};
    request.cbSize = sizeof request;
    request.fMask = SEE_MASK_NOCLOSEPROCESS;
    request.hwnd = nullptr;
    request.lpVerb = "runas";
    request.lpFile = tool.c_str();
    request.lpParameters = parameters.c_str();
    request.lpDirectory = nullptr;
    request.nShow = SW_SHOW;
    if (!ShellExecuteExA(&request)) {
        run.launchError = GetLastError();
        return run;
    }
    // Declined elevation or a tool that hands over to another process: no handle, no wait.
    UniqueHandle process(request.hProcess);
    if (!process) return run;
    run.started = true;
    run.wait = WaitDispatchingMessages(process.get(), waitLimitMs);
    if (run.wait == MessageWaitResult::Signalled) {
        DWORD code = STILL_ACTIVE;
        if (GetExitCodeProcess(process.get(), &code)) run.exitCode = code;
    }
    return run;
}

std::string ClassKeyPath(const CLSID& clsid) {
    char text[64];
    std::snprintf(text, sizeof text, "CLSID\\{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned long>(clsid.Data1), clsid.Data2, clsid.Data3, clsid.Data4[0], clsid.Data4[1],
                  clsid.Data4[2], clsid.Data4[3], clsid.Data4[4], clsid.Data4[5], clsid.Data4[6], clsid.Data4[7]);
    return text;
}

bool ClassRegistered(const CLSID& clsid) {
    return Reg_KeyExists(HKEY_CLASSES_ROOT, ClassKeyPath(clsid).c_str()) == 1;
}

}  // namespace kestrune
