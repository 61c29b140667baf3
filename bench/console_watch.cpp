// How soon kestrune-scan --watch reports a port that arrives or is removed: the device
// map gains a value (and loses it again) while the watch runs; the time from the registry
// write to the line on the watch's output. Prints watch_arrival_ms and watch_removal_ms.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "support/handles.h"

using namespace kestrune;
using Clock = std::chrono::steady_clock;

namespace {

const char kDeviceMap[] = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
const char kBenchDevice[] = "\\Device\\KestruneBenchSerial";
const char kBenchPort[] = "COM249";

std::string ProgramFolder() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path);
    return folder.substr(0, folder.find_last_of('\\') + 1);
}

// Reads the watch's output until text appears after from; milliseconds since start, or
// -1 after ten seconds.
double WaitForLine(HANDLE pipe, std::string& output, const std::string& text, size_t from, Clock::time_point start) {
    while (Clock::now() - start < std::chrono::seconds(10)) {
        if (output.find(text, from) != std::string::npos)
            return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        DWORD available = 0;
        if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) return -1;
        if (available == 0) {
            Sleep(1);
            continue;
        }
        char buffer[4096];
        DWORD got = 0;
        if (!ReadFile(pipe, buffer, sizeof buffer, &got, nullptr)) return -1;
        output.append(buffer, got);
    }
    return -1;
}

}  // namespace

int main() {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return 1;
    UniqueHandle reader(readEnd), writer(writeEnd);
    SetHandleInformation(reader.get(), HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writer.get();
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    std::string command = "\"" + ProgramFolder() + "kestrune-scan.exe\" --watch";
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info)) {
        std::fprintf(stderr, "cannot start %s (error %lu)\n", command.c_str(), GetLastError());
        return 1;
    }
    UniqueHandle process(info.hProcess), thread(info.hThread);
    writer.reset();

    std::string output;
    int status = 0;
    if (WaitForLine(reader.get(), output, "no port opened", 0, Clock::now()) < 0) {
        std::fprintf(stderr, "the watch printed no listing: %s\n", output.c_str());
        status = 1;
    } else {
        UniqueRegKey key;
        // The device map exists on any machine with a serial port; it is volatile, as the system's.
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kDeviceMap, 0, nullptr, REG_OPTION_VOLATILE, KEY_SET_VALUE, nullptr,
                            key.put(), nullptr) != ERROR_SUCCESS) {
            std::fprintf(stderr, "cannot open the device map for writing\n");
            status = 1;
        } else {
            size_t from = output.size();
            auto start = Clock::now();
            RegSetValueExA(key.get(), kBenchDevice, 0, REG_SZ, reinterpret_cast<const BYTE*>(kBenchPort),
                           sizeof kBenchPort);
            const double arrival = WaitForLine(reader.get(), output, std::string("arrived   ") + kBenchPort, from, start);
            from = output.size();
            start = Clock::now();
            RegDeleteValueA(key.get(), kBenchDevice);
            const double removal = WaitForLine(reader.get(), output, std::string("removed   ") + kBenchPort, from, start);
            if (arrival < 0 || removal < 0) {
                std::fprintf(stderr, "the watch missed a change: %s\n", output.c_str());
                status = 1;
            }
            std::printf("watch_arrival_ms: %.1f\n", arrival);
            std::printf("watch_removal_ms: %.1f\n", removal);
        }
    }
    TerminateProcess(process.get(), 0);
    WaitForSingleObject(process.get(), 5000);
    return status;
}
