#include "scan/status_bar_progress.h"

#include <windows.h>
#include <commctrl.h>

#include "support/fixed_text.h"
#include "support/handles.h"

namespace kestrune {

namespace {

// A send to another thread's bar waits at most this long.
constexpr UINT kOtherThreadSendMilliseconds = 100;

// What this thread's running scan reports to, and whether its pump met the quit message
// since that scan started. Scans on other threads have their own.
thread_local uint32_t t_scanWindow = 0;
thread_local bool t_quitSeen = false;

ProgressTarget TargetOf(HWND window) {
    if (!window) return ProgressTarget::kNone;
    DWORD processId = 0;
    const DWORD threadId = GetWindowThreadProcessId(window, &processId);
    if (threadId == 0) return ProgressTarget::kNone;
    char className[64] = {};
    GetClassNameA(window, className, sizeof className);
    return JudgeProgressWindow(className, processId, threadId, GetCurrentProcessId(), GetCurrentThreadId());
}

}  // namespace

ProgressTarget JudgeProgressWindow(std::string_view windowClass, uint32_t windowProcessId, uint32_t windowThreadId,
                                   uint32_t ownProcessId, uint32_t ownThreadId) {
    if (windowProcessId == 0 || windowProcessId != ownProcessId) return ProgressTarget::kNone;
    if (UpperAnsi(windowClass) != UpperAnsi(STATUSCLASSNAMEA)) return ProgressTarget::kNone;
    return windowThreadId == ownThreadId ? ProgressTarget::kThisThread : ProgressTarget::kOtherThread;
}

bool StopFromSignals(bool quitSeen, bool reportsToWindow, bool windowExists) {
    return quitSeen || (reportsToWindow && !windowExists);
}

void StatusBarProgress::ScanStarts(uint32_t statusWindow) {
    t_scanWindow = statusWindow;
    t_quitSeen = false;
}

void StatusBarProgress::Show(const ProgressTexts& texts) {
    HWND bar = static_cast<HWND>(FieldToHandle(texts.window));
    const ProgressTarget target = TargetOf(bar);
    if (target == ProgressTarget::kNone) return;
    for (WPARAM part = 0; part < 4; ++part) {
        const auto text = reinterpret_cast<LPARAM>(texts.part(part));
        if (target == ProgressTarget::kThisThread) {
            SendMessageA(bar, SB_SETTEXTA, part, text);
        } else {
            DWORD_PTR result = 0;
            if (!SendMessageTimeoutA(bar, SB_SETTEXTA, part, text, SMTO_ABORTIFHUNG | SMTO_BLOCK,
                                     kOtherThreadSendMilliseconds, &result))
                return;
        }
    }
    if (target == ProgressTarget::kThisThread) UpdateWindow(bar);
}

bool StatusBarProgress::TakesProgress(uint32_t window) {
    return TargetOf(static_cast<HWND>(FieldToHandle(window))) != ProgressTarget::kNone;
}

void StatusBarProgress::Pump() {
    int32_t sleep = 0;
    if (PumpOneMessage(sleep)) t_quitSeen = true;
}

bool StatusBarProgress::StopRequested() {
    const bool reports = t_scanWindow != 0;
    return StopFromSignals(t_quitSeen, reports,
                           reports && IsWindow(static_cast<HWND>(FieldToHandle(t_scanWindow))));
}

bool PumpOneMessage(int32_t& sleepMilliseconds) {
    MSG message;
    bool quit = false;
    if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            // The main loop ends on this message: leave it for the loop.
            PostQuitMessage(static_cast<int>(message.wParam));
            quit = true;
        } else {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    Sleep(sleepMilliseconds < 0 ? 0 : static_cast<DWORD>(sleepMilliseconds));
    return quit;
}

}  // namespace kestrune
