// The registration check and its repair: the system's registration tool started elevated
// with the exact parameters (a probe module records the command line the tool received), the
// bounded message-aware wait, the class key test.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <thread>

#include "com/registration_repair.h"
#include "gui/driver/window_driver.h"
#include "support/handles.h"
#include "test_helpers.h"

namespace kestrune {
namespace {

TEST(RegistrationRules, ParametersSiblingPathAndClassKey) {
    EXPECT_EQ(RegistrationToolParameters("C:\\Tools\\Kestrune.dll"), "/s \"C:\\Tools\\Kestrune.dll\"");
    const struct {
        const char* module;
        const char* expected;
    } siblings[] = {
        {"C:\\Tools\\Kestrune.exe", "C:\\Tools\\Kestrune.dll"},
        {"C:\\Program Files\\K\\Kestrune.exe", "C:\\Program Files\\K\\Kestrune.dll"},
        {"Z:/srv/build/Kestrune.exe", "Z:/srv/build/Kestrune.dll"},
        {"C:Kestrune.exe", "C:Kestrune.dll"},
        {"Kestrune.exe", "Kestrune.dll"},
        {"", "Kestrune.dll"},
    };
    for (const auto& c : siblings) EXPECT_EQ(SiblingModulePath(c.module, "Kestrune.dll"), c.expected) << c.module;
    const CLSID clsid = {0x8B5A1D8E, 0x9C35, 0x4FF0, {0xBB, 0x8A, 0x96, 0x33, 0x84, 0x7B, 0x92, 0xF2}};
    EXPECT_EQ(ClassKeyPath(clsid), "CLSID\\{8B5A1D8E-9C35-4FF0-BB8A-9633847B92F2}");
}

TEST(RegistrationRules, ClassKeyUnderClassesRoot) {
    const CLSID clsid = {0x0F1E2D3C, 0x4B5A, 0x6978, {0x87, 0x96, 0xA5, 0xB4, 0xC3, 0xD2, 0xE1, 0xF0}};
    const std::string path = ClassKeyPath(clsid);
    RegDeleteKeyA(HKEY_CLASSES_ROOT, path.c_str());
    EXPECT_FALSE(ClassRegistered(clsid));
    {
        UniqueRegKey key;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(),
                                  nullptr),
                  ERROR_SUCCESS);
    }
    EXPECT_TRUE(ClassRegistered(clsid));
    EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, path.c_str()), ERROR_SUCCESS);
    EXPECT_FALSE(ClassRegistered(clsid));
}

// A window of this thread that counts the messages it is sent.
class CountingWindow {
public:
    CountingWindow() {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = Procedure;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "KestruneWaitTest";
        RegisterClassA(&windowClass);
        window_ = CreateWindowExA(0, "KestruneWaitTest", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    }
    ~CountingWindow() { DestroyWindow(window_); }
    HWND get() const { return window_; }
    static int seen;

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
        if (message == WM_APP) ++seen;
        return DefWindowProcA(window, message, w, l);
    }
    HWND window_ = nullptr;
};
int CountingWindow::seen = 0;

TEST(MessageWait, DispatchesWhileWaitingAndEndsAsTheHandleOrTheLimitSays) {
    struct Case {
        const char* title;
        int signalAfterMs;  // -1: never
        bool postQuit;
        DWORD limitMs;
        MessageWaitResult expected;
    } const cases[] = {
        {"signalled later", 300, false, 20000, MessageWaitResult::Signalled},
        {"never signalled: the limit ends it", -1, false, 300, MessageWaitResult::TimedOut},
        {"quit message: ends the wait and stays queued", -1, true, 20000, MessageWaitResult::QuitRequested},
    };
    CountingWindow window;
    ASSERT_NE(window.get(), nullptr);
    for (const Case& c : cases) {
        UniqueHandle event(CreateEventA(nullptr, TRUE, FALSE, nullptr));
        CountingWindow::seen = 0;
        PostMessageA(window.get(), WM_APP, 0, 0);
        if (c.postQuit) PostQuitMessage(7);
        std::thread signaller;
        if (c.signalAfterMs >= 0)
            signaller = std::thread([&event, c] {
                Sleep(c.signalAfterMs);
                SetEvent(event.get());
            });
        const MessageWaitResult result = WaitDispatchingMessages(event.get(), c.limitMs);
        if (signaller.joinable()) signaller.join();
        EXPECT_EQ(result, c.expected) << c.title;
        EXPECT_EQ(CountingWindow::seen, 1) << c.title << ": the window's message was dispatched during the wait";
        MSG message{};
        const bool quitQueued = PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != 0;
        EXPECT_EQ(quitQueued, c.postQuit) << c.title;
        if (quitQueued) {
            EXPECT_EQ(message.wParam, 7u);
        }
    }
    EXPECT_EQ(WaitDispatchingMessages(nullptr, 100), MessageWaitResult::Failed);
}

