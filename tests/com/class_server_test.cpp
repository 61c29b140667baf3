// Kestrune.dll as a COM server under the real runtime: regsvr32 registration and removal,
// creation by class identifier and ProgID, the class factory and the unload counts, and
// the script host running a VBScript and a JScript client against the lab's ports.
#include <gtest/gtest.h>

#include <windows.h>
#include <psapi.h>

#include <functional>
#include <sstream>
#include <thread>
#include <string>
#include <vector>

#include "com/registration.h"
#include "com/registration_repair.h"
#include "com/serial_port_typelib.h"
#include "dispatch_client.h"
#include "gui/driver/child_process.h"
#include "gui/driver/window_driver.h"
#include "lab/client/lab_client.h"
#include "support/handles.h"

namespace kestrune {
namespace {

using comtest::Call;
using comtest::IdOf;
using comtest::Ref;
using comtest::Variant;

const std::string kLibrary = kestrune_driver::WindowsPath(KESTRUNE_BIN_DIR "/Kestrune.dll");

using kestrune_test::RunAndCollect;

DWORD RegSvr32(const std::string& switches) {
    return kestrune_test::RunRegistrationToolOn(kestrune::RegistrationToolPath(), switches, kLibrary);
}

bool KeyExists(const std::wstring& key) {
    UniqueRegKey opened;
    return RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, opened.put()) == ERROR_SUCCESS;
}

std::wstring ValueText(const std::wstring& key, const std::wstring& name) {
    wchar_t text[512] = {};
    DWORD bytes = sizeof text - sizeof(wchar_t);
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), name.empty() ? nullptr : name.c_str(), RRF_RT_REG_SZ, nullptr,
                     text, &bytes) != ERROR_SUCCESS)
        return L"<missing>";
    return text;
}

const std::wstring kClassKey = L"CLSID\\" + GuidText(CLSID_CLASSSERIALPORT);

// Every key registration leaves, including the type library's own.
std::vector<std::wstring> RegisteredKeys() {
    return {kClassKey, kClassKey + L"\\InprocServer32", L"Kestrune.SerialPort", L"Kestrune.SerialPort.1",
            L"TypeLib\\" + GuidText(LIBID_SerialPort), L"Interface\\" + GuidText(IID_INTERFACECLASSSERIALPORT)};
}

class ClassServer : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(RegSvr32("/s"), 0u); }
    void TearDown() override { RegSvr32("/u /s"); }
    comtest::Apartment apartment_;
};

TEST_F(ClassServer, RegistrationCreationAndRemoval) {
    const std::wstring path(kLibrary.begin(), kLibrary.end());
    const struct {
        std::wstring key, name, text;
    } values[] = {
        {kClassKey, L"", L"CLASSSERIALPORT"},
        {kClassKey + L"\\InprocServer32", L"", path},
        {kClassKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
        {kClassKey + L"\\ProgID", L"", L"Kestrune.SerialPort.1"},
        {kClassKey + L"\\VersionIndependentProgID", L"", L"Kestrune.SerialPort"},
        {L"Kestrune.SerialPort\\CLSID", L"", GuidText(CLSID_CLASSSERIALPORT)},
        {L"Kestrune.SerialPort\\CurVer", L"", L"Kestrune.SerialPort.1"},
        {L"Kestrune.SerialPort.1\\CLSID", L"", GuidText(CLSID_CLASSSERIALPORT)},
    };
    for (const auto& v : values) EXPECT_EQ(ValueText(v.key, v.name), v.text) << std::string(v.key.begin(), v.key.end());
    for (const std::wstring& key : RegisteredKeys()) EXPECT_TRUE(KeyExists(key));

    for (const wchar_t* progId : {L"Kestrune.SerialPort", L"Kestrune.SerialPort.1"}) {
        CLSID clsid{};
        ASSERT_EQ(CLSIDFromProgID(progId, &clsid), S_OK);
        EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_CLASSSERIALPORT));
    }
    {
        Ref<IDispatch> object;
        ASSERT_EQ(CoCreateInstance(CLSID_CLASSSERIALPORT, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                   object.put_void()), S_OK);
        EXPECT_NE(GetModuleHandleW(L"Kestrune.dll"), nullptr);  // served by the library, in this process
        DISPID id = 0;
        ASSERT_EQ(IdOf(object.get(), L"name", id), S_OK);
        EXPECT_EQ(Call(object.get(), id, DISPATCH_PROPERTYPUT, {Variant(L"COM2").v}, nullptr), S_OK);
        Variant name;
        EXPECT_EQ(Call(object.get(), id, DISPATCH_PROPERTYGET, {}, &name.v), S_OK);
        EXPECT_EQ(std::wstring(V_BSTR(&name.v)), L"COM2");
        Ref<ITypeLib> library;
        EXPECT_EQ(LoadRegTypeLib(LIBID_SerialPort, 1, 0, 0x0409, library.put()), S_OK);
    }

    // Removal takes exactly what registration wrote.
    UniqueRegKey decoy;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, L"Kestrune.SerialPort.Other", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              decoy.put(), nullptr), ERROR_SUCCESS);
    decoy.reset();
    ASSERT_EQ(RegSvr32("/u /s"), 0u);
    for (const std::wstring& key : RegisteredKeys()) EXPECT_FALSE(KeyExists(key)) << std::string(key.begin(), key.end());
    EXPECT_TRUE(KeyExists(L"Kestrune.SerialPort.Other"));
    EXPECT_TRUE(KeyExists(L"CLSID"));
    RegDeleteKeyW(HKEY_CLASSES_ROOT, L"Kestrune.SerialPort.Other");
    CLSID clsid{};
    EXPECT_NE(CLSIDFromProgID(L"Kestrune.SerialPort", &clsid), S_OK);
    EXPECT_EQ(RegSvr32("/u /s"), 0u);  // again: nothing left to remove is no failure
}

