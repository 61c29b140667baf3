#pragma once
// The entry routine of the class-server library build: answers the four notification
// reasons and does nothing else.
#include <windows.h>

namespace kestrune {

// 1 for process attach (1), process detach (0), thread attach (2) and thread detach (3);
// 0 for any other reason.
BOOL WINAPI LibraryEntry(HINSTANCE instance, DWORD reason, LPVOID reserved);

}  // namespace kestrune
