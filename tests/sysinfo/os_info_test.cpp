// OS, build-tool and program information: the version tables as plain functions, the
// record filled by real system calls, and Wine set to several Windows versions.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <sstream>
#include <string>

#include "child_process.h"
#include "support/fixed_text.h"
#include "support/handles.h"
#include "exports/system_info_exports.h"
#include "sysinfo/build_tool.h"
#include "sysinfo/program_files.h"
#include "sysinfo/windows_version.h"

namespace kestrune {
namespace {

using testing::OwnExecutable;
using testing::ReadWholeFile;
using testing::TempFolder;

// The processor type the system reports: AMD64 on a 64-bit system (also to a 32-bit program
// under WoW64), Pentium on a 32-bit one (the 32-bit world here is a 32-bit Windows).
std::string SystemProcessorType() {
    BOOL wow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow64);
    return sizeof(void*) == 8 || wow64 ? "8664" : "586";
}

const char kNtFamily[] = "Windows NT, 3 = NT 3/3.1, 4 = NT, 5 = 2000/XP/2003 Server, 6 = Vista and Windows 7";

struct VersionCase {
    uint32_t platform, major, minor;
    int32_t osLong;
    const char* osString;
    const char* symbol;
    int32_t family;
    const char* familyString;
};

const VersionCase kVersionCases[] = {
    {0, 3, 11, 1, "Windows 3.1", "%OS_WIN_31", 0, "Pre-Windows 95"},
    {0, 0, 0, 1, "Windows 3.1", "%OS_WIN_31", 0, "Pre-Windows 95"},
    {1, 4, 0, 2, "Windows 95", "%OS_WIN_95", 1, "Windows 95/98/ME"},
    {1, 4, 10, 3, "Windows 98", "%OS_WIN_98", 1, "Windows 95/98/ME"},
    {1, 4, 90, 4, "Windows ME", "%OS_WIN_ME", 1, "Windows 95/98/ME"},
    {2, 3, 0, 5, "Windows NT 3", "%OS_WIN_NT_3", 2, kNtFamily},
    {2, 3, 1, 6, "Windows NT 3.1", "%OS_WIN_NT_31", 2, kNtFamily},
    {2, 4, 0, 7, "Windows NT 4", "%OS_WIN_NT_4", 2, kNtFamily},
    {2, 5, 0, 8, "Windows 2000", "%OS_WIN_2000", 2, kNtFamily},
    {2, 5, 1, 9, "Windows XP", "%OS_WIN_XP", 2, kNtFamily},
    {2, 5, 2, 10, "Windows 2003 Server", "%OS_WIN_2003", 2, kNtFamily},
    {2, 6, 0, 11, "Windows Vista", "%OS_WIN_VISTA", 2, kNtFamily},
    {2, 6, 1, 12, "Windows 7", "%OS_WIN_7", 2, kNtFamily},
    // Outside the name table: no name, the family still set.
    {2, 6, 4, 0, "", "", 2, kNtFamily},
    {2, 11, 0, 0, "", "", 2, kNtFamily},
    {1, 4, 20, 0, "", "", 1, "Windows 95/98/ME"},
    {1, 5, 0, 0, "", "", 1, "Windows 95/98/ME"},
    // Neither table knows the platform.
    {3, 6, 1, 0, "", "", 0, ""},
};

TEST(WindowsVersionTable, EveryRowAndTheGaps) {
    for (const VersionCase& c : kVersionCases) {
        SCOPED_TRACE(std::to_string(c.platform) + " " + std::to_string(c.major) + "." + std::to_string(c.minor));
        OsInfoRecord info{};
        info.dwPlatformId = c.platform;
        info.dwMajorVersion = c.major;
        info.dwMinorVersion = c.minor;
        ApplyWindowsVersion(info);
        EXPECT_EQ(info.OsLong, c.osLong);
        EXPECT_EQ(Text(info.OsString), c.osString);
        EXPECT_STREQ(OsSymbolicName(info.OsLong), c.symbol);
        EXPECT_EQ(info.OsFamilyLong, c.family);
        EXPECT_EQ(Text(info.OsFamilyString), c.familyString);
    }
}

// Today's Windows: product type and build number tell the rows of one version number apart.
TEST(WindowsVersionTable, TodaysWindowsByProductAndBuild) {
    constexpr uint8_t kWorkstation = VER_NT_WORKSTATION, kServer = VER_NT_SERVER, kController = VER_NT_DOMAIN_CONTROLLER;
    const struct {
        uint32_t major, minor, build;
        uint8_t product;
        int32_t osLong;
        const char* osString;
        const char* symbol;
    } cases[] = {
        {6, 2, 9200, kWorkstation, 13, "Windows 8", "%OS_WIN_8"},
        {6, 3, 9600, kWorkstation, 14, "Windows 8.1", "%OS_WIN_81"},
        {10, 0, 10240, kWorkstation, 15, "Windows 10", "%OS_WIN_10"},
        {10, 0, 21999, kWorkstation, 15, "Windows 10", "%OS_WIN_10"},
        {10, 0, 22000, kWorkstation, 16, "Windows 11", "%OS_WIN_11"},
        {10, 0, 26100, 0, 16, "Windows 11", "%OS_WIN_11"},  // product type unknown: a workstation
        {6, 2, 9200, kServer, 17, "Windows Server 2012", "%OS_WIN_2012"},
        {6, 3, 9600, kController, 18, "Windows Server 2012 R2", "%OS_WIN_2012_R2"},
        {10, 0, 14393, kServer, 19, "Windows Server 2016", "%OS_WIN_2016"},
        {10, 0, 17762, kServer, 19, "Windows Server 2016", "%OS_WIN_2016"},
        {10, 0, 17763, kServer, 20, "Windows Server 2019", "%OS_WIN_2019"},
        {10, 0, 20348, kController, 21, "Windows Server 2022", "%OS_WIN_2022"},
        {10, 0, 26100, kServer, 22, "Windows Server 2025", "%OS_WIN_2025"},
        // The design's rows do not look at the product type.
        {6, 1, 7601, kServer, 12, "Windows 7", "%OS_WIN_7"},
        {5, 2, 3790, kWorkstation, 10, "Windows 2003 Server", "%OS_WIN_2003"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.major) + "." + std::to_string(c.minor) + "." + std::to_string(c.build) + " type " +
                     std::to_string(c.product));
        OsInfoRecord info{};
        info.dwPlatformId = VER_PLATFORM_WIN32_NT;
        info.dwMajorVersion = c.major;
        info.dwMinorVersion = c.minor;
        info.dwBuildNumber = c.build;
        ApplyWindowsVersion(info, c.product);
        EXPECT_EQ(info.OsLong, c.osLong);
        EXPECT_EQ(Text(info.OsString), c.osString);
        EXPECT_STREQ(OsSymbolicName(info.OsLong), c.symbol);
        EXPECT_EQ(Text(info.OsFamilyString), kNtFamily);
    }
}

