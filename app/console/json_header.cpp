#include "app/console/json_header.h"

#include <cstdio>

#include "support/version.h"
#include "support/utf8_text.h"

namespace kestrune {

std::string UtcIsoTime(const SYSTEMTIME& utc) {
    if (utc.wYear < 1 || utc.wYear > 9999 || utc.wMonth < 1 || utc.wMonth > 12 || utc.wDay < 1 || utc.wDay > 31 ||
        utc.wHour > 23 || utc.wMinute > 59 || utc.wSecond > 60 || utc.wMilliseconds > 999)
        return std::string();
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u.%03uZ", utc.wYear, utc.wMonth, utc.wDay,
                  utc.wHour, utc.wMinute, utc.wSecond, utc.wMilliseconds);
    return text;
}

nlohmann::ordered_json JsonDocumentStart(std::string_view mode, const JsonDocumentHeader& header) {
    nlohmann::ordered_json document = nlohmann::ordered_json::object();
    document["mode"] = std::string(mode);
    document["schema"] = kJsonSchemaVersion;
    document["kestrune"] = KESTRUNE_VERSION_TEXT;
    document["host"] = header.host;
    document["time"] = header.time;
    return document;
}

JsonDocumentHeader CurrentDocumentHeader() {
    JsonDocumentHeader header;
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD length = sizeof name;
    if (GetComputerNameA(name, &length)) header.host = AnsiToUtf8(std::string_view(name, length));
    SYSTEMTIME now;
    GetSystemTime(&now);
    header.time = UtcIsoTime(now);
    return header;
}

}  // namespace kestrune
