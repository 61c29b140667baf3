#pragma once
// The GUI tests run on a desktop of their own that Wine draws with its null graphics
// driver: windows are real (created, sized, painted into memory, read back) whether or not
// an X display exists, and nothing appears on the user's screen. Set up once per test
// program; child programs are started on the same desktop.
#include <windows.h>

#include <string>

namespace kestrune_test {

// The desktop's name, for STARTUPINFO.lpDesktop of child programs.
const char* GuiDesktopName();

// A fresh empty folder for this test program (the refresh writes its report into the
// current folder); the tests run with it as their current folder.
const std::string& GuiWorkFolder();

// Kestrune.exe of this build, as a Windows path.
std::string KestruneExePath();

// Takes every message of this thread off the queue and dispatches it, quit messages
// included (they are counted and dropped). Returns the number of quit messages seen.
int DrainMessages();

}  // namespace kestrune_test