TEST(WindowsVersionTable, UnknownCombinationKeepsWhatTheRecordHeld) {
    OsInfoRecord info{};
    info.OsLong = 77;
    SetText(info.OsString, "kept");
    info.OsFamilyLong = 5;
    SetText(info.OsFamilyString, "kept too");
    info.dwPlatformId = 9;
    info.dwMajorVersion = 6;
    info.dwMinorVersion = 1;
    ApplyWindowsVersion(info);
    EXPECT_EQ(info.OsLong, 77);
    EXPECT_EQ(Text(info.OsString), "kept");
    EXPECT_EQ(info.OsFamilyLong, 5);
    EXPECT_EQ(Text(info.OsFamilyString), "kept too");
}

TEST(WindowsVersionTable, BuildNames) {
    struct Case {
        uint32_t build;
        const char* before;
        const char* after;
    } cases[] = {
        {1111, "", "OSR2"},      {1111, "x", "OSR2"},   {950, "OSR2", ""},  {1998, "OSR2", ""},
        {1381, "OSR2", ""},      {2195, "OSR2", ""},    {3790, "OSR2", ""}, {2600, "OSR2", ""},
        {7601, "left", "left"},  {0, "left", "left"},   {0x10000457u, "left", "left"},  // 1111 in the low word only
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.build);
        OsInfoRecord info{};
        info.dwBuildNumber = c.build;
        SetText(info.BuildName, c.before);
        ApplyWindowsVersion(info);
        EXPECT_EQ(info.BuildNumber, c.build);
        EXPECT_EQ(Text(info.BuildName), c.after);
    }
}

