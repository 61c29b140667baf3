#include "app/window/main_dialog.h"

#include <commctrl.h>
#include <objbase.h>

#include <cstring>
#include <optional>

#include "app/common/program_icon.h"
#include "app/window/class_roads.h"
#include "app/window/list_control.h"
#include "app/window/refresh.h"
#include "app/window/result_rows.h"
#include "app/window/results_view.h"
#include "app/window/row_colours.h"
#include "app/window/shell_state.h"
#include "record/port_record.h"
#include "support/fixed_text.h"

namespace kestrune {

namespace {

constexpr DWORD kDialogStyle = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_CLIPSIBLINGS |
                               WS_CLIPCHILDREN | DS_CENTER | DS_SETFONT | DS_3DLOOK | DS_NOFAILCREATE;
constexpr DWORD kListStyle = 0x50000001;    // WS_CHILD | WS_VISIBLE | LVS_REPORT
// The results list asks for its cells when it draws them (see app/window/result_rows.h).
constexpr DWORD kResultsListStyle = kListStyle | LVS_OWNERDATA;
constexpr DWORD kButtonStyle = 0x50010F00;  // WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_CENTER | BS_VCENTER
constexpr DWORD kStatusBarStyle = 0x50000010;

struct ChildControl {
    const char* className;
    const char* text;
    int id;
    int x, y, width, height;  // dialog units
    DWORD style;
};

void AppendWide(std::vector<WORD>& out, const char* text) {
    for (const char* c = text; *c; ++c) out.push_back(static_cast<WORD>(static_cast<unsigned char>(*c)));
    out.push_back(0);
}

HWND AddChild(HWND dialog, HINSTANCE instance, const ChildControl& control) {
    RECT rect{control.x, control.y, control.x + control.width, control.y + control.height};
    MapDialogRect(dialog, &rect);
    return CreateWindowExA(0, control.className, control.text, control.style, rect.left, rect.top,
                           rect.right - rect.left, rect.bottom - rect.top, dialog,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(control.id)), instance, nullptr);
}

void CreateStatusBar(HWND dialog) {
    HWND bar = CreateStatusWindowA(static_cast<LONG>(kStatusBarStyle), "", dialog, kStatusBarId);
    RECT client{};
    GetClientRect(bar, &client);
    std::array<int, 4> edges = StatusPartEdges(client.right - client.left);
    SendMessageA(bar, SB_SETPARTS, edges.size(), reinterpret_cast<LPARAM>(edges.data()));
    char text[kTextSize];
    StoreText(text, sizeof text, kStartStatusText);
    SendMessageA(bar, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(text));
}

// The list's colour requests, answered from the shown records. Empty when the notice is not
// a custom-draw notice of the results list.
std::optional<LRESULT> ResultColourAnswer(ShellState& shell, LPARAM lParam) {
    auto* header = reinterpret_cast<NMHDR*>(lParam);
    if (!header || header->idFrom != kResultsListId || header->code != static_cast<UINT>(NM_CUSTOMDRAW))
        return std::nullopt;
    auto& draw = *reinterpret_cast<NMLVCUSTOMDRAW*>(lParam);
    const PortRecord* record = nullptr;
    if (draw.nmcd.dwDrawStage == (CDDS_ITEMPREPAINT | CDDS_SUBITEM) && !IsSeparatorSubItem(draw.iSubItem))
        record = DisplayedRecord(shell, static_cast<size_t>(draw.nmcd.dwItemSpec));
    return ResultListCustomDraw(draw, record);
}

// The list asks for colours once per cell it paints. A dialog procedure would hand each answer
// back through DWLP_MSGRESULT, which costs a round trip to the window server on some systems;
// the dialog's window procedure answers them directly instead. Every main dialog is made from
// one template, so they share the system's dialog window procedure, kept here.
WNDPROC g_dialogWindowProc = nullptr;

LRESULT CALLBACK ColouringWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NOTIFY) {
        if (std::optional<LRESULT> answer = ResultColourAnswer(Shell(), lParam)) return *answer;
        if (AnswerCellRequest(reinterpret_cast<NMHDR*>(lParam))) return 0;
    }
    return CallWindowProcA(g_dialogWindowProc, window, message, wParam, lParam);
}

