#include "gui_desktop.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "driver/null_desktop.h"
#include "driver/window_driver.h"

namespace kestrune_test {

namespace {

constexpr char kDesktopPrefix[] = "kestrune-gui-";

// The tests run on a desktop drawn by Wine's null driver (see null_desktop.h): the first
// start of this program runs it again there and ends with that run's result.
class GuiDesktop : public ::testing::Environment {
public:
    void SetUp() override {
        if (kestrune_driver::OnDesktopNamed(kDesktopPrefix)) {
            UseWorkFolder();
            return;
        }
        const int code = kestrune_driver::RerunOnNullDesktop(kDesktopPrefix);
        ExitProcess(code < 0 ? 1u : static_cast<UINT>(code));
    }

    void TearDown() override {
        if (GuiFolder().empty()) return;
        char temp[MAX_PATH] = {};
        GetTempPathA(sizeof temp, temp);
        SetCurrentDirectoryA(temp);
        DeleteFileA((GuiFolder() + "\\SerialPort.Kestrune").c_str());
        RemoveDirectoryA(GuiFolder().c_str());
    }

    static std::string& GuiFolder() {
        static std::string folder;
        return folder;
    }

private:
    static void UseWorkFolder() {
        char temp[MAX_PATH] = {};
        GetTempPathA(sizeof temp, temp);
        GuiFolder() = std::string(temp) + "kestrune-gui-" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(GuiFolder().c_str(), nullptr);
        SetCurrentDirectoryA(GuiFolder().c_str());
    }
};

::testing::Environment* const kDesktop = ::testing::AddGlobalTestEnvironment(new GuiDesktop);

}  // namespace

const char* GuiDesktopName() {
    static const std::string name = kestrune_driver::ThreadDesktopName();
    return name.c_str();
}

const std::string& GuiWorkFolder() {
    static std::string& folder = GuiDesktop::GuiFolder();
    return folder;
}

std::string KestruneExePath() { return kestrune_driver::WindowsPath(std::string(KESTRUNE_BIN_DIR) + "/Kestrune.exe"); }

int DrainMessages() {
    int quits = 0;
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            ++quits;
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return quits;
}

}  // namespace kestrune_test
