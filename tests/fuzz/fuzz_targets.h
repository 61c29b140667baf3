#pragma once
// The fuzz run's targets and its loop (see fuzz_run.h): each export of Kestrune.dll and each
// member of its class, with arguments made by fuzz::Maker, run through the watchdog.
#include <cstddef>
#include <cstdio>
#include <iterator>

#include "../export_lists.h"
#include "fuzz_run.h"

namespace fuzz {

constexpr CLSID kClassId = {0x8B5A1D8E, 0x9C35, 0x4FF0, {0xBB, 0x8A, 0x96, 0x33, 0x84, 0x7B, 0x92, 0xF2}};

#define KESTRUNE_EXPORT_NAME(name) #name,
constexpr const char* kRecordFunctions[] = {KESTRUNE_RECORD_EXPORTS(KESTRUNE_EXPORT_NAME)};
constexpr const char* kValueFunctions[] = {KESTRUNE_FLAG_EXPORTS(KESTRUNE_EXPORT_NAME)};
#undef KESTRUNE_EXPORT_NAME
constexpr const char* kInfoFunctions[] = {"GetWindowsOs", "GetCompiler", "GetProgram", "GatherOpSysInfo"};
// The class's members by DISPID (150, the scan, and the slow exports take turns less often).
constexpr DISPID kMembers[] = {1,  2,  10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23,  24,  25,  26,
                               27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42,  50,  51,  52,
                               53, 54, 55, 56, 100, 101, 102, 103, 104, 105, 106, 108, 7, -1, 9999};
// Program paths a record may carry that name no file: the lab's free port and other devices.
constexpr const char* kDevicePaths[] = {"COM2", "\\\\.\\COM2", "com2.exe", "NUL", "CONIN$", "\\\\.\\pipe\\kestrune-fuzz",
                                        "\\\\?\\GLOBALROOT\\Device\\Null", "C:\\windows"};
// Scans and the log-writing report are slow: one record in this many goes to them.
constexpr uint64_t kSlowEvery = 500;

struct Target {
    std::string name;
    std::function<void(Maker&, Shape)> call;
};

inline Figures Run(const std::string& libraryPath, uint64_t records, uint32_t seed, DWORD limitMs) {
    using kestrune::PortRecord;
    Figures figures;
    auto fault = [&figures](const std::string& text) {
        if (figures.faults.size() < 20) figures.faults.push_back(text);
    };
    char temp[MAX_PATH] = {}, saved[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    GetCurrentDirectoryA(MAX_PATH, saved);
    const std::string folder = std::string(temp) + "kestrune-fuzz-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(folder.c_str(), nullptr);
    SetCurrentDirectoryA(folder.c_str());  // DisplayOpSysInfo's log lands here
    HMODULE library = LoadLibraryA(libraryPath.c_str());
    if (!library) {
        fault("cannot load " + libraryPath);
        return figures;
    }
    auto proc = [&](const char* name) {
        FARPROC p = GetProcAddress(library, name);
        if (!p) fault(std::string("missing export ") + name);
        return reinterpret_cast<void*>(p);
    };
    const std::string keyPath = "Software\\KestruneFuzz-" + std::to_string(GetCurrentProcessId());
    HKEY fuzzKey = nullptr;
    RegCreateKeyExA(HKEY_CURRENT_USER, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &fuzzKey, nullptr);
    OwnHandles own(folder);
    std::mt19937 rng(seed);
    Maker maker(rng, own);

    // Roots for the registry helpers: a key of the run's own, this program's non-key handles,
    // null and a made-up value; the system's keys only for reading.
    auto root = [&](bool reading) -> HKEY {
        switch (maker.Next() % (reading ? 6 : 4)) {
            case 0: return fuzzKey;
            case 1: return reinterpret_cast<HKEY>(static_cast<uintptr_t>(own.Pick(maker.Next())));
            case 2: return nullptr;
            case 3: return reinterpret_cast<HKEY>(static_cast<uintptr_t>(maker.Next() | 0x10000000u) & 0x7FFFFFFFu);
            case 4: return HKEY_LOCAL_MACHINE;
            default: return HKEY_CLASSES_ROOT;
        }
    };
    // A text argument: null, empty, a name likely to exist, or random bytes; misaligned sometimes.
    std::vector<std::string> texts;
    auto text = [&]() -> const char* {
        switch (maker.Next() % 6) {
            case 0: return nullptr;
            case 1: return "";
            case 2: return "Software";
            default: {
                texts.push_back(" " + maker.Text());
                return texts.back().c_str() + (maker.Next() % 2);  // at an odd address half the time
            }
        }
    };
    auto slotOrNull = [&](auto& slot) -> decltype(&slot) { return maker.Next() % 5 ? &slot : nullptr; };

    std::vector<Target> targets;
    using RecordFn = int32_t(WINAPI*)(void*);
    using ValueFn = int32_t(WINAPI*)(void*, const int32_t*);
    const std::initializer_list<std::size_t> handleFields = {
        offsetof(PortRecord, WinHandle), offsetof(PortRecord, ObjHandle), offsetof(PortRecord, DupObjHandle),
        offsetof(PortRecord, HwndTerminal), offsetof(PortRecord, StatusWindow)};
    for (const char* name : kRecordFunctions) {
        const auto fn = reinterpret_cast<RecordFn>(proc(name));
        if (fn)
            targets.push_back({name, [&, fn](Maker& m, Shape s) {
                                   auto block = m.Fill(sizeof(PortRecord), s, handleFields);
                                   // Now and then a program path that names a device or a pipe.
                                   if (block.data() && m.Next() % 8 == 0) {
                                       const char* path = kDevicePaths[m.Next() % std::size(kDevicePaths)];
                                       std::memcpy(static_cast<char*>(block.data()) + offsetof(PortRecord, ProgramPath),
                                                   path, std::strlen(path) + 1);
                                   }
                                   fn(block.data());
                               }});
    }
    for (const char* name : kValueFunctions) {
        const auto fn = reinterpret_cast<ValueFn>(proc(name));
        if (fn)
            targets.push_back({name, [&, fn](Maker& m, Shape s) {
                                   auto block = m.Fill(sizeof(PortRecord), s, handleFields);
                                   unsigned char value[8] = {};
                                   const uint32_t v = m.Next() % 3 ? m.Next() % 3 : m.Next();
                                   std::memcpy(value + (m.Next() % 2), &v, 4);
                                   const auto* pointer = reinterpret_cast<const int32_t*>(
                                       m.Next() % 4 ? value + (m.Next() % 2) : nullptr);
                                   fn(block.data(), pointer);
                               }});
    }
    for (const char* name : kInfoFunctions) {
        const auto fn = reinterpret_cast<RecordFn>(proc(name));
        if (fn)
            targets.push_back({name, [fn](Maker& m, Shape s) {
                                   auto block = m.Fill(sizeof(kestrune::OsInfoRecord), s, {});
                                   fn(block.data());
                               }});
    }
    // The registry helpers: writes and deletes only below the run's own key (or refused roots).
    using Lsafe = SAFEARRAY*;
    auto freeArray = [](SAFEARRAY*& a) {
        if (a) SafeArrayDestroy(a);
        a = nullptr;
    };
    auto freeText = [](BSTR& b) {
        SysFreeString(b);
        b = nullptr;
    };
    auto add = [&](const char* name, auto body) {
        void* p = proc(name);
        if (p) targets.push_back({name, [p, body](Maker&, Shape) { body(p); }});
    };
    add("Reg_EnumValues", [&](void* p) {
        Lsafe names = nullptr, types = nullptr, data = nullptr;
        int32_t count = static_cast<int32_t>(maker.Next());
        reinterpret_cast<LONG(WINAPI*)(HKEY, const char*, Lsafe*, Lsafe*, Lsafe*, int32_t*)>(p)(
            root(true), text(), slotOrNull(names), slotOrNull(types), slotOrNull(data), slotOrNull(count));
        freeArray(names), freeArray(types), freeArray(data);
    });
    add("Reg_EnumKeys", [&](void* p) {
        Lsafe names = nullptr;
        int32_t count = 0;
        reinterpret_cast<LONG(WINAPI*)(HKEY, const char*, Lsafe*, int32_t*)>(p)(root(true), text(), slotOrNull(names),
                                                                             slotOrNull(count));
        freeArray(names);
    });
    add("Reg_ReadValue", [&](void* p) {
        BSTR value = maker.Bstr();
        uint32_t type = 0;
        reinterpret_cast<LONG(WINAPI*)(HKEY, const char*, const char*, BSTR*, uint32_t*)>(p)(
            root(true), text(), text(), slotOrNull(value), slotOrNull(type));
        freeText(value);
    });
    for (const char* name : {"Reg_ReadNumber", "Reg_ReadValueType"})
        add(name, [&](void* p) {
            uint32_t number = 0;
            reinterpret_cast<LONG(WINAPI*)(HKEY, const char*, const char*, uint32_t*)>(p)(root(true), text(), text(),
                                                                                       slotOrNull(number));
        });
    add("Reg_ReadValues", [&](void* p) {
        // Names: null, an array of texts, or an array of another type; a count that may
        // exceed the array.
        Lsafe names = nullptr, results = nullptr;
        const uint32_t kind = maker.Next() % 3;
        const ULONG length = maker.Next() % 5;
        if (kind == 1) {
            names = SafeArrayCreateVector(VT_BSTR, 0, length);
            for (LONG i = 0; i < static_cast<LONG>(length); ++i) {
                BSTR item = maker.Bstr();
                SafeArrayPutElement(names, &i, item);
                SysFreeString(item);
            }
        } else if (kind == 2) {
            names = SafeArrayCreateVector(VT_I4, 0, length);
        }
        int32_t count = maker.Next() % 3 ? static_cast<int32_t>(maker.Next() % 8) - 2 : static_cast<int32_t>(maker.Next());
        reinterpret_cast<LONG(WINAPI*)(HKEY, const char*, SAFEARRAY* const*, Lsafe*, const int32_t*)>(p)(
            root(true), text(), slotOrNull(names), slotOrNull(results), slotOrNull(count));
        freeArray(names), freeArray(results);
    });
    add("Reg_ValueExists", [&](void* p) {
        reinterpret_cast<LONG(WINAPI*)(HKEY, const char*, const char*)>(p)(root(true), text(), text());
    });
    add("Reg_CreateKey", [&](void* p) { reinterpret_cast<LONG(WINAPI*)(HKEY, const char*)>(p)(root(false), text()); });
    for (const char* name : {"Reg_WriteValue", "Reg_WriteDefault"})
        add(name, [&](void* p) {
            reinterpret_cast<LONG(WINAPI*)(HKEY, const char*, const char*, const char*, uint32_t)>(p)(
                root(false), text(), text(), text(), maker.Next() % 12);
        });
    add("Reg_WriteNumber", [&](void* p) {
        uint32_t number = maker.Next();
        reinterpret_cast<LONG(WINAPI*)(HKEY, const char*, const char*, const uint32_t*)>(p)(root(false), text(), text(),
                                                                                         slotOrNull(number));
    });
    add("Reg_DeleteValue", [&](void* p) {
        reinterpret_cast<LONG(WINAPI*)(HKEY, const char*, const char*)>(p)(root(false), text(), text());
    });
    for (const char* name : {"Reg_DeleteKey", "Reg_DeleteKeyRecursive"})
        add(name, [&](void* p) { reinterpret_cast<LONG(WINAPI*)(HKEY, const char*)>(p)(root(false), text()); });
    add("Reg_DeleteKeyTree", [&](void* p) {
        reinterpret_cast<LONG(WINAPI*)(HKEY, const char*, const char*)>(p)(root(false), text(), text());
    });
    add("Reg_KeyInfoText", [&](void* p) {
        BSTR result = maker.Bstr();
        reinterpret_cast<LONG(WINAPI*)(HKEY, const char*, BSTR*)>(p)(root(true), text(), slotOrNull(result));
        freeText(result);
    });
    add("ExpandEnvironment", [&](void* p) {
        BSTR result = maker.Bstr();
        reinterpret_cast<LONG(WINAPI*)(const char*, BSTR*)>(p)(text(), slotOrNull(result));
        freeText(result);
    });
    add("SerialPort_GetClassNameId", [&](void* p) { reinterpret_cast<int32_t(WINAPI*)(BSTR*)>(p)(nullptr); });
    add("DllCanUnloadNow", [&](void* p) { reinterpret_cast<HRESULT(WINAPI*)()>(p)(); });
    add("DllGetClassObject", [&](void* p) {
        GUID guids[2];
        for (GUID& g : guids) {
            for (std::size_t i = 0; i < sizeof g; ++i) reinterpret_cast<unsigned char*>(&g)[i] = maker.Next() & 0xFF;
        }
        if (maker.Next() % 2) guids[0] = kClassId;
        if (maker.Next() % 2) guids[1] = maker.Next() % 2 ? IID_IClassFactory : IID_IUnknown;
        IUnknown* object = nullptr;
        const HRESULT made = reinterpret_cast<HRESULT(WINAPI*)(REFCLSID, REFIID, void**)>(p)(
            guids[0], guids[1], reinterpret_cast<void**>(slotOrNull(object)));
        if (SUCCEEDED(made) && object) object->Release();
    });

    // The class's members through IDispatch::Invoke on an object made by the class factory.
    IDispatch* classObject = nullptr;
    auto ResetClassObject = [&](bool release = false) {
        if (release && classObject) classObject->Release();  // only on the thread that made it
        classObject = nullptr;
    };
    const auto getClassObject = reinterpret_cast<HRESULT(WINAPI*)(REFCLSID, REFIID, void**)>(proc("DllGetClassObject"));
    auto member = [&](DISPID id, Shape shape) {
        if (!classObject && getClassObject) {
            IClassFactory* factory = nullptr;
            if (SUCCEEDED(getClassObject(kClassId, IID_IClassFactory, reinterpret_cast<void**>(&factory))) && factory) {
                factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&classObject));
                factory->Release();
            }
        }
        if (!classObject) return;
        const WORD flags[] = {DISPATCH_METHOD, DISPATCH_PROPERTYGET, DISPATCH_PROPERTYPUT,
                              DISPATCH_METHOD | DISPATCH_PROPERTYGET};
        const WORD flag = flags[maker.Next() % 4];
        VARIANT args[3];
        LONG byRefLong = static_cast<LONG>(maker.Next());
        BSTR byRefText = maker.Bstr();
        const UINT count = shape == Shape::kNull ? 0 : maker.Next() % 4;
        for (UINT i = 0; i < count; ++i) {
            VARIANT& v = args[i];
            VariantInit(&v);
            switch (maker.Next() % 10) {
                case 0: break;
                case 1: V_VT(&v) = VT_NULL; break;
                case 2: V_VT(&v) = VT_I4, V_I4(&v) = static_cast<LONG>(maker.Next()); break;
                case 3: V_VT(&v) = VT_UI4, V_UI4(&v) = maker.Next(); break;
                case 4: {
                    uint64_t bits = (uint64_t(maker.Next()) << 32) | maker.Next();
                    V_VT(&v) = VT_R8;
                    std::memcpy(&V_R8(&v), &bits, 8);
                    break;
                }
                case 5: V_VT(&v) = VT_BSTR, V_BSTR(&v) = maker.Bstr(); break;
                case 6: V_VT(&v) = VT_I4 | VT_BYREF, V_I4REF(&v) = &byRefLong; break;
                case 7: V_VT(&v) = VT_BSTR | VT_BYREF, V_BSTRREF(&v) = &byRefText; break;
                case 8: V_VT(&v) = VT_CY, V_CY(&v).int64 = (int64_t(maker.Next()) << 32) | maker.Next(); break;
                default: V_VT(&v) = VT_BOOL, V_BOOL(&v) = maker.Next() % 2 ? VARIANT_TRUE : VARIANT_FALSE; break;
            }
        }
        DISPID named = DISPID_PROPERTYPUT;
        DISPPARAMS params = {count ? args : nullptr, flag == DISPATCH_PROPERTYPUT && count ? &named : nullptr, count,
                             flag == DISPATCH_PROPERTYPUT && count ? 1u : 0u};
        VARIANT result;
        VariantInit(&result);
        EXCEPINFO exception = {};
        UINT badArgument = 0;
        classObject->Invoke(id, IID_NULL, 0x800, flag, &params, maker.Next() % 4 ? &result : nullptr,
                            maker.Next() % 2 ? &exception : nullptr, maker.Next() % 2 ? &badArgument : nullptr);
        for (UINT i = 0; i < count; ++i) VariantClear(&args[i]);
        VariantClear(&result);
        SysFreeString(exception.bstrSource), SysFreeString(exception.bstrDescription), SysFreeString(exception.bstrHelpFile);
        SysFreeString(byRefText);
    };
    for (DISPID id : kMembers)
        targets.push_back({"member " + std::to_string(id), [&, id](Maker&, Shape s) { member(id, s); }});

