// Changing the lab while Windows programs run: unplugging and plugging a port back in.
#include "lab_test_util.h"

using labtest::LabTest;
using labtest::Port;

namespace {

bool DeviceMapHas(const std::string& com) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    bool found = false;
    for (DWORD i = 0; !found; i++) {
        char name[512], data[64];
        DWORD nlen = sizeof name, dlen = sizeof data - 1;
        if (RegEnumValueA(key, i, name, &nlen, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &dlen) != ERROR_SUCCESS)
            break;
        data[dlen] = 0;
        found = _stricmp(data, com.c_str()) == 0;
    }
    RegCloseKey(key);
    return found;
}

}  // namespace

class LabRuntime : public LabTest {};

TEST_F(LabRuntime, RemovedPortIsGoneAndComesBackWhenReplugged) {
    const lab::Port* p = Need(lab::Kind::Device);
    ASSERT_NE(p, nullptr);
    const std::string com = p->com;
    ASSERT_TRUE(p->present);
    ASSERT_TRUE(DeviceMapHas(com));

    ASSERT_TRUE(lab::RemovePort(layout, com));
    lab::Layout removed;
    ASSERT_TRUE(removed.Load());
    EXPECT_FALSE(removed.Find(com)->present);
    EXPECT_FALSE(DeviceMapHas(com));
    {
        Port port(com);
        EXPECT_FALSE(port.ok() && GetFileType(port.get()) == FILE_TYPE_CHAR)
            << com << " still opens as a character device after removal";
    }

    ASSERT_TRUE(lab::ReplugPort(layout, com));
    lab::Layout back;
    ASSERT_TRUE(back.Load());
    const lab::Port* q = back.Find(com);
    ASSERT_NE(q, nullptr);
    EXPECT_TRUE(q->present);
    EXPECT_TRUE(DeviceMapHas(com));
    Port port(com);
    ASSERT_TRUE(port.ok()) << port.error();
    EXPECT_EQ(port.ModemStatus() & (MS_DSR_ON | MS_CTS_ON), static_cast<DWORD>(MS_DSR_ON | MS_CTS_ON));
}

// A unix program can be started from a Windows program (the lab tool is one).
TEST_F(LabRuntime, LabToolRunsFromWindows) { EXPECT_EQ(lab::RunSerlab(layout, "status"), 0); }
