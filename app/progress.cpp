#include "app/progress.h"

#include <windows.h>
#include <commctrl.h>

#include "app/refresh.h"
#include "support/fixed_text.h"
#include "support/handles.h"

namespace kestrune {

namespace {

// A send to another thread's bar waits at most this long.
constexpr UINT kOtherThreadSendMilliseconds = 100;

ProgressTarget TargetOf(HWND window) {
    if (!window) return ProgressTarget::kNone;
    DWORD processId = 0;
    const DWORD threadId = GetWindowThreadProcessId(window, &processId);
    if (threadId == 0) return ProgressTarget::kNone;
    char className[64] = {};
    GetClassNameA(window, className, sizeof className);
    return JudgeProgressWindow(className, processId, threadId, GetCurrentProcessId(), GetCurrentThreadId());
}

// Installed before the program's first scan and kept to its end, in every program built
// from these sources (the window, the console front end, the class server).
StatusBarProgress g_statusBarProgress;
[[maybe_unused]] const bool g_installed = (SetProgressSink(&g_statusBarProgress), true);

}  // namespace

ProgressTarget JudgeProgressWindow(std::string_view windowClass, uint32_t windowProcessId, uint32_t windowThreadId,
                                   uint32_t ownProcessId, uint32_t ownThreadId) {
    if (windowProcessId == 0 || windowProcessId != ownProcessId) return ProgressTarget::kNone;
    if (UpperAnsi(windowClass) != UpperAnsi(STATUSCLASSNAMEA)) return ProgressTarget::kNone;
    return windowThreadId == ownThreadId ? ProgressTarget::kThisThread : ProgressTarget::kOtherThread;
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
    PumpOneMessage(sleep);
}

bool StatusBarProgress::StopRequested() { return Shell().CloseRequested; }

void PumpOneMessage(int32_t& sleepMilliseconds) {
    MSG message;
    if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            // The main loop ends on this message: leave it for the loop.
            PostQuitMessage(static_cast<int>(message.wParam));
        } else {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    Sleep(sleepMilliseconds < 0 ? 0 : static_cast<DWORD>(sleepMilliseconds));
}

}  // namespace kestrune
