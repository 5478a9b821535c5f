// The socket library on Linux: a built-in module named "WS2_32.DLL" whose exports are POSIX
// sockets behind the Windows signatures. Failures report the Windows error numbers through
// WSAGetLastError (errno translated), so the layers above behave the same in both builds.
#include "platform/SocketApi.h"

#include "platform/SocketErrors.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <vector>

namespace platform {
namespace {

constexpr int kModNotFound = 126;   // ERROR_MOD_NOT_FOUND
constexpr int kProcNotFound = 127;  // ERROR_PROC_NOT_FOUND

thread_local int t_lastError = 0;

int Translate(int e) {
  switch (e) {
    case EINTR: return Id_WSAEINTR;
    case EBADF: return Id_WSAENOTSOCK;  // a closed handle: Windows reports "not a socket"
    case EACCES:
    case EPERM: return Id_WSAEACCES;
    case EFAULT: return Id_WSAEFAULT;
    case EINVAL: return Id_WSAEINVAL;
    case EMFILE:
    case ENFILE: return Id_WSAEMFILE;
    case EWOULDBLOCK: return Id_WSAEWOULDBLOCK;
    case EINPROGRESS: return Id_WSAEINPROGRESS;
    case EALREADY: return Id_WSAEALREADY;
    case ENOTSOCK: return Id_WSAENOTSOCK;
    case EDESTADDRREQ: return Id_WSAEDESTADDRREQ;
    case EMSGSIZE: return Id_WSAEMSGSIZE;
    case EPROTOTYPE: return Id_WSAEPROTOTYPE;
    case ENOPROTOOPT: return Id_WSAENOPROTOOPT;
    case EPROTONOSUPPORT: return Id_WSAEPROTONOSUPPORT;
    case ESOCKTNOSUPPORT: return Id_WSAESOCKTNOSUPPORT;
    case EOPNOTSUPP: return Id_WSAEOPNOTSUPP;
    case EPFNOSUPPORT: return Id_WSAEPFNOSUPPORT;
    case EAFNOSUPPORT: return Id_WSAEAFNOSUPPORT;
    case EADDRINUSE: return Id_WSAEADDRINUSE;
    case EADDRNOTAVAIL: return Id_WSAEADDRNOTAVAIL;
    case ENETDOWN: return Id_WSAENETDOWN;
    case ENETUNREACH: return Id_WSAENETUNREACH;
    case ENETRESET: return Id_WSAENETRESET;
    case ECONNABORTED: return Id_WSAECONNABORTED;
    case ECONNRESET: return Id_WSAECONNRESET;
    case ENOBUFS:
    case ENOMEM: return Id_WSAENOBUFS;
    case EISCONN: return Id_WSAEISCONN;
    case ENOTCONN: return Id_WSAENOTCONN;
    case ESHUTDOWN:
    case EPIPE: return Id_WSAESHUTDOWN;
    case ETOOMANYREFS: return Id_WSAETOOMANYREFS;
    case ETIMEDOUT: return Id_WSAETIMEDOUT;
    case ECONNREFUSED: return Id_WSAECONNREFUSED;
    case ELOOP: return Id_WSAELOOP;
    case ENAMETOOLONG: return Id_WSAENAMETOOLONG;
    case EHOSTDOWN: return Id_WSAEHOSTDOWN;
    case EHOSTUNREACH: return Id_WSAEHOSTUNREACH;
    case ENOTEMPTY: return Id_WSAENOTEMPTY;
    default: return e;
  }
}

int Fail() {
  t_lastError = Translate(errno);
  return kSocketError;
}

int Fd(TSocket s) { return s > static_cast<TSocket>(0x7FFFFFFF) ? -1 : static_cast<int>(s); }

// The Windows record (family 2 or 23) as the system's; false when `len` is short of it.
bool ToNative(const TSockAddr* a, int len, sockaddr_storage& n, socklen_t& nl) {
  std::memset(&n, 0, sizeof n);
  if (!a || len < static_cast<int>(sizeof(TSockAddrIn))) return false;
  if (a->family == Id_PF_INET6) {
    if (len < static_cast<int>(sizeof(TSockAddrIn6))) return false;
    sockaddr_in6& v6 = reinterpret_cast<sockaddr_in6&>(n);
    v6.sin6_family = AF_INET6;
    v6.sin6_port = a->v6.sin6_port;
    v6.sin6_flowinfo = a->v6.sin6_flowinfo;
    std::memcpy(&v6.sin6_addr, a->v6.sin6_addr, 16);
    v6.sin6_scope_id = a->v6.sin6_scope_id;
    nl = sizeof v6;
    return true;
  }
  sockaddr_in& v4 = reinterpret_cast<sockaddr_in&>(n);
  v4.sin_family = a->family == Id_PF_INET ? AF_INET : static_cast<sa_family_t>(a->family);
  v4.sin_port = a->v4.sin_port;
  std::memcpy(&v4.sin_addr, a->v4.sin_addr, 4);
  nl = sizeof v4;
  return true;
}

// The system's record as Windows' into `a` (room for `*len` bytes); false when it does not fit.
bool FromNative(const sockaddr_storage& n, TSockAddr* a, int* len) {
  if (!a || !len) return false;
  if (n.ss_family == AF_INET6) {
    if (*len < static_cast<int>(sizeof(TSockAddrIn6))) return false;
    const sockaddr_in6& v6 = reinterpret_cast<const sockaddr_in6&>(n);
    std::memset(&a->v6, 0, sizeof a->v6);
    a->v6.sin6_family = Id_PF_INET6;
    a->v6.sin6_port = v6.sin6_port;
    a->v6.sin6_flowinfo = v6.sin6_flowinfo;
    std::memcpy(a->v6.sin6_addr, &v6.sin6_addr, 16);
    a->v6.sin6_scope_id = v6.sin6_scope_id;
    *len = sizeof(TSockAddrIn6);
    return true;
  }
  if (*len < static_cast<int>(sizeof(TSockAddrIn))) return false;
  const sockaddr_in& v4 = reinterpret_cast<const sockaddr_in&>(n);
  std::memset(&a->v4, 0, sizeof a->v4);
  a->v4.sin_family = v4.sin_family == AF_INET ? Id_PF_INET : static_cast<std::uint16_t>(v4.sin_family);
  a->v4.sin_port = v4.sin_port;
  std::memcpy(a->v4.sin_addr, &v4.sin_addr, 4);
  *len = sizeof(TSockAddrIn);
  return true;
}

// Told of each start-up and clean-up call (a test seam); a plain pointer, never destroyed.
void (*g_startupObserver)(const char* call) = nullptr;

int ST_WSAAPI ws_WSAStartup(std::uint16_t, TWSAData* data) {
  if (g_startupObserver) g_startupObserver("WSAStartup");
  if (data) {
    std::memset(data, 0, sizeof *data);
    data->wVersion = data->wHighVersion = 0x0202;
    std::strcpy(data->szDescription, "POSIX sockets");
    std::strcpy(data->szSystemStatus, "Running");
  }
  return 0;
}

int ST_WSAAPI ws_WSACleanup() {
  if (g_startupObserver) g_startupObserver("WSACleanup");
  return 0;
}

TSocket ST_WSAAPI ws_socket(int af, int type, int protocol) {
  if (af != Id_PF_INET && af != Id_PF_INET6) {
    t_lastError = Id_WSAEAFNOSUPPORT;
    return kInvalidSocket;
  }
  int t = type == Id_SOCK_STREAM ? SOCK_STREAM : type == Id_SOCK_DGRAM ? SOCK_DGRAM : -1;
  if (t < 0) {
    t_lastError = Id_WSAESOCKTNOSUPPORT;
    return kInvalidSocket;
  }
  int fd = ::socket(af == Id_PF_INET6 ? AF_INET6 : AF_INET, t | SOCK_CLOEXEC, protocol);
  if (fd < 0) {
    Fail();
    return kInvalidSocket;
  }
  return static_cast<TSocket>(fd);
}

int ST_WSAAPI ws_bind(TSocket s, const TSockAddr* addr, int len) {
  sockaddr_storage n;
  socklen_t nl = 0;
  if (!ToNative(addr, len, n, nl)) return t_lastError = Id_WSAEFAULT, kSocketError;
  return ::bind(Fd(s), reinterpret_cast<sockaddr*>(&n), nl) == 0 ? 0 : Fail();
}

// A blocking connect; a signal does not abandon it (the attempt goes on and is waited for).
int ST_WSAAPI ws_connect(TSocket s, const TSockAddr* addr, int len) {
  sockaddr_storage n;
  socklen_t nl = 0;
  if (!ToNative(addr, len, n, nl)) return t_lastError = Id_WSAEFAULT, kSocketError;
  if (::connect(Fd(s), reinterpret_cast<sockaddr*>(&n), nl) == 0) return 0;
  if (errno != EINTR) return Fail();
  pollfd p{Fd(s), POLLOUT, 0};
  while (::poll(&p, 1, -1) < 0 && errno == EINTR) {
  }
  int err = 0;
  socklen_t el = sizeof err;
  if (::getsockopt(Fd(s), SOL_SOCKET, SO_ERROR, &err, &el) != 0) return Fail();
  if (err == 0) return 0;
  t_lastError = Translate(err);
  return kSocketError;
}

TSocket ST_WSAAPI ws_accept(TSocket s, TSockAddr* addr, int* len) {
  sockaddr_storage n{};
  socklen_t nl = sizeof n;
  int fd;
  do fd = ::accept4(Fd(s), reinterpret_cast<sockaddr*>(&n), &nl, SOCK_CLOEXEC);
  while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    Fail();
    return kInvalidSocket;
  }
  if (addr && len) FromNative(n, addr, len);
  return static_cast<TSocket>(fd);
}

// Like the Windows call, closing wakes calls blocked on the socket in other threads
// (a connect in progress, an accept): shut both directions down first.
int ST_WSAAPI ws_closesocket(TSocket s) {
  int fd = Fd(s);
  if (fd < 0) return t_lastError = Id_WSAENOTSOCK, kSocketError;
  ::shutdown(fd, SHUT_RDWR);
  return ::close(fd) == 0 ? 0 : Fail();
}

int NameCall(int (*call)(int, sockaddr*, socklen_t*), TSocket s, TSockAddr* addr, int* len) {
  if (!addr || !len) return t_lastError = Id_WSAEFAULT, kSocketError;
  sockaddr_storage n{};
  socklen_t nl = sizeof n;
  if (call(Fd(s), reinterpret_cast<sockaddr*>(&n), &nl) != 0) return Fail();
  if (!FromNative(n, addr, len)) return t_lastError = Id_WSAEFAULT, kSocketError;
  return 0;
}

int ST_WSAAPI ws_getpeername(TSocket s, TSockAddr* addr, int* len) {
  return NameCall([](int fd, sockaddr* a, socklen_t* l) { return ::getpeername(fd, a, l); }, s, addr, len);
}
int ST_WSAAPI ws_getsockname(TSocket s, TSockAddr* addr, int* len) {
  return NameCall([](int fd, sockaddr* a, socklen_t* l) { return ::getsockname(fd, a, l); }, s, addr, len);
}

std::uint32_t ST_WSAAPI ws_htonl(std::uint32_t v) { return htonl(v); }
std::uint16_t ST_WSAAPI ws_htons(std::uint16_t v) { return htons(v); }
std::uint32_t ST_WSAAPI ws_ntohl(std::uint32_t v) { return ntohl(v); }
std::uint16_t ST_WSAAPI ws_ntohs(std::uint16_t v) { return ntohs(v); }

int ST_WSAAPI ws_listen(TSocket s, int backlog) { return ::listen(Fd(s), backlog) == 0 ? 0 : Fail(); }

int ST_WSAAPI ws_recv(TSocket s, char* buf, int len, int flags) {
  if (len < 0) return t_lastError = Id_WSAEINVAL, kSocketError;
  ssize_t n;
  do n = ::recv(Fd(s), buf, static_cast<size_t>(len), flags & (MSG_OOB | MSG_PEEK));
  while (n < 0 && errno == EINTR);
  return n < 0 ? Fail() : static_cast<int>(n);
}

int ST_WSAAPI ws_send(TSocket s, const char* buf, int len, int flags) {
  if (len < 0) return t_lastError = Id_WSAEINVAL, kSocketError;
  ssize_t n;
  do n = ::send(Fd(s), buf, static_cast<size_t>(len), (flags & MSG_OOB) | MSG_NOSIGNAL);
  while (n < 0 && errno == EINTR);
  return n < 0 ? Fail() : static_cast<int>(n);
}

// select over poll: no limit on descriptor values; each set is rebuilt with its ready handles
// and the result counts them all, as the library does.
int ST_WSAAPI ws_select(int, TFDSet* rd, TFDSet* wr, TFDSet* ex, const TTimeVal* timeout) {
  TFDSet* sets[3] = {rd, wr, ex};
  const short wanted[3] = {POLLIN, POLLOUT, POLLPRI};
  std::vector<pollfd> fds;
  std::vector<int> owner;
  for (int k = 0; k < 3; ++k) {
    if (!sets[k]) continue;
    if (sets[k]->fd_count > static_cast<std::uint32_t>(kFDSetSize)) return t_lastError = Id_WSAEINVAL, kSocketError;
    for (std::uint32_t i = 0; i < sets[k]->fd_count; ++i) {
      fds.push_back(pollfd{Fd(sets[k]->fd_array[i]), wanted[k], 0});
      owner.push_back(k);
    }
  }
  if (fds.empty()) return t_lastError = Id_WSAEINVAL, kSocketError;
  int ms = -1;
  if (timeout) {
    if (timeout->tv_sec < 0 || timeout->tv_usec < 0) return t_lastError = Id_WSAEINVAL, kSocketError;
    long long total = static_cast<long long>(timeout->tv_sec) * 1000 + (timeout->tv_usec + 999) / 1000;
    ms = total > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(total);
  }
  int r;
  do r = ::poll(fds.data(), fds.size(), ms);
  while (r < 0 && errno == EINTR);
  if (r < 0) return Fail();
  for (const pollfd& p : fds)
    if (p.fd < 0 || (p.revents & POLLNVAL)) return t_lastError = Id_WSAENOTSOCK, kSocketError;
  int ready = 0;
  for (int k = 0; k < 3; ++k)
    if (sets[k]) sets[k]->fd_count = 0;
  for (size_t i = 0; i < fds.size(); ++i) {
    short hit = fds[i].revents;
    int k = owner[i];
    bool isReady = k == 0   ? (hit & (POLLIN | POLLHUP | POLLERR)) != 0
                   : k == 1 ? (hit & (POLLOUT | POLLERR)) != 0
                            : (hit & POLLPRI) != 0;
    if (isReady) {
      sets[k]->fd_array[sets[k]->fd_count++] = static_cast<TSocket>(fds[i].fd);
      ++ready;
    }
  }
  return ready;
}

int ST_WSAAPI ws_setsockopt(TSocket s, int level, int option, const char* value, int len) {
  int nlevel = -1, noption = -1;
  if (level == Id_SOL_SOCKET) {
    nlevel = SOL_SOCKET;
    switch (option) {
      case Id_SO_REUSEADDR: noption = SO_REUSEADDR; break;
      case Id_SO_KEEPALIVE: noption = SO_KEEPALIVE; break;
      case Id_SO_SNDBUF: noption = SO_SNDBUF; break;
      case Id_SO_RCVBUF: noption = SO_RCVBUF; break;
      default: break;
    }
  } else if (level == Id_IPPROTO_TCP && option == Id_TCP_NODELAY) {
    nlevel = IPPROTO_TCP;
    noption = TCP_NODELAY;
  }
  if (noption < 0) return t_lastError = Id_WSAENOPROTOOPT, kSocketError;
  if (!value || len < 1) return t_lastError = Id_WSAEFAULT, kSocketError;
  int v = 0;
  std::memcpy(&v, value, len >= 4 ? 4 : 1);
  return ::setsockopt(Fd(s), nlevel, noption, &v, sizeof v) == 0 ? 0 : Fail();
}

// The directions have the same numbers in both libraries.
static_assert(SHUT_RD == Id_SD_Receive && SHUT_WR == Id_SD_Send && SHUT_RDWR == Id_SD_Both, "shutdown directions");
int ST_WSAAPI ws_shutdown(TSocket s, int how) {
  if (how < Id_SD_Receive || how > Id_SD_Both) return t_lastError = Id_WSAEINVAL, kSocketError;
  return ::shutdown(Fd(s), how) == 0 ? 0 : Fail();
}

// The resolver's failure as the library's number (getaddrinfo returns it).
int LookupError(int rc) {
  return rc == EAI_AGAIN    ? Id_WSATRY_AGAIN
         : rc == EAI_FAIL   ? Id_WSANO_RECOVERY
         : rc == EAI_MEMORY ? Id_WSAENOBUFS
         : rc == EAI_FAMILY ? Id_WSAEAFNOSUPPORT
         : rc == EAI_SYSTEM ? Translate(errno)
         : rc == EAI_NODATA ? Id_WSANO_DATA
                            : Id_WSAHOST_NOT_FOUND;
}

struct HostRecord {
  std::string name;
  std::vector<std::array<char, 4>> addresses;
  std::vector<char*> addrList;
  char* noAliases = nullptr;
  THostEnt ent{};
};

// The lookup that replaces the system's resolver (a test seam); null: the system's.
std::atomic<HostLookup> g_hostLookup{nullptr};

THostEnt* ST_WSAAPI ws_gethostbyname(const char* name) {
  thread_local HostRecord record;
  if (!name) return t_lastError = Id_WSAEFAULT, nullptr;
  if (HostLookup lookup = g_hostLookup.load()) {
    int error = 0;
    THostEnt* found = lookup(name, error);
    if (!found) t_lastError = error;
    return found;
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* res = nullptr;
  int rc = ::getaddrinfo(name, nullptr, &hints, &res);
  if (rc != 0) {
    t_lastError = LookupError(rc);
    return nullptr;
  }
  record.name = name;
  record.addresses.clear();
  for (addrinfo* p = res; p; p = p->ai_next) {
    std::array<char, 4> a;
    std::memcpy(a.data(), &reinterpret_cast<sockaddr_in*>(p->ai_addr)->sin_addr, 4);
    record.addresses.push_back(a);
  }
  ::freeaddrinfo(res);
  record.addrList.clear();
  for (auto& a : record.addresses) record.addrList.push_back(a.data());
  record.addrList.push_back(nullptr);
  record.ent.h_name = &record.name[0];
  record.ent.h_aliases = &record.noAliases;
  record.ent.h_addrtype = Id_PF_INET;
  record.ent.h_length = 4;
  record.ent.h_addr_list = record.addrList.data();
  return &record.ent;
}

// One record of the list with its address, freed as one.
struct AddrInfoNode {
  TAddrInfo info{};
  TSockAddr address{};
};

TAddrInfo* AppendAddress(TAddrInfo**& tail, const sockaddr_storage& n, int socktype) {
  auto* node = new AddrInfoNode;
  int len = sizeof node->address;
  FromNative(n, &node->address, &len);
  node->info.ai_family = node->address.family;
  node->info.ai_socktype = socktype;
  node->info.ai_protocol = Id_IPPROTO_TCP;
  node->info.ai_addrlen = static_cast<std::size_t>(len);
  node->info.ai_addr = &node->address;
  *tail = &node->info;
  tail = &node->info.ai_next;
  return &node->info;
}

void ST_WSAAPI ws_freeaddrinfo(TAddrInfo* list) {
  while (list) {
    TAddrInfo* next = list->ai_next;
    delete reinterpret_cast<AddrInfoNode*>(list);  // info is the node's first member
    list = next;
  }
}

// The stream addresses of a name in the system's order, both families unless the hints name one.
int ST_WSAAPI ws_getaddrinfo(const char* node, const char*, const TAddrInfo* hints, TAddrInfo** result) {
  if (!node || !result) return Id_WSAEINVAL;
  *result = nullptr;
  const int family = hints ? hints->ai_family : Id_PF_UNSPEC;
  TAddrInfo** tail = result;
  if (HostLookup lookup = g_hostLookup.load()) {
    int error = 0;
    THostEnt* found = lookup(node, error);
    if (!found) return error;
    for (char** a = found->h_addr_list; a && *a && family != Id_PF_INET6; ++a) {
      sockaddr_storage n{};
      auto& v4 = reinterpret_cast<sockaddr_in&>(n);
      v4.sin_family = AF_INET;
      std::memcpy(&v4.sin_addr, *a, 4);
      AppendAddress(tail, n, Id_SOCK_STREAM);
    }
    return *result ? 0 : Id_WSANO_DATA;
  }
  addrinfo h{};
  h.ai_family = family == Id_PF_INET ? AF_INET : family == Id_PF_INET6 ? AF_INET6 : AF_UNSPEC;
  h.ai_socktype = SOCK_STREAM;
  addrinfo* res = nullptr;
  const int rc = ::getaddrinfo(node, nullptr, &h, &res);
  if (rc != 0) return LookupError(rc);
  for (addrinfo* p = res; p; p = p->ai_next) {
    if (p->ai_family != AF_INET && p->ai_family != AF_INET6) continue;
    sockaddr_storage n{};
    std::memcpy(&n, p->ai_addr, std::min<std::size_t>(p->ai_addrlen, sizeof n));
    AppendAddress(tail, n, Id_SOCK_STREAM);
  }
  ::freeaddrinfo(res);
  return *result ? 0 : Id_WSANO_DATA;
}

void ST_WSAAPI ws_WSASetLastError(int e) { t_lastError = e; }
int ST_WSAAPI ws_WSAGetLastError() { return t_lastError; }

struct Export {
  const char* name;
  void* address;
};

template <typename F>
void* Addr(F f) {
  return reinterpret_cast<void*>(f);
}

const Export kExports[] = {
    {"WSAStartup", Addr(ws_WSAStartup)},
    {"WSACleanup", Addr(ws_WSACleanup)},
    {"accept", Addr(ws_accept)},
    {"bind", Addr(ws_bind)},
    {"closesocket", Addr(ws_closesocket)},
    {"connect", Addr(ws_connect)},
    {"getpeername", Addr(ws_getpeername)},
    {"getsockname", Addr(ws_getsockname)},
    {"htonl", Addr(ws_htonl)},
    {"htons", Addr(ws_htons)},
    {"listen", Addr(ws_listen)},
    {"ntohl", Addr(ws_ntohl)},
    {"ntohs", Addr(ws_ntohs)},
    {"recv", Addr(ws_recv)},
    {"select", Addr(ws_select)},
    {"send", Addr(ws_send)},
    {"setsockopt", Addr(ws_setsockopt)},
    {"shutdown", Addr(ws_shutdown)},
    {"socket", Addr(ws_socket)},
    {"gethostbyname", Addr(ws_gethostbyname)},
    {"getaddrinfo", Addr(ws_getaddrinfo)},
    {"freeaddrinfo", Addr(ws_freeaddrinfo)},
    {"WSASetLastError", Addr(ws_WSASetLastError)},
    {"WSAGetLastError", Addr(ws_WSAGetLastError)},
};

int g_module;  // the module's identity

bool SameNameIgnoringCase(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b) {
    char x = *a >= 'a' && *a <= 'z' ? static_cast<char>(*a - 32) : *a;
    char y = *b >= 'a' && *b <= 'z' ? static_cast<char>(*b - 32) : *b;
    if (x != y) return false;
  }
  return *a == *b;
}

}  // namespace

