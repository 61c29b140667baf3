// The serial-port class's plain rules: text detection, stop-bit mapping, where a scan's
// result block may go, the class table.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "com/class_server.h"
#include "com/result_block.h"
#include "com/serial_port_object.h"
#include "com/string_detection.h"

namespace kestrune {
namespace {

std::string Utf16Bytes(const std::wstring& text) {
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

TEST(TextDetection, VerdictFollowsTheTwoPasses) {
    using std::string_literals::operator""s;
    const struct {
        std::string bytes;
        TextVerdict verdict;
    } cases[] = {
        {"A", TextVerdict::kAnsi},
        {"\0"s, TextVerdict::kAnsi},
        {"AB", TextVerdict::kUtf16},       // two ANSI letters read as one UTF-16 character
        {"\0A"s, TextVerdict::kUtf16},     // the first pass ends on the second byte
        {"\0\0"s, TextVerdict::kAnsi},
        {"COM1", TextVerdict::kAnsi},
        {Utf16Bytes(L"COM1"), TextVerdict::kUtf16},
        {Utf16Bytes(L"A"), TextVerdict::kUtf16},  // 'A' NUL: two bytes, first not NUL
        {"AB\0"s, TextVerdict::kAnsi},      // a NUL only at the last position
        {"\0AB"s, TextVerdict::kAnsi},
        {"A\0B"s, TextVerdict::kUtf16},
    };
    for (const auto& c : cases) EXPECT_EQ(DetectTextEncoding(c.bytes), c.verdict) << testing::PrintToString(c.bytes);
}

TEST(TextDetection, FormsLeftBehind) {
    const DetectedText wide = DetectText(Utf16Bytes(L"COM1"));
    EXPECT_EQ(wide.unicodeFlag, 1);
    EXPECT_EQ(wide.unicodeBytes, Utf16Bytes(L"COM1"));
    EXPECT_EQ(wide.ansi, "COM1");

    const DetectedText ansi = DetectText("COM1");
    EXPECT_EQ(ansi.unicodeFlag, 0);
    EXPECT_EQ(ansi.unicodeBytes, Utf16Bytes(L"COM1"));
    EXPECT_EQ(ansi.ansi, "COM1");

    EXPECT_EQ(DetectText("AB").ansi.size(), 1u);  // the narrowed form of one character
    EXPECT_EQ(DetectText(Utf16Bytes(L"COM1") + "X").ansi, "COM1");  // an odd last byte is dropped
}

TEST(StopBitsMapping, BothDirections) {
    const struct {
        int64_t stored;
        std::optional<int64_t> shown;
    } gets[] = {{0, 10000}, {10000, 15000}, {20000, 20000}, {30000, std::nullopt}, {-10000, std::nullopt}};
    for (const auto& c : gets) EXPECT_EQ(StopBitsFromRecord(c.stored), c.shown) << c.stored;

    const struct {
        int64_t given, stored;
    } puts[] = {{10000, 0}, {15000, 10000}, {20000, 20000}, {30000, 30000}, {0, 0}, {12345, 12345}};
    for (const auto& c : puts) EXPECT_EQ(StopBitsToRecord(c.given), c.stored) << c.given;
}

TEST(ResultBlockPlace, InsideTheRegionAndUnderTheLimit) {
    constexpr uint64_t k64K = 0x10000, k4G = uint64_t{1} << 32;
    const struct {
        uint64_t base, size, bytes, limit;
        std::optional<uint64_t> place;
    } cases[] = {
        {0x10000, 0x20000, 0x1000, k4G, 0x10000},
        {0x10001, 0x20000, 0x1000, k4G, 0x20000},           // rounded up to the granularity
        {0x10001, 0x10000, 0x1000, k4G, std::nullopt},      // rounding leaves too little
        {0x10000, 0x1000, 0x2000, k4G, std::nullopt},       // region too small
        {k4G - k64K, 0x100000, 0x20000, k4G, std::nullopt}, // would cross 4 GB
        {k4G - k64K, 0x100000, 0x10000, k4G, k4G - k64K},   // ends exactly at 4 GB
        {k4G, 0x100000, 0x1000, k4G, std::nullopt},         // above the limit
        {0x10000, 0x20000, 0, k4G, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PlaceInFreeRegion(c.base, c.size, c.bytes, c.limit, k64K), c.place) << std::hex << c.base;
}

TEST(ResultBlockPlace, RealBlocksBelowTheLimitOrNone) {
    ResultBlock block = ResultBlock::Allocate(7528 * 40);
    ASSERT_TRUE(block);
    EXPECT_LE(reinterpret_cast<uintptr_t>(block.data()) + block.size(), kAddressLimit32);
    EXPECT_FALSE(ResultBlock::Allocate(7528, 0x10000));  // nothing free that low
    EXPECT_FALSE(ResultBlock::Allocate(0));
}

TEST(ClassTable, ByNameAndIdentifier) {
    const struct {
        std::string name;
        bool found;
    } cases[] = {{"CLASSSERIALPORT", true}, {"classSerialPort", true}, {"", false},
                 {"CLASSSERIALPORTX", false}, {std::string(40, 'A'), false}};
    for (const auto& c : cases) EXPECT_EQ(FindClassByName(c.name) != nullptr, c.found) << c.name;
    EXPECT_NE(FindClassById(CLSID_CLASSSERIALPORT), nullptr);
    EXPECT_EQ(FindClassById(IID_IDispatch), nullptr);
}

}  // namespace
}  // namespace kestrune
