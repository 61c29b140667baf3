#include "sysinfo/environment.h"

#include <windows.h>

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "support/fixed_text.h"

namespace kestrune {

namespace {

// Windows' own variables whose values are folders, names and processor facts: the only
// values a report meant to be sent shows. Compared in any letter case.
constexpr std::string_view kPlainSystemVariables[] = {
    "ALLUSERSPROFILE", "APPDATA", "CommonProgramFiles", "CommonProgramFiles(x86)", "CommonProgramW6432",
    "COMPUTERNAME", "ComSpec", "DriverData", "HOMEDRIVE", "HOMEPATH", "LOCALAPPDATA", "LOGONSERVER",
    "NUMBER_OF_PROCESSORS", "OS", "PATH", "PATHEXT", "PROCESSOR_ARCHITECTURE", "PROCESSOR_ARCHITEW6432",
    "PROCESSOR_IDENTIFIER", "PROCESSOR_LEVEL", "PROCESSOR_REVISION", "ProgramData", "ProgramFiles",
    "ProgramFiles(x86)", "ProgramW6432", "PSModulePath", "PUBLIC", "SESSIONNAME", "SystemDrive", "SystemRoot",
    "TEMP", "TMP", "USERDOMAIN", "USERDOMAIN_ROAMINGPROFILE", "USERNAME", "USERPROFILE", "windir",
};

// Query parameter names that carry a credential whole, and words that make any name one.
constexpr std::string_view kCredentialParameters[] = {"SIG", "CODE", "KEY", "SID", "SAS", "JWT", "BEARER"};
constexpr std::string_view kCredentialWords[] = {"TOKEN", "SECRET", "PASS", "PWD", "SIGNATURE", "APIKEY",
                                                 "API_KEY", "AUTH", "SESSION", "CREDENTIAL", "PRIVATE"};

// Where a URL's query or authority ends inside a value: a blank, a list separator or a quote.
constexpr char kUrlEnd[] = " \t;,\"'";

// The query part value[begin, end) with the values of credential parameters hidden.
std::string HideQueryCredentials(std::string_view query) {
    std::string text;
    std::size_t pos = 0;
    while (pos <= query.size()) {
        std::size_t end = query.find_first_of("&#", pos);
        if (end == std::string_view::npos) end = query.size();
        const std::string_view parameter = query.substr(pos, end - pos);
        const std::size_t equals = parameter.find('=');
        if (equals != std::string_view::npos && IsCredentialParameter(parameter.substr(0, equals))) {
            text.append(parameter.substr(0, equals + 1));
            text.append(kHiddenValueMark);
        } else {
            text.append(parameter);
        }
        if (end == query.size()) break;
        if (query[end] == '#') {  // the fragment is no query any more
            text.append(query.substr(end));
            break;
        }
        text += '&';
        pos = end + 1;
    }
    return text;
}

}  // namespace

bool IsPlainSystemVariable(std::string_view name) {
    const std::string upper = UpperAnsi(name);
    for (std::string_view allowed : kPlainSystemVariables)
        if (UpperAnsi(allowed) == upper) return true;
    return false;
}

bool IsCredentialParameter(std::string_view name) {
    const std::string upper = UpperAnsi(name);
    for (std::string_view whole : kCredentialParameters)
        if (upper == whole) return true;
    for (std::string_view word : kCredentialWords)
        if (upper.find(word) != std::string::npos) return true;
    return upper.size() > 4 && (upper.compare(upper.size() - 4, 4, "_KEY") == 0 ||
                                upper.compare(upper.size() - 4, 4, "_SIG") == 0);
}

std::string HideValueSecrets(std::string_view value) {
    std::string text;
    std::size_t pos = 0;
    for (;;) {
        const std::size_t scheme = value.find("://", pos);
        if (scheme == std::string_view::npos) break;
        const std::size_t start = scheme + 3;
        // The authority ends at the path, query, fragment, a blank or a list separator.
        std::size_t end = value.find_first_of(std::string("/?#") + kUrlEnd, start);
        if (end == std::string_view::npos) end = value.size();
        const std::size_t at = value.substr(start, end - start).rfind('@');
        text.append(value.substr(pos, start - pos));
        if (at != std::string_view::npos) {
            text.append(kHiddenValueMark);
            text.append(value.substr(start + at, end - start - at));
        } else {
            text.append(value.substr(start, end - start));
        }
        // The rest of this URL: its path as it is, its query with credentials hidden.
        std::size_t urlEnd = value.find_first_of(kUrlEnd, end);
        if (urlEnd == std::string_view::npos) urlEnd = value.size();
        const std::size_t query = value.substr(end, urlEnd - end).find('?');
        if (query == std::string_view::npos) {
            text.append(value.substr(end, urlEnd - end));
        } else {
            text.append(value.substr(end, query + 1));
            text.append(HideQueryCredentials(value.substr(end + query + 1, urlEnd - end - query - 1)));
        }
        pos = urlEnd;
    }
    text.append(value.substr(pos));
    return text;
}

std::string EnvironmentListingOf(std::string_view block, bool onlySafeValues) {
    std::string text;
    std::size_t pos = 0;
    while (pos < block.size()) {
        std::size_t end = block.find('\0', pos);
        if (end == std::string_view::npos) end = block.size();
        if (end == pos) break;  // the empty entry that closes the block
        std::string_view entry = block.substr(pos, end - pos);
        if (entry.front() != '=') {
            const std::size_t equals = entry.find('=');
            if (!onlySafeValues) {
                text.append(entry);
            } else if (equals != std::string_view::npos && IsPlainSystemVariable(entry.substr(0, equals))) {
                text.append(entry.substr(0, equals + 1));
                text.append(HideValueSecrets(entry.substr(equals + 1)));
            } else {
                text.append(entry.substr(0, equals == std::string_view::npos ? entry.size() : equals));
                text += '=';
                text.append(kHiddenValueMark);
            }
            text.append("\r\n");
        }
        pos = end + 1;
    }
    text.append("\r\n");
    return text;
}

std::string EnvironmentListing(bool onlySafeValues) {
    char* block = GetEnvironmentStringsA();
    if (!block) return "\r\n";
    // The block ends with an empty entry: find the double NUL once, then list it.
    std::size_t len = 0;
    while (block[len] != '\0') len += std::strlen(block + len) + 1;
    std::string text = EnvironmentListingOf(std::string_view(block, len), onlySafeValues);
    FreeEnvironmentStringsA(block);
    return text;
}

int32_t NumericValue(std::string_view text) {
    std::size_t i = 0, n = text.size();
    while (i < n && (text[i] == ' ' || text[i] == '\t')) ++i;
    std::string number;
    if (i < n && (text[i] == '+' || text[i] == '-')) number += text[i++];
    bool digits = false;
    while (i < n && std::isdigit(static_cast<unsigned char>(text[i]))) { number += text[i++]; digits = true; }
    if (i < n && text[i] == '.') {
        number += text[i++];
        while (i < n && std::isdigit(static_cast<unsigned char>(text[i]))) { number += text[i++]; digits = true; }
    }
    if (!digits) return 0;
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        std::string exponent = "e";
        if (j < n && (text[j] == '+' || text[j] == '-')) exponent += text[j++];
        bool expDigits = false;
        while (j < n && std::isdigit(static_cast<unsigned char>(text[j]))) { exponent += text[j++]; expDigits = true; }
        if (expDigits) number += exponent;
    }
    double value = std::strtod(number.c_str(), nullptr);
    double rounded = std::nearbyint(value);  // halves to even, as the language's rounding does
    if (!(rounded > std::numeric_limits<int32_t>::min())) return std::numeric_limits<int32_t>::min();
    if (!(rounded < std::numeric_limits<int32_t>::max())) return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(rounded);
}

