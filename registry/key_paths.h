#pragma once
// Key paths below a root: joining a parent and a child, and telling a path that names a key
// below its root from one that names the root itself.
#include <string>
#include <string_view>

namespace kestrune {

// The key path of a sub-key below a parent ("a\b" + "c" = "a\b\c"; an empty part adds
// nothing).
std::string JoinKeyPath(std::string_view parent, std::string_view child);

// A sub-key that names something below its root: not null, not empty and not only
// separators.
bool NamesKeyBelow(const char* subKey);

}  // namespace kestrune
