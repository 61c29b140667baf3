#include "app/window/progress.h"

#include "app/window/shell_state.h"

namespace kestrune {

bool WindowProgress::StopRequested() { return Shell().CloseRequested || StatusBarProgress::StopRequested(); }

}  // namespace kestrune
