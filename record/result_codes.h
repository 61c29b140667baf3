#pragma once
// Result numbers every floor shares, in the channel layer's numbering.
#include <cstdint>

namespace kestrune {

// The value the exported functions give for a null record or array pointer: the channel
// layer's "Subscript/Pointer out of range".
constexpr int32_t kNullArgumentResult = 9;

}  // namespace kestrune
