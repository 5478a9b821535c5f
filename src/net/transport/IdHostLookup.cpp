#include "net/transport/IdHostLookup.h"

#include <atomic>
#include <cstring>
#include <exception>
#include <functional>
#include <memory>

#include "base/WhileWaiting.h"
#include "net/transport/IdWinSock2.h"
#include "platform/Platform.h"
#include "platform/SocketErrors.h"

namespace ws = IdWinSock2;

namespace {

// A plain counter, never destroyed: the program's end reads it after other statics are gone.
std::atomic<int> g_running{0};

// Where a lookup on a thread of its own leaves its outcome. Shared by the thread and the
// waiting side, so that whichever lets go last frees it: a lookup given up on may end long
// after its caller has gone.
// The outcome is written before `ended` is set and read only after it is seen set.
struct LookupSlot {
  platform::Event ended;
  TIdHostLookupResult result;
  std::exception_ptr failure;
};

// Runs `routine` on a thread that nobody waits for and that frees itself when the routine
// returns; false when the system gives no thread.
bool StartUnwatchedThread(std::function<void()> routine) {
  platform::Thread thread;
  if (!thread.Start(std::move(routine))) return false;
  thread.Detach();
  return true;
}

}  // namespace

TIdHostLookupResult LookupHostNow(const std::string& name) {
  TIdHostLookupResult r;
  ws::TAddrInfo hints{};
  hints.ai_family = Id_PF_UNSPEC;
  hints.ai_socktype = Id_SOCK_STREAM;
  ws::TAddrInfo* list = nullptr;
  const int error = ws::getaddrinfo(name.c_str(), nullptr, &hints, &list);
  if (error != 0) {
    r.ErrorNumber = error;
    return r;
  }
  for (const ws::TAddrInfo* p = list; p; p = p->ai_next) {
    if (!p->ai_addr) continue;
    TIdFoundAddress a;
    a.Family = p->ai_addr->family;
    if (a.Family == Id_PF_INET && p->ai_addrlen >= sizeof(ws::TSockAddrIn))
      std::memcpy(a.Bytes, p->ai_addr->v4.sin_addr, 4);
    else if (a.Family == Id_PF_INET6 && p->ai_addrlen >= sizeof(ws::TSockAddrIn6))
      std::memcpy(a.Bytes, p->ai_addr->v6.sin6_addr, 16);
    else
      continue;
    r.Addresses.push_back(a);
  }
  ws::freeaddrinfo(list);
  r.Found = !r.Addresses.empty();
  if (!r.Found) r.ErrorNumber = Id_WSANO_DATA;
  return r;
}

TIdHostLookupResult LookupHostWithin(const std::string& name, int timeout) {
  // Not make_shared: without run-time type information it links the C++ runtime's shared_ptr
  // support (a kilobyte of locks and a hash) for one comparison of type records.
  std::shared_ptr<LookupSlot> slot(new LookupSlot);
  ++g_running;
  const bool started = StartUnwatchedThread([slot, name] {
    TIdHostLookupResult found;
    std::exception_ptr failure;
    try {
      found = LookupHostNow(name);  // the library's record is copied before the thread ends
    } catch (...) {
      failure = std::current_exception();
    }
    slot->result = found;
    slot->failure = failure;
    slot->ended.Set();
    --g_running;
  });
  if (!started) {
    --g_running;
    TIdHostLookupResult none;
    none.ErrorNumber = Id_WSAENOBUFS;
    return none;
  }
  // In slices when this thread has a while-waiting hook; a negative limit waits for the answer.
  const bool ended = WaitInSlices(
      timeout, [&slot](int ms) { return slot->ended.Wait(ms < 0 ? UINT32_MAX : static_cast<std::uint32_t>(ms)); });
  if (!ended) {
    TIdHostLookupResult late;
    late.ErrorNumber = Id_WSAETIMEDOUT;
    return late;
  }
  if (slot->failure) std::rethrow_exception(slot->failure);
  return slot->result;
}

int HostLookupsRunning() { return g_running.load(); }
