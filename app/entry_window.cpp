// Kestrune.exe: the window program. Its functions are exported for other programs.
#include <windows.h>

#include "app/window/main_dialog.h"
#include "app/window/progress.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // The scan reports to the window's status bar and stops once the window is closing.
    kestrune::WindowProgress progress;
    kestrune::ProgressSinkScope installed(&progress);
    // No command line, no configuration: the same window every time.
    return kestrune::RunWindowProgram(instance);
}
