// The long fuzz run through every export and class member of the Kestrune.dll beside this
// program (tests/fuzz): 100,000 records in the 64-bit build, 10,000 in the emulated 32-bit
// one (or the count given as the first argument). Prints fuzz_records, fuzz_crashes,
// fuzz_hangs and fuzz_handle_growth (targets 0), and each fault found on standard error.
#include <cstdio>
#include <cstdlib>

#include "tests/fuzz/fuzz_targets.h"

int main(int argc, char** argv) {
    const uint64_t records = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : (sizeof(void*) == 8 ? 100000 : 10000);
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string library(self);
    library = library.substr(0, library.find_last_of("\\/") + 1) + "Kestrune.dll";
    const fuzz::Figures figures = fuzz::Run(library, records, 20261209, sizeof(void*) == 8 ? 20000 : 90000);
    for (const std::string& fault : figures.faults) std::fprintf(stderr, "fault: %s\n", fault.c_str());
    const char* world = sizeof(void*) == 8 ? "" : "_i686";
    std::printf("fuzz_records%s: %llu\n", world, static_cast<unsigned long long>(figures.records));
    std::printf("fuzz_crashes%s: %llu\n", world, static_cast<unsigned long long>(figures.crashes));
    std::printf("fuzz_hangs%s: %llu\n", world, static_cast<unsigned long long>(figures.hangs));
    std::printf("fuzz_handle_growth%s: %ld\n", world, figures.handleGrowth);
    std::printf("fuzz_own_handles_intact%s: %d\n", world, figures.ownHandlesIntact ? 1 : 0);
    return figures.crashes || figures.hangs || figures.handleGrowth > 0 || !figures.ownHandlesIntact;
}
