// How the window keeps up during a refresh, and how fast the list fills and paints.
//   ui_refresh [extra_handles]     (or KESTRUNE_EXTRA_HANDLES; default 5000)
// Prints:
//   ui_longest_gap_ms: longest time the window thread went without handling a message
//                      during one refresh over the ports the registry lists, with a second
//                      process holding extra_handles named handles for the owner search
//   ui_p99_gap_ms:     the 99th percentile of those gaps
//   paint_256_rows_ms: filling 256 rows with their headers and painting the list (median)
//   fill_paint_1000_rows_over_plain: filling 1,000 rows with their headers and painting
//                      the list, over a plain report list view of the same size given the
//                      same texts (no colours, no width measuring, drawing held while it
//                      fills), interleaved; the median
//                      ratio, with _min and _max of the single pairs
// and a few context lines (ports, handles, gaps counted, cells coloured).
// The window runs on a desktop of Wine's null driver, so no display is needed.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "app/window/main_dialog.h"
#include "app/window/progress.h"
#include "app/window/refresh.h"
#include "app/common/list_cells.h"
#include "app/window/list_control.h"
#include "app/window/result_cells.h"
#include "app/window/results_view.h"
#include "app/window/shell_state.h"
#include "app/window/width_twin.h"
#include "support/fixed_text.h"
#include "tests/gui/driver/null_desktop.h"

using namespace kestrune;

namespace {

constexpr char kDesktopPrefix[] = "kestrune-bench-";
constexpr UINT kProbe = WM_APP + 7;

double Milliseconds(LONGLONG ticks) {
    static const double frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    return static_cast<double>(ticks) * 1000.0 / frequency;
}

LONGLONG Now() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

// ---- the handle holder: a second process with many named handles -------------------------

int Hold(int count, DWORD parentId) {
    std::vector<HANDLE> handles;
    handles.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        const std::string name = "kestrune-bench-" + std::to_string(parentId) + "-" + std::to_string(i);
        if (HANDLE h = CreateEventA(nullptr, TRUE, FALSE, name.c_str())) handles.push_back(h);
    }
    const std::string ready = "kestrune-bench-ready-" + std::to_string(parentId);
    HANDLE readyEvent = OpenEventA(EVENT_MODIFY_STATE, FALSE, ready.c_str());
    HANDLE parent = OpenProcess(SYNCHRONIZE, FALSE, parentId);
    if (readyEvent) SetEvent(readyEvent);
    // Held until the bench ends.
    if (parent) WaitForSingleObject(parent, INFINITE);
    for (HANDLE h : handles) CloseHandle(h);
    return 0;
}

struct Holder {
    PROCESS_INFORMATION info{};
    int held = 0;
    ~Holder() {
        if (info.hProcess) {
            TerminateProcess(info.hProcess, 0);
            WaitForSingleObject(info.hProcess, 5000);
            CloseHandle(info.hProcess);
        }
    }
};

bool StartHolder(int count, Holder& holder) {
    if (count <= 0) return true;
    const std::string ready = "kestrune-bench-ready-" + std::to_string(GetCurrentProcessId());
    HANDLE readyEvent = CreateEventA(nullptr, TRUE, FALSE, ready.c_str());
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, sizeof self);
    std::string command = "\"" + std::string(self) + "\" --hold " + std::to_string(count) + " " +
                          std::to_string(GetCurrentProcessId());
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &holder.info)) {
        CloseHandle(readyEvent);
        return false;
    }
    CloseHandle(holder.info.hThread);
    holder.info.hThread = nullptr;
    const bool ok = WaitForSingleObject(readyEvent, 120000) == WAIT_OBJECT_0;
    CloseHandle(readyEvent);
    holder.held = count;
    return ok;
}

// ---- message gaps during a refresh ---------------------------------------------------------

std::vector<LONGLONG>* g_handledAt = nullptr;
HANDLE g_handled = nullptr;

