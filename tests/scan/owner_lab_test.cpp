// The scan against the serial lab: a port held by the lab's holder, cable verdicts, the
// scan's own ports, holders under "System" folders, a helper keeping reads pending, and
// many scans in a row. Skipped when the lab is not up.
#include <gtest/gtest.h>
#include <windows.h>
#include <winternl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/helper_process.h"
#include "scan/owner_search.h"
#include "scan/scan_driver.h"
#include "scan/settings_readout.h"
#include "support/fixed_text.h"
#include "support/system_folder.h"
#include "scan_test_support.h"
#include "lab_kind_outcomes.h"

using namespace kestrune;
using scan_test::LabPortOfKind;
using scan_test::LabPort;

namespace {

#define REQUIRE_LAB()                                            \
    if (!scan_test::LabUp()) GTEST_SKIP() << "serial lab is not up"

const PortRecord* Find(const std::vector<PortRecord>& records, const std::string& com) {
    for (const PortRecord& record : records)
        if (Text(record.PortName) == com) return &record;
    return nullptr;
}

// Starts a copy of the lab's holder on a port from the given folder.
bool StartHolderCopy(kestrune_helpers::HelperProcess& helper, const std::string& folder, const std::string& com,
                     std::string* exe) {
    CreateDirectoryA(folder.c_str(), nullptr);
    *exe = folder + "\\holder.exe";
    if (!CopyFileA("C:\\lab\\holder.exe", exe->c_str(), FALSE)) return false;
    return helper.Start(*exe, com + " --ready-event");
}

}  // namespace

TEST(LabOwner, HeldPortNamesTheHolderAndItsSettings) {
    REQUIRE_LAB();
    const std::string com = LabPortOfKind("held");
    ASSERT_FALSE(com.empty());
    const DWORD holder = LabPort(com).holder_pid;
    const int baud = static_cast<int>(LabPort(com).holder_settings.baud);
    const int64_t stop = static_cast<int64_t>(std::stod(LabPort(com).holder_settings.stop) * 10000);

    std::vector<PortRecord> records;
    ScanPorts(records, nullptr);
    const PortRecord* record = Find(records, com);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(Text(record->Status), "In-Use");
    EXPECT_EQ(record->ProcessId, holder);
    EXPECT_EQ(Text(record->ProgramPath), "C:\\lab\\holder.exe");
    EXPECT_EQ(Text(record->ProgramName), "holder.exe");
    EXPECT_EQ(record->DupProcessID, GetCurrentProcessId());
    EXPECT_EQ(record->Baud, baud);  // read through the duplicate, not the defaults
    EXPECT_EQ(record->StopBits, stop);
    // The handle value is the holder's own, as the table lists it.
    std::vector<HandleEntry> entries;
    ASSERT_TRUE(TakeHandleSnapshot(entries));
    bool listed = false;
    for (const HandleEntry& entry : entries) listed |= entry.processId == holder && entry.handleValue == record->ObjHandle;
    EXPECT_TRUE(listed);
}

TEST(LabOwner, WinHandleIsADuplicateTheReadoutWorksThrough) {
    REQUIRE_LAB();
    const std::string com = LabPortOfKind("held");
    ASSERT_FALSE(com.empty());
    const DWORD handles = scan_test::HandleCount();
    std::vector<PortRecord> records(1);
    SetText(records[0].DeviceName, LabPort(com).device_map_name);
    SetText(records[0].PortName, com);
    FindPortOwners(records, nullptr);
    PortRecord& record = records[0];
    ASSERT_NE(record.WinHandle, 0u);
    EXPECT_EQ(record.WinHandle, record.DupObjAddress);
    ReadPortParameters(record);
    EXPECT_EQ(record.Baud, static_cast<int>(LabPort(com).holder_settings.baud));
    EXPECT_EQ(record.StopBits, static_cast<int64_t>(std::stod(LabPort(com).holder_settings.stop) * 10000));
    ReleaseOwnerHandles(record);
    EXPECT_EQ(scan_test::HandleCount(), handles);
}

TEST(LabOwner, CableVerdicts) {
    REQUIRE_LAB();
    std::vector<PortRecord> records;
    ScanPorts(records, nullptr);
    for (const lab_outcomes::KindOutcome& row : lab_outcomes::kKindOutcomes) {
        const std::string com = LabPortOfKind(lab::KindName(row.kind));
        if (com.empty() || row.cableKind == lab_outcomes::kAny) continue;
        const PortRecord* record = Find(records, com);
        ASSERT_NE(record, nullptr) << com;
        EXPECT_EQ(record->CableKind, row.cableKind) << com;
        if (row.cableResponse != lab_outcomes::kAny) { EXPECT_EQ(record->CableResponse, row.cableResponse) << com; }
        if (row.dtrCommand != lab_outcomes::kAny) { EXPECT_EQ(record->DtrCommand, row.dtrCommand) << com; }
    }
}

TEST(LabOwner, PortsTheScanOpenedNameTheScanningProgram) {
    REQUIRE_LAB();
    const std::string com = LabPortOfKind("free");
    ASSERT_FALSE(com.empty());
    std::vector<PortRecord> records;
    ScanPorts(records, nullptr);
    const PortRecord* record = Find(records, com);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(Text(record->Status), "Available");
    EXPECT_EQ(record->ProcessId, GetCurrentProcessId());
    EXPECT_EQ(Text(record->ProgramPath), scan_test::OwnPath());
    EXPECT_EQ(record->WinHandle, 0u);  // closed with the channel at the end of the pass
}

