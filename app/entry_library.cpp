// Kestrune.dll: the class library. The same functions as the program, plus the entry points
// through which the COM runtime gets the serial-port class from it.
#include <windows.h>
#include <objbase.h>

#include "app/library_entry.h"
#include "com/class_server.h"
#include "support/export.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    return kestrune::LibraryEntry(instance, reason, reserved);
}

KESTRUNE_API HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object) {
    try {
        return kestrune::GetServerClassObject(clsid, iid, object);
    } catch (...) {
        return E_UNEXPECTED;
    }
}

KESTRUNE_API HRESULT WINAPI DllCanUnloadNow() { return kestrune::CanUnloadServer(); }
