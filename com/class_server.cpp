#include "com/class_server.h"

#include <atomic>
#include <new>

#include "com/serial_port_object.h"
#include "com/server_counts.h"
#include "support/boundary.h"
#include "support/fixed_text.h"
#include "support/module_hold.h"

namespace kestrune {

namespace {

const ClassTableEntry kClassTable[] = {
    {"CLASSSERIALPORT", &CLSID_CLASSSERIALPORT, CreateSerialPortObject},
};

constexpr std::size_t kMaxClassNameLength = 39;

class ClassFactory final : public IClassFactory {
public:
    explicit ClassFactory(const ClassTableEntry& entry) : entry_(entry) { ServerFactoryCreated(); }
    ~ClassFactory() { ServerFactoryDestroyed(); }

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            *object = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        return HResultAtBoundary([&] { return entry_.create(iid, object); });
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        if (lock)
            ServerLocked();
        else
            ServerUnlocked();
        return S_OK;
    }

private:
    ModuleHold hold_;  // a client that keeps the class object keeps the module
    std::atomic<ULONG> refs_{1};
    const ClassTableEntry& entry_;
};

}  // namespace

const ClassTableEntry* FindClassByName(std::string_view name) {
    if (name.empty() || name.size() > kMaxClassNameLength) return nullptr;
    const std::string wanted = UpperAnsi(name);
    for (const ClassTableEntry& entry : kClassTable)
        if (UpperAnsi(entry.name) == wanted) return &entry;
    return nullptr;
}

const ClassTableEntry* FindClassById(REFCLSID clsid) {
    for (const ClassTableEntry& entry : kClassTable)
        if (IsEqualCLSID(*entry.clsid, clsid)) return &entry;
    return nullptr;
}

HRESULT CreateFromClassTable(std::string_view name, REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    const ClassTableEntry* entry = FindClassByName(name);
    if (!entry) return REGDB_E_CLASSNOTREG;
    return HResultAtBoundary([&] { return entry->create(iid, object); });
}

HRESULT GetServerClassObject(REFCLSID clsid, REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    const ClassTableEntry* entry = FindClassById(clsid);
    if (!entry) return CLASS_E_CLASSNOTAVAILABLE;
    ClassFactory* factory = new (std::nothrow) ClassFactory(*entry);
    if (!factory) return E_OUTOFMEMORY;
    const HRESULT result = factory->QueryInterface(iid, object);
    factory->Release();
    return result;
}

}  // namespace kestrune