LRESULT CALLBACK ProbeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kProbe) {
        if (g_handledAt) g_handledAt->push_back(Now());
        SetEvent(g_handled);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

struct GapResult {
    double longest = 0;
    double p99 = 0;
    size_t gaps = 0;
    size_t ports = 0;
};

GapResult MeasureRefreshGaps(HWND dialog) {
    WNDCLASSA probeClass{};
    probeClass.lpfnWndProc = ProbeProc;
    probeClass.hInstance = GetModuleHandleA(nullptr);
    probeClass.lpszClassName = "KestruneBenchProbe";
    RegisterClassA(&probeClass);
    HWND probe = CreateWindowExA(0, probeClass.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 probeClass.hInstance, nullptr);
    g_handled = CreateEventA(nullptr, FALSE, TRUE, nullptr);

    // One probe message is always waiting: the next goes out as soon as the last was handled.
    std::atomic<bool> stop{false};
    std::thread poster([&] {
        while (!stop.load()) {
            if (WaitForSingleObject(g_handled, 5) == WAIT_OBJECT_0) PostMessageA(probe, kProbe, 0, 0);
        }
    });

    std::vector<LONGLONG> handledAt;
    handledAt.reserve(1 << 16);
    Sleep(20);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);

    g_handledAt = &handledAt;
    const LONGLONG start = Now();
    Shell().LastCommandId = kRefreshId;
    RunRefreshCommand(dialog, kRefreshId);
    const LONGLONG end = Now();
    g_handledAt = nullptr;

    stop = true;
    poster.join();
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    DestroyWindow(probe);
    CloseHandle(g_handled);

    std::vector<double> gaps;
    LONGLONG last = start;
    for (LONGLONG at : handledAt) {
        gaps.push_back(Milliseconds(at - last));
        last = at;
    }
    gaps.push_back(Milliseconds(end - last));
    std::sort(gaps.begin(), gaps.end());
    GapResult result;
    result.gaps = gaps.size();
    result.longest = gaps.back();
    result.p99 = gaps[std::min(gaps.size() - 1, static_cast<size_t>(static_cast<double>(gaps.size()) * 0.99))];
    result.ports = Shell().DirectResults.size();
    return result;
}

// ---- filling and painting 256 rows ----------------------------------------------------------

std::vector<PortRecord> SampleRecords(size_t count) {
    static const char* const kStatuses[] = {"Available", "In-Use", "Disconnected"};
    std::vector<PortRecord> records(count);
    for (size_t i = 0; i < count; ++i) {
        PortRecord& r = records[i];
        SetText(r.PortName, "COM" + std::to_string(i + 1));
        SetText(r.DeviceName, "\\Device\\Serial" + std::to_string(i));
        SetText(r.Status, kStatuses[i % 3]);
        SetText(r.ParityName, "None");
        SetText(r.DeviceType, "RS232");
        SetText(r.ProgramFolder, "C:\\lab\\");
        SetText(r.ProgramName, "holder.exe");
        SetText(r.ProgramVersion, "1.0.0.0");
        r.Baud = 115200;
        r.DataBits = 8;
        r.StopBits = 10000;
        r.CableKind = static_cast<int32_t>(i % 3) - 1;
        r.ProcessId = 4000 + static_cast<uint32_t>(i);
        r.ObjHandle = 0x1234 + static_cast<uint32_t>(i);
        r.DupProcessID = 32;
        r.DupObjHandle = 0x400 + static_cast<uint32_t>(i);
        r.DupObjAddress = 0x800 + static_cast<uint32_t>(i);
        r.FlowControlBits = 0x2A5;
        r.DtrCommand = 5;
        r.RtsCommand = 4;
        r.DataSendReady = 1;
        r.LBOUND = 0;
        r.UBOUND = static_cast<int32_t>(count) - 1;
    }
    return records;
}

int g_colouredCells = 0;
std::vector<double> g_fillMs;
std::vector<double> g_paintMs;

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// Time the dialog takes to answer one colour request of the list, in microseconds.
double CustomDrawAnswerMicroseconds(HWND dialog) {
    HWND list = GetDlgItem(dialog, kResultsListId);
    constexpr int kCalls = 10000;
    const LONGLONG start = Now();
    for (int i = 0; i < kCalls; ++i) {
        NMLVCUSTOMDRAW draw{};
        draw.nmcd.hdr.hwndFrom = list;
        draw.nmcd.hdr.idFrom = kResultsListId;
        draw.nmcd.hdr.code = static_cast<UINT>(NM_CUSTOMDRAW);
        draw.nmcd.dwDrawStage = CDDS_ITEMPREPAINT | CDDS_SUBITEM;
        draw.nmcd.dwItemSpec = static_cast<DWORD_PTR>(i % 256);
        draw.iSubItem = 1 + i % 5;
        SendMessageA(dialog, WM_NOTIFY, kResultsListId, reinterpret_cast<LPARAM>(&draw));
    }
    return Milliseconds(Now() - start) * 1000.0 / kCalls;
}
WNDPROC g_dialogProc = nullptr;
LRESULT CALLBACK CountingDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NOTIFY) {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        if (header->code == static_cast<UINT>(NM_CUSTOMDRAW) &&
            reinterpret_cast<NMCUSTOMDRAW*>(lParam)->dwDrawStage == (CDDS_ITEMPREPAINT | CDDS_SUBITEM))
            ++g_colouredCells;
    }
    return CallWindowProcA(g_dialogProc, window, message, wParam, lParam);
}

