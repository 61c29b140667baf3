// The report file on a real file system: written in the current folder, replaced on every
// refresh, and a held or unwritable file reported as a failure without losing anything.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "app/common/report.h"
#include "registry/key_writes.h"
#include "scan/scan_driver.h"
#include "support/file_io.h"
#include "support/fixed_text.h"
#include "support/handles.h"
#include "test_helpers.h"

namespace kestrune {
namespace {

using test_helpers::ReadWholeFile;

void WriteRaw(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

// Runs each test in a fresh temporary folder as the current folder.
class ReportFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        GetCurrentDirectoryA(MAX_PATH, saved_);
        char base[MAX_PATH];
        GetTempPathA(MAX_PATH, base);
        folder_ = std::string(base) + "kestrune-report-" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(folder_.c_str(), nullptr);
        ASSERT_TRUE(SetCurrentDirectoryA(folder_.c_str()));
        report_ = folder_ + "\\SerialPort.Kestrune";
    }
    void TearDown() override {
        SetCurrentDirectoryA(saved_);
        SetFileAttributesA(report_.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(report_.c_str());
        RemoveDirectoryA(report_.c_str());
        RemoveDirectoryA(folder_.c_str());
    }
    static std::vector<PortRecord> TwoPorts() {
        std::vector<PortRecord> records(2);
        SetText(records[0].PortName, "COM1");
        SetText(records[1].PortName, "COM7");
        records[1].StopBits = 15000;
        return records;
    }

    char saved_[MAX_PATH] = {};
    std::string folder_, report_;
};

TEST_F(ReportFileTest, WrittenInTheCurrentFolderAndReplacedEachTime) {
    WriteRaw(report_, std::string(100000, 'x'));  // a longer previous report
    ASSERT_EQ(WriteDiagnosticReport(TwoPorts()), static_cast<DWORD>(ERROR_SUCCESS));
    std::string text = ReadWholeFile(report_);
    EXPECT_EQ(text.rfind("***   O p e r a t i n g   S y s t e m   I n f o r m a t i o n :   ***\r\n", 0), 0u);
    EXPECT_EQ(text.find('x' + std::string(20, 'x')), std::string::npos);  // truncated, nothing left over
    EXPECT_NE(text.find("\r\nEnvironment\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nCOM1          0"), std::string::npos);
    EXPECT_NE(text.find("\r\nCOM7          0             "), std::string::npos);
    EXPECT_NE(text.find("1.5           "), std::string::npos);
    EXPECT_NE(text.find("Program PARENT Name =      test_report.exe\r\n"), std::string::npos);
    EXPECT_NE(text.find("Compiled As      EXE\r\n"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    EXPECT_EQ(DiagnosticReportPath(), report_);

    std::vector<PortRecord> one(1);
    ASSERT_EQ(WriteDiagnosticReport(one), static_cast<DWORD>(ERROR_SUCCESS));
    std::string second = ReadWholeFile(report_);
    EXPECT_EQ(second.find("COM7"), std::string::npos);
}

TEST_F(ReportFileTest, FileHeldByAnotherProgramIsAFailureAndKeepsItsContent) {
    WriteRaw(report_, "previous report\r\n");
    UniqueHandle holder(CreateFileA(report_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(holder.valid());
    EXPECT_NE(WriteDiagnosticReport(TwoPorts()), static_cast<DWORD>(ERROR_SUCCESS));
    holder.reset();
    EXPECT_EQ(ReadWholeFile(report_), "previous report\r\n");
    // Once released, the next refresh writes it again.
    EXPECT_EQ(WriteDiagnosticReport(TwoPorts()), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_NE(ReadWholeFile(report_).find("COM7"), std::string::npos);
}

TEST_F(ReportFileTest, AnyOtherOpenHandleBlocksTheReport) {
    // The report opens without sharing, so even a reader that shares everything keeps it out.
    WriteRaw(report_, "old");
    UniqueHandle reader(CreateFileA(report_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(reader.valid());
    EXPECT_NE(WriteDiagnosticReport(TwoPorts()), static_cast<DWORD>(ERROR_SUCCESS));
    reader.reset();
    EXPECT_EQ(ReadWholeFile(report_), "old");
}

TEST_F(ReportFileTest, UnwritablePlaceIsAFailureNotACrash) {
    // A folder where the file should be.
    ASSERT_TRUE(CreateDirectoryA(report_.c_str(), nullptr));
    DWORD result = WriteDiagnosticReport(TwoPorts());
    EXPECT_NE(result, static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_TRUE(GetFileAttributesA(report_.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    RemoveDirectoryA(report_.c_str());

    // A folder that does not exist.
    EXPECT_EQ(WriteDiagnosticReportTo((folder_ + "\\missing\\SerialPort.Kestrune").c_str(), TwoPorts()),
              static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(WriteDiagnosticReportTo(nullptr, TwoPorts()), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

}

// Names of the files in the folder: nothing is left beside the report after any outcome.
std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found{};
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        const std::string name = found.cFileName;
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

TEST_F(ReportFileTest, ReplacedInOneStepOrNotAtAll) {
    const std::vector<std::string> onlyReport = {"SerialPort.Kestrune"};
    struct Case {
        const char* title;
        DWORD share;  // of a handle another program holds on the old report; ~0u: none
        bool written;
    } cases[] = {{"nobody holds it", ~0u, true},
                 {"held without sharing", 0, false},
                 {"held by a reader sharing read and write", FILE_SHARE_READ | FILE_SHARE_WRITE, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        WriteRaw(report_, "previous report\r\n");
        UniqueHandle holder;
        if (c.share != ~0u)
            holder.reset(CreateFileA(report_.c_str(), GENERIC_READ, c.share, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
        const DWORD result = WriteDiagnosticReport(TwoPorts());
        holder.reset();
        EXPECT_EQ(result == ERROR_SUCCESS, c.written) << result;
        const std::string text = ReadWholeFile(report_);
        if (c.written) EXPECT_NE(text.find("COM7"), std::string::npos);
        else EXPECT_EQ(text, "previous report\r\n");  // whole, never cut short
        EXPECT_EQ(FilesIn(folder_), onlyReport);
    }
}

// Files planted under the names a writer could guess (the old "<report>.<pid>.new", a link
// to a file elsewhere) are never opened: the report goes through a name nobody can know.
TEST_F(ReportFileTest, PlantedFilesAndLinksOfGuessableNamesAreNotOverwritten) {
    const std::string victim = folder_ + "\\victim.txt";
    WriteRaw(victim, "keep me");
    const std::string guessed = report_ + "." + std::to_string(GetCurrentProcessId()) + ".new";
    WriteRaw(guessed, "planted");
    const std::string link = report_ + ".link.new";
    // Wine answers the link request without making one: the link case runs where links exist.
    const bool linked = CreateSymbolicLinkA(link.c_str(), victim.c_str(), 0) != 0 &&
                        GetFileAttributesA(link.c_str()) != INVALID_FILE_ATTRIBUTES;
    ASSERT_EQ(WriteDiagnosticReport(TwoPorts()), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_NE(ReadWholeFile(report_).find("COM7"), std::string::npos);
    EXPECT_EQ(ReadWholeFile(guessed), "planted");
    EXPECT_EQ(ReadWholeFile(victim), "keep me");
    std::vector<std::string> expected = {
        "SerialPort.Kestrune", "SerialPort.Kestrune." + std::to_string(GetCurrentProcessId()) + ".new", "victim.txt"};
    if (linked) expected.push_back("SerialPort.Kestrune.link.new");
    std::vector<std::string> files = FilesIn(folder_);
    std::sort(files.begin(), files.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(files, expected);
    for (const std::string& f : {guessed, link, victim}) DeleteFileA(f.c_str());

    // The names differ every time and carry 96 random bits.
    std::set<std::string> names;
    for (int i = 0; i < 500; ++i) names.insert(UnpredictableFileName("C:\\r"));
    EXPECT_EQ(names.size(), 500u);
    EXPECT_EQ(names.begin()->size(), std::string("C:\\r.").size() + 24 + 4);
}

// The report shows the values of Windows' plain variables only, unless the user's setting
// asks for the whole environment; the process keeps every value either way.
TEST_F(ReportFileTest, EnvironmentValuesShownOnlyWhereSafeUnlessAsked) {
    const struct {
        const char* name;
        bool plain;
    } variables[] = {{"KESTRUNE_TEST_PAT", false}, {"Kestrune_Test_Session_Id", false}, {"NUMBER_OF_PROCESSORS", true}};
    char saved[64] = {};
    const DWORD savedLength = GetEnvironmentVariableA("NUMBER_OF_PROCESSORS", saved, sizeof saved);
    for (const auto& v : variables) ASSERT_TRUE(SetEnvironmentVariableA(v.name, "s3cr3t-value"));
    for (const bool whole : {false, true}) {
        SCOPED_TRACE(whole ? "whole environment asked" : "default");
        if (whole) ASSERT_EQ(WriteValueNumber(HKEY_CURRENT_USER, kSettingsKeyPath, kWholeEnvironmentValueName, 1), 0);
        ASSERT_EQ(WholeEnvironmentAsked(), whole);
        ASSERT_EQ(WriteDiagnosticReport(TwoPorts()), static_cast<DWORD>(ERROR_SUCCESS));
        const std::string text = ReadWholeFile(report_);
        for (const auto& v : variables) {
            SCOPED_TRACE(v.name);
            const bool shown = whole || v.plain;
            const std::string line = std::string("\r\n") + v.name + "=" + (shown ? "s3cr3t-value" : "(hidden)") + "\r\n";
            EXPECT_NE(text.find(line), std::string::npos);
            char value[64] = {};
            EXPECT_EQ(GetEnvironmentVariableA(v.name, value, sizeof value), 12u);
        }
    }
    DeleteRegistryValue(HKEY_CURRENT_USER, kSettingsKeyPath, kWholeEnvironmentValueName);
    EXPECT_FALSE(WholeEnvironmentAsked());
    for (const auto& v : variables) SetEnvironmentVariableA(v.name, nullptr);
    if (savedLength) SetEnvironmentVariableA("NUMBER_OF_PROCESSORS", saved);
}

// A real scan of this machine's ports (the lab's, when it is up): the table has one line per
// record, in order, right after the underline.
TEST_F(ReportFileTest, RealScanListsEveryPort) {
    std::vector<PortRecord> ports;
    ScanPorts(ports, nullptr);
    ASSERT_FALSE(ports.empty());
    ASSERT_EQ(WriteDiagnosticReport(ports), static_cast<DWORD>(ERROR_SUCCESS));
    std::string text = ReadWholeFile(report_);
    std::size_t table = text.find(PortTableUnderline() + "\r\n");
    ASSERT_NE(table, std::string::npos);
    // The hardware block follows the table after two empty lines.
    const std::size_t start = table + PortTableUnderline().size() + 2;
    const std::size_t block = text.find("\r\n\r\nHardware Identity\r\n", start);
    ASSERT_NE(block, std::string::npos);
    std::string rows = text.substr(start, block - start);
    std::string expected;
    for (const PortRecord& port : ports) expected += PortTableLine(port) + "\r\n";
    EXPECT_EQ(rows, expected);
    // Each line starts with its port's name.
    std::size_t pos = 0;
    for (const PortRecord& port : ports) {
        ASSERT_FALSE(TextEmpty(port.PortName));
        EXPECT_EQ(rows.compare(pos, Text(port.PortName).size(), Text(port.PortName)), 0) << Text(port.PortName);
        pos = rows.find("\r\n", pos) + 2;
    }
}

}  // namespace
}  // namespace kestrune
