// The owner search on real handles under Wine: this process's own files, helper processes
// installed under ordinary and "System" folders, and a name query that never answers.
#include <gtest/gtest.h>
#include <windows.h>
#include <winternl.h>

#include <string>
#include <vector>

#include "bench/helper_process.h"
#include "scan/owner_search.h"
#include "support/fixed_text.h"
#include "scan_test_support.h"

using namespace kestrune;
using scan_test::HandleCount;
using scan_test::NameOf;
using scan_test::FakeBlockingNameQuery;
using scan_test::ThreadCount;

namespace {

const char kTestFolder[] = "C:\\kestrune-owner-test";

HANDLE OpenShared(const std::string& path) {
    return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::string HeldFile(const char* name) {
    CreateDirectoryA(kTestFolder, nullptr);
    return std::string(kTestFolder) + "\\" + name;
}

std::vector<PortRecord> RecordsFor(const std::string& deviceName, std::size_t count = 1) {
    std::vector<PortRecord> records(count);
    for (PortRecord& record : records) {
        SetText(record.DeviceName, deviceName);
        SetText(record.sObjName, deviceName);
    }
    return records;
}

}  // namespace

TEST(HandleSnapshot, ListsThisProcessesOwnHandles) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::vector<HandleEntry> entries;
    HandleTableLayout layout;
    ASSERT_TRUE(TakeHandleSnapshot(entries, &layout));
    EXPECT_EQ(layout, HandleTableLayout::kExtended);
    bool found = false;
    for (const HandleEntry& entry : entries)
        found |= entry.processId == GetCurrentProcessId() && entry.handleValue == HandleToField(event);
    EXPECT_TRUE(found);
    CloseHandle(event);
}

TEST(ImagePath, OwnProcessAndAProcessThatDoesNotExist) {
    EXPECT_EQ(ProcessImagePath(GetCurrentProcessId()), scan_test::OwnPath());
    EXPECT_EQ(ProcessImagePath(0), kUnknownProgramPath);
    EXPECT_EQ(ProcessImagePath(0x7FFFFFF0), kUnknownProgramPath);
}

TEST(NameWorker, NamesFilesNotPipesAndIsReused) {
    const std::string path = HeldFile("named.tmp");
    HANDLE file = OpenShared(path);
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, nullptr, 0));
    NameQueryWorker worker;
    std::string name;
    for (int i = 0; i < 20; ++i) name = worker.Query(file);
    EXPECT_NE(name.find("kestrune-owner-test\\named.tmp"), std::string::npos) << name;
    EXPECT_EQ(worker.Query(readEnd), "");
    EXPECT_EQ(worker.counters().workersStarted, 1u);
    EXPECT_EQ(worker.counters().overruns, 0u);
    CloseHandle(readEnd);
    CloseHandle(writeEnd);
    CloseHandle(file);
}

TEST(NameWorker, AQueryThatNeverAnswersIsCutOffAndTheWorkerReplaced) {
    const int threads = ThreadCount();
    const DWORD handles = HandleCount();
    HANDLE blocking = OpenShared(HeldFile("blocking.tmp"));
    HANDLE answering = OpenShared(HeldFile("answering.tmp"));
    scan_test::BlockingNames() = {NameOf(blocking)};
    ASSERT_FALSE(scan_test::BlockingNames()[0].empty());
    {
        NameQueryCalls calls;
        calls.query = FakeBlockingNameQuery;
        NameQueryWorker worker(calls);
        EXPECT_NE(worker.Query(answering), "");
        EXPECT_EQ(worker.Query(blocking), "");
        EXPECT_EQ(worker.counters().overruns, 1u);
        EXPECT_EQ(ThreadCount(), threads);  // the overrun worker is gone before anything else starts
        EXPECT_NE(worker.Query(answering), "");
        EXPECT_EQ(worker.Query(blocking), "");
        EXPECT_NE(worker.Query(answering), "");
        EXPECT_EQ(worker.counters().workersStarted, 3u);
        EXPECT_EQ(worker.counters().overruns, 2u);
        EXPECT_EQ(ThreadCount(), threads + 1);  // at most one worker
    }
    CloseHandle(blocking);
    CloseHandle(answering);
    EXPECT_EQ(ThreadCount(), threads);
    EXPECT_EQ(HandleCount(), handles);
}

