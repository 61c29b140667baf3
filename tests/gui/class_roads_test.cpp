// Refresh commands 1027-1029 in a real dialog over the lab: each class road gives the rows,
// headers and title count of the direct road; a road without an object keeps its single zero
// record; the late-bound road repairs a missing registration with the registration tool.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

#include <string>
#include <vector>

#include "app/window/class_roads.h"
#include "app/window/main_dialog.h"
#include "app/window/refresh.h"
#include "app/window/shell_state.h"
#include "com/registration.h"
#include "com/registration_repair.h"
#include "gui/driver/child_process.h"
#include "com/serial_port_typelib.h"
#include "gui/driver/window_driver.h"
#include "gui_desktop.h"
#include "gui_helpers.h"
#include "lab/client/lab_client.h"
#include "support/fixed_text.h"
#include "support/handles.h"

using namespace kestrune;
using namespace kestrune_test;

namespace {

const std::string kBuiltLibrary = kestrune_driver::WindowsPath(KESTRUNE_BIN_DIR "/Kestrune.dll");

// Kestrune.dll's place beside this test program.
std::string BesideProgram() {
    char program[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, program, sizeof program);
    const std::string path(program);
    return path.substr(0, path.find_last_of('\\') + 1) + "Kestrune.dll";
}

bool ClassKeyExists() {
    UniqueRegKey key;
    const std::wstring path = L"CLSID\\" + GuidText(CLSID_CLASSSERIALPORT);
    return RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

// What a road shows: the title, every header and the fields of every row that do not
// depend on the handles of one particular scan.
struct Shown {
    std::string title;
    std::vector<std::string> headers;
    std::vector<std::string> rows;
    int listRows = 0;
};

class ClassRoads : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        if (!layout_.Load(&error)) GTEST_SKIP() << "serial lab not up: " << error;
        Shell() = ShellState{};
        dialog_ = CreateMainDialog(GetModuleHandleA(nullptr));
        ASSERT_NE(dialog_, nullptr);
    }
    void TearDown() override {
        // The roads keep Kestrune.dll loaded for the rest of a run; the test unloads it so
        // its copies can go and the next test starts without it.
        ReleaseRoadObjects();
        CoFreeUnusedLibrariesEx(0, 0);
        for (int i = 0; i < 16 && GetModuleHandleA("Kestrune.dll"); ++i) FreeLibrary(GetModuleHandleA("Kestrune.dll"));
        DeleteFileA(BesideProgram().c_str());
        if (IsWindow(dialog_)) DestroyWindow(dialog_);
        DrainMessages();
        Shell() = ShellState{};
        DeleteFileA("Kestrune.dll");
    }

    Shown Refresh(int command) {
        EXPECT_TRUE(RunRefreshCommand(dialog_, static_cast<uint32_t>(command)));
        Shown shown;
        shown.title = Title(dialog_);
        HWND list = ResultList(dialog_);
        for (int column = 1; column <= 46; ++column) shown.headers.push_back(HeaderText(list, column));
        for (const PortRecord& r : *RoadResults(Shell(), static_cast<uint32_t>(command))) {
            shown.rows.push_back(std::string(Text(r.PortName)) + "|" + std::string(Text(r.Status)) + "|" +
                                 std::string(Text(r.DeviceName)) + "|" + std::to_string(r.Baud) + "|" +
                                 std::to_string(r.DataBits) + "|" + std::to_string(r.StopBits) + "|" +
                                 std::string(Text(r.DeviceType)) + "|" + std::string(Text(r.ProgramName)) + "|" +
                                 std::to_string(r.CableKind) + "|" + std::to_string(r.LBOUND) + ".." +
                                 std::to_string(r.UBOUND));
        }
        shown.listRows = RowCount(list);
        return shown;
    }

    void ExpectSameAsDirect(const Shown& road, const Shown& direct, const char* which) {
        EXPECT_EQ(road.title, direct.title) << which;
        EXPECT_EQ(road.headers, direct.headers) << which;
        EXPECT_EQ(road.rows, direct.rows) << which;
        EXPECT_EQ(road.listRows, direct.listRows) << which;
    }

    void ExpectSingleZeroRecord(int command) {
        const std::vector<PortRecord>& road = *RoadResults(Shell(), static_cast<uint32_t>(command));
        ASSERT_EQ(road.size(), 1u);
        EXPECT_TRUE(TextEmpty(road[0].PortName));
        EXPECT_EQ(Title(dialog_), "Kestrune - 1 USB and Serial Ports found");
        EXPECT_EQ(RowCount(ResultList(dialog_)), 0);
    }

    struct Apartment {
        Apartment() { CoInitialize(nullptr); }
        ~Apartment() { CoUninitialize(); }
    } apartment_;
    lab::Layout layout_;
    HWND dialog_ = nullptr;
};

TEST_F(ClassRoads, RoadsWithoutAnObjectKeepTheirSingleZeroRecord) {
    if (GetModuleHandleA("Kestrune.dll")) GTEST_SKIP() << "an earlier road of this process loaded Kestrune.dll";
    kestrune_test::RunAndWait("\"" + kestrune::RegistrationToolPath() + "\" /u /s \"" + kBuiltLibrary + "\"");
    // No registration and no Kestrune.dll beside this program or in the current folder.
    DeleteFileA(BesideProgram().c_str());
    for (int command : {kRefreshLateBoundId, kRefreshNoRegistryId}) {
        Refresh(command);
        ExpectSingleZeroRecord(command);
    }
    EXPECT_FALSE(ClassKeyExists());
}

