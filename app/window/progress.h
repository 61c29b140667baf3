#pragma once
// The window's side of progress: the status bar sink of scan/status_bar_progress.h, which
// also stops the scan once the main window is closing. The window program installs it at
// its entry for the whole run.
#include "scan/status_bar_progress.h"

namespace kestrune {

class WindowProgress : public StatusBarProgress {
public:
    bool StopRequested() override;
};

}  // namespace kestrune
