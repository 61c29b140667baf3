#pragma once
// The program's one window: a dialog with the results list, the refresh buttons, a second
// list that stays empty and a four-part status bar; its procedure and the message loop.
#include <windows.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "app/window/control_ids.h"

namespace kestrune {

constexpr int kMinTrackWidth = 402;
constexpr int kMinTrackHeight = 180;

// The status-bar text shown until the first refresh.
inline constexpr const char kStartStatusText[] = " Press \"Refresh\" to begin";

// Right edges of the four status-bar parts for a bar of the given client width:
// (i + 1) * width / 4, rounded to the nearest integer, ties to even.
std::array<int, 4> StatusPartEdges(int width);

// The in-memory dialog template (DLGTEMPLATE, no items): caption "Kestrune", 600 x 155
// dialog units, "MS Sans Serif" 8 pt, created invisible and centred.
std::vector<WORD> MainDialogTemplate();

// True for a command message whose notification code (high word of wParam) is 0 or 1.
bool IsCommandToRun(WPARAM wParam);

// Start-up steps up to the shown window: creates the dialog hidden, adds its controls,
// columns, colours and icon. Returns the dialog (null when it cannot be created).
HWND CreateMainDialog(HINSTANCE instance);
// Shows the dialog built by CreateMainDialog.
void ShowMainDialog(HWND dialog);

INT_PTR CALLBACK MainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// GetMessage / TranslateMessage / DispatchMessage until the quit message; returns its code.
int RunMessageLoop();

// The window program: builds and shows the dialog, runs the loop, returns 0.
int RunWindowProgram(HINSTANCE instance);

}  // namespace kestrune
