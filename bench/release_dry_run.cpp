// Cost of deciding a release over a full COM number database: 200 reservations (COM57 to
// COM256, none held by anything the lab has), every one asked for by --release-stale --dry-run.
// Prints "release_dry_run_ms" (median of 15 runs: key opened, value read, devices, device map
// and port list read, every number decided) and "release_dry_run_released" (how many would go).
// The database value is put back afterwards.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/console/comdb_backup.h"
#include "app/console/reservation_release.h"
#include "support/handles.h"

namespace {

bool ReadValue(std::vector<uint8_t>& value, DWORD& type) {
    kestrune::UniqueRegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kestrune::kComDbKeyPath, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
        return false;
    DWORD size = 4096;
    value.assign(size, 0);
    if (RegQueryValueExA(key.get(), kestrune::kComDbValueName, nullptr, &type, value.data(), &size) != ERROR_SUCCESS)
        return false;
    value.resize(size);
    return true;
}

bool WriteValue(const std::vector<uint8_t>& value, DWORD type) {
    kestrune::UniqueRegKey key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kestrune::kComDbKeyPath, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(),
                        nullptr) != ERROR_SUCCESS)
        return false;
    return RegSetValueExA(key.get(), kestrune::kComDbValueName, 0, type, value.data(),
                          static_cast<DWORD>(value.size())) == ERROR_SUCCESS;
}

}  // namespace

int main() {
    std::vector<uint8_t> saved;
    DWORD savedType = REG_BINARY;
    const bool had = ReadValue(saved, savedType);
    std::vector<uint8_t> full(32, 0);
    for (int number = 57; number <= 256; ++number)
        full[static_cast<size_t>(number - 1) / 8] |= static_cast<uint8_t>(1u << ((number - 1) % 8));
    if (!WriteValue(full, REG_BINARY)) {
        std::fprintf(stderr, "the COM number database cannot be written\n");
        return 1;
    }
    kestrune::ReleaseRequest request;
    request.stale = true;
    kestrune::ReleaseSettings settings;
    settings.dryRun = true;
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    std::vector<double> times;
    size_t released = 0;
    for (int i = 0; i < 15; ++i) {
        QueryPerformanceCounter(&start);
        const kestrune::ReleaseRun run = kestrune::RunRelease(request, settings);
        QueryPerformanceCounter(&end);
        released = run.plan.outcomes.size();
        times.push_back(1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) /
                        static_cast<double>(frequency.QuadPart));
    }
    if (had) {
        WriteValue(saved, savedType);
    } else {
        kestrune::UniqueRegKey key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kestrune::kComDbKeyPath, 0, KEY_SET_VALUE, key.put()) == ERROR_SUCCESS)
            RegDeleteValueA(key.get(), kestrune::kComDbValueName);
    }
    std::sort(times.begin(), times.end());
    std::printf("release_dry_run_ms: %.3f\n", times[times.size() / 2]);
    std::printf("release_dry_run_released: %zu\n", released);
    return 0;
}
