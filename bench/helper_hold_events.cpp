// Helper: holds count extra handles, half of them events and half mutexes (unnamed), then
// waits until it is ended.
// usage: helper_hold_events <count> <ready-event>
#include <windows.h>

#include <cstdlib>
#include <vector>

#include "bench/helper_process.h"

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    const long count = std::strtol(argv[1], nullptr, 10);
    std::vector<HANDLE> held;
    for (long i = 0; i < count; ++i) {
        HANDLE h = i % 2 ? CreateMutexA(nullptr, FALSE, nullptr) : CreateEventA(nullptr, TRUE, FALSE, nullptr);
        if (!h) return 3;
        held.push_back(h);
    }
    kestrune_helpers::SignalReady(argc, argv);
    Sleep(INFINITE);
    return 0;
}
