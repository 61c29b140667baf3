#pragma once
// Deleting keys: one empty key, a key with everything below it through the shell's tree
// delete, and the same walked here, deepest first. A sub-key that names no key below its
// root (null, empty or only separators) is refused with ERROR_INVALID_PARAMETER (87): it
// would name the root itself.
#include <windows.h>

#include <string>

namespace kestrune {

// Deletes root\subKey, which must have no sub-keys.
LONG DeleteRegistryKey(HKEY root, const char* subKey);

// Deletes parentKey\subKey below root with all it holds, through SHDeleteKeyA when the shell
// library has it, else as DeleteRegistryKey would. A null parentKey is refused (87).
LONG DeleteRegistryKeyTree(HKEY root, const char* parentKey, const char* subKey);

// Deletes root\subKey with all its values and sub-keys, deepest first. The first failed step
// ends the walk and gives its error.
LONG DeleteKeyRecursive(HKEY root, const std::string& subKey);

}  // namespace kestrune
