#pragma once
// The refresh commands: one scan of the serial ports per command, its rows, title and
// end-of-scan texts, then the diagnostic report. The shell's state is app/window/shell_state.h.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace kestrune {

// "Kestrune - N USB and Serial Ports found".
std::string FoundPortsTitle(size_t recordCount);

// The title that says so: "Kestrune - No USB and Serial Ports found".
std::string NoPortsTitle();

// The refresh command for one identifier: buttons off, list cleared, arrays reset, the
// road, title, " Scan Complete", buttons on, report. Returns false, doing nothing, when
// a refresh is already running. When the window is closed during the road, the scan stops
// and the rest is left out: no window is touched and no report of a partial scan written.
bool RunRefreshCommand(HWND dialog, uint32_t commandId);

}  // namespace kestrune
