#include "support/owned_handles.h"

#include <mutex>
#include <set>

#include "support/error_keeping_lock.h"

namespace kestrune {
namespace {

struct OwnedHandles {
    std::mutex lock;
    std::set<HANDLE> handles;
};

OwnedHandles& Owned() {
    static OwnedHandles* owned = new OwnedHandles;  // lives until the process ends
    return *owned;
}

}  // namespace

void RememberOwnedHandle(HANDLE handle) {
    if (!handle || handle == INVALID_HANDLE_VALUE) return;
    OwnedHandles& owned = Owned();
    ErrorKeepingLock<std::mutex> guard(owned.lock);
    owned.handles.insert(handle);
}

bool IsOwnedHandle(HANDLE handle) {
    OwnedHandles& owned = Owned();
    ErrorKeepingLock<std::mutex> guard(owned.lock);
    return owned.handles.count(handle) != 0;
}

bool CloseOwnedHandle(HANDLE handle) {
    {
        OwnedHandles& owned = Owned();
        ErrorKeepingLock<std::mutex> guard(owned.lock);
        if (owned.handles.erase(handle) == 0) {
            SetLastError(ERROR_INVALID_HANDLE);
            return false;
        }
    }
    return CloseHandle(handle) != 0;
}

}  // namespace kestrune
