// The owning program's version is read only from a file on disk: a record whose program path
// names a device (a free lab port, by name or device path), a pipe or a folder comes back at
// once with the version empty; a real program still gives its version.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <thread>

#include "exports/scan_exports.h"
#include "scan/device_type.h"
#include "support/fixed_text.h"
#include "support/handles.h"
#include "scan_test_support.h"

namespace kestrune {
namespace {

TEST(ProgramVersionRules, OnlyPlainFileNames) {
    const struct {
        const char* path;
        bool plain;
    } paths[] = {
        {"C:\\Tools\\term.exe", true},     {"term.exe", true},             {"Z:/srv/build/Kestrune.exe", true},
        {"\\\\server\\share\\t.exe", true}, {"C:\\COMPASS\\com.exe", true}, {"C:\\a\\COM10x.exe", true},
        {"", false},                        {"COM2", false},                {"com2", false},
        {"COM2:", false},                   {"COM2.exe", false},            {"C:\\Tools\\COM2", false},
        {"COM300", false},                  {"LPT1", false},                {"NUL", false},
        {"nul.txt", false},                 {"CON", false},                 {"AUX ", false},
        {"PRN.log", false},                 {"CONIN$", false},              {"CLOCK$", false},
        {"COM\xB9", false},                 {"C:\\nul\\x.exe", false},      {"\\\\.\\COM2", false},
        {"//./COM2", false},                {"\\\\?\\C:\\x.exe", false},     {"\\??\\C:\\x.exe", false},
        {"\\\\.\\pipe\\kestrune", false},   {"C:\\x.exe:stream", false},    {"C:\\Tools\\", false},
        {"C:\\Tools\\term.exe.", false},    {"C:\\*.exe", false},           {"C:\\a\"b.exe", false},
        {"C:\\a\tb.exe", false},            {"C:\\a|b", false},
    };
    for (const auto& p : paths) EXPECT_EQ(NamesPlainFile(p.path), p.plain) << p.path;
    EXPECT_FALSE(NamesPlainFile(std::string(MAX_PATH, 'a')));
}

// Runs SerialPort_Get_Program on a record holding path; false when it did not come back
// within 20 s (a hang: the call is left behind on its thread).
bool ProgramOf(const std::string& path, PortRecord& record) {
    record = PortRecord{};
    SetText(record.ProgramPath, path);
    UniqueHandle done(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    auto* shared = new PortRecord(record);
    HANDLE signal = done.get();
    std::thread([shared, signal] {
        SerialPort_Get_Program(shared);
        SetEvent(signal);
    }).detach();
    if (WaitForSingleObject(done.get(), 20000) != WAIT_OBJECT_0) return false;  // shared is left to the thread
    record = *shared;
    delete shared;
    return true;
}

TEST(ProgramVersion, DevicesPipesAndFoldersGiveNoVersionAndReturn) {
    const lab::Layout layout = scan_test::LabLayout();
    const lab::Port* freePort = layout.FirstOfKind(lab::Kind::Free);
    const std::string com = freePort ? freePort->com : "COM2";
    const std::string pipeName = "\\\\.\\pipe\\kestrune-version-" + std::to_string(GetCurrentProcessId());
    UniqueHandle pipe(CreateNamedPipeA(pipeName.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 0, 0, 0,
                                       nullptr));
    char folder[MAX_PATH] = {};
    GetSystemDirectoryA(folder, MAX_PATH);
    const std::string program = kestrune_driver::WindowsPath(KESTRUNE_BIN_DIR "/Kestrune.exe");
    const struct {
        std::string path, folder, name;
        bool versioned;
    } cases[] = {
        {com, "", com, false},
        {"\\\\.\\" + com, "\\\\.\\", com, false},
        {com + ".exe", "", com + ".exe", false},
        {pipeName, "\\\\.\\pipe\\", pipeName.substr(9), false},
        {folder, SplitProgramPath(folder).folder, SplitProgramPath(folder).name, false},
        {"C:\\missing\\term.exe", "C:\\missing\\", "term.exe", false},
        {program, SplitProgramPath(program).folder, "Kestrune.exe", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        PortRecord record;
        ASSERT_TRUE(ProgramOf(c.path, record)) << "no return within 20 s";
        EXPECT_EQ(Text(record.ProgramFolder), c.folder);
        EXPECT_EQ(Text(record.ProgramName), c.name);
        EXPECT_EQ(!TextEmpty(record.ProgramVersion), c.versioned) << Text(record.ProgramVersion);
    }
}

}  // namespace
}  // namespace kestrune
