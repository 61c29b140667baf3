#include "scan/owner_process.h"

#include <windows.h>
#include <psapi.h>

#include "scan/owner_match.h"
#include "support/handles.h"

namespace kestrune {

namespace {
constexpr DWORD kQueryAndRead = PROCESS_QUERY_INFORMATION | PROCESS_VM_READ;  // 0x410
}  // namespace

std::string ProcessImagePath(uint32_t processId) {
    UniqueHandle process(OpenProcess(kQueryAndRead, FALSE, processId));
    if (!process) return kUnknownProgramPath;

    // The first module of the list is the executable.
    HMODULE modules[1] = {nullptr};
    DWORD needed = 0;
    char path[MAX_PATH] = {};
    if (EnumProcessModules(process.get(), modules, sizeof modules, &needed) && modules[0]) {
        const DWORD n = GetModuleFileNameExA(process.get(), modules[0], path, MAX_PATH);
        if (n > 0 && n < MAX_PATH) return std::string(path, n);
    }

    // A 32-bit scanner cannot list a 64-bit process's modules: ask for the image name.
    using QueryImageName = BOOL(WINAPI*)(HANDLE, DWORD, LPSTR, PDWORD);
    static const auto queryImageName = reinterpret_cast<QueryImageName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "QueryFullProcessImageNameA")));
    if (queryImageName) {
        DWORD length = MAX_PATH;
        if (queryImageName(process.get(), 0, path, &length) && length > 0 && length < MAX_PATH)
            return std::string(path, length);
    }
    return kUnknownProgramPath;
}

}  // namespace kestrune
