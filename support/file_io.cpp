#include "support/file_io.h"

#include <ntsecapi.h>

#include <algorithm>
#include <cstdio>

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

std::string UnpredictableFileName(std::string_view path) {
    unsigned char bytes[12] = {};
    if (!RtlGenRandom(bytes, sizeof bytes)) {
        // Not expected; the tick count and an address still vary from run to run.
        const ULONGLONG mixed = GetTickCount64() ^ (reinterpret_cast<uintptr_t>(&bytes) << 17) ^ GetCurrentProcessId();
        for (std::size_t i = 0; i < sizeof bytes; ++i) bytes[i] = static_cast<unsigned char>(mixed >> (8 * (i % 8)));
    }
    std::string name(path);
    name += '.';
    char hex[3];
    for (unsigned char b : bytes) {
        std::snprintf(hex, sizeof hex, "%02x", b);
        name += hex;
    }
    return name + ".new";
}

UniqueHandle CreateNewBeside(std::string_view path, std::string& fresh) {
    for (int attempt = 0; attempt < kFreshNameAttempts; ++attempt) {
        fresh = UnpredictableFileName(path);
        // CREATE_NEW: a file or link already there under the name is never opened, let alone
        // overwritten; an open of a reparse point is refused rather than followed.
        UniqueHandle file(CreateFileA(fresh.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (file) return file;
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
    }
    fresh.clear();
    return UniqueHandle();
}

DWORD ReplaceFileContent(const char* path, const std::string& text) {
    if (!path || !*path) return ERROR_INVALID_PARAMETER;
    // Beside the target, so the replacement stays on one volume and is a rename.
    std::string fresh;
    DWORD error = ERROR_SUCCESS;
    {
        UniqueHandle file = CreateNewBeside(path, fresh);
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
