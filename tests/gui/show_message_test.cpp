// The exported message box helper on the test desktop: the box shows the text and caption it
// was given, and the helper returns 0 once the user has pressed OK.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "exports/registry_exports.h"

namespace {

const char kCaption[] = "Kestrune message test";
std::string shownText;

// Runs inside the box's own message loop: the user reads the box and presses OK.
void CALLBACK PressOk(HWND, UINT, UINT_PTR timer, DWORD) {
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM) -> BOOL {
            char caption[64] = {}, text[256] = {};
            GetWindowTextA(window, caption, sizeof caption);
            if (std::string(caption) != kCaption) return TRUE;
            GetDlgItemTextA(window, 0xFFFF, text, sizeof text);
            shownText = text;
            PostMessageA(window, WM_COMMAND, IDOK, 0);
            return FALSE;
        },
        0);
    if (!shownText.empty()) KillTimer(nullptr, timer);
}

TEST(ShowMessageHelper, ShowsTextAndCaptionUntilClosed) {
    shownText.clear();
    SetTimer(nullptr, 0, 50, PressOk);
    EXPECT_EQ(ShowMessage("COM3 is held by another program.", kCaption), ERROR_SUCCESS);
    EXPECT_EQ(shownText, "COM3 is held by another program.");
    EXPECT_EQ(ShowMessage(nullptr, kCaption), ERROR_INVALID_PARAMETER);
}

}  // namespace
