#pragma once
// The in-process server side of the serial-port class: the class object (IClassFactory)
// and the program's own class table, which creates the class by name without the COM
// runtime or the registry. The counts that decide whether the module may be unloaded
// (ServerObjectCount, CanUnloadServer, ...) come with this header from server_counts.h.
#include <windows.h>
#include <objbase.h>

#include <string_view>

#include "com/server_counts.h"

namespace kestrune {

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
