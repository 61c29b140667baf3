#include "com/string_detection.h"

#include <windows.h>

#include <cstring>

namespace kestrune {

TextVerdict DetectTextEncoding(std::string_view bytes) {
    const std::size_t length = bytes.size();
    if (length <= 1) return TextVerdict::kAnsi;
    TextVerdict verdict = TextVerdict::kAnsi;
    for (std::size_t i = 0; i < length; ++i) {
        if (bytes[i] != '\0') {
            verdict = TextVerdict::kUtf16;
            break;
        }
        verdict = TextVerdict::kAnsi;
    }
    for (std::size_t i = 1; i + 1 < length; ++i) {
        if (bytes[i] == '\0') {
            verdict = TextVerdict::kUtf16;
            break;
        }
        verdict = TextVerdict::kAnsi;
    }
    return verdict;
}

std::wstring WidenAnsi(std::string_view ansi) {
    if (ansi.empty()) return {};
    const int size = static_cast<int>(ansi.size());
    const int chars = MultiByteToWideChar(CP_ACP, 0, ansi.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(chars > 0 ? chars : 0), L'\0');
    if (chars > 0) MultiByteToWideChar(CP_ACP, 0, ansi.data(), size, wide.data(), chars);
    return wide;
}

std::string NarrowUtf16(std::wstring_view wide) {
    if (wide.empty()) return {};
    const int size = static_cast<int>(wide.size());
    const int bytes = WideCharToMultiByte(CP_ACP, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    std::string ansi(static_cast<std::size_t>(bytes > 0 ? bytes : 0), '\0');
    if (bytes > 0) WideCharToMultiByte(CP_ACP, 0, wide.data(), size, ansi.data(), bytes, nullptr, nullptr);
    return ansi;
}

DetectedText DetectText(std::string_view bytes) {
    DetectedText text;
    if (DetectTextEncoding(bytes) == TextVerdict::kAnsi) {
        text.unicodeFlag = 0;
        const std::wstring wide = WidenAnsi(bytes);
        text.unicodeBytes.assign(reinterpret_cast<const char*>(wide.data()), wide.size() * sizeof(wchar_t));
        text.ansi.assign(bytes);
    } else {
        text.unicodeFlag = 1;
        text.unicodeBytes.assign(bytes.substr(0, bytes.size() & ~std::size_t{1}));
        std::wstring wide(text.unicodeBytes.size() / sizeof(wchar_t), L'\0');
        if (!wide.empty()) std::memcpy(wide.data(), text.unicodeBytes.data(), text.unicodeBytes.size());
        text.ansi = NarrowUtf16(wide);
    }
    return text;
}

}  // namespace kestrune
