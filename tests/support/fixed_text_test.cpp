// Fixed text fields and the record's field table.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "record/record_fields.h"
#include "support/fixed_text.h"
#include "support/handles.h"

namespace kestrune {
namespace {

struct StoreCase {
    std::string input;
    std::string stored;
};

TEST(FixedText, StoresCutAtCapacityAndAtEmbeddedNul) {
    const StoreCase cases[] = {
        {"", ""},
        {"COM1", "COM1"},
        {std::string(259, 'a'), std::string(259, 'a')},
        {std::string(260, 'b'), std::string(259, 'b')},
        {std::string(5000, 'c'), std::string(259, 'c')},
        {std::string("ab\0cd", 5), "ab"},
    };
    for (const StoreCase& c : cases) {
        char field[kTextSize];
        std::memset(field, 'z', sizeof field);
        SetText(field, c.input);
        EXPECT_EQ(std::string(Text(field)), c.stored);
        EXPECT_EQ(field[kTextSize - 1], '\0');
        for (size_t i = c.stored.size(); i < kTextSize; ++i) ASSERT_EQ(field[i], '\0') << "rest is cleared";
    }
}

TEST(FixedText, ReadingAnUnterminatedFieldStaysInside) {
    struct {
        char field[kTextSize];
        char guard[8];
    } block;
    std::memset(block.field, 'x', sizeof block.field);
    std::memcpy(block.guard, "GUARD!!", 8);
    EXPECT_EQ(Text(block.field).size(), kTextSize - 1);
}

TEST(FixedText, UpperAnsi) {
    EXPECT_EQ(UpperAnsi("com3:"), "COM3:");
    EXPECT_EQ(UpperAnsi(""), "");
}

TEST(Handles, FieldRoundTripKeepsSignExtendedValues) {
    for (uintptr_t v : {uintptr_t{0}, uintptr_t{4}, uintptr_t{0x7FFFFFFC}}) {
        HANDLE h = reinterpret_cast<HANDLE>(v);
        EXPECT_EQ(FieldToHandle(HandleToField(h)), h);
    }
    EXPECT_EQ(FieldToHandle(HandleToField(INVALID_HANDLE_VALUE)), INVALID_HANDLE_VALUE);
    EXPECT_EQ(HandleToField(INVALID_HANDLE_VALUE), 0xFFFFFFFFu);
}

TEST(RecordFields, CoverTheWholeRecordWithoutOverlap) {
    size_t count = 0;
    const FieldInfo* fields = RecordFields(&count);
    ASSERT_EQ(count, 77u);
    size_t expectedOffset = 0;
    std::set<std::string> names;
    for (size_t i = 0; i < count; ++i) {
        EXPECT_EQ(fields[i].offset, expectedOffset) << fields[i].name;
        expectedOffset += fields[i].size;
        EXPECT_TRUE(names.insert(fields[i].name).second) << "duplicate " << fields[i].name;
    }
    EXPECT_EQ(expectedOffset, sizeof(PortRecord));
}

TEST(RecordFields, TextForms) {
    PortRecord r{};
    SetText(r.WinErrorDescription, "Access denied.\r\n\tx");
    r.FlowControlBits = 0x2001;  // Binary and Dummy2
    r.StopBits = 15000;
    r.WinError = 0xFFFFFFFF;
    r.RtError = -1;
    SetText(r.DeviceName, "\\??\\Z:\\dev\\pts\\3");
    EXPECT_EQ(RecordFieldText(r, *FindRecordField("WinErrorDescription")), "Access denied.\\r\\n\\tx");
    EXPECT_EQ(RecordFieldText(r, *FindRecordField("FlowControlBits")), "10000000000001");
    EXPECT_EQ(RecordFieldText(r, *FindRecordField("StopBits")), "15000");
    EXPECT_EQ(RecordFieldText(r, *FindRecordField("WinError")), "4294967295");
    EXPECT_EQ(RecordFieldText(r, *FindRecordField("RtError")), "-1");
    EXPECT_EQ(RecordFieldText(r, *FindRecordField("DeviceName")), "\\??\\Z:\\dev\\pts\\3");
    EXPECT_EQ(RecordFieldText(r, *FindRecordField("CommConfig")).size(), 104u);
    EXPECT_EQ(FindRecordField("NoSuchField"), nullptr);
}

}  // namespace
}  // namespace kestrune
