// The top of the console's JSON documents: the UTC time text and the header fields, in order.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "app/console/json_header.h"
#include "app/console/scan_json.h"
#include "support/version.h"

using namespace kestrune;

namespace {

SYSTEMTIME Utc(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second, WORD ms) {
    SYSTEMTIME t{};
    t.wYear = year, t.wMonth = month, t.wDay = day, t.wHour = hour, t.wMinute = minute, t.wSecond = second;
    t.wMilliseconds = ms;
    return t;
}

TEST(JsonHeader, UtcTimeTextOrNothingForImpossibleFields) {
    const struct {
        SYSTEMTIME time;
        const char* text;
    } cases[] = {
        {Utc(2026, 12, 9, 2, 40, 12, 345), "2026-12-09T02:40:12.345Z"},
        {Utc(1, 1, 1, 0, 0, 0, 0), "0001-01-01T00:00:00.000Z"},
        {Utc(9999, 12, 31, 23, 59, 60, 999), "9999-12-31T23:59:60.999Z"},  // a leap second
        {Utc(0, 1, 1, 0, 0, 0, 0), ""},
        {Utc(2026, 13, 1, 0, 0, 0, 0), ""},
        {Utc(2026, 1, 0, 0, 0, 0, 0), ""},
        {Utc(2026, 1, 1, 24, 0, 0, 0), ""},
        {Utc(2026, 1, 1, 0, 60, 0, 0), ""},
        {Utc(2026, 1, 1, 0, 0, 0, 1000), ""},
        {Utc(65535, 65535, 65535, 65535, 65535, 65535, 65535), ""},
    };
    for (const auto& c : cases) EXPECT_EQ(UtcIsoTime(c.time), c.text) << c.text;
}

TEST(JsonHeader, EveryDocumentStartsWithModeSchemaVersionHostAndTime) {
    const JsonDocumentHeader header{"BENCH-07", "2026-12-09T02:40:12.345Z"};
    for (RowSource source : {RowSource::kScan, RowSource::kListing}) {
        const nlohmann::ordered_json document = nlohmann::ordered_json::parse(RenderJson({}, source, 2, nullptr, header));
        std::vector<std::string> keys;
        for (const auto& item : document.items()) keys.push_back(item.key());
        EXPECT_EQ(keys, (std::vector<std::string>{"mode", "schema", "kestrune", "host", "time", "ports"}));
        EXPECT_EQ(document["mode"], source == RowSource::kScan ? "scan" : "list");
        EXPECT_EQ(document["schema"], kJsonSchemaVersion);
        EXPECT_EQ(document["kestrune"], KESTRUNE_VERSION_TEXT);
        EXPECT_EQ(document["host"], "BENCH-07");
        EXPECT_EQ(document["time"], "2026-12-09T02:40:12.345Z");
    }
}

}  // namespace
