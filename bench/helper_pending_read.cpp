// Helper: keeps a synchronous read pending for ever, on both ends of a named pipe and,
// when a port is named, on that port opened without sharing. On Windows a name query of
// such a handle blocks until the read ends.
// usage: helper_pending_read <pipe-name> [<port-path>|-] <ready-event>
#include <windows.h>

#include "bench/helper_process.h"

namespace {
DWORD WINAPI ReadForEver(void* handle) {
    char byte;
    DWORD read = 0;
    ReadFile(static_cast<HANDLE>(handle), &byte, 1, &read, nullptr);
    return 0;
}
}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    const std::string pipeName = std::string("\\\\.\\pipe\\") + argv[1];
    HANDLE server = CreateNamedPipeA(pipeName.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 64, 64, 0,
                                     nullptr);
    if (server == INVALID_HANDLE_VALUE) return 3;
    HANDLE client = CreateFileA(pipeName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (client == INVALID_HANDLE_VALUE) return 4;
    ConnectNamedPipe(server, nullptr);
    CloseHandle(CreateThread(nullptr, 0, ReadForEver, server, 0, nullptr));
    CloseHandle(CreateThread(nullptr, 0, ReadForEver, client, 0, nullptr));
    if (argc >= 4 && argv[2][0] != '-') {
        HANDLE port = CreateFileA(argv[2], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (port == INVALID_HANDLE_VALUE) return 5;
        COMMTIMEOUTS never = {};  // no timeouts: a read waits for its byte
        SetCommTimeouts(port, &never);
        CloseHandle(CreateThread(nullptr, 0, ReadForEver, port, 0, nullptr));
    }
    Sleep(200);  // let the reads reach the system
    kestrune_helpers::SignalReady(argc, argv);
    Sleep(INFINITE);
    return 0;
}
