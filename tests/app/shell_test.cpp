// The shell's plain decisions: status-bar part edges, the dialog template, which commands
// run, the title, the display copy, and the library entry's answers.
#include <gtest/gtest.h>

#include <cstring>

#include "app/common/found_ports.h"
#include "app/library_entry.h"
#include "app/window/main_dialog.h"
#include "app/window/refresh.h"
#include "app/window/shell_state.h"
#include "support/fixed_text.h"

using namespace kestrune;

namespace {

TEST(StatusPartEdges, RoundHalfToEven) {
    EXPECT_EQ(StatusPartEdges(1000), (std::array<int, 4>{250, 500, 750, 1000}));
    EXPECT_EQ(StatusPartEdges(998), (std::array<int, 4>{250, 499, 748, 998}));
    EXPECT_EQ(StatusPartEdges(1002), (std::array<int, 4>{250, 501, 752, 1002}));  // 250.5 -> 250, 751.5 -> 752
    EXPECT_EQ(StatusPartEdges(3), (std::array<int, 4>{1, 2, 2, 3}));            // 0.75, 1.5 -> 2, 2.25
    EXPECT_EQ(StatusPartEdges(0), (std::array<int, 4>{0, 0, 0, 0}));
}

TEST(MainDialogTemplate, CarriesStyleSizeCaptionAndFont) {
    const std::vector<WORD> words = MainDialogTemplate();
    DLGTEMPLATE header{};
    ASSERT_GE(words.size() * sizeof(WORD), sizeof header);
    std::memcpy(&header, words.data(), sizeof header);
    EXPECT_EQ(header.cdit, 0);
    EXPECT_EQ(header.cx, 600);
    EXPECT_EQ(header.cy, 155);
    EXPECT_EQ(header.dwExtendedStyle, static_cast<DWORD>(WS_EX_WINDOWEDGE));
    EXPECT_EQ(header.style & WS_VISIBLE, 0u) << "created invisible";
    EXPECT_EQ(header.style & WS_THICKFRAME, 0u);
    for (DWORD bit : {DWORD(DS_CENTER), DWORD(DS_SETFONT), DWORD(DS_3DLOOK), DWORD(DS_NOFAILCREATE),
                      DWORD(WS_CLIPCHILDREN), DWORD(WS_MAXIMIZEBOX)})
        EXPECT_EQ(header.style & bit, bit) << std::hex << bit;

    size_t at = sizeof header / sizeof(WORD);
    EXPECT_EQ(words[at++], 0) << "no menu";
    EXPECT_EQ(words[at++], 0) << "the system dialog class";
    auto readWide = [&] {
        std::string text;
        while (words.at(at) != 0) text += static_cast<char>(words[at++]);
        ++at;
        return text;
    };
    EXPECT_EQ(readWide(), "Kestrune");
    EXPECT_EQ(words.at(at++), 8);
    EXPECT_EQ(readWide(), "MS Sans Serif");
    EXPECT_EQ(at, words.size());
}

TEST(Commands, OnlyNotificationCodesZeroAndOneRun) {
    EXPECT_TRUE(IsCommandToRun(MAKEWPARAM(1026, 0)));
    EXPECT_TRUE(IsCommandToRun(MAKEWPARAM(1026, 1)));
    EXPECT_FALSE(IsCommandToRun(MAKEWPARAM(1026, 2)));
    EXPECT_FALSE(IsCommandToRun(MAKEWPARAM(2, EN_CHANGE)));
}

TEST(Commands, TitleCountsRecords) {
    EXPECT_EQ(FoundPortsTitle(3), "Kestrune - 3 USB and Serial Ports found");
    EXPECT_EQ(FoundPortsTitle(1), "Kestrune - 1 USB and Serial Ports found");
}

TEST(Commands, AMachineWithoutPortsSaysSo) {
    auto record = [](const char* device, const char* status) {
        PortRecord r{};
        SetText(r.PortName, "COM1");
        SetText(r.DeviceName, device);
        SetText(r.Status, status);
        return r;
    };
    const struct {
        const char* title;
        std::vector<PortRecord> records;
        bool none;
    } cases[] = {
        {"the placeholder, no COM1 there", {record("", "Disconnected")}, true},
        {"an unlisted COM1 that opens", {record("", "Available")}, false},
        {"one listed port", {record("\\Device\\Serial0", "Disconnected")}, false},
        {"a record nobody scanned", {PortRecord{}}, false},
        {"two ports", {record("", "Disconnected"), record("", "Disconnected")}, false},
    };
    for (const auto& c : cases) EXPECT_EQ(NoSerialPortsFound(c.records), c.none) << c.title;
    EXPECT_EQ(NoPortsTitle(), "Kestrune - No USB and Serial Ports found");
}

TEST(Commands, EachRoadHasItsArray) {
    ShellState shell;
    EXPECT_EQ(RoadResults(shell, 1026), &shell.DirectResults);
    EXPECT_EQ(RoadResults(shell, 1027), &shell.EarlyBoundResults);
    EXPECT_EQ(RoadResults(shell, 1028), &shell.LateBoundResults);
    EXPECT_EQ(RoadResults(shell, 1029), &shell.NoRegistryResults);
    EXPECT_EQ(RoadResults(shell, 2), nullptr);
    EXPECT_EQ(RoadResults(shell, 1030), nullptr);
}

TEST(DisplayedRecords, FollowTheLastCommandAndStopAtTheEnd) {
    ShellState shell;
    EXPECT_EQ(DisplayedRecord(shell, 0), nullptr) << "nothing shown before any refresh";
    shell.DirectResults.resize(2);
    SetText(shell.DirectResults[1].Status, "In-Use");
    shell.LastCommandId = 1026;
    ++shell.ResultsGeneration;
    ASSERT_NE(DisplayedRecord(shell, 1), nullptr);
    EXPECT_EQ(Text(DisplayedRecord(shell, 1)->Status), "In-Use");
    EXPECT_EQ(DisplayedRecord(shell, 2), nullptr);
    // A command without a road keeps showing the last copy.
    shell.LastCommandId = 2;
    shell.DirectResults.assign(1, PortRecord{});
    ++shell.ResultsGeneration;
    ASSERT_NE(DisplayedRecord(shell, 1), nullptr);
    EXPECT_EQ(shell.DisplayResults.size(), 2u);
}

TEST(LibraryEntry, AnswersTheFourReasons) {
    const struct {
        DWORD reason;
        BOOL result;
    } cases[] = {{DLL_PROCESS_DETACH, TRUE}, {DLL_PROCESS_ATTACH, TRUE}, {DLL_THREAD_ATTACH, TRUE},
                 {DLL_THREAD_DETACH, TRUE},  {4, FALSE},                 {0xFFFFFFFF, FALSE}};
    for (const auto& c : cases) EXPECT_EQ(LibraryEntry(nullptr, c.reason, nullptr), c.result) << c.reason;
}

}  // namespace