TEST(WindowsVersionTable, ServicePackCopiedEvenWhenTheSystemLeftItUnterminated) {
    OsInfoRecord info{};
    std::memcpy(info.szCSDVersion, "Service Pack 1", 15);
    ApplyWindowsVersion(info);
    EXPECT_EQ(Text(info.ServicePack), "Service Pack 1");

    std::memset(info.szCSDVersion, 'S', sizeof info.szCSDVersion);  // no NUL at all
    ApplyWindowsVersion(info);
    EXPECT_EQ(Text(info.ServicePack), std::string(127, 'S'));
    EXPECT_EQ(info.OsIs64Bit, 0);  // right after the service pack, untouched
}

TEST(BuildTool, CodesAndTheirTexts) {
    EXPECT_EQ(BuildToolCode(9, 4), 0x904);
    EXPECT_EQ(BuildToolCode(12, 2), 0x1202);
    EXPECT_EQ(BuildToolCode(10, 0), 0x1000);
    EXPECT_EQ(BuildToolCode(-1, 200), 0x099);
    EXPECT_EQ(BuildToolCodeText(0x904), "9.04");
    EXPECT_EQ(BuildToolCodeText(0x1202), "12.02");
    EXPECT_EQ(BuildToolCodeText(0x5), "0.05");
    EXPECT_EQ(RevisionCodeText(0x1000), "&H1000");
    EXPECT_EQ(RevisionCodeText(0x20), "&H20");
    EXPECT_EQ(RevisionCodeText(0xAB), "&HAB");
}

TEST(BuildTool, RecordHoldsThisBuildsCompilerAndKind) {
    OsInfoRecord info{};
    EXPECT_EQ(GetCompiler(&info), 0);
    EXPECT_EQ(info.RtVersion, (__GNUC__ / 10) << 12 | (__GNUC__ % 10) << 8 | (__GNUC_MINOR__ / 10) << 4 | __GNUC_MINOR__ % 10);
    std::ostringstream version;
    version << __GNUC__ << "." << (__GNUC_MINOR__ < 10 ? "0" : "") << __GNUC_MINOR__;
    EXPECT_EQ(Text(info.RtVersionText), version.str());
    EXPECT_EQ(std::string(Text(info.RevisionText)).substr(0, 2), "&H");
    EXPECT_NE(info.Revision, 0);
    // This code is linked into the test executable itself.
    EXPECT_EQ(info.CompiledAsCode, 1);
    EXPECT_EQ(Text(info.CompiledAs), "EXE");
}

TEST(ModulePaths, Split) {
    struct Case {
        const char* full;
        const char* folder;
        const char* name;
    } cases[] = {
        {"C:\\Tools\\app.exe", "C:/Tools/", "app.exe"},
        {"C:\\app.exe", "C:/", "app.exe"},
        {"C:app.exe", "C:", "app.exe"},
        {"Z:/home/x/y.exe", "Z:/home/x/", "y.exe"},
        {"\\\\server\\share\\k.exe", "//server/share/", "k.exe"},
        {"plain.exe", "", "plain.exe"},
        {"", "", ""},
        {"C:\\Tools\\", "C:/Tools/", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.full);
        ModulePath path = SplitModulePath(c.full);
        EXPECT_EQ(path.folder, c.folder);
        EXPECT_EQ(path.name, c.name);
    }
}

TEST(ProgramInformation, TheRunningTestExecutable) {
    OsInfoRecord info{};
    EXPECT_EQ(GetProgram(&info), 0);
    std::string own = OwnExecutable();
    ModulePath expected = SplitModulePath(own);
    EXPECT_EQ(Text(info.ParentName), "test_sysinfo.exe");
    EXPECT_EQ(Text(info.ParentPath), expected.folder);
    EXPECT_EQ(Text(info.ParentPath).find('\\'), std::string_view::npos);
    EXPECT_EQ(Text(info.ParentPath).back(), '/');
    EXPECT_EQ(info.ParentInstance, static_cast<int32_t>(HandleToField(GetModuleHandleA(nullptr))));
    EXPECT_NE(info.ParentInstance, 0);
    // The code lives in the executable, so the program is the executable too.
    EXPECT_EQ(info.ProgramInstance, info.ParentInstance);
    EXPECT_EQ(Text(info.ProgramName), "test_sysinfo.exe");
    // The test program carries no version resource: the flag and all sixteen strings stay clear.
    EXPECT_EQ(info.HasVersionInfo, 0);
    const char(*strings)[kInfoTextSize] = &info.ProductName;
    for (int i = 0; i < 16; ++i) EXPECT_TRUE(TextEmpty(strings[i])) << i;
}

