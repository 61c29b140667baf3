#include "app/console/console_stop.h"

#include <windows.h>

namespace kestrune {
namespace {

// The handler runs on a thread of its own and reaches the one live ConsoleStop through this.
std::atomic<std::atomic<bool>*> g_stopFlag{nullptr};

BOOL WINAPI OnConsoleStop(DWORD type) {
    switch (type) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
        case CTRL_CLOSE_EVENT:
            if (std::atomic<bool>* flag = g_stopFlag.load()) {
                flag->store(true);
                return TRUE;
            }
            return FALSE;
        default: return FALSE;
    }
}

}  // namespace

ConsoleStop::ConsoleStop() {
    g_stopFlag.store(&stop_);
    SetConsoleCtrlHandler(OnConsoleStop, TRUE);
    previous_ = SetProgressSink(this);
}

ConsoleStop::~ConsoleStop() {
    SetProgressSink(previous_);
    SetConsoleCtrlHandler(OnConsoleStop, FALSE);
    g_stopFlag.store(nullptr);
}

}  // namespace kestrune
