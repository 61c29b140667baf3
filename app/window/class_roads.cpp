#include "app/window/class_roads.h"

#include <objbase.h>
#include <oleauto.h>

#include <cstring>
#include <string>

#include "app/window/control_ids.h"
#include "app/window/results_view.h"
#include "app/window/shell_state.h"
#include "com/class_name_id.h"
#include "com/class_server.h"
#include "com/serial_port_typelib.h"
#include "support/handles.h"

namespace kestrune {

std::optional<std::size_t> ResultBlockCount(int32_t lbound, int32_t ubound) {
    if (lbound != 0 || ubound < lbound) return std::nullopt;
    const std::size_t count = static_cast<std::size_t>(ubound) + 1;
    if (count > kMaxRoadRecords) return std::nullopt;
    return count;
}

std::string ProgramSiblingPath(std::string_view fileName) {
    char program[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, program, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    const std::string_view path(program, length);
    const std::size_t last = path.find_last_of("\\/:");
    if (last == std::string_view::npos) return {};  // not a full path: nothing to trust
    return std::string(path.substr(0, last + 1)).append(fileName);
}

bool ScanArgumentHoldsResults(bool callSucceeded, int32_t methodResult, uint32_t sentArgument,
                              uint32_t returnedArgument) {
    return callSucceeded && methodResult == 0 && returnedArgument != 0 && returnedArgument != sentArgument;
}

std::vector<PortRecord> CopyResultBlock(uint32_t address) {
    const auto* first = reinterpret_cast<const PortRecord*>(static_cast<uintptr_t>(address));
    const std::optional<std::size_t> count = ResultBlockCount(first->LBOUND, first->UBOUND);
    if (!count) return {};
    std::vector<PortRecord> records(*count);
    std::memcpy(records.data(), first, *count * sizeof(PortRecord));
    return records;
}

namespace {

// One road's object: kept until the same road runs again.
class RoadObject {
public:
    ~RoadObject() = default;  // released by ReleaseRoadObjects while COM still runs
    void Replace(IUnknown* object) {
        if (object_) object_->Release();
        object_ = object;
    }

private:
    IUnknown* object_ = nullptr;
};

RoadObject g_earlyBound, g_lateBound, g_noRegistry;

constexpr LCID kSystemLocale = 0x800;

// The class's name (the registration repaired first when needed) as an identifier.
std::optional<CLSID> RoadClassId() {
    BSTR name = nullptr;
    SerialPort_GetClassNameId(&name);
    const std::string text = name ? std::string(reinterpret_cast<const char*>(name), SysStringByteLen(name)) : "";
    SysFreeString(name);
    return ClassIdOfName(text);
}

// "SERIALPORT_ENUM" by name with the status-bar handle: the records' address, or none.
std::optional<uint32_t> ScanByName(IDispatch* object, HWND dialog) {
    const uint32_t statusBar = HandleToField(GetDlgItem(dialog, kStatusBarId));
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"SERIALPORT_ENUM")};
    DISPID id = 0;
    if (FAILED(object->GetIDsOfNames(IID_NULL, names, 1, kSystemLocale, &id))) return std::nullopt;
    VARIANT argument, result;
    VariantInit(&argument);
    VariantInit(&result);
    V_VT(&argument) = VT_UI4;
    V_UI4(&argument) = statusBar;
    V_VT(&result) = VT_I4;
    V_I4(&result) = -1;
    DISPPARAMS params = {&argument, nullptr, 1, 0};
    const HRESULT called = object->Invoke(id, IID_NULL, kSystemLocale, DISPATCH_METHOD, &params, &result, nullptr, nullptr);
    uint32_t returned = statusBar;
    if (V_VT(&argument) == VT_UI4 || V_VT(&argument) == VT_I4) returned = V_UI4(&argument);
    const int32_t methodResult = V_VT(&result) == VT_I4 ? V_I4(&result) : -1;
    VariantClear(&argument);
    VariantClear(&result);
    if (!ScanArgumentHoldsResults(SUCCEEDED(called), methodResult, statusBar, returned)) return std::nullopt;
    return returned;
}

// The road's array from the address, shown; the single zero record stays when there is none.
void ShowRoad(HWND dialog, std::vector<PortRecord>& road, std::optional<uint32_t> address) {
    if (!address) return;
    std::vector<PortRecord> records = CopyResultBlock(*address);
    if (records.empty()) return;
    road = std::move(records);
    ++Shell().ResultsGeneration;
    ShowResults(dialog, road);
}

}  // namespace

void RunEarlyBoundRoad(HWND dialog, HWND statusBar) {
    INTERFACECLASSSERIALPORT* port = nullptr;
    CreateFromClassTable("CLASSSERIALPORT", IID_INTERFACECLASSSERIALPORT, reinterpret_cast<void**>(&port));
    g_earlyBound.Replace(port);
    if (!port) return;
    const uint32_t sent = HandleToField(statusBar);
    LONG scanArgument = static_cast<LONG>(sent);
    LONG result = -1;
    const HRESULT called = port->SerialPort_Enum(&scanArgument, &result);
    const uint32_t returned = static_cast<uint32_t>(scanArgument);
    ShowRoad(dialog, Shell().EarlyBoundResults,
             ScanArgumentHoldsResults(SUCCEEDED(called), result, sent, returned) ? std::optional<uint32_t>(returned)
                                                                                 : std::nullopt);
}

void RunLateBoundRoad(HWND dialog, HWND) {
    const std::optional<CLSID> clsid = RoadClassId();
    IDispatch* object = nullptr;
    if (clsid)
        CoCreateInstance(*clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IDispatch,
                         reinterpret_cast<void**>(&object));
    g_lateBound.Replace(object);
    if (object) ShowRoad(dialog, Shell().LateBoundResults, ScanByName(object, dialog));
}

void RunNoRegistryRoad(HWND dialog, HWND) {
    const std::optional<CLSID> clsid = RoadClassId();
    IDispatch* object = nullptr;
    if (clsid) {
        // From the program's own folder by full path, never from the current folder (a
        // planted copy there would run in this, perhaps elevated, process). The library stays
        // loaded for the rest of the run.
        const std::string path = ProgramSiblingPath("Kestrune.dll");
        HMODULE library = path.empty() ? nullptr : GetModuleHandleA(path.c_str());
        if (!library && !path.empty())
            library = LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
        using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
        const auto getClassObject = library ? reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(
                                                  GetProcAddress(library, "DllGetClassObject")))
                                            : nullptr;
        IClassFactory* factory = nullptr;
        if (getClassObject && SUCCEEDED(getClassObject(*clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory))) &&
            factory) {
            factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&object));
            factory->Release();
        }
    }
    g_noRegistry.Replace(object);
    if (object) ShowRoad(dialog, Shell().NoRegistryResults, ScanByName(object, dialog));
}

void ReleaseRoadObjects() {
    g_earlyBound.Replace(nullptr);
    g_lateBound.Replace(nullptr);
    g_noRegistry.Replace(nullptr);
}

}  // namespace kestrune
