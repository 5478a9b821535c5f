#include "net/transport/IdHostLookup.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "net/transport/IdWinSock2.h"
#include "platform/SocketErrors.h"

namespace ws = IdWinSock2;

namespace {

// A plain counter, never destroyed: the program's end reads it after other statics are gone.
std::atomic<int> g_running{0};

// Where a lookup on a thread of its own leaves its outcome. Shared by the thread and the
// waiting side, so that whichever lets go last frees it: a lookup given up on may end long
// after its caller has gone.
struct LookupSlot {
  std::mutex mutex;
  std::condition_variable ended;
  bool done = false;
  TIdHostLookupResult result;
  std::exception_ptr failure;
};

// Runs `routine` on a thread that nobody waits for and that frees itself when the routine
// returns; false when the system gives no thread.
bool StartUnwatchedThread(std::function<void()> routine) {
  try {
    std::thread(std::move(routine)).detach();
    return true;
  } catch (const std::system_error&) {
    return false;
  }
}

}  // namespace

TIdHostLookupResult LookupHostNow(const std::string& name) {
  TIdHostLookupResult r;
  ws::THostEnt* host = ws::gethostbyname(name.c_str());
  if (!host) {
    r.ErrorNumber = ws::WSAGetLastError();  // per thread: read it on the thread that failed
  } else if (host->h_addr_list && host->h_addr_list[0] && host->h_length == 4) {
    std::memcpy(r.Address, host->h_addr_list[0], 4);
    r.Found = true;
  } else {
    r.ErrorNumber = Id_WSAHOST_NOT_FOUND;  // a record without an IPv4 address
  }
  return r;
}

TIdHostLookupResult LookupHostWithin(const std::string& name, int timeout) {
  auto slot = std::make_shared<LookupSlot>();
  ++g_running;
  const bool started = StartUnwatchedThread([slot, name] {
    TIdHostLookupResult found;
    std::exception_ptr failure;
    try {
      found = LookupHostNow(name);  // the library's record is copied before the thread ends
    } catch (...) {
      failure = std::current_exception();
    }
    {
      std::lock_guard<std::mutex> lock(slot->mutex);
      slot->result = found;
      slot->failure = failure;
      slot->done = true;
    }
    slot->ended.notify_all();
    --g_running;
  });
  if (!started) {
    --g_running;
    TIdHostLookupResult none;
    none.ErrorNumber = Id_WSAENOBUFS;
    return none;
  }
  std::unique_lock<std::mutex> lock(slot->mutex);
  if (!slot->ended.wait_for(lock, std::chrono::milliseconds(timeout), [&] { return slot->done; })) {
    TIdHostLookupResult late;
    late.ErrorNumber = Id_WSAETIMEDOUT;
    return late;
  }
  if (slot->failure) std::rethrow_exception(slot->failure);
  return slot->result;
}

int HostLookupsRunning() { return g_running.load(); }
