// The debug privilege that the owner walk turns on is put back as it was: a scan through
// Kestrune.dll leaves the host program's token as it found it, whether the privilege was off
// or already on before.
#include <gtest/gtest.h>

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <vector>

#include "gui/driver/window_driver.h"
#include "scan/owner_process.h"
#include "record/port_record.h"
#include "support/handles.h"

namespace kestrune {
namespace {

// The token's privileges with their attributes, as the system lists them.
std::vector<unsigned char> TokenPrivilegeState() {
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return {};
    UniqueHandle token(raw);
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenPrivileges, nullptr, 0, &size);
    std::vector<unsigned char> state(size);
    if (size == 0 || !GetTokenInformation(token.get(), TokenPrivileges, state.data(), size, &size)) return {};
    return state;
}

bool SetDebugPrivilege(bool on) {
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &raw)) return false;
    UniqueHandle token(raw);
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = on ? SE_PRIVILEGE_ENABLED : 0;
    if (!LookupPrivilegeValueA(nullptr, "SeDebugPrivilege", &privileges.Privileges[0].Luid)) return false;
    return AdjustTokenPrivileges(token.get(), FALSE, &privileges, sizeof privileges, nullptr, nullptr) &&
           GetLastError() == ERROR_SUCCESS;
}

TEST(DebugPrivilege, AScanThroughTheLibraryLeavesTheTokenAsItFoundIt) {
    const std::string path = kestrune_driver::WindowsPath(KESTRUNE_BIN_DIR "/Kestrune.dll");
    HMODULE library = LoadLibraryA(path.c_str());
    ASSERT_NE(library, nullptr) << path;
    using Enum = int32_t(WINAPI*)(SAFEARRAY**, uint32_t*);
    const auto scan = reinterpret_cast<Enum>(reinterpret_cast<void*>(GetProcAddress(library, "SerialPort_Enum")));
    ASSERT_NE(scan, nullptr);
    const bool elevated = ProcessIsElevated();
    for (const bool onBefore : {false, true, false}) {
        SCOPED_TRACE(onBefore ? "on before" : "off before");
        if (elevated) ASSERT_TRUE(SetDebugPrivilege(onBefore));
        const std::vector<unsigned char> before = TokenPrivilegeState();
        ASSERT_FALSE(before.empty());
        {
            const DebugPrivilegeScope scope;
            EXPECT_EQ(scope.enabled(), elevated);
            if (elevated) EXPECT_NE(TokenPrivilegeState() == before, !onBefore) << "on within the scope";
        }
        EXPECT_EQ(TokenPrivilegeState(), before) << "after the scope";
        SAFEARRAY* ports = nullptr;
        ASSERT_EQ(scan(&ports, nullptr), 0);
        SafeArrayDestroy(ports);
        EXPECT_EQ(TokenPrivilegeState(), before) << "after a scan through the library";
    }
    if (elevated) SetDebugPrivilege(false);
    FreeLibrary(library);
}

}  // namespace
}  // namespace kestrune
