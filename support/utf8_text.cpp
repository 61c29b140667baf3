#include "support/utf8_text.h"

#include <windows.h>

#include <algorithm>

namespace kestrune {

namespace {

bool IsAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::wstring ToWide(std::string_view text, UINT codePage) {
    const int length = static_cast<int>(text.size());
    const int wide = MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
    if (wide <= 0) return std::wstring();
    std::wstring utf16(static_cast<std::size_t>(wide), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), length, utf16.data(), wide);
    return utf16;
}

std::string FromWide(std::wstring_view wide, UINT codePage) {
    if (wide.empty()) return std::string();
    if (codePage == CP_ACP) codePage = GetACP();  // a system whose ANSI code page is UTF-8 too
    if (codePage == CP_OEMCP) codePage = GetOEMCP();
    const int length = static_cast<int>(wide.size());
    // Code pages without a "?" default (UTF-7/8, some multi-byte ones) take no flags at all.
    const bool plain = codePage == CP_UTF8 || codePage == CP_UTF7 || (codePage >= 50220 && codePage <= 57011);
    const DWORD flags = plain ? 0 : WC_NO_BEST_FIT_CHARS;
    const char* fallback = plain ? nullptr : "?";
    int bytes = WideCharToMultiByte(codePage, flags, wide.data(), length, nullptr, 0, fallback, nullptr);
    if (bytes <= 0) return std::string();
    std::string out(static_cast<std::size_t>(bytes), '\0');
    bytes = WideCharToMultiByte(codePage, flags, wide.data(), length, out.data(), bytes, fallback, nullptr);
    out.resize(static_cast<std::size_t>(std::max(bytes, 0)));
    return out;
}

}  // namespace

std::string AnsiToUtf8(std::string_view ansi) {
    if (IsAscii(ansi)) return std::string(ansi);
    return FromWide(ToWide(ansi, CP_ACP), CP_UTF8);
}

std::string WideToUtf8(std::wstring_view wide) { return FromWide(wide, CP_UTF8); }

std::wstring Utf8ToWide(std::string_view utf8) { return ToWide(utf8, CP_UTF8); }

std::string Utf8ToCodePage(std::string_view utf8, unsigned codePage) {
    if (codePage == CP_UTF8 || IsAscii(utf8)) return std::string(utf8);
    return FromWide(ToWide(utf8, CP_UTF8), codePage);
}

std::string Utf8ToAnsi(std::string_view utf8) { return Utf8ToCodePage(utf8, CP_ACP); }

std::string Utf8ToAnsiAsSystem(std::string_view utf8) {
    if (IsAscii(utf8)) return std::string(utf8);
    const std::wstring wide = ToWide(utf8, CP_UTF8);
    const int length = static_cast<int>(wide.size());
    const int bytes = WideCharToMultiByte(CP_ACP, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return std::string();
    std::string out(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), length, out.data(), bytes, nullptr, nullptr);
    return out;
}

}  // namespace kestrune
