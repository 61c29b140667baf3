#include "registry/key_delete.h"

#include <string_view>

#include "registry/key_paths.h"
#include "support/handles.h"
#include "support/system_folder.h"

namespace kestrune {

LONG DeleteRegistryKey(HKEY root, const char* subKey) {
    // An empty sub-key would name the root itself.
    if (!NamesKeyBelow(subKey)) return ERROR_INVALID_PARAMETER;
    return RegDeleteKeyA(root, subKey);
}

LONG DeleteRegistryKeyTree(HKEY root, const char* parentKey, const char* subKey) {
    // An empty sub-key would make the tree delete empty the parent itself.
    if (!parentKey || !NamesKeyBelow(subKey)) return ERROR_INVALID_PARAMETER;
    UniqueRegKey parent;
    const LONG status = RegOpenKeyExA(root, parentKey, 0, KEY_ALL_ACCESS, parent.put());
    if (status != ERROR_SUCCESS) return status;
    struct Library {
        const std::string path = SystemFolderPath("SHLWAPI.DLL");
        HMODULE module = path.empty() ? nullptr : LoadLibraryA(path.c_str());
        ~Library() {
            if (module) FreeLibrary(module);
        }
    } shell;
    using TreeDelete = LONG(WINAPI*)(HKEY, const char*);
    const auto treeDelete =
        shell.module ? reinterpret_cast<TreeDelete>(reinterpret_cast<void*>(GetProcAddress(shell.module, "SHDeleteKeyA")))
                     : nullptr;
    return treeDelete ? treeDelete(parent.get(), subKey) : RegDeleteKeyA(parent.get(), subKey);
}

LONG DeleteKeyRecursive(HKEY root, const std::string& subKey) {
    if (!NamesKeyBelow(subKey.c_str())) return ERROR_INVALID_PARAMETER;
    {
        UniqueRegKey key;
        LONG status = RegOpenKeyExA(root, subKey.c_str(), 0, KEY_ALL_ACCESS, key.put());
        if (status != ERROR_SUCCESS) return status;
        // Always the first entry: each deletion moves the next one to the front. A deletion
        // that fails ends the walk, so nothing is tried twice.
        std::string name(16384, '\0');
        for (;;) {
            DWORD length = static_cast<DWORD>(name.size());
            status = RegEnumValueA(key.get(), 0, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
            if (status == ERROR_NO_MORE_ITEMS) break;
            if (status != ERROR_SUCCESS) return status;
            status = RegDeleteValueA(key.get(), name.c_str());
            if (status != ERROR_SUCCESS) return status;
        }
        for (;;) {
            DWORD length = static_cast<DWORD>(name.size());
            status = RegEnumKeyExA(key.get(), 0, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
            if (status == ERROR_NO_MORE_ITEMS) break;
            if (status != ERROR_SUCCESS) return status;
            status = DeleteKeyRecursive(root, JoinKeyPath(subKey, std::string_view(name.c_str(), length)));
            if (status != ERROR_SUCCESS) return status;
        }
    }
    return RegDeleteKeyA(root, subKey.c_str());
}

}  // namespace kestrune
