#pragma once
// Byte strings across the exported interface: BSTRs that hold ANSI bytes unchanged.
#include <windows.h>
#include <oleauto.h>

#include <string>
#include <string_view>

namespace kestrune {

// Frees what *slot held and puts a new byte string with these bytes. False when slot is
// null or out of memory (the slot then holds null).
bool ReplaceByteString(BSTR* slot, std::string_view bytes);

// The bytes of a byte string (empty for null).
std::string ByteStringBytes(BSTR text);

}  // namespace kestrune
