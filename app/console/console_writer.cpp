#include "app/console/console_writer.h"

#include <algorithm>

#include "support/utf8_text.h"

namespace kestrune {

namespace {

bool IsConsole(HANDLE stream) {
    DWORD mode = 0;
    return stream && stream != INVALID_HANDLE_VALUE && GetConsoleMode(stream, &mode) != 0;
}

bool WriteWide(HANDLE stream, std::wstring_view text) {
    // Older consoles take a limited buffer per call: pieces, never splitting a surrogate pair.
    constexpr std::size_t kPiece = 8192;
    while (!text.empty()) {
        std::size_t size = std::min(text.size(), kPiece);
        if (size < text.size() && text[size - 1] >= 0xD800 && text[size - 1] <= 0xDBFF) --size;
        DWORD written = 0;
        if (!WriteConsoleW(stream, text.data(), static_cast<DWORD>(size), &written, nullptr) || written == 0)
            return false;
        text.remove_prefix(written);
    }
    return true;
}

bool WriteBytes(HANDLE stream, std::string_view bytes) {
    if (!stream || stream == INVALID_HANDLE_VALUE) return false;
    while (!bytes.empty()) {
        DWORD written = 0;
        if (!WriteFile(stream, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) || written == 0)
            return false;
        bytes.remove_prefix(written);
    }
    return true;
}

// Each "\n" as "\r\n", as a Windows program ends its lines (a console with its newline
// return turned off would not go back to the line's start on "\n" alone).
std::string WithCrLf(std::string_view text) {
    std::string lines;
    lines.reserve(text.size() + text.size() / 32);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) lines += '\r';
        lines += text[i];
    }
    return lines;
}

}  // namespace

OutputRoad ChooseOutputRoad(bool isConsole, OutputEncoding encoding, unsigned oemCodePage, unsigned ansiCodePage) {
    OutputRoad road;
    road.console = isConsole;
    switch (encoding) {
        case OutputEncoding::kUtf8: road.codePage = CP_UTF8; break;
        case OutputEncoding::kOem: road.codePage = oemCodePage; break;
        case OutputEncoding::kAnsi: road.codePage = ansiCodePage; break;
    }
    return road;
}

std::string RedirectedBytes(std::string_view utf8, unsigned codePage) {
    return Utf8ToCodePage(WithCrLf(utf8), codePage);
}

std::string AsciiJson(std::string_view json) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(json.size());
    std::size_t start = 0;
    for (std::size_t i = 0; i <= json.size(); ++i) {
        if (i < json.size() && static_cast<unsigned char>(json[i]) < 0x80) continue;
        // A run of non-ASCII bytes: through UTF-16, each unit as an escape.
        out.append(json.substr(start, i - start));
        std::size_t end = i;
        while (end < json.size() && static_cast<unsigned char>(json[end]) >= 0x80) ++end;
        for (wchar_t unit : Utf8ToWide(json.substr(i, end - i))) {
            const unsigned u = static_cast<unsigned>(unit) & 0xFFFF;
            out += {'\\', 'u', kHex[u >> 12], kHex[(u >> 8) & 15], kHex[(u >> 4) & 15], kHex[u & 15]};
        }
        start = end;
        i = end;
    }
    return out;
}

const ConsoleCalls& SystemConsoleCalls() {
    static const ConsoleCalls calls = {IsConsole, WriteWide, WriteBytes};
    return calls;
}

OutputWriter::OutputWriter(HANDLE stream, OutputEncoding encoding, const ConsoleCalls& calls)
    : stream_(stream), calls_(&calls),
      road_(ChooseOutputRoad(calls.isConsole(stream), encoding, GetOEMCP(), GetACP())) {}

bool OutputWriter::Write(std::string_view utf8) const {
    if (utf8.empty()) return true;
    if (road_.console) return calls_->writeWide(stream_, Utf8ToWide(WithCrLf(utf8)));
    return calls_->writeBytes(stream_, RedirectedBytes(utf8, road_.codePage));
}

}  // namespace kestrune
