#pragma once
// Running a program's windows on a desktop of its own that Wine draws with its null graphics
// driver: real windows (created, laid out, painted into memory, read back) with or without an
// X display, and nothing on the user's screen.
//
// Wine loads one graphics driver per process, for the desktop the process first draws on, and
// the libraries a program loads may draw before main runs. So a program starts itself again
// on the new desktop (RerunOnNullDesktop) rather than switching its own thread over.
#include <windows.h>

#include <cstdio>
#include <string>

#include "../../test_helpers.h"

namespace kestrune_driver {

inline std::string ThreadDesktopName() {
    char name[256] = {};
    DWORD needed = 0;
    GetUserObjectInformationA(GetThreadDesktop(GetCurrentThreadId()), UOI_NAME, name, sizeof name - 1, &needed);
    return name;
}

inline bool OnDesktopNamed(const char* prefix) { return ThreadDesktopName().rfind(prefix, 0) == 0; }

// Creates desktop <prefix><pid> through Wine's explorer with the null driver, runs this program
// again there with the same command line and standard handles, waits for it and returns its
// exit code (or -1 with a message when it cannot). The explorer started here is ended here.
inline int RerunOnNullDesktop(const char* prefix) {
    const std::string name = prefix + std::to_string(GetCurrentProcessId());
    // By full path from the Windows folder: a file of that name in the current folder never runs.
    char windows[MAX_PATH] = {};
    const UINT length = GetWindowsDirectoryA(windows, MAX_PATH);
    const std::string explorerPath = std::string(windows, length < MAX_PATH ? length : 0) + "\\explorer.exe";
    std::string command = "\"" + explorerPath + "\" /desktop=" + name + ",1024x768,null";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION explorer{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &explorer)) {
        std::fprintf(stderr, "cannot start %s: error %lu\n", command.c_str(), GetLastError());
        return -1;
    }
    CloseHandle(explorer.hThread);
    HDESK desktop = nullptr;
    test_helpers::PollUntil([&] { return (desktop = OpenDesktopA(name.c_str(), 0, FALSE, GENERIC_ALL)) != nullptr; });
    int code = -1;
    if (!desktop) {
        std::fprintf(stderr, "desktop %s did not appear\n", name.c_str());
    } else {
        CloseDesktop(desktop);
        std::fflush(stdout);
        std::fflush(stderr);
        STARTUPINFOA run{};
        run.cb = sizeof run;
        run.lpDesktop = const_cast<char*>(name.c_str());
        run.dwFlags = STARTF_USESTDHANDLES;
        run.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        run.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
        run.hStdError = GetStdHandle(STD_ERROR_HANDLE);
        std::string self = GetCommandLineA();
        PROCESS_INFORMATION child{};
        if (CreateProcessA(nullptr, self.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &run, &child)) {
            CloseHandle(child.hThread);
            WaitForSingleObject(child.hProcess, INFINITE);
            DWORD exitCode = 1;
            GetExitCodeProcess(child.hProcess, &exitCode);
            CloseHandle(child.hProcess);
            code = static_cast<int>(exitCode);
        } else {
            std::fprintf(stderr, "cannot run on %s: error %lu\n", name.c_str(), GetLastError());
        }
    }
    TerminateProcess(explorer.hProcess, 0);
    WaitForSingleObject(explorer.hProcess, 5000);
    CloseHandle(explorer.hProcess);
    return code;
}

}  // namespace kestrune_driver
