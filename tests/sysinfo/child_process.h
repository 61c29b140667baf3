#pragma once
// Runs this test program again as a helper child: KESTRUNE_SYSINFO_HELPER names the job
// (see helper_main.cpp), KESTRUNE_SYSINFO_OUT the file it writes its answer to.
#include <windows.h>

#include <string>
#include <vector>

#include "test_helpers.h"

namespace kestrune::testing {

// A fresh folder under the temporary folder, removed with everything in it.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};

// This program's full file name.
std::string OwnExecutable();

// Starts exe with exactly the environment entries given (NAME=value) and the given
// current folder; waits for it. Returns its exit code, or -1 when it did not start.
int RunWithEnvironment(const std::string& exe, const std::vector<std::string>& environment,
                       const std::string& currentFolder);

// The current environment plus the helper's two variables.
std::vector<std::string> HelperEnvironment(const std::string& job, const std::string& outFile);

using test_helpers::ReadWholeFile;
bool FileExists(const std::string& path);

}  // namespace kestrune::testing
