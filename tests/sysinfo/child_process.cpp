#include "child_process.h"

#include <cstring>

#include "support/handles.h"

namespace kestrune::testing {
namespace {

void RemoveTree(const std::string& folder) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            std::string full = folder + "\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(full);
            else DeleteFileA(full.c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(folder.c_str());
}

}  // namespace

TempFolder::TempFolder() {
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    static int counter = 0;
    for (;;) {
        path_ = std::string(base) + "kestrune-sysinfo-" + std::to_string(GetCurrentProcessId()) + "-" +
                std::to_string(++counter);
        if (CreateDirectoryA(path_.c_str(), nullptr)) break;
    }
}

TempFolder::~TempFolder() { RemoveTree(path_); }

std::string OwnExecutable() {
    char name[MAX_PATH * 4];
    DWORD got = GetModuleFileNameA(nullptr, name, sizeof name);
    return std::string(name, got);
}

int RunWithEnvironment(const std::string& exe, const std::vector<std::string>& environment,
                       const std::string& currentFolder) {
    std::string block;
    for (const std::string& entry : environment) block.append(entry).push_back('\0');
    block.push_back('\0');
    if (environment.empty()) block.push_back('\0');
    std::string commandLine = "\"" + exe + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, block.data(),
                        currentFolder.empty() ? nullptr : currentFolder.c_str(), &startup, &process))
        return -1;
    UniqueHandle processHandle(process.hProcess), threadHandle(process.hThread);
    WaitForSingleObject(processHandle.get(), INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(processHandle.get(), &code);
    return static_cast<int>(code);
}

std::vector<std::string> HelperEnvironment(const std::string& job, const std::string& outFile) {
    std::vector<std::string> environment;
    if (char* block = GetEnvironmentStringsA()) {
        for (const char* entry = block; *entry; entry += std::strlen(entry) + 1) {
            if (std::strncmp(entry, "KESTRUNE_SYSINFO_", 17) == 0) continue;
            environment.emplace_back(entry);
        }
        FreeEnvironmentStringsA(block);
    }
    environment.push_back("KESTRUNE_SYSINFO_HELPER=" + job);
    environment.push_back("KESTRUNE_SYSINFO_OUT=" + outFile);
    return environment;
}

bool FileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace kestrune::testing