std::string EnvironmentText(const char* name) {
    if (!name) return {};
    std::vector<char> buffer(256);
    for (;;) {
        SetLastError(ERROR_SUCCESS);
        DWORD got = GetEnvironmentVariableA(name, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (got == 0) return {};
        if (got < buffer.size()) return std::string(buffer.data(), got);
        buffer.resize(got + 1);  // got is the size needed, terminator included
    }
}

LONG ExpandEnvironmentText(const char* textIn, std::string& expanded) {
    constexpr int kSizeRaces = 8;  // variables that keep growing between the size query and the expansion
    expanded.clear();
    LONG status = ERROR_MORE_DATA;
    for (int attempt = 0; attempt < kSizeRaces && status == ERROR_MORE_DATA; ++attempt) {
        const DWORD needed = ExpandEnvironmentStringsA(textIn, nullptr, 0);
        if (needed == 0) {
            status = static_cast<LONG>(GetLastError());
            if (status == ERROR_SUCCESS) status = ERROR_INVALID_DATA;
            break;
        }
        // Room for the variables growing in between; a shorter result is fine.
        expanded.assign(needed + 1, '\0');
        const DWORD got = ExpandEnvironmentStringsA(textIn, expanded.data(), static_cast<DWORD>(expanded.size()));
        if (got == 0) {
            status = static_cast<LONG>(GetLastError());
            if (status == ERROR_SUCCESS) status = ERROR_INVALID_DATA;
        } else if (got > expanded.size()) {
            status = ERROR_MORE_DATA;
        } else {
            expanded.resize(std::strlen(expanded.c_str()));
            status = ERROR_SUCCESS;
        }
    }
    if (status != ERROR_SUCCESS) expanded.clear();
    return status;
}

namespace cgi {
#define KESTRUNE_TEXT_VARIABLE(name) \
    std::string name() { return EnvironmentText(#name); }
KESTRUNE_TEXT_VARIABLE(AUTH_TYPE)
int32_t CONTENT_LENGTH() { return NumericValue(EnvironmentText("CONTENT_LENGTH")); }
KESTRUNE_TEXT_VARIABLE(CONTENT_TYPE)
KESTRUNE_TEXT_VARIABLE(DOCUMENT)
KESTRUNE_TEXT_VARIABLE(DOCUMENT_URI)
KESTRUNE_TEXT_VARIABLE(DATE_GMT)
KESTRUNE_TEXT_VARIABLE(DATE_LOCAL)
KESTRUNE_TEXT_VARIABLE(GATEWAY_INTERFACE)
KESTRUNE_TEXT_VARIABLE(LAST_MODIFIED)
KESTRUNE_TEXT_VARIABLE(LOCAL_ADDR)
KESTRUNE_TEXT_VARIABLE(LOGON_USER)
KESTRUNE_TEXT_VARIABLE(PATH_INFO)
KESTRUNE_TEXT_VARIABLE(PATH_TRANSLATED)
KESTRUNE_TEXT_VARIABLE(QUERY_METHOD)
KESTRUNE_TEXT_VARIABLE(QUERY_STRING)
KESTRUNE_TEXT_VARIABLE(QUERY_STRING_UNESCAPED)
KESTRUNE_TEXT_VARIABLE(REMOTE_ADDR)
KESTRUNE_TEXT_VARIABLE(REMOTE_HOST)
KESTRUNE_TEXT_VARIABLE(REMOTE_IDENT)
KESTRUNE_TEXT_VARIABLE(REMOTE_USER)
KESTRUNE_TEXT_VARIABLE(REQUEST_METHOD)
KESTRUNE_TEXT_VARIABLE(SCRIPT_NAME)
KESTRUNE_TEXT_VARIABLE(SERVER_NAME)
int32_t SERVER_PORT() { return NumericValue(EnvironmentText("SERVER_PORT")); }
int32_t SERVER_PORT_SECURE() { return EnvironmentText("SERVER_PORT_SECURE") == "0" ? 0 : -1; }
KESTRUNE_TEXT_VARIABLE(SERVER_PROTOCOL)
KESTRUNE_TEXT_VARIABLE(SERVER_SOFTWARE)
KESTRUNE_TEXT_VARIABLE(HTTP_ACCEPT)
KESTRUNE_TEXT_VARIABLE(HTTP_ACCEPT_CHARSET)
KESTRUNE_TEXT_VARIABLE(HTTP_ACCEPT_ENCODING)
KESTRUNE_TEXT_VARIABLE(HTTP_ACCEPT_LANGUAGE)
KESTRUNE_TEXT_VARIABLE(HTTP_CONNECTION)
KESTRUNE_TEXT_VARIABLE(HTTP_COOKIE)
KESTRUNE_TEXT_VARIABLE(HTTP_FROM)
KESTRUNE_TEXT_VARIABLE(HTTP_HOST)
KESTRUNE_TEXT_VARIABLE(HTTP_PRAGMA)
KESTRUNE_TEXT_VARIABLE(HTTP_REFERER)
KESTRUNE_TEXT_VARIABLE(HTTP_USER_AGENT)
KESTRUNE_TEXT_VARIABLE(HTTPS)
#undef KESTRUNE_TEXT_VARIABLE
}  // namespace cgi

}  // namespace kestrune
