// kestrune-show: opens Kestrune.exe and works it as a user would, for screenshots.
//   kestrune-show open <Kestrune.exe> [desktop]
//                                       starts it (in the current folder), waits for the
//                                       window, presses "Refresh", waits for " Scan Complete"
//                                       and prints "window: <pid> <x> <y> <width> <height>"
//                                       (screen pixels); the program keeps running.
//   kestrune-show close <pid> [desktop] sends the window a close message, waits for the
//                                       program to end and prints "exit: <code>".
// With a desktop name, the program runs on that desktop (Wine's explorer makes one with the
// driver of its choice: "explorer /desktop=name,WxH,x11"), and the window is looked for there.
// Exit status 0 on success, 1 with a message on stderr otherwise.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "window_driver.h"

using namespace kestrune_driver;

namespace {

int Fail(const char* what) {
    std::fprintf(stderr, "kestrune-show: %s\n", what);
    return 1;
}

bool UseDesktop(const char* name) {
    if (!name) return true;
    HDESK desktop = nullptr;
    for (int attempt = 0; attempt < 500 && !desktop; ++attempt) {
        desktop = OpenDesktopA(name, 0, FALSE, GENERIC_ALL);
        if (!desktop) Sleep(20);
    }
    return desktop && SetThreadDesktop(desktop);
}

int Open(const char* exePath, const char* desktop) {
    if (!UseDesktop(desktop)) return Fail("no such desktop");
    Child child;
    char folder[MAX_PATH] = {};
    GetCurrentDirectoryA(sizeof folder, folder);
    if (!StartProgram(exePath, folder, desktop, child)) return Fail("cannot start the program");
    HWND window = FindMainWindow(child.processId, 30000);
    if (!window) return Fail("no window appeared");
    PressRefresh(window);
    if (!WaitForScanComplete(window, 300000)) return Fail("the scan did not complete");
    // Let the rows and the status bar paint before the picture is taken.
    Sleep(700);
    RECT rect{};
    GetWindowRect(window, &rect);
    std::printf("window: %lu %ld %ld %ld %ld\n", child.processId, rect.left, rect.top, rect.right - rect.left,
                rect.bottom - rect.top);
    std::fflush(stdout);
    // The program goes on running: keep it from the child's clean-up.
    CloseHandle(child.process);
    child.process = nullptr;
    return 0;
}

int Close(DWORD processId, const char* desktop) {
    if (!UseDesktop(desktop)) return Fail("no such desktop");
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (!process) return Fail("no such process");
    HWND window = FindMainWindow(processId, 5000);
    if (!window) {
        CloseHandle(process);
        return Fail("the program has no window");
    }
    PostMessageA(window, WM_CLOSE, 0, 0);
    const DWORD code = WaitForExit(process, 60000);
    CloseHandle(process);
    if (code == STILL_ACTIVE) return Fail("the program did not end");
    std::printf("exit: %lu\n", code);
    return code == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const char* desktop = argc == 4 ? argv[3] : nullptr;
    if ((argc == 3 || argc == 4) && std::strcmp(argv[1], "open") == 0) return Open(argv[2], desktop);
    if ((argc == 3 || argc == 4) && std::strcmp(argv[1], "close") == 0)
        return Close(static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10)), desktop);
    return Fail("usage: kestrune-show open <Kestrune.exe> [desktop] | close <pid> [desktop]");
}
