#pragma once
// Files of the system folder, named by full path: a system DLL or tool is never found by a
// bare name, which a file planted in the current or the program's folder could answer to.
#include <string>
#include <string_view>

namespace kestrune {

// folder + "\\" + tool (no second separator when folder ends in one); empty for an empty folder.
std::string SystemToolPath(std::string_view systemFolder, std::string_view tool);

// file in this process's system folder; empty when the system gives no folder.
std::string SystemFolderPath(std::string_view file);

}  // namespace kestrune
