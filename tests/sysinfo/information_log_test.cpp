// The information log: its name, its block, and real appends by a program named app.test.exe.
#include <gtest/gtest.h>

#include <string>

#include "child_process.h"
#include "support/fixed_text.h"
#include "sysinfo/information_log.h"

namespace kestrune {
namespace {

using testing::FileExists;
using testing::OwnExecutable;
using testing::ReadWholeFile;
using testing::TempFolder;

TEST(InformationLogName, CutAtTheFirstPointOfTheFileName) {
    EXPECT_EQ(InformationLogName("C:\\x\\app.test.exe"), "app.IncludesLog");
    EXPECT_EQ(InformationLogName("C:\\dir.with.points\\Kestrune.exe"), "Kestrune.IncludesLog");
    EXPECT_EQ(InformationLogName("Z:/home/u/tool.exe"), "tool.IncludesLog");
    EXPECT_EQ(InformationLogName("C:\\x\\noext"), "noext.IncludesLog");
    EXPECT_EQ(InformationLogName("plain.exe"), "plain.IncludesLog");
    EXPECT_EQ(InformationLogName(""), ".IncludesLog");
}

TEST(InformationLogBlock, WindowsSevenRecord) {
    OsInfoRecord info{};
    info.dwMajorVersion = 6;
    info.dwMinorVersion = 1;
    info.dwBuildNumber = 7601;
    info.dwPlatformId = 2;
    info.OsLong = 12;
    SetText(info.OsString, "Windows 7");
    info.OsFamilyLong = 2;
    SetText(info.OsFamilyString, "NT");
    SetText(info.ServicePack, "Service Pack 1");
    info.OsIs64Bit = 8664;
    SetText(info.RtVersionText, "12.02");
    SetText(info.RevisionText, "&H1000");
    SetText(info.CompiledAs, "EXE");
    info.ProgramInstance = 4194304;
    SetText(info.ProgramPath, "C:/Tools/");
    SetText(info.ProgramName, "app.exe");
    info.ParentInstance = -5;
    SetText(info.ParentPath, "C:/Tools/");
    SetText(info.ParentName, "app.exe");
    SetText(info.ProductName, "Kestrune");
    SetText(info.ParentOriginalFileName, "app.exe");

    const std::string expected =
        "DisplayOpSysInfo\r\n"
        "     ***   O p e r a t i n g   S y s t e m   I n f o r m a t i o n :   ***\r\n"
        "          OsString =      Windows 7\r\n"
        "          OsLong =       12\r\n"
        "               dwMajorVersion =       6\r\n"
        "               dwMinorVersion =       1\r\n"
        "          OsFamilyString =      NT\r\n"
        "          OsFamilyLong =       2\r\n"
        "               dwPlatformId =       2\r\n"
        "\r\n"
        "          dwBuildNumber =       7601\r\n"
        "          Build Name =      \r\n"
        "          Service Pack =      Service Pack 1\r\n"
        "          Os Is 64 bit =       8664\r\n"
        "\r\n"
        "          RT Version =      12.02\r\n"
        "          Revision =      &H1000\r\n"
        "          Compiled As      EXE\r\n"
        "\r\n"
        "          Program Instance =       4194304\r\n"
        "          Program Path =      C:/Tools/\r\n"
        "          Program Name =      app.exe\r\n"
        "\r\n"
        "          Program PARENT Instance =      -5\r\n"
        "          Program PARENT Path =      C:/Tools/\r\n"
        "          Program PARENT Name =      app.exe\r\n"
        "\r\n"
        "          Product Name =      Kestrune\r\n"
        "          Product Version =      \r\n"
        "          Product Description =      \r\n"
        "          FileVersion =      \r\n"
        "          Internal Name =      \r\n"
        "          Company Name =      \r\n"
        "          Legal CopyRight =      \r\n"
        "          Original File Name =      \r\n"
        "\r\n"
        "          ParentProduct Name =      \r\n"
        "          ParentProduct Version =      \r\n"
        "          ParentProduct Description =      \r\n"
        "          ParentFileVersion =      \r\n"
        "          ParentInternal Name =      \r\n"
        "          ParentCompany Name =      \r\n"
        "          ParentLegal CopyRight =      \r\n"
        "          ParentOriginal File Name =      app.exe\r\n"
        "\r\n";
    EXPECT_EQ(InformationLogBlock(info), expected);
}

TEST(InformationLogBlock, VersionFieldsAreUnsigned) {
    OsInfoRecord info{};
    info.dwMajorVersion = 0xFFFFFFFFu;
    std::string block = InformationLogBlock(info);
    EXPECT_NE(block.find("dwMajorVersion =       4294967295\r\n"), std::string::npos);
}

// A copy of this test program named app.test.exe, started in another folder, logs there.
class AppTestExeLog : public ::testing::Test {
protected:
    void SetUp() override {
        exe_ = exeFolder_.File("app.test.exe");
        ASSERT_TRUE(CopyFileA(OwnExecutable().c_str(), exe_.c_str(), FALSE));
    }
    int RunDisplay() {
        return testing::RunWithEnvironment(exe_, testing::HelperEnvironment("display", ""), workFolder_.path());
    }
    TempFolder exeFolder_, workFolder_;
    std::string exe_;
};

TEST_F(AppTestExeLog, TwoCallsAppendTwoBlocksInTheCurrentFolder) {
    ASSERT_EQ(RunDisplay(), 0);
    std::string log = workFolder_.File("app.IncludesLog");
    ASSERT_TRUE(FileExists(log));
    std::string first = ReadWholeFile(log);
    EXPECT_EQ(first.rfind("DisplayOpSysInfo\r\n", 0), 0u);
    EXPECT_NE(first.find("          Program PARENT Name =      app.test.exe\r\n"), std::string::npos);
    EXPECT_EQ(first.substr(first.size() - 4), "\r\n\r\n");

    ASSERT_EQ(RunDisplay(), 0);
    std::string both = ReadWholeFile(log);
    ASSERT_EQ(both.size(), 2 * first.size());  // nothing truncated, one more block
    EXPECT_EQ(both.substr(0, first.size()), first);
    EXPECT_EQ(both.substr(first.size()), first);

    // Not in the executable's own folder, and not under any other name.
    EXPECT_FALSE(FileExists(exeFolder_.File("app.IncludesLog")));
    EXPECT_FALSE(FileExists(workFolder_.File("app.test.IncludesLog")));
}

TEST_F(AppTestExeLog, LogThatCannotBeOpenedStillFillsTheRecord) {
    // A folder of the log's name makes the open fail.
    ASSERT_TRUE(CreateDirectoryA(workFolder_.File("app.IncludesLog").c_str(), nullptr));
    ASSERT_EQ(RunDisplay(), 0);

    // In-process: the record is filled before the file is touched.
    char saved[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, saved);
    ASSERT_TRUE(SetCurrentDirectoryA(workFolder_.path().c_str()));
    ASSERT_TRUE(CreateDirectoryA("test_sysinfo.IncludesLog", nullptr));
    OsInfoRecord info{};
    DWORD result = AppendInformationLog(info);
    SetCurrentDirectoryA(saved);
    EXPECT_NE(result, static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(info.dwOSVersionInfoSize, 148u);
    EXPECT_EQ(Text(info.ParentName), "test_sysinfo.exe");
}

}  // namespace
}  // namespace kestrune
