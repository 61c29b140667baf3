#include "com/registration.h"

#include <oleauto.h>

#include "com/serial_port_typelib.h"
#include "support/handles.h"
#include "support/own_module.h"

namespace kestrune {

namespace {

constexpr wchar_t kClassName[] = L"CLASSSERIALPORT";
constexpr SYSKIND kOwnSysKind = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;
constexpr LCID kLibraryLocale = 0x0409;

LONG WriteValue(const RegistrationValue& value) {
    UniqueRegKey key;
    LONG error = RegCreateKeyExW(HKEY_CLASSES_ROOT, value.key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                 key.put(), nullptr);
    if (error != ERROR_SUCCESS) return error;
    const DWORD bytes = static_cast<DWORD>((value.text.size() + 1) * sizeof(wchar_t));
    return RegSetValueExW(key.get(), value.name.empty() ? nullptr : value.name.c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(value.text.c_str()), bytes);
}

}  // namespace

std::wstring GuidText(REFGUID guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

std::vector<RegistrationValue> ClassRegistrationValues(std::wstring_view modulePath) {
    const std::wstring classKey = L"CLSID\\" + GuidText(CLSID_CLASSSERIALPORT);
    const std::wstring clsid = GuidText(CLSID_CLASSSERIALPORT);
    return {
        {classKey, L"", kClassName},
        {classKey + L"\\InprocServer32", L"", std::wstring(modulePath)},
        {classKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
        {classKey + L"\\ProgID", L"", kClassProgIdVersioned},
        {classKey + L"\\VersionIndependentProgID", L"", kClassProgId},
        {classKey + L"\\TypeLib", L"", GuidText(LIBID_SerialPort)},
        {classKey + L"\\Version", L"", L"1.0"},
        {kClassProgId, L"", kClassName},
        {std::wstring(kClassProgId) + L"\\CLSID", L"", clsid},
        {std::wstring(kClassProgId) + L"\\CurVer", L"", kClassProgIdVersioned},
        {kClassProgIdVersioned, L"", kClassName},
        {std::wstring(kClassProgIdVersioned) + L"\\CLSID", L"", clsid},
    };
}

std::vector<std::wstring> ClassRegistrationKeys() {
    return {L"CLSID\\" + GuidText(CLSID_CLASSSERIALPORT), kClassProgId, kClassProgIdVersioned};
}

HRESULT UnregisterClassLibrary() {
    HRESULT result = S_OK;
    for (const std::wstring& key : ClassRegistrationKeys()) {
        const LONG error = RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
        if (error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND && result == S_OK)
            result = HRESULT_FROM_WIN32(error);
    }
    // The type library only when it is registered: a missing one is no failure.
    const std::wstring libraryKey = L"TypeLib\\" + GuidText(LIBID_SerialPort);
    UniqueRegKey library;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, libraryKey.c_str(), 0, KEY_READ, library.put()) == ERROR_SUCCESS) {
        library.reset();
        const HRESULT typeLibrary = UnRegisterTypeLib(LIBID_SerialPort, 1, 0, kLibraryLocale, kOwnSysKind);
        if (FAILED(typeLibrary) && result == S_OK) result = typeLibrary;
    }
    return result;
}

HRESULT RegisterClassLibrary(const std::wstring& modulePath) {
    for (const RegistrationValue& value : ClassRegistrationValues(modulePath)) {
        const LONG error = WriteValue(value);
        if (error != ERROR_SUCCESS) {
            UnregisterClassLibrary();
            return HRESULT_FROM_WIN32(error);
        }
    }
    ITypeLib* library = nullptr;
    HRESULT result = LoadTypeLibEx(modulePath.c_str(), REGKIND_NONE, &library);
    if (SUCCEEDED(result)) {
        result = RegisterTypeLib(library, const_cast<OLECHAR*>(modulePath.c_str()), nullptr);
        library->Release();
    }
    if (FAILED(result)) UnregisterClassLibrary();
    return result;
}

}  // namespace kestrune

using namespace kestrune;

KESTRUNE_API HRESULT WINAPI DllRegisterServer() {
    try {
        if (!RunsInLibrary()) return S_OK;
        const std::wstring path = OwnModulePath();
        return path.empty() ? E_FAIL : RegisterClassLibrary(path);
    } catch (...) {
        return E_UNEXPECTED;
    }
}

KESTRUNE_API HRESULT WINAPI DllUnregisterServer() {
    try {
        return RunsInLibrary() ? UnregisterClassLibrary() : S_OK;
    } catch (...) {
        return E_UNEXPECTED;
    }
}
