#include "net/transport/IdStackWindows.h"

#include <cstring>

#include "base/WhileWaiting.h"
#include "net/transport/IdHostLookup.h"
#include "net/transport/IdWinSock2.h"

namespace ws = IdWinSock2;

namespace {

// Set by the first successful start-up; read and written only under the shared stack's lock
// (the stack is created and the library cleaned up there). A plain flag, never destroyed.
bool g_winsockStarted = false;

}  // namespace

TIdStackWindows::TIdStackWindows() {
  // Started once per process; only a library unloaded in between is loaded and started again.
  if (g_winsockStarted && ws::WinsockLoaded()) return;
  ws::TWSAData data;
  if (ws::StartWinsock(0x0202, data) != 0) throw EIdStackInitializationFailed(RSWinsockInitializationError);
  g_winsockStarted = true;
}

bool TIdStackWindows::WinsockStarted() { return g_winsockStarted; }

void TIdStackWindows::CleanupWinsock() {
  if (g_winsockStarted) {
    g_winsockStarted = false;
    try {
      ws::WSACleanup();
    } catch (const EIdException&) {  // the library was unloaded meanwhile: nothing to clean up
    }
  }
  ws::UnloadWinsock();
}

namespace {

// The record of an address of either family, and its length; an empty ip is any address.
ws::TSockAddr MakeAddress(TIdStack& stack, int family, const std::string& ip, int port, int& length) {
  ws::TSockAddr a;
  std::memset(&a, 0, sizeof a);
  const std::uint16_t netPort = stack.WSHToNs(static_cast<std::uint16_t>(port));
  if (family == Id_PF_INET6) {
    a.v6.sin6_family = Id_PF_INET6;
    a.v6.sin6_port = netPort;
    if (!ip.empty()) TIdStack::IPv6ToBytes(ip, a.v6.sin6_addr);
    length = sizeof a.v6;
  } else {
    a.v4.sin_family = static_cast<std::uint16_t>(family);
    a.v4.sin_port = netPort;
    if (!ip.empty()) stack.DottedToAddress(ip, a.v4.sin_addr);
    length = sizeof a.v4;
  }
  return a;
}

// The family, text and port of a record the library filled.
void ReadAddress(TIdStack& stack, const ws::TSockAddr& a, int& family, std::string& ip, int& port) {
  family = a.family;
  if (family == Id_PF_INET6) {
    port = stack.WSNToHs(a.v6.sin6_port);
    ip = TIdStack::IPv6ToText(a.v6.sin6_addr);
  } else {
    port = stack.WSNToHs(a.v4.sin_port);
    ip = stack.AddressToDotted(a.v4.sin_addr);
  }
}

void CopyToSet(const TIdSocketList* list, ws::TFDSet& set) {
  set.fd_count = 0;
  if (!list) return;
  if (list->size() > static_cast<size_t>(platform::kFDSetSize)) throw EIdStackSetSizeExceeded(RSSetSizeExceeded);
  for (TIdStackSocketHandle h : *list) set.fd_array[set.fd_count++] = h;
}

void CopyFromSet(const ws::TFDSet& set, TIdSocketList* list) {
  if (!list) return;
  list->assign(set.fd_array, set.fd_array + set.fd_count);
}

/// The address a socket query (getpeername, getsockname) reports, as family, text and port.
void ReadSocketAddress(TIdStackWindows& stack, int (*query)(ws::TSocket, ws::TSockAddr*, int*), TIdStackSocketHandle s,
                       int& family, std::string& ip, int& port) {
  ws::TSockAddr a;
  std::memset(&a, 0, sizeof a);
  int len = sizeof a;
  stack.CheckSocketResult(query(s, &a, &len));
  ReadAddress(stack, a, family, ip, port);
}

}  // namespace

TIdStackSocketHandle TIdStackWindows::WSAccept(TIdStackSocketHandle s, std::string& ip, int& port) {
  ws::TSockAddr a;
  std::memset(&a, 0, sizeof a);
  int len = sizeof a;
  TIdStackSocketHandle h = ws::accept(s, &a, &len);
  int family = 0;
  if (h != Id_INVALID_SOCKET) ReadAddress(*this, a, family, ip, port);
  return h;
}

