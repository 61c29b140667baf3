// The class library reports to its host's status bar and stops a scan once the host is
// closing: its message loop ended (the quit message met while the scan pumps) or the status
// bar the scan reports to destroyed. The library is loaded by full path, with its own sink.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <oleauto.h>

#include <cstring>
#include <string>
#include <vector>

#include "gui/driver/window_driver.h"
#include "gui_desktop.h"
#include "record/port_record.h"
#include "support/fixed_text.h"
#include "support/handles.h"

using kestrune::PortRecord;

namespace {

using EnumFunction = int32_t(WINAPI*)(SAFEARRAY**, uint32_t*);

WNDPROC g_barProcedure = nullptr;

// A status bar whose window is closed at its first report, as a host's window closed mid-scan.
LRESULT CALLBACK ClosingBar(HWND bar, UINT message, WPARAM wParam, LPARAM lParam) {
    const LRESULT result = CallWindowProcA(g_barProcedure, bar, message, wParam, lParam);
    if (message == SB_SETTEXTA) DestroyWindow(GetParent(bar));
    return result;
}

std::vector<PortRecord> RecordsOf(SAFEARRAY* array) {
    std::vector<PortRecord> records;
    if (!array) return records;
    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(array, &data))) return records;
    records.resize(array->rgsabound[0].cElements);
    std::memcpy(records.data(), data, records.size() * sizeof(PortRecord));
    SafeArrayUnaccessData(array);
    return records;
}

// Whether the per-port pass ran: an available port's settings were read.
bool SettingsRead(const std::vector<PortRecord>& records) {
    for (const PortRecord& record : records)
        if (kestrune::Text(record.Status) == "Available" && record.Baud != 0) return true;
    return false;
}

TEST(LibraryProgress, AHostClosingStopsTheLibrarysScanAfterItsProbe) {
    const std::string path = kestrune_driver::WindowsPath(KESTRUNE_BIN_DIR "/Kestrune.dll");
    HMODULE library = LoadLibraryA(path.c_str());
    ASSERT_NE(library, nullptr) << path;
    auto scan = reinterpret_cast<EnumFunction>(GetProcAddress(library, "SerialPort_Enum"));
    ASSERT_NE(scan, nullptr);
    InitCommonControls();

    const struct {
        const char* name;
        bool quitPosted;
        bool barClosesAtFirstReport;
        bool stops;
    } kCases[] = {
        {"host keeps running", false, false, false},
        {"host's message loop ended", true, false, true},
        {"host's window closed at the first report", false, true, true},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        kestrune_test::DrainMessages();
        HWND host = CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr, nullptr,
                                    nullptr, nullptr);
        ASSERT_NE(host, nullptr);
        HWND bar = CreateWindowExA(0, STATUSCLASSNAMEA, "", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, host, nullptr,
                                   nullptr, nullptr);
        ASSERT_NE(bar, nullptr);
        if (c.barClosesAtFirstReport)
            g_barProcedure = reinterpret_cast<WNDPROC>(
                SetWindowLongPtrA(bar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ClosingBar)));
        if (c.quitPosted) PostQuitMessage(0);

        SAFEARRAY* array = nullptr;
        uint32_t window = kestrune::HandleToField(bar);
        EXPECT_EQ(scan(&array, &window), 0);
        const std::vector<PortRecord> records = RecordsOf(array);
        SafeArrayDestroy(array);

        EXPECT_GE(records.size(), 3u) << "every port is still probed";
        EXPECT_EQ(SettingsRead(records), !c.stops);
        if (c.quitPosted) {
            MSG quit;
            EXPECT_TRUE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "the quit stays for the loop";
        }
        if (IsWindow(host)) DestroyWindow(host);
        kestrune_test::DrainMessages();
    }
    FreeLibrary(library);
}

}  // namespace
