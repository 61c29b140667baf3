// kestrune-scan: the console front end (see app/scan_console.h).
#include <string>
#include <vector>

#include "app/console/scan_console.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0));
    return kestrune::RunScanConsole(args);
}