TEST(LabOwner, AScannerUnderASystemFolderDoesNotNameItself) {
    REQUIRE_LAB();
    const std::string com = LabPortOfKind("free");
    const std::string folder = "C:\\lab\\SystemScanner";
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string exe = folder + "\\kestrune-scan.exe";
    ASSERT_TRUE(CopyFileA((scan_test::BinDir() + "kestrune-scan.exe").c_str(), exe.c_str(), FALSE));
    const std::string output = folder + "\\scan.txt";
    const std::string shell = kestrune::SystemFolderPath("cmd.exe");
    const std::string command = "\"" + shell + "\" /c \"\"" + exe + "\" --tsv > \"" + output + "\"\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    std::string line = command;
    ASSERT_TRUE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info));
    WaitForSingleObject(info.hProcess, 60000);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    FILE* file = std::fopen(output.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    std::string text;
    char chunk[4096];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;) text.append(chunk, n);
    std::fclose(file);
    // Columns by name from the header line.
    auto split = [](const std::string& s, char c) {
        std::vector<std::string> parts;
        size_t start = 0;
        for (size_t end; (end = s.find(c, start)) != std::string::npos; start = end + 1) parts.push_back(s.substr(start, end - start));
        parts.push_back(s.substr(start));
        return parts;
    };
    std::vector<std::string> lines = split(text, '\n');
    ASSERT_GT(lines.size(), 1u);
    const std::vector<std::string> header = split(lines[0], '\t');
    auto column = [&](const char* name) {
        for (size_t i = 0; i < header.size(); ++i) if (header[i] == name) return i;
        return header.size();
    };
    bool seen = false;
    for (size_t i = 1; i < lines.size(); ++i) {
        const std::vector<std::string> cells = split(lines[i], '\t');
        if (cells.size() < header.size() || cells[column("PortName")] != com) continue;
        seen = true;
        EXPECT_EQ(cells[column("Status")], "Available");
        EXPECT_EQ(cells[column("ProcessId")], "0");
        EXPECT_EQ(cells[column("ProgramPath")], "");
    }
    EXPECT_TRUE(seen);
}

TEST(LabOwner, HolderUnderASystemFolderIsNotAttributed) {
    REQUIRE_LAB();
    const std::string com = LabPortOfKind("free");
    ASSERT_FALSE(com.empty());
    struct Row { const char* folder; bool attributed; };
    const Row rows[] = {{"C:\\lab\\tools", true}, {"C:\\lab\\System", false}, {"C:\\lab\\MySystemTools", false}};
    for (const Row& row : rows) {
        kestrune_helpers::HelperProcess holder;
        std::string exe;
        ASSERT_TRUE(StartHolderCopy(holder, row.folder, com, &exe)) << row.folder;
        std::vector<PortRecord> records;
        ScanPorts(records, nullptr);
        const PortRecord* record = Find(records, com);
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(Text(record->Status), "In-Use");
        if (row.attributed) {
            EXPECT_EQ(record->ProcessId, holder.processId());
            EXPECT_EQ(Text(record->ProgramPath), exe);
        } else {
            EXPECT_EQ(record->ProcessId, 0u) << exe;
            EXPECT_TRUE(TextEmpty(record->ProgramPath));
            EXPECT_EQ(record->Baud, 0);  // no handle to read through
        }
    }
}

TEST(LabOwner, ANameQueryThatBlocksCostsOnlyThatQuery) {
    REQUIRE_LAB();
    const std::string com = LabPortOfKind("free");
    ASSERT_FALSE(com.empty());
    kestrune_helpers::HelperProcess pending;
    ASSERT_TRUE(pending.Start(scan_test::BinDir() + "helper_pending_read.exe",
                              "kestrune-pending-read \\\\.\\" + com));
    // Wine answers such queries at once; the Fake blocks as Windows does.
    scan_test::BlockingNames() = {LabPort(com).device_map_name};
    NameQueryCalls calls;
    calls.query = scan_test::FakeBlockingNameQuery;
    for (int search = 0; search < 21; ++search) {
        std::vector<PortRecord> records(1);
        SetText(records[0].DeviceName, scan_test::BlockingNames()[0]);
        OwnerSearchCounters counters;
        FindPortOwners(records, nullptr, calls, &counters);
        EXPECT_EQ(counters.names.overruns, 1u);
        EXPECT_EQ(records[0].ProcessId, 0u);  // its owner stays unknown
        ReleaseOwnerHandles(records[0]);
    }
    for (int scan = 0; scan < 21; ++scan) {
        std::vector<PortRecord> records;
        ScanPorts(records, nullptr);
        const PortRecord* record = Find(records, com);
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(record->ProcessId, pending.processId());
    }
}

TEST(LabOwner, HundredScansLeaveNoHandleOrThread) {
    REQUIRE_LAB();
    const std::string com = LabPortOfKind("free");
    kestrune_helpers::HelperProcess pending;
    ASSERT_TRUE(pending.Start(scan_test::BinDir() + "helper_pending_read.exe",
                              "kestrune-pending-read-100 " + (com.empty() ? std::string("-") : "\\\\.\\" + com)));
    {
        std::vector<PortRecord> warm;
        ScanPorts(warm, nullptr);
    }
    const DWORD handles = scan_test::HandleCount();
    const int threads = scan_test::ThreadCount();
    for (int scan = 0; scan < 100; ++scan) {
        std::vector<PortRecord> records;
        ScanPorts(records, nullptr);
        ASSERT_FALSE(records.empty());
    }
    EXPECT_EQ(scan_test::HandleCount(), handles);
    EXPECT_EQ(scan_test::ThreadCount(), threads);
}