TEST(ProgramInformation, VersionStringsOfTheBuiltProgram) {
    char fields[8][kInfoTextSize] = {};
    std::string exe = std::string(KESTRUNE_BIN_DIR) + "/Kestrune.exe";
    ASSERT_TRUE(ReadVersionStrings(exe.c_str(), fields));
    EXPECT_STREQ(fields[0], "Kestrune");
    EXPECT_STRNE(fields[1], "");
    EXPECT_STRNE(fields[2], "");  // ProductDescription
    EXPECT_STREQ(fields[3], fields[1]);
    EXPECT_STREQ(fields[4], "Kestrune");
    EXPECT_STRNE(fields[5], "");
    EXPECT_EQ(std::string(fields[6]).rfind("Copyright", 0), 0u);  // key matched without regard to case
    EXPECT_STREQ(fields[7], "Kestrune.exe");

    char scan[8][kInfoTextSize] = {};
    std::string console = std::string(KESTRUNE_BIN_DIR) + "/kestrune-scan.exe";
    ASSERT_TRUE(ReadVersionStrings(console.c_str(), scan));
    EXPECT_STREQ(scan[0], "Kestrune");
    EXPECT_STREQ(scan[7], "kestrune-scan.exe");
}

TEST(ProgramInformation, NoVersionResourceAndBadNames) {
    char fields[8][kInfoTextSize] = {};
    std::strcpy(fields[0], "kept");
    EXPECT_FALSE(ReadVersionStrings(OwnExecutable().c_str(), fields));
    EXPECT_FALSE(ReadVersionStrings("Z:\\no\\such\\file.exe", fields));
    EXPECT_FALSE(ReadVersionStrings(nullptr, fields));
    EXPECT_FALSE(ReadVersionStrings("x", nullptr));
    EXPECT_STREQ(fields[0], "kept");
}

TEST(OsInformation, RealSystemFillsTheVersionPart) {
    OsInfoRecord info{};
    EXPECT_EQ(GetWindowsOs(&info), 0);
    EXPECT_EQ(info.dwOSVersionInfoSize, 148u);
    EXPECT_EQ(info.dwPlatformId, 2u);
    EXPECT_GE(info.dwMajorVersion, 5u);
    EXPECT_EQ(info.BuildNumber, info.dwBuildNumber);
    EXPECT_EQ(Text(info.ServicePack), Text(info.szCSDVersion));
    EXPECT_EQ(std::to_string(info.OsIs64Bit), SystemProcessorType());
}

TEST(OsInformation, NullRecordIsRefused) {
    EXPECT_EQ(GetWindowsOs(nullptr), 9);
    EXPECT_EQ(GetCompiler(nullptr), 9);
    EXPECT_EQ(GetProgram(nullptr), 9);
    EXPECT_EQ(GatherOpSysInfo(nullptr), 9);
    EXPECT_EQ(DisplayOpSysInfo(nullptr), 9);
}

TEST(OsInformation, GatherFillsAllThreeGroups) {
    OsInfoRecord info{};
    EXPECT_EQ(GatherOpSysInfo(&info), 0);
    EXPECT_EQ(info.dwOSVersionInfoSize, 148u);
    EXPECT_FALSE(TextEmpty(info.RtVersionText));
    EXPECT_FALSE(TextEmpty(info.ParentName));
}

