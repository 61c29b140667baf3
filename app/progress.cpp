#include "app/progress.h"

#include <windows.h>
#include <commctrl.h>

#include "support/fixed_text.h"
#include "support/handles.h"

namespace kestrune {

void ProgressUpdate(PortRecord& record) {
    HWND bar = reinterpret_cast<HWND>(FieldToHandle(record.StatusWindow));
    if (bar) {
        const char* texts[4] = {record.FunctionName, record.StatusText1, record.StatusText2, record.StatusText3};
        for (WPARAM part = 0; part < 4; ++part) {
            // Fields may come from another program unterminated: pass a bounded copy.
            std::string text(Text(*reinterpret_cast<const char(*)[kTextSize]>(texts[part])));
            SendMessageA(bar, SB_SETTEXTA, part, reinterpret_cast<LPARAM>(text.c_str()));
        }
        UpdateWindow(bar);
    }
    int32_t sleep = 0;
    PumpOneMessage(sleep);
}

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

void ReportStep(PortRecord& record, std::string_view routine, std::string_view step) {
    if (record.StatusWindow == 0) return;
    SetText(record.FunctionName, routine);
    SetText(record.StatusText1, step);
    SetText(record.StatusText2, " ");
    SetText(record.StatusText3, "");
    ProgressUpdate(record);
}

}  // namespace kestrune
