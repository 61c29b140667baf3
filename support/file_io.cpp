#include "support/file_io.h"

#include <algorithm>

#include "support/handles.h"

namespace kestrune {

bool WriteAll(HANDLE file, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(text.size() - done, 1u << 20));
        DWORD written = 0;
        if (!WriteFile(file, text.data() + done, chunk, &written, nullptr) || written == 0) return false;
        done += written;
    }
    return true;
}

namespace {
DWORD LastErrorOr(DWORD fallback) {
    const DWORD error = GetLastError();
    return error != ERROR_SUCCESS ? error : fallback;
}
}  // namespace

DWORD ReplaceFileContent(const char* path, const std::string& text) {
    if (!path || !*path) return ERROR_INVALID_PARAMETER;
    // Beside the target, so the replacement stays on one volume and is a rename.
    const std::string fresh = std::string(path) + "." + std::to_string(GetCurrentProcessId()) + ".new";
    DWORD error = ERROR_SUCCESS;
    {
        UniqueHandle file(CreateFileA(fresh.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                      nullptr));
        if (!file) return LastErrorOr(ERROR_CANNOT_MAKE);
        if (!WriteAll(file.get(), text)) error = LastErrorOr(ERROR_HANDLE_DISK_FULL);
        else if (!FlushFileBuffers(file.get())) error = LastErrorOr(ERROR_WRITE_FAULT);
    }
    if (error == ERROR_SUCCESS &&
        !MoveFileExA(fresh.c_str(), path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        error = LastErrorOr(ERROR_ACCESS_DENIED);
    if (error != ERROR_SUCCESS) DeleteFileA(fresh.c_str());
    return error;
}

}  // namespace kestrune
