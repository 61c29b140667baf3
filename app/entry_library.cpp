// Kestrune.dll: the class library. The same functions as the program, plus the entry points
// through which the COM runtime gets the serial-port class from it.
#include <windows.h>
#include <objbase.h>

#include "app/library_entry.h"
#include "com/class_server.h"
#include "scan/status_bar_progress.h"
#include "support/boundary.h"
#include "support/export.h"

namespace {

// The progress of scans run through this library (SerialPort_Enum, the class's method): the
// host's status bar. A host stops a running scan by ending its message loop or destroying
// that status bar. Constant-initialized: nothing runs before the entry routine.
kestrune::StatusBarProgress g_hostProgress;

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) kestrune::SetProgressSink(&g_hostProgress);
    if (reason == DLL_PROCESS_DETACH) kestrune::SetProgressSink(nullptr);
    return kestrune::LibraryEntry(instance, reason, reserved);
}

KESTRUNE_API HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object) {
    return kestrune::HResultAtBoundary([&] { return kestrune::GetServerClassObject(clsid, iid, object); });
}

KESTRUNE_API HRESULT WINAPI DllCanUnloadNow() { return kestrune::CanUnloadServer(); }
