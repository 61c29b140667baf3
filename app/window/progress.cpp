#include "app/window/progress.h"

#include "app/window/refresh.h"

namespace kestrune {

bool WindowProgress::StopRequested() { return Shell().CloseRequested || StatusBarProgress::StopRequested(); }

}  // namespace kestrune
