// Discovery: the working list from device-map and port-list values.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scan/discovery.h"

namespace kestrune {
namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;  // value name, data

RegValueList Values(const Pairs& pairs) {
    RegValueList list;
    for (const auto& [name, data] : pairs) {
        list.names.push_back(name);
        list.types.push_back(REG_SZ);
        list.data.push_back(data);
        ++list.count;
    }
    return list;
}

struct DiscoveryCase {
    const char* title;
    Pairs deviceMap;
    Pairs portList;
    std::vector<DiscoveredPort> expected;  // portName, deviceName, objName
};

DiscoveredPort Port(const std::string& port, const std::string& device) { return {port, device, device}; }

const DiscoveryCase kCases[] = {
    {"device map first, then port-list-only ports; LPT and FILE skipped",
     {{"\\Device\\Serial0", "COM1"}, {"\\Device\\ProlificSerial0", "COM5"}},
     {{"COM1:", "9600,n,8,1"}, {"COM2:", ""}, {"LPT1:", ""}, {"FILE:", ""}},
     {Port("COM1", "\\Device\\Serial0"), Port("COM5", "\\Device\\ProlificSerial0"), Port("COM2", "COM2")}},
    {"empty device map: the port list fills the blank record, no blank left",
     {}, {{"COM1:", ""}, {"COM2:", ""}},
     {Port("COM1", "COM1"), Port("COM2", "COM2")}},
    {"equality, not substring: COM1 listed does not hide COM10 to COM19",
     {{"\\Device\\Serial0", "COM1"}}, {{"COM10:", ""}, {"COM11:", ""}, {"COM19:", ""}, {"COM1:", ""}},
     {Port("COM1", "\\Device\\Serial0"), Port("COM10", "COM10"), Port("COM11", "COM11"), Port("COM19", "COM19")}},
    {"equality, not substring: COM5 listed does not hide COM50 or COM59",
     {{"\\Device\\Serial4", "COM5"}}, {{"COM50:", ""}, {"COM5:", ""}, {"COM59:", ""}},
     {Port("COM5", "\\Device\\Serial4"), Port("COM50", "COM50"), Port("COM59", "COM59")}},
    {"a listed longer name does not hide a shorter one",
     {{"\\Device\\Serial9", "COM10"}}, {{"COM1:", ""}, {"COM10:", ""}},
     {Port("COM10", "\\Device\\Serial9"), Port("COM1", "COM1")}},
    {"lower case kept, colons removed",
     {{"\\Device\\Serial0", "COM1"}}, {{"com3:", ""}},
     {Port("COM1", "\\Device\\Serial0"), Port("com3", "com3")}},
    {"COM inside a longer name is taken",
     {}, {{"TELECOMPORT:", ""}},
     {Port("TELECOMPORT", "TELECOMPORT")}},
    {"two device-map values with the same COM name both stay, in order",
     {{"\\Device\\Serial0", "COM1"}, {"\\Device\\Serial1", "COM1"}}, {},
     {Port("COM1", "\\Device\\Serial0"), Port("COM1", "\\Device\\Serial1")}},
    {"nothing known: one blank record",
     {}, {{"LPT1:", ""}, {"FILE:", ""}},
     {DiscoveredPort{}}},
    {"port-list names are checked against ports added from earlier port-list names",
     {}, {{"COM2:", ""}, {"COM2:", ""}, {"xCOM2x:", ""}, {"com2:", ""}, {"COM3:", ""}},
     {Port("COM2", "COM2"), Port("xCOM2x", "xCOM2x"), Port("COM3", "COM3")}},
    {"every colon is removed, wherever it is",
     {}, {{"COM:7:", ""}},
     {Port("COM7", "COM7")}},
    {"the COM test comes before the colons are removed",
     {}, {{"CO:M8:", ""}},
     {DiscoveredPort{}}},
    {"case-insensitive equality with listed names",
     {{"\\Device\\Serial0", "com4"}}, {{"COM4:", ""}},
     {Port("com4", "\\Device\\Serial0")}},
    {"a device-map entry without a COM name is kept, not taken over",
     {{"\\Device\\Serial0", ""}}, {{"COM2:", ""}},
     {Port("", "\\Device\\Serial0"), Port("COM2", "COM2")}},
    {"device-map data with an embedded NUL is cut there, as the record keeps it",
     {{"\\Device\\Serial0", std::string("COM6\0junk", 9)}}, {{"COM6:", ""}},
     {Port("COM6", "\\Device\\Serial0")}},
};

void PrintTo(const DiscoveryCase& c, std::ostream* os) { *os << c.title; }

class DiscoveryTest : public testing::TestWithParam<DiscoveryCase> {};

TEST_P(DiscoveryTest, BuildsWorkingList) {
    const DiscoveryCase& c = GetParam();
    const std::vector<DiscoveredPort> list = BuildWorkingList(Values(c.deviceMap), Values(c.portList));
    ASSERT_EQ(list.size(), c.expected.size()) << c.title;
    for (size_t i = 0; i < list.size(); ++i) {
        EXPECT_EQ(list[i].portName, c.expected[i].portName) << c.title << " [" << i << "]";
        EXPECT_EQ(list[i].deviceName, c.expected[i].deviceName) << c.title << " [" << i << "]";
        EXPECT_EQ(list[i].objName, c.expected[i].objName) << c.title << " [" << i << "]";
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, DiscoveryTest, testing::ValuesIn(kCases));

TEST(Discovery, OverlongNamesAreCutToTheRecordsField) {
    const std::string longName(400, 'D');
    const std::vector<DiscoveredPort> list = BuildWorkingList(Values({{longName, "COM1"}}), {});
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].deviceName, std::string(259, 'D'));
}

TEST(Discovery, MismatchedListsDoNotReadPastTheShorter) {
    RegValueList odd = Values({{"\\Device\\Serial0", "COM1"}});
    odd.names.push_back("\\Device\\Serial1");  // a name without data
    const std::vector<DiscoveredPort> list = BuildWorkingList(odd, {});
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].portName, "COM1");
}

}  // namespace
}  // namespace kestrune
