#include "com/class_name_id.h"

#include <objbase.h>

#include "com/class_server.h"
#include "com/registration_repair.h"
#include "com/serial_port_typelib.h"
#include "com/string_detection.h"
#include "record/result_codes.h"
#include "support/boundary.h"

namespace kestrune {

std::string ClassNameOfId(REFCLSID clsid) {
    if (const ClassTableEntry* entry = FindClassById(clsid)) return entry->name;
    LPOLESTR progId = nullptr;
    if (FAILED(ProgIDFromCLSID(clsid, &progId)) || !progId) return {};
    std::string name = NarrowUtf16(progId);
    CoTaskMemFree(progId);
    return name;
}

std::optional<CLSID> ClassIdOfName(std::string_view name) {
    if (name.empty()) return std::nullopt;
    if (const ClassTableEntry* entry = FindClassByName(name)) return *entry->clsid;
    const std::wstring wide = WidenAnsi(name);
    CLSID clsid{};
    if (FAILED(CLSIDFromProgID(wide.c_str(), &clsid))) return std::nullopt;
    return clsid;
}

}  // namespace kestrune

using namespace kestrune;

KESTRUNE_API int32_t WINAPI SerialPort_GetClassNameId(BSTR* name) {
    if (!name) return kNullArgumentResult;
    // The caller learns of a missing registration when creating the class fails.
    return CallAtBoundary(
        [&]() -> int32_t {
            const std::string className = ClassNameOfId(CLSID_CLASSSERIALPORT);
            BSTR text = SysAllocStringByteLen(className.data(), static_cast<UINT>(className.size()));
            if (text) {
                SysFreeString(*name);
                *name = text;
            }
            if (!ClassRegistered(CLSID_CLASSSERIALPORT)) {
                // Kestrune.dll's own path when it is loaded, else the running program's.
                char moduleFile[MAX_PATH] = {};
                GetModuleFileNameA(GetModuleHandleA("Kestrune.dll"), moduleFile, sizeof moduleFile);
                RunRegistrationTool(SiblingModulePath(moduleFile, "Kestrune.dll"));
            }
            return 0;
        },
        [](int32_t) { return 0; });
}