int RunBenchIn(int extraHandles);

// A plain report list over the results list's place: the same columns, filled with the
// same texts cell by cell, nothing else.
HWND MakePlainList(HWND dialog) {
    HWND list = GetDlgItem(dialog, kResultsListId);
    RECT rect{};
    GetWindowRect(list, &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    HWND plain = CreateWindowExA(0, WC_LISTVIEWA, "", WS_CHILD | LVS_REPORT, rect.left, rect.top,
                                 rect.right - rect.left, rect.bottom - rect.top, dialog, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
    SendMessageA(plain, WM_SETFONT, SendMessageA(list, WM_GETFONT, 0, 0), FALSE);
    InsertEmptyColumns(plain, kResultColumnCount);
    return plain;
}

double FillAndPaintPlain(HWND plain, const std::vector<std::vector<CellWrite>>& rows) {
    const LONGLONG start = Now();
    // Drawing held while it fills, as the results list's own filling does.
    SendMessageA(plain, WM_SETREDRAW, FALSE, 0);
    for (size_t r = 0; r < rows.size(); ++r) {
        LVITEMA item{};
        item.mask = LVIF_TEXT;
        item.iItem = static_cast<int>(r);
        item.pszText = const_cast<char*>("");
        SendMessageA(plain, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
        for (const CellWrite& cell : rows[r]) {
            if (cell.text.empty()) continue;
            item.iSubItem = cell.column - 1;
            item.pszText = const_cast<char*>(cell.text.c_str());
            SendMessageA(plain, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
        }
    }
    SendMessageA(plain, WM_SETREDRAW, TRUE, 0);
    RedrawWindow(plain, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    return Milliseconds(Now() - start);
}

double FillAndPaintResults(HWND dialog, const std::vector<PortRecord>& records) {
    ShellState& shell = Shell();
    HWND list = GetDlgItem(dialog, kResultsListId);
    shell.LastCommandId = kRefreshId;
    shell.DirectResults = records;
    ++shell.ResultsGeneration;
    const LONGLONG start = Now();
    ShowResults(dialog, shell.DirectResults);
    RedrawWindow(list, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    return Milliseconds(Now() - start);
}

struct RatioResult {
    double ours = 0, plain = 0, ratio = 0, minRatio = 0, maxRatio = 0;
};

RatioResult MeasureThousandRows(HWND dialog) {
    const std::vector<PortRecord> records = SampleRecords(1000);
    std::vector<std::vector<CellWrite>> texts;
    for (const PortRecord& record : records) texts.push_back(ResultRowCells(record, GetCurrentProcessId()));
    HWND list = GetDlgItem(dialog, kResultsListId);
    HWND plain = MakePlainList(dialog);
    std::vector<double> ours, plains, ratios;
    for (int run = 0; run < 7; ++run) {
        ClearResultList(dialog);
        SendMessageA(plain, LVM_DELETEALLITEMS, 0, 0);
        // Each list paints alone at the same place: the other is hidden meanwhile.
        ShowWindow(plain, SW_HIDE);
        ShowWindow(list, SW_SHOW);
        const double a = FillAndPaintResults(dialog, records);
        ShowWindow(list, SW_HIDE);
        ShowWindow(plain, SW_SHOW);
        const double b = FillAndPaintPlain(plain, texts);
        ours.push_back(a);
        plains.push_back(b);
        ratios.push_back(b > 0 ? a / b : 0);
    }
    ShowWindow(plain, SW_HIDE);
    ShowWindow(list, SW_SHOW);
    DestroyWindow(plain);
    RatioResult result;
    result.ours = Median(ours);
    result.plain = Median(plains);
    result.ratio = result.plain > 0 ? result.ours / result.plain : 0;
    result.minRatio = *std::min_element(ratios.begin(), ratios.end());
    result.maxRatio = *std::max_element(ratios.begin(), ratios.end());
    return result;
}

double MeasureFillAndPaint(HWND dialog, int repeats) {
    ShellState& shell = Shell();
    HWND list = GetDlgItem(dialog, kResultsListId);
    std::vector<double> times;
    for (int i = 0; i < repeats; ++i) {
        ClearResultList(dialog);
        shell.LastCommandId = kRefreshId;
        shell.DirectResults = SampleRecords(256);
        ++shell.ResultsGeneration;
        const LONGLONG start = Now();
        ShowResults(dialog, shell.DirectResults);
        const LONGLONG filled = Now();
        RedrawWindow(list, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        const LONGLONG painted = Now();
        times.push_back(Milliseconds(painted - start));
        g_fillMs.push_back(Milliseconds(filled - start));
        g_paintMs.push_back(Milliseconds(painted - filled));
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

int RunBench(int extraHandles) {
    // The refresh writes its report into the current folder: keep it out of the caller's.
    char temp[MAX_PATH] = {};
    GetTempPathA(sizeof temp, temp);
    const std::string folder = std::string(temp) + "kestrune-bench-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(folder.c_str(), nullptr);
    SetCurrentDirectoryA(folder.c_str());
    const int result = RunBenchIn(extraHandles);
    SetCurrentDirectoryA(temp);
    DeleteFileA((folder + "\\SerialPort.Kestrune").c_str());
    RemoveDirectoryA(folder.c_str());
    return result;
}

int RunBenchIn(int extraHandles) {
    Holder holder;
    if (!StartHolder(extraHandles, holder)) {
        std::fprintf(stderr, "ui_refresh: the handle holder did not start\n");
        return 1;
    }
    HWND dialog = CreateMainDialog(GetModuleHandleA(nullptr));
    if (!dialog) {
        std::fprintf(stderr, "ui_refresh: no window (error %lu)\n", GetLastError());
        return 1;
    }
    ShowMainDialog(dialog);

    const GapResult gaps = MeasureRefreshGaps(dialog);

    g_dialogProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(dialog, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CountingDialogProc)));
    g_colouredCells = 0;
    const int repeats = 5;
    const double paint = MeasureFillAndPaint(dialog, repeats);
    const RatioResult thousand = MeasureThousandRows(dialog);

    std::printf("ui_ports_scanned: %zu\n", gaps.ports);
    std::printf("ui_extra_handles: %d\n", holder.held);
    std::printf("ui_messages_handled: %zu\n", gaps.gaps - 1);
    std::printf("ui_longest_gap_ms: %.1f\n", gaps.longest);
    std::printf("ui_p99_gap_ms: %.1f\n", gaps.p99);
    std::printf("paint_256_rows_ms: %.1f\n", paint);
    std::printf("paint_cells_coloured_per_pass: %d\n", g_colouredCells / repeats);
    std::printf("paint_256_rows_fill_ms: %.1f\n", Median(g_fillMs));
    std::printf("paint_256_rows_draw_ms: %.1f\n", Median(g_paintMs));
    std::printf("custom_draw_answer_us: %.1f\n", CustomDrawAnswerMicroseconds(dialog));
    std::printf("fill_paint_1000_rows_ms: %.1f\n", thousand.ours);
    std::printf("plain_fill_paint_1000_rows_ms: %.1f\n", thousand.plain);
    std::printf("fill_paint_1000_rows_over_plain: %.3f\n", thousand.ratio);
    std::printf("fill_paint_1000_rows_over_plain_min: %.3f\n", thousand.minRatio);
    std::printf("fill_paint_1000_rows_over_plain_max: %.3f\n", thousand.maxRatio);
    std::fflush(stdout);
    DestroyWindow(dialog);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // The window program's sink, as the program installs it at its entry.
    kestrune::WindowProgress windowProgress;
    kestrune::ProgressSinkScope installed(&windowProgress);
    if (argc == 4 && std::strcmp(argv[1], "--hold") == 0)
        return Hold(std::atoi(argv[2]), static_cast<DWORD>(std::strtoul(argv[3], nullptr, 10)));

    int extraHandles = 5000;
    if (const char* env = std::getenv("KESTRUNE_EXTRA_HANDLES")) extraHandles = std::atoi(env);
    if (argc >= 2) extraHandles = std::atoi(argv[1]);
    if (extraHandles < 0) extraHandles = 0;

    if (!kestrune_driver::OnDesktopNamed(kDesktopPrefix)) {
        const int code = kestrune_driver::RerunOnNullDesktop(kDesktopPrefix);
        return code < 0 ? 1 : code;
    }
    return RunBench(extraHandles);
}