TEST_F(ClassServer, TheProgramsEntryPointsChangeNothing) {
    ASSERT_EQ(RegSvr32("/u /s"), 0u);
    EXPECT_EQ(DllRegisterServer(), S_OK);
    EXPECT_FALSE(KeyExists(kClassKey));
    ASSERT_EQ(RegSvr32("/s"), 0u);
    EXPECT_EQ(DllUnregisterServer(), S_OK);
    EXPECT_TRUE(KeyExists(kClassKey));
}

TEST_F(ClassServer, FactoryCountsAndCreateReleaseCycles) {
    HMODULE library = LoadLibraryA(kLibrary.c_str());
    ASSERT_NE(library, nullptr);
    using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
    using CanUnloadNow = HRESULT(WINAPI*)();
    auto getClassObject = reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(GetProcAddress(library, "DllGetClassObject")));
    auto canUnloadNow = reinterpret_cast<CanUnloadNow>(reinterpret_cast<void*>(GetProcAddress(library, "DllCanUnloadNow")));
    ASSERT_TRUE(getClassObject && canUnloadNow);

    Ref<IClassFactory> factory;
    void* none = &none;
    EXPECT_EQ(getClassObject(IID_IDispatch, IID_IClassFactory, &none), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(getClassObject(CLSID_CLASSSERIALPORT, IID_IClassFactory, nullptr), E_POINTER);
    ASSERT_EQ(getClassObject(CLSID_CLASSSERIALPORT, IID_IClassFactory, factory.put_void()), S_OK);
    Ref<IUnknown> outer;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, outer.put_void()), S_OK);
    EXPECT_EQ(factory->CreateInstance(outer.get(), IID_IUnknown, &none), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(canUnloadNow(), S_FALSE);  // one object lives
    outer.reset();
    EXPECT_EQ(canUnloadNow(), S_FALSE);  // the class object is still kept

    auto cycle = [&] {
        Ref<IDispatch> object;
        ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, object.put_void()), S_OK);
        DISPID id = 0;
        ASSERT_EQ(IdOf(object.get(), L"Name", id), S_OK);
        ASSERT_EQ(Call(object.get(), id, DISPATCH_PROPERTYPUT, {Variant(L"COM2").v}, nullptr), S_OK);
    };
    for (int i = 0; i < 20; ++i) cycle();  // warm-up: the runtime's own caches
    DWORD handlesBefore = 0, handlesAfter = 0;
    PROCESS_MEMORY_COUNTERS_EX before{}, after{};
    GetProcessHandleCount(GetCurrentProcess(), &handlesBefore);
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&before), sizeof before);
    for (int i = 0; i < 1000; ++i) cycle();
    GetProcessHandleCount(GetCurrentProcess(), &handlesAfter);
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&after), sizeof after);
    EXPECT_LE(handlesAfter, handlesBefore + 2);
    EXPECT_LT(static_cast<long long>(after.PrivateUsage) - static_cast<long long>(before.PrivateUsage), 1 << 20);
    factory.reset();
    EXPECT_EQ(canUnloadNow(), S_OK);
    FreeLibrary(library);
}

