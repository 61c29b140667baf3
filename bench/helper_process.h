#pragma once
// Starts one of the small helper programs of the benchmarks and tests, waits until it says
// it is ready, and ends it when the owner goes. A helper is told the name of an event to
// set once it holds what it was asked to hold.
#include <windows.h>

#include <string>

namespace kestrune_helpers {

class HelperProcess {
public:
    HelperProcess() = default;
    HelperProcess(const HelperProcess&) = delete;
    HelperProcess& operator=(const HelperProcess&) = delete;
    ~HelperProcess() { Stop(); }

    // Runs "exe args READY-EVENT-NAME"; true once the helper set the event (within 20 s).
    bool Start(const std::string& exe, const std::string& args) {
        Stop();
        static LONG counter = 0;
        const std::string eventName = "Local\\kestrune-helper-ready-" + std::to_string(GetCurrentProcessId()) + "-" +
                                      std::to_string(InterlockedIncrement(&counter));
        HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, eventName.c_str());
        if (!ready) return false;
        std::string command = "\"" + exe + "\" " + args + " " + eventName;
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info = {};
        if (!CreateProcessA(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &info)) {
            CloseHandle(ready);
            return false;
        }
        CloseHandle(info.hThread);
        process_ = info.hProcess;
        processId_ = info.dwProcessId;
        HANDLE waits[2] = {ready, process_};
        const DWORD result = WaitForMultipleObjects(2, waits, FALSE, 20000);
        CloseHandle(ready);
        if (result != WAIT_OBJECT_0) {
            Stop();
            return false;
        }
        return true;
    }

    void Stop() {
        if (!process_) return;
        TerminateProcess(process_, 0);
        WaitForSingleObject(process_, 10000);
        CloseHandle(process_);
        process_ = nullptr;
        processId_ = 0;
    }

    DWORD processId() const { return processId_; }
    HANDLE process() const { return process_; }

private:
    HANDLE process_ = nullptr;
    DWORD processId_ = 0;
};

// The folder of the running program, with its final backslash.
inline std::string OwnFolder() {
    char path[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, n);
    const auto cut = folder.find_last_of("\\/");
    return cut == std::string::npos ? std::string() : folder.substr(0, cut + 1);
}

// Sets the named event that a starting helper was given as its last argument.
inline void SignalReady(int argc, char** argv) {
    if (argc < 2) return;
    if (HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[argc - 1])) {
        SetEvent(ready);
        CloseHandle(ready);
    }
}

}  // namespace kestrune_helpers
