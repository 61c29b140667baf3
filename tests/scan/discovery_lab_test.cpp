// Discovery over the lab's registry: port-list ports whose names only begin with a listed
// device-map port's name (COM20, COM21 beside a listed COM2) are found.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "scan/discovery.h"
#include "scan_test_support.h"
#include "support/handles.h"

namespace kestrune {
namespace {

// Port-list values added for one test and removed at its end; a value the list held before
// (the lab's own) stays.
class PortListEntries {
public:
    explicit PortListEntries(std::vector<std::string> names) {
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPortListKey, 0, KEY_ALL_ACCESS, key_.put());
        for (const std::string& name : names) {
            if (RegQueryValueExA(key_.get(), name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS)
                continue;
            ok_ = ok_ && RegSetValueExA(key_.get(), name.c_str(), 0, REG_SZ,
                                        reinterpret_cast<const BYTE*>("9600,n,8,1"), 11) == ERROR_SUCCESS;
            names_.push_back(name);
        }
    }
    ~PortListEntries() {
        for (const std::string& name : names_) RegDeleteValueA(key_.get(), name.c_str());
    }
    bool ok() const { return ok_ && key_.get(); }

private:
    std::vector<std::string> names_;
    UniqueRegKey key_;
    bool ok_ = true;
};

TEST(DiscoveryLab, PortListPortsBesideAListedPrefixAreFound) {
    if (!scan_test::LabUp()) GTEST_SKIP() << "serial lab is not up";
    const std::string listed = scan_test::LabPortOfKind("free");  // in the device map
    ASSERT_FALSE(listed.empty());
    const std::string near0 = listed + "0", near1 = listed + "1";
    PortListEntries entries({near0 + ":", near1 + ":", listed + ":"});
    ASSERT_TRUE(entries.ok());

    const std::vector<DiscoveredPort> list = DiscoverPorts();
    const auto count = [&](const std::string& port) {
        return std::count_if(list.begin(), list.end(), [&](const DiscoveredPort& p) { return p.portName == port; });
    };
    EXPECT_EQ(count(listed), 1) << "the listed port once, from the device map";
    for (const std::string& port : {near0, near1}) {
        ASSERT_EQ(count(port), 1) << port;
        const auto found = std::find_if(list.begin(), list.end(), [&](const DiscoveredPort& p) { return p.portName == port; });
        EXPECT_EQ(found->deviceName, port) << "a port-list-only port";
    }
}

}  // namespace
}  // namespace kestrune
