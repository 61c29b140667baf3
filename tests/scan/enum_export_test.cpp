// The exported scan: the caller's Automation array is replaced by one of 7528-byte records.
#include <gtest/gtest.h>

#include <windows.h>
#include <oleauto.h>

#include <cstring>

#include "exports/modem_line_exports.h"
#include "exports/scan_exports.h"
#include "scan/device_type.h"
#include "scan/modem_lines.h"
#include "scan/scan_driver.h"
#include "scan/settings_readout.h"
#include "support/fixed_text.h"

namespace kestrune {
namespace {

TEST(SerialPortEnumExport, ReplacesTheCallersArrayWithRecords) {
    // Whatever the caller held is discarded: here an array of another element type.
    SAFEARRAY* ports = SafeArrayCreateVector(VT_I4, 0, 3);
    ASSERT_NE(ports, nullptr);
    ASSERT_EQ(SerialPort_Enum(&ports, nullptr), 0);
    ASSERT_NE(ports, nullptr);
    EXPECT_EQ(SafeArrayGetDim(ports), 1u);
    EXPECT_EQ(SafeArrayGetElemsize(ports), sizeof(PortRecord));
    LONG lower = -1, upper = -1;
    ASSERT_EQ(SafeArrayGetLBound(ports, 1, &lower), S_OK);
    ASSERT_EQ(SafeArrayGetUBound(ports, 1, &upper), S_OK);
    EXPECT_EQ(lower, 0);
    ASSERT_GE(upper, 0) << "never fewer than one record";

    // A client handed only the first record's address finds the bounds in it.
    const auto* first = static_cast<const PortRecord*>(ports->pvData);
    EXPECT_EQ(first->LBOUND, 0);
    EXPECT_EQ(first->UBOUND, upper);
    for (LONG i = 0; i <= upper; ++i) {
        EXPECT_EQ(first[i].UBOUND, upper) << i;
        EXPECT_EQ(first[i].StatusWindow, 0u) << "no progress without a status window";
        EXPECT_EQ(first[i].RtHandle, 0) << "every channel is closed after the scan";
        EXPECT_FALSE(TextEmpty(first[i].Status)) << i;
    }
    EXPECT_EQ(SafeArrayDestroy(ports), S_OK);
}

TEST(SerialPortEnumExport, NullArrayIsRefused) {
    EXPECT_EQ(SerialPort_Enum(nullptr, nullptr), kNullArgumentResult);
}

TEST(SerialPortEnumExport, StartsFromAnEmptySlotToo) {
    SAFEARRAY* ports = nullptr;
    uint32_t noWindow = 0;  // a status window of 0: reports go nowhere
    ASSERT_EQ(SerialPort_Enum(&ports, &noWindow), 0);
    ASSERT_NE(ports, nullptr);
    const auto* first = static_cast<const PortRecord*>(ports->pvData);
    EXPECT_EQ(first[first->UBOUND].StatusWindow, 0u);
    SafeArrayDestroy(ports);
}

TEST(ScanStepExports, GarbageRecordsStayInTheirFields) {
    using Step = int32_t(WINAPI*)(PortRecord*);
    const Step steps[] = {SerialPort_Get_Type, SerialPort_Get_Program, SerialPort_Get_FlowControl,
                          SerialPort_Get_Dsr, SerialPort_Get_Cts, SerialPort_Get_Ring,
                          SerialPort_Get_ReceiveLineSignalDetect, SerialPort_Set_Dtr, SerialPort_Clear_Dtr,
                          SerialPort_Set_Rts, SerialPort_Clear_Rts};
    for (Step step : steps) {
        // Every byte set and no text terminated; no handle, since a handle value is used as one.
        PortRecord record;
        std::memset(&record, 'A', sizeof record);
        record.WinHandle = 0;
        record.StatusWindow = 0;
        step(&record);
        for (const char* field : {record.DeviceType, record.ProgramFolder, record.ProgramName, record.ProgramVersion,
                                  record.FunctionName, record.StatusText1})
            EXPECT_TRUE(field[0] == 'A' || std::memchr(field, 0, kTextSize)) << "a field written is terminated";
        EXPECT_EQ(step(nullptr), kNullArgumentResult);
    }
}

}  // namespace
}  // namespace kestrune
