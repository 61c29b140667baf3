#pragma once
// One owner for every handle and registry key: closed when the owner goes.
#include <windows.h>

#include <cstdint>
#include <utility>

namespace kestrune {

class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE h) : h_(h) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& o) noexcept : h_(o.release()) {}
    UniqueHandle& operator=(UniqueHandle&& o) noexcept {
        if (this != &o) reset(o.release());
        return *this;
    }
    ~UniqueHandle() { reset(); }

    HANDLE get() const { return h_; }
    bool valid() const { return h_ != nullptr && h_ != INVALID_HANDLE_VALUE; }
    explicit operator bool() const { return valid(); }
    HANDLE release() { return std::exchange(h_, nullptr); }
    void reset(HANDLE h = nullptr) {
        if (valid()) CloseHandle(h_);
        h_ = h;
    }

private:
    HANDLE h_ = nullptr;
};

class UniqueRegKey {
public:
    UniqueRegKey() = default;
    explicit UniqueRegKey(HKEY k) : k_(k) {}
    UniqueRegKey(const UniqueRegKey&) = delete;
    UniqueRegKey& operator=(const UniqueRegKey&) = delete;
    UniqueRegKey(UniqueRegKey&& o) noexcept : k_(std::exchange(o.k_, nullptr)) {}
    ~UniqueRegKey() { reset(); }

    HKEY get() const { return k_; }
    HKEY* put() { reset(); return &k_; }
    void reset() {
        if (k_) RegCloseKey(k_);
        k_ = nullptr;
    }

private:
    HKEY k_ = nullptr;
};

// Handles cross the record as 32-bit values. Windows keeps handle values within 32 bits
// and sign-extends them on 64-bit systems, so the round trip is exact.
inline uint32_t HandleToField(HANDLE h) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(h));
}
inline HANDLE FieldToHandle(uint32_t v) {
    return reinterpret_cast<HANDLE>(static_cast<intptr_t>(static_cast<int32_t>(v)));
}

}  // namespace kestrune
