#pragma once
// Self-registration of the class library: the keys a COM server writes under
// HKEY_CLASSES_ROOT for the serial-port class, and their removal. In the program the two
// entry points return S_OK and change nothing.
#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "support/export.h"

namespace kestrune {

inline constexpr wchar_t kClassProgId[] = L"Kestrune.SerialPort";
inline constexpr wchar_t kClassProgIdVersioned[] = L"Kestrune.SerialPort.1";

// One value under HKEY_CLASSES_ROOT: key path, value name ("" for the default), text.
struct RegistrationValue {
    std::wstring key;
    std::wstring name;
    std::wstring text;
};

// What registration writes for a library at modulePath, in writing order.
std::vector<RegistrationValue> ClassRegistrationValues(std::wstring_view modulePath);
// The keys whose trees unregistration removes (each written by registration alone).
std::vector<std::wstring> ClassRegistrationKeys();
// Of those, the keys both builds share on a 64-bit system (the ProgIDs; the type library is
// shared too): removed only by the last build to go.
std::vector<std::wstring> SharedRegistrationKeys();
// Whether the other build (32-bit for this 64-bit one and the other way round) has its
// class's InprocServer32 key in its view of HKEY_CLASSES_ROOT.
bool OtherBuildRegistered();

// The braced text form of an identifier.
std::wstring GuidText(REFGUID guid);

// Writes the values and registers the type library from modulePath; on failure removes
// what it wrote. S_OK or the failure.
HRESULT RegisterClassLibrary(const std::wstring& modulePath);
// Removes this build's class key; the shared keys (ProgIDs, type library) too when no other
// build stays registered, else only this build's type library entry. Missing keys are no
// failure.
HRESULT UnregisterClassLibrary();

}  // namespace kestrune

KESTRUNE_API HRESULT WINAPI DllRegisterServer();
KESTRUNE_API HRESULT WINAPI DllUnregisterServer();