    // The slow ones, after the regular targets: the scan (export and member) and the report log.
    const std::size_t regular = targets.size();
    add("SerialPort_Enum", [&](void* p) {
        Lsafe ports = maker.Next() % 2 ? nullptr : SafeArrayCreateVector(VT_I4, 0, 3);
        uint32_t window = maker.Next() % 3 ? 0 : own.Pick(maker.Next());
        reinterpret_cast<int32_t(WINAPI*)(Lsafe*, uint32_t*)>(p)(slotOrNull(ports), slotOrNull(window));
        freeArray(ports);
    });
    targets.push_back({"member 150", [&](Maker&, Shape s) { member(150, s); }});
    add("DisplayOpSysInfo", [&](void* p) {
        auto block = maker.Fill(sizeof(kestrune::OsInfoRecord), static_cast<Shape>(maker.Next() % 6), {});
        reinterpret_cast<int32_t(WINAPI*)(void*)>(p)(block.data());
    });

    Watchdog dog(limitMs);
    const bool trace = GetEnvironmentVariableA("KESTRUNE_FUZZ_TRACE", nullptr, 0) != 0;  // each call's target and time
    DWORD baseline = 0;
    const uint64_t warm = std::min<uint64_t>(records / 4, 2 * regular);
    for (uint64_t i = 0; i < records; ++i) {
        if (i == warm) GetProcessHandleCount(GetCurrentProcess(), &baseline);
        const Shape shape = static_cast<Shape>(maker.Next() % static_cast<uint32_t>(Shape::kCount));
        // Slow targets (after the regular ones in the list) take every kSlowEvery-th turn.
        std::size_t index = i % regular;
        if (i % kSlowEvery == kSlowEvery - 1 && targets.size() > regular)
            index = regular + (i / kSlowEvery) % (targets.size() - regular);
        const Target& target = targets[index];
        const std::function<void()> job = [&] {
            target.call(maker, shape);
            texts.clear();
        };
        ++figures.records;
        ++figures.calls;
        const ULONGLONG started = GetTickCount64();
        const Watchdog::Outcome outcome = dog.Call(job);
        if (trace) std::fprintf(stderr, "%s %llu ms\n", target.name.c_str(), GetTickCount64() - started);
        if (outcome == Watchdog::Outcome::kReturned) continue;
        texts.clear();
        char code[16];
        std::snprintf(code, sizeof code, "%08lX", static_cast<unsigned long>(dog.lastCode()));
        if (outcome == Watchdog::Outcome::kHung) {
            ++figures.hangs;
            fault(target.name + ": hang, record " + std::to_string(i) + " shape " + std::to_string(int(shape)));
        } else {
            ++figures.crashes;
            fault(target.name + ": crash " + code + ", record " + std::to_string(i) + " shape " +
                  std::to_string(int(shape)));
        }
        ResetClassObject();
    }
    dog.Call([&] { ResetClassObject(true); });  // on the thread that made it
    DWORD after = 0;
    GetProcessHandleCount(GetCurrentProcess(), &after);
    figures.handleGrowth = records > warm ? static_cast<long>(after) - static_cast<long>(baseline) : 0;
    figures.ownHandlesIntact = own.Intact();
    if (fuzzKey) {
        RegCloseKey(fuzzKey);
        RegDeleteTreeA(HKEY_CURRENT_USER, keyPath.c_str());
        RegDeleteKeyA(HKEY_CURRENT_USER, keyPath.c_str());
    }
    SetCurrentDirectoryA(saved);
    WIN32_FIND_DATAA found{};
    HANDLE search = FindFirstFileA((folder + "\\*.IncludesLog").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do DeleteFileA((folder + "\\" + found.cFileName).c_str());
        while (FindNextFileA(search, &found));
        FindClose(search);
    }
    return figures;
}

}  // namespace fuzz
