// When started with KESTRUNE_SYSINFO_HELPER set, this test program does one job for a
// test in its parent and exits before any test runs:
//   osinfo   GatherOpSysInfo; writes "field=value" lines to KESTRUNE_SYSINFO_OUT
//   display  DisplayOpSysInfo (the log lands in the current folder)
//   envlist  writes EnvironmentListing() to KESTRUNE_SYSINFO_OUT
#include <windows.h>

#include <cstdio>
#include <string>

#include "exports/system_info_exports.h"
#include "support/fixed_text.h"
#include "sysinfo/environment.h"

namespace {

std::string Variable(const char* name) {
    char value[1024];
    DWORD got = GetEnvironmentVariableA(name, value, sizeof value);
    return got > 0 && got < sizeof value ? std::string(value, got) : std::string();
}

void WriteOut(const std::string& text) {
    std::string out = Variable("KESTRUNE_SYSINFO_OUT");
    if (out.empty()) return;
    if (FILE* file = std::fopen(out.c_str(), "wb")) {
        std::fwrite(text.data(), 1, text.size(), file);
        std::fclose(file);
    }
}

std::string OsInfoText(const kestrune::OsInfoRecord& info) {
    using kestrune::Text;
    std::string text;
    auto add = [&text](const char* name, const std::string& value) { text += std::string(name) + "=" + value + "\n"; };
    add("dwMajorVersion", std::to_string(info.dwMajorVersion));
    add("dwMinorVersion", std::to_string(info.dwMinorVersion));
    add("dwBuildNumber", std::to_string(info.dwBuildNumber));
    add("dwPlatformId", std::to_string(info.dwPlatformId));
    add("szCSDVersion", std::string(Text(info.szCSDVersion)));
    add("OsLong", std::to_string(info.OsLong));
    add("OsString", std::string(Text(info.OsString)));
    add("OsFamilyLong", std::to_string(info.OsFamilyLong));
    add("BuildName", std::string(Text(info.BuildName)));
    add("ServicePack", std::string(Text(info.ServicePack)));
    add("OsIs64Bit", std::to_string(info.OsIs64Bit));
    return text;
}

struct HelperJob {
    HelperJob() {
        std::string job = Variable("KESTRUNE_SYSINFO_HELPER");
        if (job.empty()) return;
        kestrune::OsInfoRecord info{};
        int code = 0;
        if (job == "osinfo") {
            GatherOpSysInfo(&info);
            WriteOut(OsInfoText(info));
        } else if (job == "display") {
            code = DisplayOpSysInfo(&info);
        } else if (job == "envlist") {
            WriteOut(kestrune::EnvironmentListing());
        } else {
            code = 99;
        }
        ExitProcess(static_cast<UINT>(code));
    }
};

const HelperJob kHelperJob;

}  // namespace
