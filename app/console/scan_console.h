#pragma once
// kestrune-scan's whole run: the command line, the scan, the listing or the watch, and
// the output in the chosen format. Returns the exit status.
#include <string>
#include <vector>

namespace kestrune {

// args: the arguments after the program name.
int RunScanConsole(const std::vector<std::string>& args);

}  // namespace kestrune