// The real registration tool, run by the launcher on a probe module copied to a folder of
// this test's own as "Kestrune.dll"; the probe records the command line the tool received.
class RegistrationToolTest : public testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH] = {};
        GetTempPathA(sizeof temp, temp);
        folder_ = std::string(temp) + "kestrune-regtool-" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(folder_.c_str(), nullptr);
        CreateDirectoryA((folder_ + "\\Kestrune Tools").c_str(), nullptr);
        module_ = folder_ + "\\Kestrune Tools\\Kestrune.dll";
        const std::string probe = kestrune_driver::WindowsPath(KESTRUNE_BIN_DIR) + "\\tests\\probe\\RegistrationProbe.dll";
        ASSERT_TRUE(CopyFileA(probe.c_str(), module_.c_str(), FALSE)) << probe;
        log_ = folder_ + "\\command-lines.txt";
        SetEnvironmentVariableA("KESTRUNE_PROBE_LOG", log_.c_str());
    }
    void TearDown() override {
        SetEnvironmentVariableA("KESTRUNE_PROBE_LOG", nullptr);
        SetEnvironmentVariableA("KESTRUNE_PROBE_HOLD", nullptr);
        DeleteFileA(log_.c_str());
        // A tool that was let go may still be ending and holding the module.
        test_helpers::PollUntil([this] { return DeleteFileA(module_.c_str()) != FALSE; }, 5000);
        RemoveDirectoryA((folder_ + "\\Kestrune Tools").c_str());
        RemoveDirectoryA(folder_.c_str());
    }
    std::string folder_, module_, log_;
};

TEST_F(RegistrationToolTest, RunsTheToolWithTheExactParametersAndWaitsForIt) {
    const RegistrationToolRun run = RunRegistrationTool(module_, 60000);
    EXPECT_TRUE(run.started) << "error " << run.launchError;
    EXPECT_EQ(run.wait, MessageWaitResult::Signalled);
    EXPECT_EQ(run.exitCode, 0u) << "the probe registered: the wait ended with the tool";
    const std::string line = test_helpers::ReadWholeFile(log_);
    const std::string tail = " /s \"" + module_ + "\"\n";
    ASSERT_GE(line.size(), tail.size()) << line;
    EXPECT_EQ(line.substr(line.size() - tail.size()), tail) << line;
    const std::string program = line.substr(0, line.size() - tail.size());
    EXPECT_NE(program.find("RegSvr32.exe"), std::string::npos) << program;
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return text;
}

// A "RegSvr32.exe" planted in the current folder (and one beside the module) never runs:
// the system folder's tool is started by its full path.
TEST_F(RegistrationToolTest, APlantedToolInTheCurrentFolderDoesNotRun) {
    char system[MAX_PATH] = {};
    ASSERT_NE(GetSystemDirectoryA(system, MAX_PATH), 0u);
    EXPECT_EQ(Lower(RegistrationToolPath()), Lower(std::string(system) + "\\RegSvr32.exe"));
    const struct {
        const char* folder;
        const char* tool;
        const char* expected;
    } paths[] = {{"C:\\windows\\system32", "RegSvr32.exe", "C:\\windows\\system32\\RegSvr32.exe"},
                 {"C:\\windows\\system32\\", "RegSvr32.exe", "C:\\windows\\system32\\RegSvr32.exe"},
                 {"", "RegSvr32.exe", ""}};
    for (const auto& p : paths) EXPECT_EQ(SystemToolPath(p.folder, p.tool), p.expected) << p.folder;

    const std::string planted = kestrune_driver::WindowsPath(KESTRUNE_BIN_DIR) + "\\tests\\probe\\PlantedTool.exe";
    const std::string places[] = {folder_ + "\\RegSvr32.exe", folder_ + "\\Kestrune Tools\\RegSvr32.exe"};
    for (const std::string& place : places) ASSERT_TRUE(CopyFileA(planted.c_str(), place.c_str(), FALSE)) << planted;
    char saved[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, saved);
    ASSERT_TRUE(SetCurrentDirectoryA(folder_.c_str()));
    const RegistrationToolRun run = RunRegistrationTool(module_, 60000);
    SetCurrentDirectoryA(saved);
    EXPECT_TRUE(run.started) << "error " << run.launchError;
    EXPECT_EQ(run.wait, MessageWaitResult::Signalled);
    for (const std::string& place : places) {
        EXPECT_EQ(GetFileAttributesA((place + ".ran").c_str()), INVALID_FILE_ATTRIBUTES) << place << " ran";
        DeleteFileA((place + ".ran").c_str());
        DeleteFileA(place.c_str());
    }
    // The probe heard from the system's tool, named by its full path.
    const std::string line = Lower(test_helpers::ReadWholeFile(log_));
    EXPECT_NE(line.find(Lower(RegistrationToolPath())), std::string::npos) << line;
}

TEST_F(RegistrationToolTest, GivesUpAfterTheLimitAndClosesTheProcessHandle) {
    const std::string hold = "kestrune-probe-hold-" + std::to_string(GetCurrentProcessId());
    UniqueHandle release(CreateEventA(nullptr, TRUE, FALSE, hold.c_str()));
    SetEnvironmentVariableA("KESTRUNE_PROBE_HOLD", hold.c_str());
    DWORD handlesBefore = 0, handlesAfter = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handlesBefore);
    const RegistrationToolRun run = RunRegistrationTool(module_, 1500);
    GetProcessHandleCount(GetCurrentProcess(), &handlesAfter);
    SetEvent(release.get());  // lets the tool end
    EXPECT_TRUE(run.started);
    EXPECT_EQ(run.wait, MessageWaitResult::TimedOut);
    EXPECT_EQ(run.exitCode, static_cast<DWORD>(STILL_ACTIVE));
    EXPECT_LE(handlesAfter, handlesBefore) << "the tool's process handle is closed";
    EXPECT_NE(test_helpers::ReadWholeFile(log_).find("/s"), std::string::npos)
        << "the tool was still in the module when the wait gave up";
}

}  // namespace
}  // namespace kestrune
