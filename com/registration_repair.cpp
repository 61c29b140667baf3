#include "com/registration_repair.h"

#include <shellapi.h>

#include "com/registration.h"
#include "support/handles.h"

namespace kestrune {

namespace {

MessageWaitResult WaitDispatching(HANDLE handle, DWORD limitMs) {
    const ULONGLONG deadline = GetTickCount64() + limitMs;
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        const DWORD remaining = now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
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
        if (remaining == 0) return MessageWaitResult::TimedOut;
    }
}

}  // namespace

std::string SiblingModulePath(std::string_view moduleFileName, std::string_view fileName) {
    const std::size_t last = moduleFileName.find_last_of("\\/:");
    return std::string(last == std::string_view::npos ? std::string_view() : moduleFileName.substr(0, last + 1))
        .append(fileName);
}

RegistrationToolRun RunRegistrationTool(std::string_view modulePath, DWORD waitLimitMs) {
    RegistrationToolRun run;
    const std::string parameters = std::string("/s \"").append(modulePath).append("\"");
    SHELLEXECUTEINFOA request{};
    request.cbSize = sizeof request;
    request.fMask = SEE_MASK_NOCLOSEPROCESS;
    request.lpVerb = "runas";
    request.lpFile = "RegSvr32.exe";
    request.lpParameters = parameters.c_str();
    request.nShow = SW_SHOW;
    if (!ShellExecuteExA(&request)) {
        run.launchError = GetLastError();
        return run;
    }
    UniqueHandle process(request.hProcess);
    if (!process) return run;
    run.started = true;
    run.wait = WaitDispatching(process.get(), waitLimitMs);
    if (run.wait == MessageWaitResult::Signalled) GetExitCodeProcess(process.get(), &run.exitCode);
    return run;
}

bool ClassRegistered(const CLSID& clsid) {
    UniqueRegKey key;
    const std::wstring path = L"CLSID\\" + GuidText(clsid);
    return RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

}  // namespace kestrune
