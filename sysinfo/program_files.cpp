#include "sysinfo/program_files.h"

#include <cstdio>
#include <vector>

#include "support/fixed_text.h"
#include "support/handles.h"

namespace kestrune {
namespace {

const char* const kVersionKeys[8] = {
    "ProductName", "ProductVersion", "ProductDescription", "FileVersion",
    "InternalName", "CompanyName", "LegalCopyRight", "OriginalFileName",
};

int32_t ModuleField(HMODULE module) {
    return static_cast<int32_t>(HandleToField(reinterpret_cast<HANDLE>(module)));
}

}  // namespace

ModulePath SplitModulePath(std::string_view fullName) {
    std::string path(fullName);
    for (char& c : path)
        if (c == '\\') c = '/';
    std::size_t cut = path.find_last_of("/:");
    if (cut == std::string::npos) return {std::string(), path};
    return {path.substr(0, cut + 1), path.substr(cut + 1)};
}

std::string ModuleFileName(HMODULE module) {
    std::vector<char> buffer(MAX_PATH);
    for (;;) {
        DWORD got = GetModuleFileNameA(module, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (got == 0) return {};
        if (got < buffer.size()) return std::string(buffer.data(), got);
        if (buffer.size() >= 32768) return std::string(buffer.data(), got);
        buffer.resize(buffer.size() * 2);
    }
}

HMODULE CodeModule() {
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCSTR>(&CodeModule), &module))
        return nullptr;
    return module;
}

bool ReadVersionStrings(const char* file, char (*first)[kInfoTextSize]) {
    if (!file || !first) return false;
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(file, &ignored);
    if (size == 0) return false;
    std::vector<char> data(size);
    if (!GetFileVersionInfoA(file, 0, size, data.data())) return true;

    char language[16] = "040904E4";
    void* translation = nullptr;
    UINT translationLen = 0;
    if (VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", &translation, &translationLen) &&
        translation && translationLen >= 4) {
        const WORD* pair = static_cast<const WORD*>(translation);
        std::snprintf(language, sizeof language, "%04X%04X", pair[0], pair[1]);
    }
    for (int i = 0; i < 8; ++i) {
        std::string query = std::string("\\StringFileInfo\\") + language + "\\" + kVersionKeys[i];
        void* value = nullptr;
        UINT valueLen = 0;
        if (VerQueryValueA(data.data(), query.c_str(), &value, &valueLen) && value && valueLen > 0) {
            // valueLen counts characters, terminator included; never read past it.
            StoreText(first[i], kInfoTextSize,
                      std::string_view(static_cast<const char*>(value), BoundedLength(static_cast<const char*>(value), valueLen)));
        } else {
            StoreText(first[i], kInfoTextSize, "");
        }
    }
    return true;
}

void ReadProgramFiles(OsInfoRecord& info) {
    HMODULE program = CodeModule();
    info.ProgramInstance = ModuleField(program);
    std::string programFile = ModuleFileName(program);
    ModulePath programPath = SplitModulePath(programFile);
    SetText(info.ProgramPath, programPath.folder);
    SetText(info.ProgramName, programPath.name);

    HMODULE parent = GetModuleHandleA(nullptr);
    info.ParentInstance = ModuleField(parent);
    std::string parentFile = ModuleFileName(parent);
    ModulePath parentPath = SplitModulePath(parentFile);
    SetText(info.ParentPath, parentPath.folder);
    SetText(info.ParentName, parentPath.name);

    // The files are read by their full names: a bare name would be searched for and could
    // find another file of that name, or none when the module lives elsewhere.
    if (!programFile.empty() && ReadVersionStrings(programFile.c_str(), &info.ProductName))
        info.HasVersionInfo = 1;
    if (!parentFile.empty() && ReadVersionStrings(parentFile.c_str(), &info.ParentProductName))
        info.HasVersionInfo = 1;
}

}  // namespace kestrune
