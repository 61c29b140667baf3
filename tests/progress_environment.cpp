// Every test program reports progress as the window program does: its sink (status bars of
// this process, stop once the window is closing) is installed for the whole run, as the
// window program's entry installs it.
#include <gtest/gtest.h>

#include "app/window/progress.h"

namespace {

class WindowProgressEnvironment : public ::testing::Environment {
public:
    void SetUp() override { previous_ = kestrune::SetProgressSink(&sink_); }
    void TearDown() override { kestrune::SetProgressSink(previous_); }

private:
    kestrune::WindowProgress sink_;
    kestrune::ProgressSink* previous_ = nullptr;
};

[[maybe_unused]] ::testing::Environment* const g_environment =
    ::testing::AddGlobalTestEnvironment(new WindowProgressEnvironment);

}  // namespace
