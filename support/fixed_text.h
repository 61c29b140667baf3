#pragma once
// Fixed text fields: NUL-terminated ANSI buffers of a set size. A store keeps at most
// size-1 bytes and stops at an embedded NUL; a read never runs past the buffer, even
// when a caller left it unterminated.
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

namespace kestrune {

inline std::size_t BoundedLength(const char* text, std::size_t capacity) {
    if (!text) return 0;
    const void* nul = std::memchr(text, 0, capacity);
    return nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - text) : capacity;
}

template <std::size_t N>
std::string_view Text(const char (&field)[N]) {
    // An unterminated field yields its first N-1 bytes, as a store would have kept.
    std::size_t len = BoundedLength(field, N);
    return std::string_view(field, len < N ? len : N - 1);
}

inline void StoreText(char* field, std::size_t capacity, std::string_view value) {
    if (!field || capacity == 0) return;
    std::size_t len = value.size();
    if (const void* nul = std::memchr(value.data(), 0, len))
        len = static_cast<std::size_t>(static_cast<const char*>(nul) - value.data());
    if (len > capacity - 1) len = capacity - 1;
    std::memcpy(field, value.data(), len);
    std::memset(field + len, 0, capacity - len);
}

template <std::size_t N>
void SetText(char (&field)[N], std::string_view value) {
    StoreText(field, N, value);
}

template <std::size_t N>
bool TextEmpty(const char (&field)[N]) {
    return field[0] == '\0';
}

// Upper-cases in the ANSI code page, as the system's case-insensitive comparisons do.
std::string UpperAnsi(std::string_view text);

}  // namespace kestrune
