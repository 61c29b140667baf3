#include "registry/key_paths.h"

#include <cstring>

namespace kestrune {

std::string JoinKeyPath(std::string_view parent, std::string_view child) {
    while (!parent.empty() && parent.back() == '\\') parent.remove_suffix(1);
    if (parent.empty()) return std::string(child);
    if (child.empty()) return std::string(parent);
    return std::string(parent).append("\\").append(child);
}

bool NamesKeyBelow(const char* subKey) { return subKey && subKey[std::strspn(subKey, "\\")] != '\0'; }

}  // namespace kestrune
