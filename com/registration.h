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

// The braced text form of an identifier.
std::wstring GuidText(REFGUID guid);

// Writes the values and registers the type library from modulePath; on failure removes
// what it wrote. S_OK or the failure.
HRESULT RegisterClassLibrary(const std::wstring& modulePath);
// Removes the keys and the type library registration; missing ones are no failure.
HRESULT UnregisterClassLibrary();

}  // namespace kestrune

KESTRUNE_API HRESULT WINAPI DllRegisterServer();
KESTRUNE_API HRESULT WINAPI DllUnregisterServer();
