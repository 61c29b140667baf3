#pragma once
// Starts a program by a full command line and waits for it (a minute at most), as the tests
// run the system's tools: the registration tool, the script host. Tools are named by their
// full path (kestrune::SystemFolderPath), never by a bare name a planted file could answer to.
#include <windows.h>

#include <string>

#include "support/handles.h"
#include "support/system_folder.h"

namespace kestrune_test {

// Runs commandLine, collecting its standard output and error; false when it did not start or end.
inline bool RunAndCollect(const std::string& commandLine, std::string& output, DWORD& exitCode) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return false;
    kestrune::UniqueHandle reader(readEnd), writer(writeEnd);
    SetHandleInformation(reader.get(), HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writer.get();
    startup.hStdError = writer.get();
    std::string command = commandLine;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info))
        return false;
    kestrune::UniqueHandle process(info.hProcess), thread(info.hThread);
    writer.reset();
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(reader.get(), buffer, sizeof buffer, &got, nullptr) && got) output.append(buffer, got);
    return WaitForSingleObject(process.get(), 60000) == WAIT_OBJECT_0 && GetExitCodeProcess(process.get(), &exitCode);
}

// commandLine's exit code; 0xFFFFFFFF when it did not start or end.
inline DWORD RunAndWait(const std::string& commandLine) {
    std::string output;
    DWORD exitCode = 0xFFFFFFFF;
    return RunAndCollect(commandLine, output, exitCode) ? exitCode : 0xFFFFFFFF;
}

// The registration tool (by full path) on library, with switches such as "/s" or "/u /s".
inline DWORD RunRegistrationToolOn(const std::string& toolPath, const std::string& switches,
                                   const std::string& library) {
    return RunAndWait("\"" + toolPath + "\" " + switches + " \"" + library + "\"");
}

}  // namespace kestrune_test
