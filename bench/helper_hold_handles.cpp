// Helper: holds count extra handles to one file (opened count times), and optionally one
// more object opened without sharing, then waits until it is ended.
// usage: helper_hold_handles <count> <file> [<exclusive-path>|-] <ready-event>
#include <windows.h>

#include <cstdlib>
#include <vector>

#include "bench/helper_process.h"

int main(int argc, char** argv) {
    if (argc < 4) return 2;
    const long count = std::strtol(argv[1], nullptr, 10);
    std::vector<HANDLE> held;
    for (long i = 0; i < count; ++i) {
        HANDLE h = CreateFileA(argv[2], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) return 3;
        held.push_back(h);
    }
    if (argc >= 5 && argv[3][0] != '-') {
        HANDLE h = CreateFileA(argv[3], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE) return 4;
        held.push_back(h);
    }
    kestrune_helpers::SignalReady(argc, argv);
    Sleep(INFINITE);
    return 0;
}
