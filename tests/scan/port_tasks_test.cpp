// The per-port task pool without ports: tasks that answer, tasks that overrun their bound,
// and what a late task may touch; and when the inputs count as having answered a drive.
#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "scan/cable_neighbours.h"
#include "scan/line_drive.h"
#include "scan/port_tasks.h"
#include "support/fixed_text.h"
#include "support/module_hold.h"
#include "test_helpers.h"

using namespace kestrune;

namespace {

std::atomic<int> lateReturns{0};

// The work of one task, by the record's Number: 0 answers at once, n > 0 sleeps n ms.
void Work(PortRecord& r) {
    if (r.Number > 0) Sleep(static_cast<DWORD>(r.Number));
    r.Baud = r.Number + 1;
}

void CountLate(PortRecord& r) {
    EXPECT_EQ(r.Baud, r.Number + 1) << "the late task's copy is its own";
    ++lateReturns;
}

}  // namespace

TEST(PortTasks, AnsweredCopiedBackOverrunGivenUp) {
    struct Case {
        const char* name;
        std::size_t workers;
        std::vector<int32_t> sleeps;  // per record; > bound means given up
        std::vector<bool> answered;
    } cases[] = {
        {"one worker, all quick", 1, {0, 0, 0}, {true, true, true}},
        {"pool, all quick", 4, {0, 5, 0, 5, 0, 5, 0}, {true, true, true, true, true, true, true}},
        {"one overruns, the rest go on", 1, {0, 600, 0}, {true, false, true}},
        {"pool, two overrun", 3, {600, 0, 600, 0, 0}, {false, true, false, true, true}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        lateReturns = 0;
        std::vector<PortRecord> records(c.sleeps.size());
        for (size_t i = 0; i < records.size(); ++i) {
            records[i].Number = c.sleeps[i];
            records[i].StatusWindow = 77;
        }
        PortTaskOptions options;
        options.workers = c.workers;
        options.boundMilliseconds = 200;
        options.lateReturn = CountLate;
        std::vector<bool> answered;
        {
            PortTaskPool pool(options);
            answered = pool.RunAll(records, Work);
        }
        EXPECT_EQ(answered, c.answered);
        int givenUp = 0;
        for (size_t i = 0; i < records.size(); ++i) {
            EXPECT_EQ(records[i].StatusWindow, 77u) << "the caller's window stays";
            if (answered[i]) {
                EXPECT_EQ(records[i].Baud, records[i].Number + 1) << i;
            } else {
                EXPECT_EQ(records[i].Baud, 0) << "nothing written into a record given up";
                ++givenUp;
            }
        }
        ASSERT_TRUE(test_helpers::PollUntil([] { return ModuleHolds() == 0; })) << "a late task never ended";
        EXPECT_EQ(lateReturns.load(), givenUp);
    }
}

TEST(PortTasks, GivenUpReadsDisconnectedWithATimeOut) {
    PortRecord r{};
    r.RtHandle = 5;
    r.WinHandle = 0x40;
    SetText(r.Status, "Available");
    MarkGivenUp(r);
    EXPECT_EQ(Text(r.Status), "Disconnected");
    EXPECT_EQ(r.WinError, static_cast<uint32_t>(ERROR_TIMEOUT));
    EXPECT_EQ(r.AppError, static_cast<int32_t>(ERROR_TIMEOUT));
    EXPECT_NE(Text(r.WinErrorDescription), "");
    EXPECT_EQ(r.RtHandle, 0);
    EXPECT_EQ(r.WinHandle, 0u);
}

TEST(LineDrive, InputsAnsweredOnlyWhenBothMoved) {
    struct Row {
        uint32_t status;
        int32_t dsrBefore, ctsBefore;
        bool answered;
    } rows[] = {
        {0x30, 0, 0, true},     // both came on
        {0x20, 0, 0, false},    // only DSR
        {0x10, 0, 0, false},    // only CTS
        {0x00, 32, 16, true},   // both went off
        {0x30, 32, 16, false},  // a device holding both
        {0xB0, 0, 0, true},     // carrier and ring take no part
        {0x40, 0, 0, false},
    };
    for (const Row& row : rows)
        EXPECT_EQ(InputsAnswered(row.status, row.dsrBefore, row.ctsBefore), row.answered)
            << std::hex << row.status << " " << row.dsrBefore << " " << row.ctsBefore;
}

TEST(CableNeighbours, CabledToReadsOnlyItsOwnPrefix) {
    PortRecord r{};
    EXPECT_EQ(CabledTo(r), "");
    SetText(r.AttachedDevice, "cabled to COM8");
    EXPECT_EQ(CabledTo(r), "COM8");
    SetText(r.AttachedDevice, "Modem");
    EXPECT_EQ(CabledTo(r), "");
}
