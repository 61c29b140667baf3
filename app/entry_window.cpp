// Kestrune.exe: the window program. Its functions are exported for other programs.
#include <windows.h>

#include "app/main_dialog.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // No command line, no configuration: the same window every time.
    return kestrune::RunWindowProgram(instance);
}
