// A small fuzz run through every export and class member of Kestrune.dll (this build's):
// no crash, no hang, no handle growth, this program's own handles intact. KESTRUNE_FUZZ_RECORDS
// sets the number of records (./bench.sh runs the long ones).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "fuzz_targets.h"
#include "gui/driver/window_driver.h"

namespace {

TEST(Fuzz, EveryExportAndMemberTakesBadRecords) {
    const char* wanted = std::getenv("KESTRUNE_FUZZ_RECORDS");
    const uint64_t records = wanted ? std::strtoull(wanted, nullptr, 10) : 2000;
    // A call gets this long; emulated 32-bit code runs about ten times slower.
    const DWORD limitMs = sizeof(void*) == 8 ? 20000 : 90000;
    const fuzz::Figures figures = fuzz::Run(kestrune_driver::WindowsPath(KESTRUNE_BIN_DIR "/Kestrune.dll"), records,
                                            20261209, limitMs);
    std::printf("fuzz: %llu records, %llu crashes, %llu hangs, handle growth %ld\n",
                static_cast<unsigned long long>(figures.records), static_cast<unsigned long long>(figures.crashes),
                static_cast<unsigned long long>(figures.hangs), figures.handleGrowth);
    std::string faults;
    for (const std::string& f : figures.faults) faults += "\n  " + f;
    EXPECT_EQ(figures.records, records);
    EXPECT_EQ(figures.crashes, 0u) << faults;
    EXPECT_EQ(figures.hangs, 0u) << faults;
    EXPECT_LE(figures.handleGrowth, 0) << faults;
    EXPECT_TRUE(figures.ownHandlesIntact);
    EXPECT_TRUE(figures.faults.empty()) << faults;
}

}  // namespace
