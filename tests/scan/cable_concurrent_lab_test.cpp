// Two scans on two threads over the same ports: nothing of one scan reaches the other. Each
// port is either tested by a scan with its right verdict, or found held by the other scan
// and left untested. Skipped when the lab is not up.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <thread>
#include <vector>

#include "scan/cable_test.h"
#include "scan/scan_driver.h"
#include "scan/status_probe.h"
#include "support/fixed_text.h"
#include "scan_test_support.h"

using namespace kestrune;

TEST(CableConcurrent, TwoScansOnTwoThreadsEachRightOrUntested) {
    if (!scan_test::LabUp()) GTEST_SKIP() << "serial lab is not up";
    // The test layout's ports with nothing, a loopback plug, a powered device, a dsr-only plug.
    const std::map<std::string, CableVerdict> expected = {
        {"COM2", {-1, 0}}, {"COM6", {1, 1}}, {"COM9", {0, 1}}, {"COM10", {-1, -1}}};
    std::vector<std::string> names;
    for (const auto& [com, verdict] : expected) names.push_back(com);

    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        std::vector<PortRecord> first, second;
        std::thread other([&] { ScanNamedPorts(second, nullptr, names); });
        ScanNamedPorts(first, nullptr, names);
        other.join();
        for (const std::vector<PortRecord>* scan : {&first, &second}) {
            ASSERT_EQ(scan->size(), names.size());
            for (const PortRecord& r : *scan) {
                const std::string com(Text(r.PortName));
                SCOPED_TRACE(com);
                if (Text(r.Status) == kStatusAvailable) {
                    EXPECT_EQ((CableVerdict{r.CableKind, r.CableResponse}), expected.at(com));
                } else {
                    EXPECT_EQ(Text(r.Status), kStatusInUse);
                    EXPECT_TRUE(CableNotTested(r));
                }
            }
        }
    }
}