TEST_F(ClassRoads, LateBoundRoadRegistersAMissingClassFirst) {
    // The registration tool gets Kestrune.dll beside the running program (or the loaded
    // library's own path, when a road loaded one).
    char program[MAX_PATH] = {};
    GetModuleFileNameA(GetModuleHandleA("Kestrune.dll"), program, sizeof program);
    std::string beside(program);
    beside = beside.substr(0, beside.find_last_of('\\') + 1) + "Kestrune.dll";
    if (!GetModuleHandleA("Kestrune.dll")) {
        ASSERT_TRUE(CopyFileA(kBuiltLibrary.c_str(), beside.c_str(), FALSE));
    }
    kestrune_test::RunAndWait("\"" + kestrune::RegistrationToolPath() + "\" /u /s \"" + beside + "\"");
    ASSERT_FALSE(ClassKeyExists());

    const Shown direct = Refresh(kRefreshId);
    ExpectSameAsDirect(Refresh(kRefreshLateBoundId), direct, "1028 after the repair");
    EXPECT_TRUE(ClassKeyExists());
    wchar_t server[MAX_PATH] = {};
    DWORD bytes = sizeof server - sizeof(wchar_t);
    const std::wstring key = L"CLSID\\" + GuidText(CLSID_CLASSSERIALPORT) + L"\\InprocServer32";
    RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, server, &bytes);
    EXPECT_EQ(std::wstring(server), std::wstring(beside.begin(), beside.end()));
    ReleaseRoadObjects();
    kestrune_test::RunAndWait("\"" + kestrune::RegistrationToolPath() + "\" /u /s \"" + beside + "\"");
}

TEST_F(ClassRoads, EveryRoadShowsWhatTheDirectRoadShows) {
    kestrune_test::RunAndWait("\"" + kestrune::RegistrationToolPath() + "\" /u /s \"" + kBuiltLibrary + "\"");
    const Shown direct = Refresh(kRefreshId);
    ASSERT_GT(direct.rows.size(), 1u);

    // 1027 needs neither the registry nor the COM runtime's lookup.
    ExpectSameAsDirect(Refresh(kRefreshEarlyBoundId), direct, "1027");

    // 1029 without Kestrune.dll beside the program creates nothing (unless an earlier road of this process
    // loaded the library, which then stays); with it, no registration is needed.
    DeleteFileA("Kestrune.dll");
    DeleteFileA(BesideProgram().c_str());
    if (!GetModuleHandleA("Kestrune.dll") && GetFileAttributesA("Kestrune.dll") == INVALID_FILE_ATTRIBUTES) {
        Refresh(kRefreshNoRegistryId);
        ExpectSingleZeroRecord(kRefreshNoRegistryId);
    }
    // A copy planted in the current folder (not the program's) is never loaded.
    if (!GetModuleHandleA("Kestrune.dll")) {
        char saved[MAX_PATH] = {}, temp[MAX_PATH] = {};
        GetCurrentDirectoryA(MAX_PATH, saved);
        GetTempPathA(MAX_PATH, temp);
        const std::string elsewhere = std::string(temp) + "kestrune-planted-" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(elsewhere.c_str(), nullptr);
        const std::string planted = elsewhere + "\\Kestrune.dll";
        ASSERT_TRUE(CopyFileA(kBuiltLibrary.c_str(), planted.c_str(), FALSE));
        ASSERT_TRUE(SetCurrentDirectoryA(elsewhere.c_str()));
        Refresh(kRefreshNoRegistryId);
        const bool plantedLoaded = GetModuleHandleA(planted.c_str()) != nullptr;
        SetCurrentDirectoryA(saved);
        EXPECT_FALSE(plantedLoaded);
        ExpectSingleZeroRecord(kRefreshNoRegistryId);
        for (int i = 0; i < 16 && GetModuleHandleA("Kestrune.dll"); ++i) FreeLibrary(GetModuleHandleA("Kestrune.dll"));
        DeleteFileA(planted.c_str());
        RemoveDirectoryA(elsewhere.c_str());
    }
    // Beside the program it is found whatever the current folder.
    ASSERT_TRUE(CopyFileA(kBuiltLibrary.c_str(), BesideProgram().c_str(), FALSE));
    ExpectSameAsDirect(Refresh(kRefreshNoRegistryId), direct, "1029");

    // 1028 through the registered class.
    ASSERT_EQ(kestrune_test::RunAndWait("\"" + kestrune::RegistrationToolPath() + "\" /s \"" + kBuiltLibrary + "\""), 0u);
    ExpectSameAsDirect(Refresh(kRefreshLateBoundId), direct, "1028");
    kestrune_test::RunAndWait("\"" + kestrune::RegistrationToolPath() + "\" /u /s \"" + kBuiltLibrary + "\"");
}

TEST(ClassRoadRules, ResultBoundsAndTheReturnedArgument) {
    const struct {
        int32_t lbound, ubound;
        std::optional<size_t> count;
    } bounds[] = {{0, 0, 1}, {0, 8, 9}, {0, -1, std::nullopt}, {1, 3, std::nullopt}, {-1, 3, std::nullopt},
                  {0, 65535, 65536}, {0, 65536, std::nullopt}};
    for (const auto& c : bounds) EXPECT_EQ(ResultBlockCount(c.lbound, c.ubound), c.count) << c.lbound << ".." << c.ubound;

    const struct {
        bool succeeded;
        int32_t result;
        uint32_t sent, returned;
        bool holds;
    } calls[] = {{true, 0, 0x1234, 0x20000, true},  {false, 0, 0x1234, 0x20000, false},
                 {true, 7, 0x1234, 0x1234, false},  {true, 0, 0x1234, 0x1234, false},
                 {true, 0, 0, 0, false},            {true, 0, 0, 0x20000, true}};
    for (const auto& c : calls)
        EXPECT_EQ(ScanArgumentHoldsResults(c.succeeded, c.result, c.sent, c.returned), c.holds) << c.returned;
}

}  // namespace