SocketLibraryHandle SocketLibraryLoad(const char* name, int& error) {
  if (name && SameNameIgnoringCase(name, "WS2_32.DLL")) {
    error = 0;
    return &g_module;
  }
  error = kModNotFound;
  return nullptr;
}

void* SocketLibrarySymbol(SocketLibraryHandle module, const char* name, int& error) {
  if (module == &g_module && name) {
    for (const Export& e : kExports)
      if (std::strcmp(e.name, name) == 0) {
        error = 0;
        return e.address;
      }
  }
  error = kProcNotFound;
  return nullptr;
}

void SocketLibraryFree(SocketLibraryHandle) {}

bool ObserveSocketLibraryStartup(void (*observer)(const char* call)) {
  g_startupObserver = observer;
  return true;
}

bool ReplaceHostLookup(HostLookup lookup) {
  g_hostLookup.store(lookup);
  return true;
}

std::string SocketSystemErrorText(int code) {
  switch (code) {
    case kModNotFound: return "The specified module could not be found.";
    case kProcNotFound: return "The specified procedure could not be found.";
    case Id_WSANOTINITIALISED: return "Either the application has not called WSAStartup, or WSAStartup failed.";
    default: return "Error " + std::to_string(code) + ".";
  }
}

}  // namespace platform