// What keeps the library loaded, in the real library's DllCanUnloadNow: a class object a
// client keeps, a live object, a lock; an unlock never takes the count below zero, not
// even with several threads unlocking the last lock at once.
TEST_F(ClassServer, KeptClassObjectsAndLocksKeepTheLibrary) {
    HMODULE library = LoadLibraryA(kLibrary.c_str());
    ASSERT_NE(library, nullptr);
    using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
    using CanUnloadNow = HRESULT(WINAPI*)();
    auto getClassObject = reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(GetProcAddress(library, "DllGetClassObject")));
    auto canUnloadNow = reinterpret_cast<CanUnloadNow>(reinterpret_cast<void*>(GetProcAddress(library, "DllCanUnloadNow")));
    ASSERT_TRUE(getClassObject && canUnloadNow);
    ASSERT_EQ(canUnloadNow(), S_OK);

    Ref<IClassFactory> factory;
    Ref<IUnknown> object;
    const struct {
        const char* step;
        std::function<void()> run;
        HRESULT canUnload;
    } steps[] = {
        {"class object kept", [&] { getClassObject(CLSID_CLASSSERIALPORT, IID_IClassFactory, factory.put_void()); }, S_FALSE},
        {"object made", [&] { factory->CreateInstance(nullptr, IID_IUnknown, object.put_void()); }, S_FALSE},
        {"object released", [&] { object.reset(); }, S_FALSE},
        {"locked", [&] { factory->LockServer(TRUE); }, S_FALSE},
        {"class object released, lock held", [&] { factory.reset(); }, S_FALSE},
        {"unlocked twice, locked again, class object released",
         [&] {
             getClassObject(CLSID_CLASSSERIALPORT, IID_IClassFactory, factory.put_void());
             factory->LockServer(FALSE);
             factory->LockServer(FALSE);  // no lock left: changes nothing
             factory->LockServer(TRUE);
             factory.reset();
         },
         S_FALSE},
        {"unlocked from four threads at once, more unlocks than locks",
         [&] {
             getClassObject(CLSID_CLASSSERIALPORT, IID_IClassFactory, factory.put_void());
             factory->LockServer(FALSE);  // the lock of the step before
             std::vector<std::thread> threads;
             for (int t = 0; t < 4; ++t)
                 threads.emplace_back([&] {
                     for (int i = 0; i < 2000; ++i) {
                         factory->LockServer(TRUE);
                         factory->LockServer(FALSE);
                         factory->LockServer(FALSE);
                     }
                 });
             for (std::thread& thread : threads) thread.join();
             factory->LockServer(TRUE);  // a count below zero would make this one vanish
             factory.reset();
         },
         S_FALSE},
        {"last lock released",
         [&] {
             getClassObject(CLSID_CLASSSERIALPORT, IID_IClassFactory, factory.put_void());
             factory->LockServer(FALSE);
             factory.reset();
         },
         S_OK},
    };
    for (const auto& step : steps) {
        step.run();
        EXPECT_EQ(canUnloadNow(), step.canUnload) << step.step;
    }
    FreeLibrary(library);
}

// The script host's clients. Each prints what the record says after opening a port
// through its native handle; the lab says what that open must give.
class ClassScripts : public ClassServer {
protected:
    void SetUp() override {
        std::string error;
        if (!layout_.Load(&error)) GTEST_SKIP() << "serial lab not up: " << error;
        ClassServer::SetUp();
    }
    lab::Layout layout_;
};

std::string SystemText(DWORD code) {
    if (code == 0) return "";
    char text[512] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text, sizeof text,
                   nullptr);
    std::string result(text);
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r')) result.pop_back();
    return result;
}

TEST_F(ClassScripts, VBScriptAndJScriptReadTheLabsPorts) {
    const struct {
        lab::Kind kind;
        DWORD openResult;
    } truths[] = {{lab::Kind::Free, 0}, {lab::Kind::Held, ERROR_ACCESS_DENIED}, {lab::Kind::PortListOnly, ERROR_FILE_NOT_FOUND}};
    for (const char* script : {"port_class.vbs", "port_class.js"}) {
        const std::string file = kestrune_driver::WindowsPath(KESTRUNE_SOURCE_DIR "/tests/com/scripts/") + script;
        for (const auto& truth : truths) {
            const lab::Port* port = layout_.FirstOfKind(truth.kind);
            ASSERT_NE(port, nullptr);
            const std::string number = port->com.substr(3);
            std::ostringstream expected;
            expected << "Open: " << truth.openResult << "\r\nBaud: 0\r\nState: 0\r\nWinErrorDescription: "
                     << SystemText(truth.openResult) << "\r\nFunctionName: SerialPort_Open_Win\r\n"
                     << "State_Win: 1 %SerialPortClosed\r\nEnum: 0 true\r\nClose: 0\r\nDone\r\n";
            std::string output;
            DWORD exitCode = 1;
            ASSERT_TRUE(RunAndCollect("\"" + kestrune::SystemFolderPath("cscript.exe") + "\" //nologo \"" + file + "\" " + number,
                                      output, exitCode));
            EXPECT_EQ(exitCode, 0u);
            EXPECT_EQ(output, expected.str()) << script << " " << port->com;
        }
    }
}

}  // namespace
}  // namespace kestrune