// The program's icon on the dialog's class, large (title bar switcher, taskbar) and small
// (caption), each drawn at the size the system asks for. Shared icons: the system owns them.
// A module without the icon (a test or benchmark program) shows the system information icon.
void SetProgramIcon(HWND dialog, HINSTANCE instance) {
    auto load = [instance](int width, int height) {
        return static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(KESTRUNE_PROGRAM_ICON), IMAGE_ICON, width,
                                             height, LR_SHARED));
    };
    HICON largeIcon = load(GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON));
    HICON smallIcon = load(GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON));
    if (!largeIcon) largeIcon = smallIcon = LoadIconA(nullptr, MAKEINTRESOURCEA(32516));  // IDI_INFORMATION
    if (largeIcon) SetClassLongPtrA(dialog, GCLP_HICON, reinterpret_cast<LONG_PTR>(largeIcon));
    if (smallIcon) SetClassLongPtrA(dialog, GCLP_HICONSM, reinterpret_cast<LONG_PTR>(smallIcon));
}

INT_PTR Answer(HWND window, LRESULT result) {
    // A dialog procedure hands a message result back through DWLP_MSGRESULT.
    if (result == 0) return FALSE;
    SetWindowLongPtrA(window, DWLP_MSGRESULT, result);
    return TRUE;
}

}  // namespace

std::array<int, 4> StatusPartEdges(int width) {
    std::array<int, 4> edges{};
    for (int i = 0; i < 4; ++i) {
        const long long numerator = static_cast<long long>(i + 1) * width;
        long long quotient = numerator / 4;
        long long remainder = numerator % 4;
        if (remainder < 0) {  // floor division for a negative width
            remainder += 4;
            quotient -= 1;
        }
        if (remainder > 2 || (remainder == 2 && (quotient & 1))) quotient += 1;
        edges[static_cast<size_t>(i)] = static_cast<int>(quotient);
    }
    return edges;
}

std::vector<WORD> MainDialogTemplate() {
    std::vector<WORD> words(sizeof(DLGTEMPLATE) / sizeof(WORD));
    DLGTEMPLATE header{};
    header.style = kDialogStyle;
    header.dwExtendedStyle = WS_EX_WINDOWEDGE;
    header.cdit = 0;
    header.x = 0;
    header.y = 0;
    header.cx = 600;
    header.cy = 155;
    std::memcpy(words.data(), &header, sizeof header);
    words.push_back(0);  // no menu
    words.push_back(0);  // the system dialog class
    AppendWide(words, "Kestrune");
    words.push_back(8);  // point size
    AppendWide(words, "MS Sans Serif");
    return words;
}

bool IsCommandToRun(WPARAM wParam) {
    const WORD code = HIWORD(wParam);
    return code == 0 || code == 1;
}

