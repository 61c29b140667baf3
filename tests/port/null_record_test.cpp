// Every exported port function meets a null record with 9 and touches nothing.
#include <gtest/gtest.h>

#include <cstring>

#include "port/channel.h"
#include "export_lists.h"
#include "exports/modem_line_exports.h"
#include "exports/port_functions.h"
#include "exports/scan_exports.h"
#include "scan/scan_driver.h"
#include "support/fixed_text.h"

namespace {

using RecordFunction = int32_t(WINAPI*)(PortRecord*);
using FlagFunction = int32_t(WINAPI*)(PortRecord*, const int32_t*);

#define KESTRUNE_EXPORT_FUNCTION(name) name,
const RecordFunction kRecordFunctions[] = {KESTRUNE_RECORD_EXPORTS(KESTRUNE_EXPORT_FUNCTION)};
const FlagFunction kFlagFunctions[] = {KESTRUNE_FLAG_EXPORTS(KESTRUNE_EXPORT_FUNCTION)};
#undef KESTRUNE_EXPORT_FUNCTION

TEST(NullRecord, EveryExportGivesNineAndOpensNothing) {
    const std::size_t openBefore = kestrune::OpenChannelCount();
    int32_t value = 1;
    for (RecordFunction f : kRecordFunctions) EXPECT_EQ(f(nullptr), kestrune::kNullArgumentResult);
    for (FlagFunction f : kFlagFunctions) {
        EXPECT_EQ(f(nullptr, &value), kestrune::kNullArgumentResult);
        EXPECT_EQ(f(nullptr, nullptr), kestrune::kNullArgumentResult);
    }
    EXPECT_EQ(kestrune::OpenChannelCount(), openBefore);
}

TEST(NullRecord, NullValueLeavesTheRecordAsItWas) {
    PortRecord record{};
    record.RtHandle = 12345;
    record.State = 7;
    kestrune::SetText(record.StateDescription, "untouched");
    PortRecord before = record;
    for (FlagFunction f : kFlagFunctions) {
        EXPECT_EQ(f(&record, nullptr), kestrune::kNullArgumentResult);
        EXPECT_EQ(std::memcmp(&record, &before, sizeof(record)), 0);
    }
}

}  // namespace

namespace {

// A record from a careless caller: every byte set, no text terminated. Handles are left 0,
// since any handle value a caller passes is used as a handle.
PortRecord GarbageRecord() {
    PortRecord record;
    std::memset(&record, 'A', sizeof record);
    record.WinHandle = 0;
    record.HwndTerminal = 0;
    record.StatusWindow = 0;
    return record;
}

bool TextsStayInTheirFields(const PortRecord& record, const PortRecord& before) {
    const char* fields[] = {record.PortName, record.Name, record.StateDescription, record.RecBuffer,
                            record.RtErrorDescription, record.WinErrorDescription, record.AppErrorDescription,
                            record.FunctionName, record.StatusText1, record.StatusText2, record.StatusText3};
    for (const char* field : fields) {
        const std::size_t offset = static_cast<std::size_t>(field - reinterpret_cast<const char*>(&record));
        const bool changed = std::memcmp(field, reinterpret_cast<const char*>(&before) + offset, kestrune::kTextSize) != 0;
        if (changed && !std::memchr(field, 0, kestrune::kTextSize)) return false;  // written but unterminated
    }
    return true;
}

TEST(GarbageRecord, EveryExportKeepsToItsFieldsAndOpensNothing) {
    const std::size_t openBefore = kestrune::OpenChannelCount();
    int32_t value = 1;
    for (RecordFunction f : kRecordFunctions) {
        PortRecord record = GarbageRecord();
        const PortRecord before = record;
        f(&record);
        EXPECT_TRUE(TextsStayInTheirFields(record, before));
    }
    for (FlagFunction f : kFlagFunctions) {
        PortRecord record = GarbageRecord();
        f(&record, &value);
        EXPECT_EQ(record.State, 1) << "no channel is open under a garbage number";
    }
    EXPECT_EQ(kestrune::OpenChannelCount(), openBefore);
}

}  // namespace