TEST(OwnerSearch, FindsThisProcessAsOwnerOfItsOwnHandleAndLastMatchWins) {
    const DWORD handles = HandleCount();
    const std::string path = HeldFile("own.tmp");
    HANDLE first = OpenShared(path);
    HANDLE second = OpenShared(path);
    const std::string name = NameOf(first);
    // Table order decides which of the two handles is the last match.
    std::vector<HandleEntry> entries;
    ASSERT_TRUE(TakeHandleSnapshot(entries));
    uint32_t last = 0;
    for (const HandleEntry& entry : entries)
        if (entry.processId == GetCurrentProcessId() &&
            (entry.handleValue == HandleToField(first) || entry.handleValue == HandleToField(second)))
            last = entry.handleValue;
    ASSERT_NE(last, 0u);

    std::vector<PortRecord> records = RecordsFor(name, 2);
    OwnerSearchCounters counters;
    FindPortOwners(records, nullptr, {}, &counters);
    EXPECT_TRUE(counters.snapshotTaken);
    EXPECT_EQ(counters.matches, 4u);  // two handles, two records each
    EXPECT_EQ(counters.names.workersStarted, 1u);
    for (PortRecord& record : records) {
        EXPECT_EQ(record.ProcessId, GetCurrentProcessId());
        EXPECT_EQ(Text(record.ProgramPath), scan_test::OwnPath());
        EXPECT_EQ(Text(record.sObjName), name);
        EXPECT_EQ(record.ObjHandle, last);
        EXPECT_EQ(record.DupProcessID, GetCurrentProcessId());
        EXPECT_NE(record.DupObjHandle, 0u);
        EXPECT_NE(record.DupObjAddress, 0u);
        EXPECT_EQ(record.WinHandle, record.DupObjAddress);
        EXPECT_EQ(NameOf(FieldToHandle(record.WinHandle)), name);  // a working duplicate
        EXPECT_TRUE(TextEmpty(record.StatusText1));                 // no status window
    }
    for (PortRecord& record : records) ReleaseOwnerHandles(record);
    EXPECT_NE(records[0].DupObjHandle, 0u);  // the values stay for display
    CloseHandle(first);
    CloseHandle(second);
    EXPECT_EQ(HandleCount(), handles);  // the earlier match's handles were closed too
}

TEST(OwnerSearch, ReportsEveryNamedEntryThroughTheLastRecord) {
    HANDLE file = OpenShared(HeldFile("progress.tmp"));
    std::vector<PortRecord> records = RecordsFor("\\Device\\Serial0", 3);
    const uint32_t noWindow = 0;
    OwnerSearchCounters counters;
    FindPortOwners(records, &noWindow, {}, &counters);
    EXPECT_GT(counters.named, 0u);
    const PortRecord& carrier = records.back();
    EXPECT_EQ(Text(carrier.FunctionName), kScanRoutineName);
    EXPECT_EQ(Text(carrier.StatusText1), "Scanning");
    EXPECT_EQ(Text(carrier.StatusText2).substr(0, 1), " ");
    EXPECT_GT(Text(carrier.StatusText2).size(), 1u);
    EXPECT_TRUE(TextEmpty(carrier.StatusText3));
    EXPECT_TRUE(TextEmpty(records[0].StatusText1));
    EXPECT_TRUE(TextEmpty(records[1].FunctionName));
    CloseHandle(file);
}

TEST(OwnerSearch, ProgramsUnderASystemFolderAreNotAttributed) {
    const std::string held = HeldFile("held-by-helper.tmp");
    HANDLE probe = OpenShared(held);
    const std::string name = NameOf(probe);
    CloseHandle(probe);
    const std::string source = scan_test::BinDir() + "helper_hold_handles.exe";
    struct Row { const char* folder; bool attributed; };
    const Row rows[] = {{"\\Tools\\", true}, {"\\MySystemTools\\", false}, {"\\svchost-like\\", false}};
    for (const Row& row : rows) {
        const std::string folder = std::string(kTestFolder) + row.folder;
        CreateDirectoryA(folder.c_str(), nullptr);
        const std::string exe = folder + "helper_hold_handles.exe";
        ASSERT_TRUE(CopyFileA(source.c_str(), exe.c_str(), FALSE)) << exe;
        kestrune_helpers::HelperProcess helper;
        ASSERT_TRUE(helper.Start(exe, "1 \"" + held + "\" -"));
        std::vector<PortRecord> records = RecordsFor(name);
        FindPortOwners(records, nullptr);
        if (row.attributed) {
            EXPECT_EQ(records[0].ProcessId, helper.processId());
            EXPECT_EQ(Text(records[0].ProgramPath), exe);
        } else {
            EXPECT_EQ(records[0].ProcessId, 0u) << exe;
            EXPECT_TRUE(TextEmpty(records[0].ProgramPath));
            EXPECT_EQ(records[0].WinHandle, 0u);
            EXPECT_EQ(Text(records[0].sObjName), name);  // keeps the name discovery gave
        }
        ReleaseOwnerHandles(records[0]);
    }
}
