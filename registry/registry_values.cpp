#include "registry/registry_values.h"

#include <algorithm>
#include <cstring>

namespace kestrune {

namespace {

bool IsStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// Up to 4 bytes as a number; missing high bytes are zero.
DWORD DwordFromBytes(std::string_view bytes, bool bigEndian) {
    unsigned char b[4] = {};
    std::memcpy(b, bytes.data(), std::min<size_t>(bytes.size(), 4));
    if (bigEndian) return DWORD{b[0]} << 24 | DWORD{b[1]} << 16 | DWORD{b[2]} << 8 | b[3];
    return DWORD{b[3]} << 24 | DWORD{b[2]} << 16 | DWORD{b[1]} << 8 | b[0];
}

}  // namespace

std::string ReadValueText(DWORD type, std::string_view bytes) {
    if (IsStringType(type)) {
        while (!bytes.empty() && bytes.back() == '\0') bytes.remove_suffix(1);
        return std::string(bytes);
    }
    if (type == REG_DWORD) return std::to_string(DwordFromBytes(bytes, false));
    return std::string(bytes);
}

std::optional<uint64_t> ParseNumberText(std::string_view text, unsigned bytes) {
    if (bytes != 4 && bytes != 8) return std::nullopt;
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return std::nullopt;
    const uint64_t limit = bytes == 4 ? 0xFFFFFFFFull : ~0ull;
    const uint64_t negativeLimit = bytes == 4 ? 0x80000000ull : 0x8000000000000000ull;
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        const unsigned digit = static_cast<unsigned>(c - '0');
        if (value > (limit - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
    }
    if (!negative) return value;
    if (value > negativeLimit) return std::nullopt;
    return (0 - value) & limit;
}

std::optional<std::string> WrittenValueBytes(DWORD type, std::string_view text) {
    if (type == REG_DWORD || type == REG_QWORD) {
        const unsigned width = type == REG_DWORD ? 4 : 8;
        const std::optional<uint64_t> number = ParseNumberText(text, width);
        if (!number) return std::nullopt;
        std::string bytes(width, '\0');
        for (unsigned i = 0; i < width; ++i) bytes[i] = static_cast<char>(*number >> (8 * i));
        return bytes;
    }
    std::string bytes(text);
    if (IsStringType(type)) {
        // Up to an embedded NUL, as the text reaches the system.
        bytes.resize(std::strlen(bytes.c_str()));
        bytes.push_back('\0');
        if (type == REG_MULTI_SZ) bytes.push_back('\0');
    }
    return bytes;
}

std::optional<DWORD> NumberFromValue(DWORD type, std::string_view bytes) {
    if (bytes.size() != 4 || (type != REG_DWORD && type != REG_BINARY && type != REG_DWORD_BIG_ENDIAN))
        return std::nullopt;
    return DwordFromBytes(bytes, type == REG_DWORD_BIG_ENDIAN);
}

std::vector<std::string> SplitMultipleValues(const VALENTA* entries, size_t count, const char* buffer,
                                             size_t bufferBytes) {
    std::vector<std::string> texts;
    const uintptr_t begin = reinterpret_cast<uintptr_t>(buffer);
    for (size_t i = 0; i < count; ++i) {
        const uintptr_t at = entries[i].ve_valueptr;
        const size_t length = entries[i].ve_valuelen;
        const bool inside = buffer && at >= begin && at - begin <= bufferBytes && length <= bufferBytes - (at - begin);
        texts.push_back(inside ? ReadValueText(entries[i].ve_type,
                                               std::string_view(buffer + (at - begin), length))
                               : std::string());
    }
    return texts;
}

}  // namespace kestrune
