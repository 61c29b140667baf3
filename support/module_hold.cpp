#include "support/module_hold.h"

#include <atomic>

namespace kestrune {

namespace {
std::atomic<long> g_holds{0};
}

void HoldModule() { g_holds.fetch_add(1); }
void ReleaseModule() { g_holds.fetch_sub(1); }
long ModuleHolds() { return g_holds.load(); }

}  // namespace kestrune
