#include "com/registration.h"

#include <oleauto.h>

#include "com/serial_port_typelib.h"
#include "support/boundary.h"
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

std::vector<std::wstring> SharedRegistrationKeys() { return {kClassProgId, kClassProgIdVersioned}; }

bool OtherBuildRegistered() {
    // The other view of HKEY_CLASSES_ROOT\CLSID: the 32-bit one for this 64-bit build, the
    // 64-bit one for the 32-bit build (on a 32-bit system the flag is ignored and the view is
    // this build's own, whose key is gone by the time this is asked).
    const REGSAM otherView = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
    const std::wstring server = L"CLSID\\" + GuidText(CLSID_CLASSSERIALPORT) + L"\\InprocServer32";
    UniqueRegKey key;
    return RegOpenKeyExW(HKEY_CLASSES_ROOT, server.c_str(), 0, KEY_QUERY_VALUE | otherView, key.put()) ==
           ERROR_SUCCESS;
}

namespace {
LONG DeleteTree(const std::wstring& key) {
    const LONG error = RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
    return error == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : error;
}

// This build's entry of the type library (TypeLib\{id}\1.0\<locale>\win32 or win64) alone.
LONG DeleteOwnTypeLibraryEntry() {
    const std::wstring version = L"TypeLib\\" + GuidText(LIBID_SerialPort) + L"\\1.0";
    UniqueRegKey key;
    LONG error = RegOpenKeyExW(HKEY_CLASSES_ROOT, version.c_str(), 0, KEY_READ, key.put());
    if (error != ERROR_SUCCESS) return error == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : error;
    const wchar_t* own = sizeof(void*) == 8 ? L"win64" : L"win32";
    wchar_t name[64];
    for (DWORD index = 0;; ++index) {
        DWORD length = 64;
        if (RegEnumKeyExW(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        if (name[0] < L'0' || name[0] > L'9') continue;  // FLAGS, HELPDIR: not a locale
        error = DeleteTree(version + L"\\" + name + L"\\" + own);
        if (error != ERROR_SUCCESS) return error;
    }
    return ERROR_SUCCESS;
}
}  // namespace

HRESULT UnregisterClassLibrary() {
    HRESULT result = S_OK;
    auto note = [&result](LONG error) {
        if (error != ERROR_SUCCESS && result == S_OK) result = HRESULT_FROM_WIN32(error);
    };
    note(DeleteTree(L"CLSID\\" + GuidText(CLSID_CLASSSERIALPORT)));
    // The ProgIDs and the type library are one set of keys for both builds: while the other
    // build stays registered they stay, and only this build's type library entry goes.
    if (OtherBuildRegistered()) {
        note(DeleteOwnTypeLibraryEntry());
        return result;
    }
    for (const std::wstring& key : SharedRegistrationKeys()) note(DeleteTree(key));
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
    return HResultAtBoundary([]() -> HRESULT {
        if (!RunsInLibrary()) return S_OK;
        const std::wstring path = OwnModulePath();
        return path.empty() ? E_FAIL : RegisterClassLibrary(path);
    });
}

KESTRUNE_API HRESULT WINAPI DllUnregisterServer() {
    return HResultAtBoundary([] { return RunsInLibrary() ? UnregisterClassLibrary() : S_OK; });
}
