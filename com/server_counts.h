#pragma once
// The in-process server's counts: live objects of the module's classes, LockServer locks
// and live class objects. Each also takes a module hold (support/module_hold.h), so the one
// count that DllCanUnloadNow reads covers them all (and the scan's running workers).
//
// The class objects and the objects they create both count here; neither needs the other
// for it.
#include <windows.h>

namespace kestrune {

void ServerObjectCreated();
void ServerObjectDestroyed();
// A class object's own count; its module hold is the class object's own ModuleHold.
void ServerFactoryCreated();
void ServerFactoryDestroyed();
// LockServer(TRUE) and LockServer(FALSE). An unlock without a lock changes nothing.
void ServerLocked();
void ServerUnlocked();

long ServerObjectCount();
long ServerLockCount();
long ServerFactoryCount();
// S_OK when no object, class object, lock or running worker holds the module, else
// S_FALSE: one read of one count.
HRESULT CanUnloadServer();

}  // namespace kestrune
