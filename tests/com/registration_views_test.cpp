// Both builds registered on a 64-bit system: they share the ProgIDs and the type library, so
// unregistering one leaves those while the other's server key remains. The 32-bit build
// cannot run in this 64-bit prefix: its registration is stood in for by writing its class
// key into the 32-bit registry view (a stand-in, named as such); the 64-bit build is
// registered and unregistered by the real registration tool.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "com/registration.h"
#include "com/registration_repair.h"
#include "com/serial_port_typelib.h"
#include "gui/driver/child_process.h"
#include "gui/driver/window_driver.h"
#include "support/handles.h"

namespace kestrune {
namespace {

const std::string kLibrary = kestrune_driver::WindowsPath(KESTRUNE_BIN_DIR "/Kestrune.dll");
const std::wstring kServerKey = L"CLSID\\" + GuidText(CLSID_CLASSSERIALPORT) + L"\\InprocServer32";
const std::wstring kLibraryKey = L"TypeLib\\" + GuidText(LIBID_SerialPort);

DWORD RegSvr32(const std::string& switches) {
    return kestrune_test::RunRegistrationToolOn(kestrune::RegistrationToolPath(), switches, kLibrary);
}

bool KeyExists(const std::wstring& key, REGSAM view = 0) {
    UniqueRegKey opened;
    return RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ | view, opened.put()) == ERROR_SUCCESS;
}

bool ProgIdResolves(const wchar_t* progId) {
    CLSID clsid{};
    return CLSIDFromProgID(progId, &clsid) == S_OK && IsEqualCLSID(clsid, CLSID_CLASSSERIALPORT);
}

// Stand-in for the 32-bit build's registration: its class key in the 32-bit view.
void StandInFor32BitBuild(bool registered) {
    const std::wstring classKey = L"CLSID\\" + GuidText(CLSID_CLASSSERIALPORT);
    if (!registered) {
        RegDeleteKeyExW(HKEY_CLASSES_ROOT, kServerKey.c_str(), KEY_WOW64_32KEY, 0);
        RegDeleteKeyExW(HKEY_CLASSES_ROOT, classKey.c_str(), KEY_WOW64_32KEY, 0);
        return;
    }
    UniqueRegKey key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, kServerKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY,
                              nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
    const wchar_t path[] = L"C:\\Program Files (x86)\\Kestrune\\Kestrune.dll";
    RegSetValueExW(key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(path), sizeof path);
}

TEST(RegistrationViews, SharedKeysStayWhileTheOtherBuildIsRegistered) {
    if (sizeof(void*) == 4) GTEST_SKIP() << "a 32-bit system has one registry view (shown in the 64-bit world)";
    CoInitialize(nullptr);
    const struct {
        bool otherRegistered;
        bool sharedKeysStay;
    } cases[] = {{true, true}, {false, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.otherRegistered ? "32-bit build registered too" : "64-bit build alone");
        ASSERT_EQ(RegSvr32("/s"), 0u);
        StandInFor32BitBuild(c.otherRegistered);
        // The two views are apart: each build sees its own server.
        EXPECT_EQ(KeyExists(kServerKey, KEY_WOW64_32KEY), c.otherRegistered);
        ASSERT_TRUE(KeyExists(kServerKey, KEY_WOW64_64KEY));
        EXPECT_EQ(OtherBuildRegistered(), c.otherRegistered);

        ASSERT_EQ(RegSvr32("/u /s"), 0u);
        EXPECT_FALSE(KeyExists(kServerKey, KEY_WOW64_64KEY)) << "this build's class key always goes";
        EXPECT_EQ(KeyExists(kServerKey, KEY_WOW64_32KEY), c.otherRegistered) << "the other build's stays";
        for (const wchar_t* progId : {L"Kestrune.SerialPort", L"Kestrune.SerialPort.1"})
            EXPECT_EQ(ProgIdResolves(progId), c.sharedKeysStay) << std::string(progId, progId + wcslen(progId));
        EXPECT_EQ(KeyExists(kLibraryKey), c.sharedKeysStay);
        EXPECT_FALSE(KeyExists(kLibraryKey + L"\\1.0\\0\\win64") || KeyExists(kLibraryKey + L"\\1.0\\409\\win64"))
            << "this build's type library entry goes";
        StandInFor32BitBuild(false);
    }
    // The last build to go takes the shared keys along.
    ASSERT_EQ(RegSvr32("/u /s"), 0u);
    EXPECT_FALSE(ProgIdResolves(L"Kestrune.SerialPort"));
    EXPECT_FALSE(KeyExists(kLibraryKey));
    CoUninitialize();
}

}  // namespace
}  // namespace kestrune
