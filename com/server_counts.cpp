#include "com/server_counts.h"

#include <atomic>

#include "support/module_hold.h"

namespace kestrune {

namespace {

std::atomic<long> g_factories{0};
std::atomic<long> g_objects{0};
std::atomic<long> g_locks{0};

}  // namespace

void ServerObjectCreated() {
    HoldModule();
    ++g_objects;
}
void ServerObjectDestroyed() {
    --g_objects;
    ReleaseModule();
}

void ServerFactoryCreated() { ++g_factories; }
void ServerFactoryDestroyed() { --g_factories; }

void ServerLocked() {
    HoldModule();
    ++g_locks;
}
void ServerUnlocked() {
    // One step from a count above zero to one less: two unlocks racing for the last lock
    // release it once.
    long held = g_locks.load();
    while (held > 0 && !g_locks.compare_exchange_weak(held, held - 1)) {
    }
    if (held > 0) ReleaseModule();
}

long ServerObjectCount() { return g_objects; }
long ServerLockCount() { return g_locks; }
long ServerFactoryCount() { return g_factories; }
HRESULT CanUnloadServer() { return ModuleHolds() == 0 ? S_OK : S_FALSE; }

}  // namespace kestrune
