#include "sysinfo/information_log.h"

#include <new>

#include "support/boundary.h"
#include "support/file_io.h"
#include "support/fixed_text.h"
#include "support/handles.h"
#include "support/number_text.h"
#include "sysinfo/program_files.h"
#include "sysinfo/system_facts.h"

namespace kestrune {

std::string InformationLogName(std::string_view executableFullName) {
    std::size_t slash = executableFullName.find_last_of("\\/");
    std::string_view name = slash == std::string_view::npos ? executableFullName : executableFullName.substr(slash + 1);
    std::size_t point = name.find('.');
    if (point != std::string_view::npos) name = name.substr(0, point);
    return std::string(name) + ".IncludesLog";
}

std::string InformationLogBlock(const OsInfoRecord& info) {
    std::string block;
    const std::string ten(10, ' '), fifteen(15, ' '), five(5, ' ');
    auto line = [&](const std::string& indent, const char* label, std::string_view value) {
        block.append(indent).append(label).append(five).append(value).append("\r\n");
    };
    auto empty = [&] { block.append("\r\n"); };
    block.append("DisplayOpSysInfo\r\n");
    block.append(five).append("***   O p e r a t i n g   S y s t e m   I n f o r m a t i o n :   ***\r\n");
    line(ten, "OsString = ", Text(info.OsString));
    line(ten, "OsLong = ", SignedDecimal(info.OsLong));
    line(fifteen, "dwMajorVersion = ", SignedDecimal(info.dwMajorVersion));
    line(fifteen, "dwMinorVersion = ", SignedDecimal(info.dwMinorVersion));
    line(ten, "OsFamilyString = ", Text(info.OsFamilyString));
    line(ten, "OsFamilyLong = ", SignedDecimal(info.OsFamilyLong));
    line(fifteen, "dwPlatformId = ", SignedDecimal(info.dwPlatformId));
    empty();
    line(ten, "dwBuildNumber = ", SignedDecimal(info.dwBuildNumber));
    line(ten, "Build Name = ", Text(info.BuildName));
    line(ten, "Service Pack = ", Text(info.ServicePack));
    line(ten, "Os Is 64 bit = ", SignedDecimal(info.OsIs64Bit));
    empty();
    line(ten, "RT Version = ", Text(info.RtVersionText));
    line(ten, "Revision = ", Text(info.RevisionText));
    line(ten, "Compiled As ", Text(info.CompiledAs));
    empty();
    line(ten, "Program Instance = ", SignedDecimal(info.ProgramInstance));
    line(ten, "Program Path = ", Text(info.ProgramPath));
    line(ten, "Program Name = ", Text(info.ProgramName));
    empty();
    line(ten, "Program PARENT Instance = ", SignedDecimal(info.ParentInstance));
    line(ten, "Program PARENT Path = ", Text(info.ParentPath));
    line(ten, "Program PARENT Name = ", Text(info.ParentName));
    empty();
    static const char* const kProgramLabels[8] = {
        "Product Name = ", "Product Version = ", "Product Description = ", "FileVersion = ",
        "Internal Name = ", "Company Name = ", "Legal CopyRight = ", "Original File Name = ",
    };
    const char(*program)[kInfoTextSize] = &info.ProductName;
    for (int i = 0; i < 8; ++i) line(ten, kProgramLabels[i], Text(program[i]));
    empty();
    static const char* const kParentLabels[8] = {
        "ParentProduct Name = ", "ParentProduct Version = ", "ParentProduct Description = ",
        "ParentFileVersion = ", "ParentInternal Name = ", "ParentCompany Name = ",
        "ParentLegal CopyRight = ", "ParentOriginal File Name = ",
    };
    const char(*parent)[kInfoTextSize] = &info.ParentProductName;
    for (int i = 0; i < 8; ++i) line(ten, kParentLabels[i], Text(parent[i]));
    empty();  // the closing line end of the block
    return block;
}

DWORD AppendInformationLog(OsInfoRecord& info) noexcept {
    // Any failure on the way (not only out of memory) is a result, never an escape.
    return SystemErrorAtBoundary([&]() -> DWORD {
        GatherSystemFacts(info);
        std::string block = InformationLogBlock(info);
        std::string logName = InformationLogName(ModuleFileName(nullptr));
        UniqueHandle file(CreateFileA(logName.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return GetLastError();
        if (!WriteAll(file.get(), block)) return GetLastError();
        return ERROR_SUCCESS;
    });
}

}  // namespace kestrune
