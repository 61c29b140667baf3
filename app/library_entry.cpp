#include "app/library_entry.h"

namespace kestrune {

BOOL WINAPI LibraryEntry(HINSTANCE, DWORD reason, LPVOID) {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
        case DLL_PROCESS_DETACH:
        case DLL_THREAD_ATTACH:
        case DLL_THREAD_DETACH:
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace kestrune
