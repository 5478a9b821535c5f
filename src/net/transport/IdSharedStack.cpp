#include "net/transport/IdSharedStack.h"

#include <memory>

#include "net/transport/IdHostLookup.h"
#include "net/transport/IdStackWindows.h"

TIdStack* GStack = nullptr;

namespace {

int g_componentCount = 0;

// The holder is never destroyed, so that a component destroyed during the program's end
// still finds a stack; the stack itself goes with the last component.
std::unique_ptr<TIdStack>& SharedStackHolder() {
  static auto* holder = new std::unique_ptr<TIdStack>();
  return *holder;
}

// At the program's end: the library's clean-up once (when it was started), then the unload.
// A component that outlives this object (one held by another static) still needs the stack
// and the library in its destructor, so then both stay, and the process's end frees them.
// So does a host lookup given up on that still runs inside the library (IdHostLookup.h).
//
// Static destruction runs in the reverse order of construction, so this destructor may run
// after the destructor of any static constructed later, a function-local one among them.
// It therefore reaches only storage that no destructor ends: the lock and the stack holder
// above are never destroyed, the counts and the started flag are plain scalars, and the
// library's entry table and names are constant (IdWinSock2.cpp); the library itself stays
// loaded until UnloadWinsock, as the process's DLLs are detached only after static
// destruction.
struct StackFinalizer {
  ~StackFinalizer() {
    platform::LockGuard lock(StackLock());
    if (g_componentCount == 0 && HostLookupsRunning() == 0) TIdStackWindows::CleanupWinsock();
  }
};
StackFinalizer g_finalizer;

}  // namespace

platform::Lock& StackLock() {
  static auto* m = new platform::Lock();  // never destroyed: components may die after statics
  return *m;
}

void IdStackAddComponent() {
  platform::LockGuard lock(StackLock());
  if (g_componentCount == 0) {
    SharedStackHolder() = std::make_unique<TIdStackWindows>();  // may raise: the component is not counted
    GStack = SharedStackHolder().get();
  }
  ++g_componentCount;
}

void IdStackRemoveComponent() {
  platform::LockGuard lock(StackLock());
  if (--g_componentCount == 0) {
    SharedStackHolder().reset();
    GStack = nullptr;
  }
}

int IdStackComponentCount() {
  platform::LockGuard lock(StackLock());
  return g_componentCount;
}
