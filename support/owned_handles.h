#pragma once
// The handles this library handed out through records (native opens, the scan's duplicates
// of an owner's port handle and its owner-process handles), apart from channel handles,
// which the channel table knows. A handle value a caller hands back is closed only when it
// is one of these or a channel's; any other value belongs to someone else and is left alone.
#include <windows.h>

namespace kestrune {

// Remembers a handle the library opened or duplicated and hands out; null and the invalid
// value are ignored.
void RememberOwnedHandle(HANDLE handle);
bool IsOwnedHandle(HANDLE handle);
// Closes the handle when the library owns it and forgets it; false when the close fails.
// For any other value (also one closed this way before) false with ERROR_INVALID_HANDLE,
// touching nothing.
bool CloseOwnedHandle(HANDLE handle);

}  // namespace kestrune
