// A program planted under a system tool's name: when it runs it leaves "<its own path>.ran"
// beside itself, so a test can tell that the planted copy, not the system's, was started.
#include <windows.h>

int main() {
    char self[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, self, MAX_PATH - 8);
    if (length == 0 || length >= MAX_PATH - 8) return 1;
    lstrcatA(self, ".ran");
    HANDLE mark = CreateFileA(self, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (mark != INVALID_HANDLE_VALUE) CloseHandle(mark);
    return 0;
}
