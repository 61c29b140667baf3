// Cost of reading the serial hardware's identity (what every refresh and console scan adds):
// prints "identity_setupapi_ms", "identity_registry_ms" and "identity_snapshot_ms" (median of
// 15 reads each) and "identity_devices" (how many device entries name a COM port).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "scan/identity_reader.h"

namespace {

template <typename Read>
double MedianMilliseconds(Read read) {
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    std::vector<double> times;
    for (int i = 0; i < 15; ++i) {
        QueryPerformanceCounter(&start);
        read();
        QueryPerformanceCounter(&end);
        times.push_back(1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart));
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace

int main() {
    std::printf("identity_devices: %zu\n", kestrune::ReadHardwareSnapshot().devices.size());
    std::printf("identity_setupapi_ms: %.3f\n", MedianMilliseconds([] { kestrune::ReadIdentitiesThroughSetupApi(); }));
    std::printf("identity_registry_ms: %.3f\n", MedianMilliseconds([] { kestrune::ReadIdentitiesFromRegistry(); }));
    std::printf("identity_snapshot_ms: %.3f\n", MedianMilliseconds([] { kestrune::ReadHardwareSnapshot(); }));
    return 0;
}
