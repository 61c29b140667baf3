// A module for the real registration tool to load: its DllRegisterServer records the command
// line of the process that called it (the tool's) as one line in the file named by
// KESTRUNE_PROBE_LOG; when KESTRUNE_PROBE_HOLD names an event it then waits for that event
// (at most 30 s). It registers nothing.
#include <windows.h>

#include <string>

extern "C" __declspec(dllexport) HRESULT WINAPI DllRegisterServer() {
    char log[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableA("KESTRUNE_PROBE_LOG", log, sizeof log);
    if (length > 0 && length < sizeof log) {
        HANDLE file = CreateFileA(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            const std::string line = std::string(GetCommandLineA()) + "\n";
            DWORD written = 0;
            WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
            CloseHandle(file);
        }
    }
    char hold[MAX_PATH] = {};
    const DWORD holdLength = GetEnvironmentVariableA("KESTRUNE_PROBE_HOLD", hold, sizeof hold);
    if (holdLength > 0 && holdLength < sizeof hold) {
        HANDLE release = CreateEventA(nullptr, TRUE, FALSE, hold);
        if (release) {
            WaitForSingleObject(release, 30000);
            CloseHandle(release);
        }
    }
    return S_OK;
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllUnregisterServer() { return S_OK; }
