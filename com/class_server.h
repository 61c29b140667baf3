#pragma once
// The in-process server side of the serial-port class: the counts that decide whether the
// module may be unloaded, the class object (IClassFactory) and the program's own class
// table, which creates the class by name without the COM runtime or the registry.
#include <windows.h>
#include <objbase.h>

#include <string_view>

namespace kestrune {

// Live objects of the module's classes, LockServer locks and live class objects. Each also
// takes a module hold (support/module_hold.h).
void ServerObjectCreated();
void ServerObjectDestroyed();
long ServerObjectCount();
long ServerLockCount();
long ServerFactoryCount();
// S_OK when no object, class object, lock or running worker holds the module, else
// S_FALSE: one read of one count.
HRESULT CanUnloadServer();

// One class the module serves.
struct ClassTableEntry {
    const char* name;
    const CLSID* clsid;
    HRESULT (*create)(REFIID iid, void** object);
};

// By name (at most 39 characters, compared without regard to case) or by identifier;
// null when the table does not hold it.
const ClassTableEntry* FindClassByName(std::string_view name);
const ClassTableEntry* FindClassById(REFCLSID clsid);

// A new object of the named class, asked for iid: E_POINTER for a null out-pointer,
// REGDB_E_CLASSNOTREG for a name the table does not hold, else what creation gives.
HRESULT CreateFromClassTable(std::string_view name, REFIID iid, void** object);

// The class object for clsid, asked for iid (IClassFactory or IUnknown):
// CLASS_E_CLASSNOTAVAILABLE for a class the table does not hold.
HRESULT GetServerClassObject(REFCLSID clsid, REFIID iid, void** object);

}  // namespace kestrune
