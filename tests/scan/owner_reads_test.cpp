// Reads through a port handle duplicated from its owner are bounded: a read that blocks (a
// Fake standing in for Windows, where a synchronous handle waits behind the owner's pending
// read; Wine does not serialise) costs its limit once per port, leaves the fields 0 and the
// record says "time-out". The name worker is not cut off while it starts, and tells pipes
// by the file-system peek.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "bench/helper_process.h"
#include "exports/modem_line_exports.h"
#include "exports/scan_exports.h"
#include "scan/modem_lines.h"
#include "scan/owner_port_reads.h"
#include "scan/scan_driver.h"
#include "scan/settings_readout.h"
#include "support/fixed_text.h"
#include "scan_test_support.h"

using namespace kestrune;
using scan_test::HandleCount;
using scan_test::ThreadCount;

namespace {

BOOL WINAPI FakeBlockingConfigRead(HANDLE, COMMCONFIG*, DWORD*) {
    Sleep(INFINITE);
    return FALSE;
}
BOOL WINAPI FakeBlockingModemRead(HANDLE, DWORD*) {
    Sleep(INFINITE);
    return FALSE;
}
BOOL WINAPI FakeConfigRead(HANDLE, COMMCONFIG* config, DWORD*) {
    *config = COMMCONFIG{};
    config->dcb.BaudRate = 4800;
    config->dcb.ByteSize = 7;
    config->dcb.fBinary = 1;
    return TRUE;
}
BOOL WINAPI FakeModemRead(HANDLE, DWORD* status) {
    *status = 0x30;
    return TRUE;
}

// A record whose WinHandle is another process's handle duplicated into this one.
PortRecord OwnerDuplicate(HANDLE handle) {
    PortRecord record{};
    SetText(record.PortName, "COM3");
    record.ProcessId = GetCurrentProcessId() + 4;
    record.DupProcessID = GetCurrentProcessId();
    record.DupObjAddress = HandleToField(handle);
    record.WinHandle = record.DupObjAddress;
    return record;
}

}  // namespace

TEST(OwnerReads, OnlyAnOwnersDuplicateGoesThroughTheWorker) {
    struct Row { uint32_t winHandle, dup, processId, dupProcessId; bool bounded; };
    const Row rows[] = {
        {0x40, 0x40, 812, 500, true},
        {0x40, 0x40, 500, 500, false},  // the scan's own port
        {0x40, 0, 0, 0, false},         // a port the scan opened, no owner found
        {0x40, 0x44, 812, 500, false},  // a handle of the caller's own
        {0, 0, 812, 500, false},
        {0x40, 0x40, 0, 500, false},
    };
    for (const Row& row : rows) {
        PortRecord record{};
        record.WinHandle = row.winHandle;
        record.DupObjAddress = row.dup;
        record.ProcessId = row.processId;
        record.DupProcessID = row.dupProcessId;
        EXPECT_EQ(ReadsThroughOwnerDuplicate(record), row.bounded) << row.winHandle << "/" << row.dup;
    }
}

TEST(OwnerReads, ABlockingReadCostsOneLimitPerPortAndTheRecordSaysWhy) {
    const int threads = ThreadCount();
    const DWORD handles = HandleCount();
    HANDLE stand = CreateEventA(nullptr, TRUE, FALSE, nullptr);  // stands for the duplicate
    struct Row { const char* what; CommConfigRead config; ModemStatusRead modem; bool timedOut; int32_t baud; };
    const Row rows[] = {
        {"configuration blocks", FakeBlockingConfigRead, FakeModemRead, true, 0},
        {"modem status blocks", FakeConfigRead, FakeBlockingModemRead, true, 4800},
        {"both answer", FakeConfigRead, FakeModemRead, false, 4800},
    };
    for (const Row& row : rows) {
        PortReadCalls calls;
        calls.config = row.config;
        calls.modem = row.modem;
        PortRecord record = OwnerDuplicate(stand);
        {
            OwnerReadScope scope(calls);
            ReadPortParameters(record);
            SerialPort_Get_FlowControl(&record);
            for (int i = 0; i < 5; ++i) SerialPort_Get_Dsr(&record);
            SerialPort_Get_Cts(&record);
            EXPECT_EQ(scope.worker().overruns(), row.timedOut ? 1u : 0u) << row.what;  // once per port
            EXPECT_LE(ThreadCount(), threads + 1) << row.what;
        }
        EXPECT_EQ(record.Baud, row.baud) << row.what;
        EXPECT_EQ(record.WinError, row.timedOut ? static_cast<uint32_t>(ERROR_TIMEOUT) : 0u) << row.what;
        EXPECT_EQ(record.AppError, row.timedOut ? ERROR_TIMEOUT : 0) << row.what;
        EXPECT_EQ(record.WinHandle, row.timedOut ? 0u : HandleToField(stand)) << row.what;
        if (row.timedOut) {
            EXPECT_FALSE(TextEmpty(record.WinErrorDescription)) << row.what;
            EXPECT_EQ(record.DataSendReady, 0) << row.what;
            EXPECT_EQ(record.ClearToSend, 0) << row.what;
        } else {
            EXPECT_EQ(record.FlowControlBits, 1u) << row.what;
            EXPECT_EQ(record.DataSendReady, 0x20) << row.what;
            EXPECT_EQ(record.ClearToSend, 0x10) << row.what;
        }
    }
    // A read outside a scan answers in time and leaves no thread or handle behind.
    PortRecord alone = OwnerDuplicate(stand);
    SerialPort_Get_FlowControl(&alone);
    EXPECT_EQ(alone.WinError, 0u);  // an event is no port: the read failed, in time
    CloseHandle(stand);
    EXPECT_EQ(ThreadCount(), threads);
    EXPECT_EQ(HandleCount(), handles);
}

