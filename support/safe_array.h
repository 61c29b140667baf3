#pragma once
// Automation arrays for the exported interface: arrays that the caller owns and that a
// called function replaces as a whole (SafeArrayDestroy frees them).
#include <windows.h>
#include <oleauto.h>

#include <cstdint>
#include <string>
#include <vector>

namespace kestrune {

// Destroys whatever *slot held and puts a new one-dimensional array, bounds 0..n-1,
// with elements of elementSize bytes copied from data. False when out of memory.
bool ReplaceSafeArray(SAFEARRAY** slot, const void* data, uint32_t elementSize, uint32_t count);

// Same, with BSTR elements holding the strings' bytes unchanged (ANSI byte strings, so
// embedded NULs survive; SysStringByteLen gives their length).
bool ReplaceByteStringArray(SAFEARRAY** slot, const std::vector<std::string>& items);

// Same, with VT_I4 elements.
bool ReplaceLongArray(SAFEARRAY** slot, const std::vector<uint32_t>& items);

}  // namespace kestrune