// Wine reports the Windows version set in HKCU\Software\Wine, value Version, to programs
// started after the change. The fixture puts back what was there.
class WineVersionTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine", 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                                  key_.put(), nullptr),
                  ERROR_SUCCESS);
        char value[64];
        DWORD size = sizeof value, type = 0;
        if (RegQueryValueExA(key_.get(), "Version", nullptr, &type, reinterpret_cast<BYTE*>(value), &size) ==
                ERROR_SUCCESS &&
            type == REG_SZ) {
            hadValue_ = true;
            saved_.assign(value, strnlen(value, size));
        }
    }
    void TearDown() override {
        if (!key_.get()) return;
        if (hadValue_)
            RegSetValueExA(key_.get(), "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(saved_.c_str()),
                           static_cast<DWORD>(saved_.size() + 1));
        else
            RegDeleteValueA(key_.get(), "Version");
    }

    std::map<std::string, std::string> RunAs(const std::string& version) {
        EXPECT_EQ(RegSetValueExA(key_.get(), "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version.c_str()),
                                 static_cast<DWORD>(version.size() + 1)),
                  ERROR_SUCCESS);
        TempFolder folder;
        std::string out = folder.File("osinfo.txt");
        EXPECT_EQ(testing::RunWithEnvironment(OwnExecutable(), testing::HelperEnvironment("osinfo", out), ""), 0);
        std::map<std::string, std::string> fields;
        std::istringstream lines(ReadWholeFile(out));
        for (std::string line; std::getline(lines, line);) {
            std::size_t eq = line.find('=');
            if (eq != std::string::npos) fields[line.substr(0, eq)] = line.substr(eq + 1);
        }
        return fields;
    }

    UniqueRegKey key_;
    bool hadValue_ = false;
    std::string saved_;
};

TEST_F(WineVersionTest, SeveralWindowsVersions) {
    struct Case {
        const char* wine;
        const char* major;
        const char* minor;
        const char* build;
        const char* servicePack;
        const char* osLong;
        const char* osString;
        const char* buildName;
    } cases[] = {
        // 64-bit XP reports itself as NT 5.2, the server's version.
        {"winxp64", "5", "2", "3790", "Service Pack 2", "10", "Windows 2003 Server", ""},
        {"win7", "6", "1", "7601", "Service Pack 1", "12", "Windows 7", ""},
        // The programs' manifest names today's Windows, so the version query tells the truth
        // (without it every later system says 6.2).
        {"win8", "6", "2", "9200", "", "13", "Windows 8", ""},
        {"win81", "6", "3", "9600", "", "14", "Windows 8.1", ""},
        {"win10", "10", "0", "18362", "", "15", "Windows 10", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.wine);
        std::map<std::string, std::string> f = RunAs(c.wine);
        EXPECT_EQ(f["dwPlatformId"], "2");
        EXPECT_EQ(f["dwMajorVersion"], c.major);
        EXPECT_EQ(f["dwMinorVersion"], c.minor);
        EXPECT_EQ(f["dwBuildNumber"], c.build);
        EXPECT_EQ(f["szCSDVersion"], c.servicePack);
        EXPECT_EQ(f["ServicePack"], c.servicePack);
        EXPECT_EQ(f["OsLong"], c.osLong);
        EXPECT_EQ(f["OsString"], c.osString);
        EXPECT_EQ(f["OsFamilyLong"], "2");
        EXPECT_EQ(f["BuildName"], c.buildName);
        EXPECT_EQ(f["OsIs64Bit"], SystemProcessorType());
    }
}

// Both programs carry the manifest whose compatibility entries the version test above relies on.
TEST(ProgramManifest, NamesEveryWindowsTheTablesKnowSinceVista) {
    for (const char* program : {"Kestrune.exe", "kestrune-scan.exe"}) {
        SCOPED_TRACE(program);
        const std::string path = std::string(KESTRUNE_BIN_DIR) + "/" + program;
        HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(module, nullptr) << GetLastError();
        HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));  // RT_MANIFEST
        ASSERT_NE(found, nullptr);
        const char* data = static_cast<const char*>(LockResource(LoadResource(module, found)));
        const std::string manifest(data, SizeofResource(module, found));
        for (const char* id : {"e2011457-1546-43c5-a5fe-008deee3d3f0", "35138b9a-5d96-4fbd-8e2d-a2440225f93a",
                               "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38", "1f676c76-80e1-4239-95bb-83d0f6d0da78",
                               "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"})
            EXPECT_NE(manifest.find(id), std::string::npos) << id;
        FreeLibrary(module);
    }
}

}  // namespace
}  // namespace kestrune