TEST(OwnerReads, AHeldPortWithAPendingReadIsScannedWithoutHanging) {
    if (!scan_test::LabUp()) GTEST_SKIP() << "serial lab is not up";
    const std::string com = scan_test::LabPortOfKind("free");
    ASSERT_FALSE(com.empty());
    kestrune_helpers::HelperProcess pending;
    ASSERT_TRUE(pending.Start(scan_test::BinDir() + "helper_pending_read.exe",
                              "kestrune-owner-reads-pending \\\\.\\" + com));
    std::vector<PortRecord> records;
    ScanPorts(records, nullptr);
    const PortRecord* record = nullptr;
    for (const PortRecord& r : records)
        if (Text(r.PortName) == com) record = &r;
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->ProcessId, pending.processId());
    EXPECT_NE(record->Baud, 0);  // Wine answers beside the pending read
    EXPECT_NE(record->WinError, static_cast<uint32_t>(ERROR_TIMEOUT));
}

TEST(NameWorkerPeek, PipeStatuses) {
    struct Row { LONG status; bool pipe; };
    const Row rows[] = {{0, true}, {static_cast<LONG>(0x80000005), true}, {0x103, true},
                        {static_cast<LONG>(0xC0000010), false}, {static_cast<LONG>(0xC00000BB), false},
                        {static_cast<LONG>(0xC0000008), false}};
    for (const Row& row : rows) EXPECT_EQ(PeekSaysPipe(row.status), row.pipe) << std::hex << row.status;
}

namespace {
using LoaderLockCall = LONG(NTAPI*)(ULONG, ULONG*, ULONG_PTR*);
struct LoaderLockHold {
    HANDLE locked;   // set once the helper holds the loader lock, or knows it cannot
    HANDLE release;  // the helper lets go when this is set, or after 300 ms
    bool held;       // the lock was taken
};
DWORD WINAPI HoldLoaderLock(void* parameter) {
    auto* hold = static_cast<LoaderLockHold*>(parameter);
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    auto lock = reinterpret_cast<LoaderLockCall>(reinterpret_cast<void*>(GetProcAddress(ntdll, "LdrLockLoaderLock")));
    auto unlock = reinterpret_cast<LONG(NTAPI*)(ULONG, ULONG_PTR)>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "LdrUnlockLoaderLock")));
    ULONG_PTR cookie = 0;
    hold->held = lock && unlock && lock(0, nullptr, &cookie) == 0;
    SetEvent(hold->locked);
    if (!hold->held) return 1;
    WaitForSingleObject(hold->release, 300);
    unlock(0, cookie);
    return 0;
}
}  // namespace

TEST(NameWorkerStart, AWorkerStillStartingIsWaitedForNotCutOff) {
    HANDLE file = CreateFileA(scan_test::OwnPath().c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    LoaderLockHold hold = {CreateEventA(nullptr, TRUE, FALSE, nullptr), CreateEventA(nullptr, TRUE, FALSE, nullptr),
                           false};
    // The loader lock is held for 300 ms: a new worker's thread attach waits for it.
    HANDLE holder = CreateThread(nullptr, 0, HoldLoaderLock, &hold, 0, nullptr);
    ASSERT_EQ(WaitForSingleObject(hold.locked, 10000), WAIT_OBJECT_0);
    ASSERT_TRUE(hold.held) << "the loader lock was not taken: the worker's start was not delayed";
    NameQueryWorker worker;
    const std::string name = worker.Query(file);
    EXPECT_NE(name, "");
    EXPECT_EQ(worker.counters().overruns, 0u);
    SetEvent(hold.release);
    WaitForSingleObject(holder, INFINITE);
    CloseHandle(holder);
    CloseHandle(hold.release);
    CloseHandle(hold.locked);
    CloseHandle(file);
}