HWND CreateMainDialog(HINSTANCE instance) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);

    const std::vector<WORD> dialogTemplate = MainDialogTemplate();
    HWND dialog = CreateDialogIndirectParamA(instance, reinterpret_cast<const DLGTEMPLATE*>(dialogTemplate.data()),
                                             nullptr, MainDialogProc, 0);
    if (!dialog) return nullptr;
    const auto dialogProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(dialog, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ColouringWindowProc)));
    if (!g_dialogWindowProc) g_dialogWindowProc = dialogProc;

    static const ChildControl kControls[] = {
        {WC_LISTVIEWA, "Listview1", kResultsListId, 10, 10, 580, 100, kResultsListStyle},
        {"BUTTON", "Refresh", kRefreshId, 183, 120, 45, 15, kButtonStyle},
        {"BUTTON", "Refresh using Direct COM", kRefreshEarlyBoundId, 233, 120, 90, 15, kButtonStyle},
        {"BUTTON", "Refresh using Late-Bound COM", kRefreshLateBoundId, 328, 120, 105, 15, kButtonStyle},
        {"BUTTON", "Refresh using Late-Bound COM (No Registry)", kRefreshNoRegistryId, 438, 120, 160, 15,
         kButtonStyle},
    };
    for (const ChildControl& control : kControls) AddChild(dialog, instance, control);
    for (int id : {kRefreshEarlyBoundId, kRefreshLateBoundId, kRefreshNoRegistryId})
        ShowWindow(GetDlgItem(dialog, id), SW_HIDE);
    HWND lines = AddChild(dialog, instance, {WC_LISTVIEWA, "Listview1", kLinesListId, 10, 135, 580, 100, kListStyle});

    CreateResultColumns(dialog);
    InsertEmptyColumns(lines, 4);
    SendMessageA(GetDlgItem(dialog, kResultsListId), LVM_SETBKCOLOR, 0, 0);
    SendMessageA(lines, LVM_SETBKCOLOR, 0, 0);

    SetProgramIcon(dialog, instance);
    return dialog;
}

void ShowMainDialog(HWND dialog) {
    ShowWindow(dialog, SW_SHOWNORMAL);
    UpdateWindow(dialog);
}

INT_PTR CALLBACK MainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    ShellState& shell = Shell();
    switch (message) {
        case WM_INITDIALOG:
            shell.MainDialog = window;
            CreateStatusBar(window);
            return FALSE;
        case WM_NOTIFY:
            if (std::optional<LRESULT> answer = ResultColourAnswer(shell, lParam)) return Answer(window, *answer);
            AnswerCellRequest(reinterpret_cast<NMHDR*>(lParam));
            return FALSE;
        case WM_COMMAND:
            // A command that arrives while a scan runs (only another program or the pumped
            // queue can deliver one: the buttons are off) is dropped: a second scan inside
            // the first would replace the arrays the first is still filling.
            if (IsCommandToRun(wParam) && !shell.RefreshRunning) {
                shell.LastCommandId = LOWORD(wParam);
                RunRefreshCommand(window, shell.LastCommandId);
            }
            return FALSE;
        case WM_GETMINMAXINFO: {
            auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
            if (limits) limits->ptMinTrackSize = POINT{kMinTrackWidth, kMinTrackHeight};
            return FALSE;
        }
        case WM_SYSCOMMAND:
            if ((wParam & 0xFFF0) == SC_CLOSE) {
                shell.CloseRequested = true;
                PostQuitMessage(0);
                DestroyWindow(window);
                return TRUE;
            }
            return FALSE;
        case WM_CLOSE:
            // Handled here, so the dialog layer adds no cancel command of its own.
            shell.CloseRequested = true;
            PostQuitMessage(0);
            return TRUE;
        case WM_DESTROY:
            ForgetRowTexts(GetDlgItem(window, kResultsListId));
            return FALSE;
        case WM_NCDESTROY:
            if (shell.MainDialog == window) {
                shell.MainDialog = nullptr;
                if (shell.RefreshRunning) shell.CloseRequested = true;
            }
            return FALSE;
        default:
            return FALSE;
    }
}

int RunMessageLoop() {
    MSG message;
    for (;;) {
        const BOOL got = GetMessageA(&message, nullptr, 0, 0);
        if (got == 0) return static_cast<int>(message.wParam);
        if (got == -1) return 0;  // no queue to read: nothing more will arrive
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

int RunWindowProgram(HINSTANCE instance) {
    // COM runs in this thread's apartment, for the class roads.
    const bool com = SUCCEEDED(CoInitialize(nullptr));
    HWND dialog = CreateMainDialog(instance);
    if (dialog) {
        ShowMainDialog(dialog);
        RunMessageLoop();
    }
    ReleaseRoadObjects();
    if (com) CoUninitialize();
    return 0;
}

}  // namespace kestrune
