#pragma once
// The floor the owner search is measured against: every entry of a process that passes the
// process filter is named with direct calls, the owner process opened and closed per
// entry, no worker, no progress, no filter on the object type.
#include <windows.h>

#include <chrono>
#include <unordered_map>
#include <vector>

#include "scan/owner_search.h"

extern "C" LONG NTAPI NtQueryObject(HANDLE, ULONG, void*, ULONG, ULONG*);

namespace kestrune_bench {

using Clock = std::chrono::steady_clock;

inline double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

inline double FloorWalk(const std::vector<kestrune::HandleEntry>& entries, uint32_t* named) {
    static std::vector<unsigned char> buffer(70000);
    const auto start = Clock::now();
    std::unordered_map<uint32_t, bool> skipped;
    uint32_t count = 0;
    for (const kestrune::HandleEntry& entry : entries) {
        auto found = skipped.find(entry.processId);
        if (found == skipped.end())
            found = skipped.emplace(entry.processId, kestrune::ProcessPathSkipped(kestrune::ProcessImagePath(entry.processId))).first;
        if (found->second || entry.processId == 0) continue;
        HANDLE owner = OpenProcess(PROCESS_DUP_HANDLE, FALSE, entry.processId);
        if (!owner) continue;
        HANDLE duplicate = nullptr;
        if (DuplicateHandle(owner, reinterpret_cast<HANDLE>(static_cast<uintptr_t>(entry.handleValue)),
                            GetCurrentProcess(), &duplicate, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
            ULONG returned = 0;
            if (NtQueryObject(duplicate, 1, buffer.data(), static_cast<ULONG>(buffer.size()), &returned) == 0) ++count;
            CloseHandle(duplicate);
        }
        CloseHandle(owner);
    }
    if (named) *named = count;
    return MillisecondsSince(start);
}

}  // namespace kestrune_bench
