#pragma once
// What the owner search learns about a process that holds a handle: its executable's path.
#include <cstdint>
#include <string>

namespace kestrune {

// Full path of a process's executable: the first module's file name, or, when the module
// list cannot be read (a 64-bit process seen from a 32-bit scanner), the process image
// name; kUnknownProgramPath when neither answers.
std::string ProcessImagePath(uint32_t processId);

}  // namespace kestrune