int TIdStackWindows::WSBind(TIdStackSocketHandle s, int family, const std::string& ip, int port) {
  int length = 0;
  ws::TSockAddr a = MakeAddress(*this, family, ip, port, length);
  return ws::bind(s, &a, length);
}

int TIdStackWindows::WSCloseSocket(TIdStackSocketHandle s) { return ws::closesocket(s); }

int TIdStackWindows::WSConnect(TIdStackSocketHandle s, int family, const std::string& ip, int port) {
  int length = 0;
  ws::TSockAddr a = MakeAddress(*this, family, ip, port, length);
  return ws::connect(s, &a, length);
}

std::vector<TIdPeerAddress> TIdStackWindows::LookupHostAddresses(const std::string& name, int timeout) {
  // Without a limit the lookup runs on this thread, unless the thread must go on answering
  // while it waits (a while-waiting hook): then on a thread of its own, waited for to the end.
  const TIdHostLookupResult r = timeout > 0             ? LookupHostWithin(name, timeout)
                                : HasWhileWaitingHook() ? LookupHostWithin(name, IdTimeoutInfinite)
                                                        : LookupHostNow(name);
  if (r.Found) {
    std::vector<TIdPeerAddress> found;
    for (const TIdFoundAddress& a : r.Addresses)
      found.push_back({a.Family, a.Family == Id_PF_INET6 ? IPv6ToText(a.Bytes) : AddressToDotted(a.Bytes)});
    return found;
  }
  SetLastErrorNumber(r.ErrorNumber);
  RaiseSocketFault(r.ErrorNumber);
}

std::uint16_t TIdStackWindows::WSHToNs(std::uint16_t v) { return ws::htons(v); }
int TIdStackWindows::WSListen(TIdStackSocketHandle s, int backlog) { return ws::listen(s, backlog); }
std::uint16_t TIdStackWindows::WSNToHs(std::uint16_t v) { return ws::ntohs(v); }
std::uint32_t TIdStackWindows::WSHToNL(std::uint32_t v) { return ws::htonl(v); }
std::uint32_t TIdStackWindows::WSNToHL(std::uint32_t v) { return ws::ntohl(v); }

int TIdStackWindows::WSRecv(TIdStackSocketHandle s, void* buffer, int length, int flags) {
  return ws::recv(s, static_cast<char*>(buffer), length, flags);
}

int TIdStackWindows::WSSelect(TIdSocketList* read, TIdSocketList* write, int timeout, TIdSocketList* error) {
  ws::TFDSet r, w, e;
  CopyToSet(read, r);
  CopyToSet(write, w);
  CopyToSet(error, e);
  ws::TTimeVal tv{timeout / 1000, (timeout % 1000) * 1000};
  int result = ws::select(0, read ? &r : nullptr, write ? &w : nullptr, error ? &e : nullptr,
                          timeout == IdTimeoutInfinite ? nullptr : &tv);
  CopyFromSet(r, read);
  CopyFromSet(w, write);
  CopyFromSet(e, error);
  return result;
}

int TIdStackWindows::WSSend(TIdStackSocketHandle s, const void* buffer, int length, int flags) {
  return ws::send(s, static_cast<const char*>(buffer), length, flags);
}

int TIdStackWindows::WSSetSockOpt(TIdStackSocketHandle s, int level, int option, const void* value, int length) {
  return ws::setsockopt(s, level, option, static_cast<const char*>(value), length);
}

TIdStackSocketHandle TIdStackWindows::WSSocket(int family, int type, int protocol) {
  return ws::socket(family, type, protocol);
}

int TIdStackWindows::WSShutdown(TIdStackSocketHandle s, int how) { return ws::shutdown(s, how); }

int TIdStackWindows::WSGetLastError() { return ws::WSAGetLastError(); }
void TIdStackWindows::WSSetLastError(int number) { ws::WSASetLastError(number); }

void TIdStackWindows::WSGetPeerName(TIdStackSocketHandle s, int& family, std::string& ip, int& port) {
  ReadSocketAddress(*this, ws::getpeername, s, family, ip, port);
}

void TIdStackWindows::WSGetSockName(TIdStackSocketHandle s, int& family, std::string& ip, int& port) {
  ReadSocketAddress(*this, ws::getsockname, s, family, ip, port);
}
