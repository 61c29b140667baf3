#pragma once
// A mutex lock that leaves the thread's last error as it was: the threads library's lock can
// reset it to 0 when it has to wait (measured under Wine in both builds, a few times in a
// million contended locks). A caller that reads GetLastError after a call that took a lock
// (an open that failed, then asked whether its channel is open) reads what the call set.
#include <windows.h>

namespace kestrune {

template <typename Mutex>
class ErrorKeepingLock {
public:
    explicit ErrorKeepingLock(Mutex& mutex) : mutex_(mutex) {
        const DWORD error = GetLastError();
        mutex_.lock();
        SetLastError(error);
    }
    ~ErrorKeepingLock() {
        const DWORD error = GetLastError();
        mutex_.unlock();
        SetLastError(error);
    }
    ErrorKeepingLock(const ErrorKeepingLock&) = delete;
    ErrorKeepingLock& operator=(const ErrorKeepingLock&) = delete;

private:
    Mutex& mutex_;
};

}  // namespace kestrune
