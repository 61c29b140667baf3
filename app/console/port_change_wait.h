#pragma once
// Waiting, without polling, until the serial ports the system knows may have changed:
// change notifications on the registry's device map and port list, and the device
// arrival and removal messages the system broadcasts to top-level windows (where it sends
// them). Ctrl+C, Ctrl+Break and closing the console end the wait.
#include <windows.h>

#include <string>

#include "support/handles.h"

namespace kestrune {

class PortChangeWait {
public:
    PortChangeWait();
    ~PortChangeWait();
    PortChangeWait(const PortChangeWait&) = delete;
    PortChangeWait& operator=(const PortChangeWait&) = delete;

    // Arms the notifications. False with a message when not even one registry key could be
    // watched.
    bool Start(std::string* error);

    enum class Wake { kChanged, kStopped, kTimeout };

    // Returns once something changed and has then stayed quiet for settleMs (so that a
    // writer replacing several values is seen once), when stopped, or after timeoutMs.
    Wake Wait(DWORD timeoutMs, DWORD settleMs = 100);

private:
    struct WatchedKey {
        UniqueRegKey key;
        UniqueHandle event;
        BOOL subtree = FALSE;
    };
    static bool Open(WatchedKey& watched, const char* path, const char* fallbackPath);
    static bool Arm(WatchedKey& watched);
    // One wait for any signal or message; a fired registry notification is armed again.
    enum class Signal { kChange, kStop, kNone };
    Signal WaitOnce(DWORD milliseconds);

    WatchedKey deviceMap_;
    WatchedKey portList_;
    UniqueHandle stop_;
    HWND window_ = nullptr;
    HDEVNOTIFY notify_ = nullptr;
};

}  // namespace kestrune
