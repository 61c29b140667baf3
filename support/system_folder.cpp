#include "support/system_folder.h"

#include <windows.h>

namespace kestrune {

std::string SystemToolPath(std::string_view systemFolder, std::string_view tool) {
    if (systemFolder.empty()) return {};
    std::string path(systemFolder);
    if (path.back() != '\\' && path.back() != '/') path += '\\';
    return path.append(tool);
}

std::string SystemFolderPath(std::string_view file) {
    char folder[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryA(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    return SystemToolPath(std::string_view(folder, length), file);
}

}  // namespace kestrune
