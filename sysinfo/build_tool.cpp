#include "sysinfo/build_tool.h"

#include <windows.h>

#include <cstdio>

#include "support/fixed_text.h"
#include "sysinfo/program_files.h"

namespace kestrune {
namespace {

std::string HexDigits(uint32_t value) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%X", value);
    return digits;
}

}  // namespace

int32_t BuildToolCode(int major, int minor) {
    auto bcd = [](int value) {
        int32_t code = 0, shift = 0;
        do {
            code |= (value % 10) << shift;
            value /= 10;
            shift += 4;
        } while (value > 0);
        return code;
    };
    if (major < 0) major = 0;
    if (major > 999) major = 999;
    if (minor < 0) minor = 0;
    if (minor > 99) minor = 99;
    return (bcd(major) << 8) | bcd(minor);
}

std::string BuildToolCodeText(int32_t code) {
    std::string digits = HexDigits(static_cast<uint32_t>(code));
    while (digits.size() < 3) digits.insert(digits.begin(), '0');
    return digits.substr(0, digits.size() - 2) + "." + digits.substr(digits.size() - 2);
}

std::string RevisionCodeText(int32_t revision) {
    return "&H" + HexDigits(static_cast<uint32_t>(revision));
}

void ReadBuildTool(OsInfoRecord& info) {
    info.RtVersion = BuildToolCode(__GNUC__, __GNUC_MINOR__);
    SetText(info.RtVersionText, BuildToolCodeText(info.RtVersion));
    info.Revision = BuildToolCode(__MINGW64_VERSION_MAJOR, __MINGW64_VERSION_MINOR);
    SetText(info.RevisionText, RevisionCodeText(info.Revision));
    // The same code is built into the executable and into the class library.
    info.CompiledAsCode = CodeModule() == GetModuleHandleA(nullptr) ? 1 : 0;
    SetText(info.CompiledAs, info.CompiledAsCode == 0 ? "DLL" : "EXE");
}

}  // namespace kestrune
