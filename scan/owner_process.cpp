#include "scan/owner_process.h"

#include <windows.h>
#include <psapi.h>

#include "scan/owner_match.h"
#include "support/handles.h"
#include "support/utf8_text.h"

namespace kestrune {

namespace {
constexpr DWORD kQueryAndRead = PROCESS_QUERY_INFORMATION | PROCESS_VM_READ;  // 0x410
constexpr DWORD kQueryLimited = 0x1000;                                       // PROCESS_QUERY_LIMITED_INFORMATION

using QueryImageName = BOOL(WINAPI*)(HANDLE, DWORD, LPSTR, PDWORD);
QueryImageName FullImageNameQuery() {
    static const auto query = reinterpret_cast<QueryImageName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "QueryFullProcessImageNameA")));
    return query;
}

std::string FullImageName(HANDLE process) {
    const QueryImageName query = FullImageNameQuery();
    char path[MAX_PATH] = {};
    DWORD length = MAX_PATH;
    if (query && query(process, 0, path, &length) && length > 0 && length < MAX_PATH) return std::string(path, length);
    return {};
}
}  // namespace

std::string ProcessImagePath(uint32_t processId) {
    if (processId == 0) return kUnknownProgramPath;
    if (FullImageNameQuery()) {
        UniqueHandle limited(OpenProcess(kQueryLimited, FALSE, processId));
        if (limited) {
            std::string path = FullImageName(limited.get());
            if (!path.empty()) return path;
        }
    }

    // Systems without the limited right: the first module of the list is the executable.
    UniqueHandle process(OpenProcess(kQueryAndRead, FALSE, processId));
    if (!process) return kUnknownProgramPath;
    HMODULE modules[1] = {nullptr};
    DWORD needed = 0;
    char path[MAX_PATH] = {};
    if (EnumProcessModules(process.get(), modules, sizeof modules, &needed) && modules[0]) {
        const DWORD n = GetModuleFileNameExA(process.get(), modules[0], path, MAX_PATH);
        if (n > 0 && n < MAX_PATH) return std::string(path, n);
    }
    std::string name = FullImageName(process.get());
    return name.empty() ? std::string(kUnknownProgramPath) : name;
}

std::string ProcessImagePathWhole(uint32_t processId) {
    if (processId == 0) return std::string();
    using QueryWide = BOOL(WINAPI*)(HANDLE, DWORD, LPWSTR, PDWORD);
    static const auto query = reinterpret_cast<QueryWide>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "QueryFullProcessImageNameW")));
    std::wstring path(32768, L'\0');  // a long path too
    if (query) {
        UniqueHandle limited(OpenProcess(kQueryLimited, FALSE, processId));
        DWORD length = static_cast<DWORD>(path.size());
        if (limited && query(limited.get(), 0, path.data(), &length) && length > 0 && length < path.size())
            return WideToUtf8(std::wstring_view(path.data(), length));
    }
    UniqueHandle process(OpenProcess(kQueryAndRead, FALSE, processId));
    if (!process) return std::string();
    const DWORD n = GetModuleFileNameExW(process.get(), nullptr, path.data(), static_cast<DWORD>(path.size()));
    return n > 0 && n < path.size() ? WideToUtf8(std::wstring_view(path.data(), n)) : std::string();
}

bool ProcessIsElevated() {
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return false;
    UniqueHandle token(raw);
    TOKEN_ELEVATION elevation = {};
    DWORD size = 0;
    if (GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &size))
        return elevation.TokenIsElevated != 0;
    // Systems before elevation existed: an administrator is elevated.
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                  &administrators))
        return false;
    BOOL member = FALSE;
    if (!CheckTokenMembership(nullptr, administrators, &member)) member = FALSE;
    FreeSid(administrators);
    return member != FALSE;
}

DebugPrivilegeScope::DebugPrivilegeScope() {
    if (!ProcessIsElevated()) return;
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &raw)) return;
    token_.reset(raw);
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!LookupPrivilegeValueA(nullptr, "SeDebugPrivilege", &privileges.Privileges[0].Luid)) return;
    DWORD size = sizeof previous_;
    // Succeeds without enabling anything when the token lacks the privilege: ask again.
    // previous_ lists the privilege only when this call changed it.
    if (!AdjustTokenPrivileges(token_.get(), FALSE, &privileges, sizeof privileges, &previous_, &size) ||
        GetLastError() != ERROR_SUCCESS) {
        previous_.PrivilegeCount = 0;
        return;
    }
    enabled_ = true;
}

DebugPrivilegeScope::~DebugPrivilegeScope() {
    if (token_ && previous_.PrivilegeCount > 0)
        AdjustTokenPrivileges(token_.get(), FALSE, &previous_, 0, nullptr, nullptr);
}

std::string_view OwnerSearchNotice(bool elevated) {
    return elevated ? std::string_view() : std::string_view("owners may be missing: not elevated");
}

}  // namespace kestrune
