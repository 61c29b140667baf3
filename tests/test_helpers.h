#pragma once
// Helpers every test area shares: waiting for a condition (bounded, never a fixed sleep that
// hopes the condition has come) and reading a file whole.
#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>

namespace test_helpers {

// Polls condition() until it holds: true then, false once timeoutMs have passed without it.
template <typename Condition>
bool PollUntil(Condition condition, DWORD timeoutMs = 10000) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    for (;;) {
        if (condition()) return true;
        if (GetTickCount64() >= end) return false;
        Sleep(1);
    }
}

// The bytes of a file; empty when it cannot be read.
inline std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace test_helpers
