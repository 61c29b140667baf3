#include "sysinfo/system_facts.h"

#include <cstdint>

#include "support/boundary.h"
#include "sysinfo/build_tool.h"
#include "sysinfo/program_files.h"
#include "sysinfo/windows_version.h"

namespace kestrune {

namespace {

// One group behind the boundary: what it throws ends that group alone.
template <typename Group>
void GatherGroup(OsInfoRecord& info, Group group) noexcept {
    CallAtBoundary(
        [&]() -> int32_t {
            group(info);
            return 0;
        },
        [](int32_t number) { return number; });
}

}  // namespace

void GatherSystemFacts(OsInfoRecord& info) noexcept {
    GatherGroup(info, ReadWindowsVersion);
    GatherGroup(info, ReadBuildTool);
    GatherGroup(info, ReadProgramFiles);
}

}  // namespace kestrune
