#include "exports/system_info_exports.h"

#include "record/result_codes.h"
#include "support/boundary.h"
#include "sysinfo/build_tool.h"
#include "sysinfo/information_log.h"
#include "sysinfo/program_files.h"
#include "sysinfo/system_facts.h"
#include "sysinfo/windows_version.h"

using kestrune::OsInfoRecord;

namespace {
// Every information export: 9 for a null record, and the boundary (an exception gives its
// error number, 7 for out of memory; fields not reached keep what they held).
template <typename Body>
int32_t InfoExport(OsInfoRecord* info, Body body) noexcept {
    if (!info) return kestrune::kNullArgumentResult;
    return kestrune::CallAtBoundary([&]() -> int32_t { return body(*info); }, [](int32_t number) { return number; });
}

// A group that fills the record and answers 0.
template <typename Fill>
int32_t FillExport(OsInfoRecord* info, Fill fill) noexcept {
    return InfoExport(info, [&](OsInfoRecord& r) {
        fill(r);
        return 0;
    });
}
}  // namespace

KESTRUNE_API int32_t WINAPI GetWindowsOs(OsInfoRecord* info) { return FillExport(info, kestrune::ReadWindowsVersion); }

KESTRUNE_API int32_t WINAPI GetCompiler(OsInfoRecord* info) { return FillExport(info, kestrune::ReadBuildTool); }

KESTRUNE_API int32_t WINAPI GetProgram(OsInfoRecord* info) { return FillExport(info, kestrune::ReadProgramFiles); }

KESTRUNE_API int32_t WINAPI GatherOpSysInfo(OsInfoRecord* info) {
    return FillExport(info, kestrune::GatherSystemFacts);
}

KESTRUNE_API int32_t WINAPI DisplayOpSysInfo(OsInfoRecord* info) {
    return FillExport(info, kestrune::AppendInformationLog);
}
