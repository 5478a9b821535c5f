// The socket library on Linux: a built-in module named "WS2_32.DLL" whose exports are POSIX
// sockets behind the Windows signatures. Failures report the Windows error numbers through
// WSAGetLastError (errno translated), so the layers above behave the same in both builds.
#include "platform/SocketApi.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
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
    case EINTR: return 10004;
    case EBADF: return 10038;  // a closed handle: Windows reports "not a socket"
    case EACCES: case EPERM: return 10013;
    case EFAULT: return 10014;
    case EINVAL: return 10022;
    case EMFILE: case ENFILE: return 10024;
    case EWOULDBLOCK: return 10035;
    case EINPROGRESS: return 10036;
    case EALREADY: return 10037;
    case ENOTSOCK: return 10038;
    case EDESTADDRREQ: return 10039;
    case EMSGSIZE: return 10040;
    case EPROTOTYPE: return 10041;
    case ENOPROTOOPT: return 10042;
    case EPROTONOSUPPORT: return 10043;
    case ESOCKTNOSUPPORT: return 10044;
    case EOPNOTSUPP: return 10045;
    case EPFNOSUPPORT: return 10046;
    case EAFNOSUPPORT: return 10047;
    case EADDRINUSE: return 10048;
    case EADDRNOTAVAIL: return 10049;
    case ENETDOWN: return 10050;
    case ENETUNREACH: return 10051;
    case ENETRESET: return 10052;
    case ECONNABORTED: return 10053;
    case ECONNRESET: return 10054;
    case ENOBUFS: case ENOMEM: return 10055;
    case EISCONN: return 10056;
    case ENOTCONN: return 10057;
    case ESHUTDOWN: case EPIPE: return 10058;
    case ETOOMANYREFS: return 10059;
    case ETIMEDOUT: return 10060;
    case ECONNREFUSED: return 10061;
    case ELOOP: return 10062;
    case ENAMETOOLONG: return 10063;
    case EHOSTDOWN: return 10064;
    case EHOSTUNREACH: return 10065;
    case ENOTEMPTY: return 10066;
    default: return e;
  }
}

int Fail() {
  t_lastError = Translate(errno);
  return kSocketError;
}

int Fd(TSocket s) { return s > static_cast<TSocket>(0x7FFFFFFF) ? -1 : static_cast<int>(s); }

sockaddr_in ToNative(const TSockAddrIn& a) {
  sockaddr_in n{};
  n.sin_family = a.sin_family == 2 ? AF_INET : static_cast<sa_family_t>(a.sin_family);
  n.sin_port = a.sin_port;
  std::memcpy(&n.sin_addr, a.sin_addr, 4);
  return n;
}

void FromNative(const sockaddr_in& n, TSockAddrIn* a) {
  std::memset(a, 0, sizeof *a);
  a->sin_family = n.sin_family == AF_INET ? 2 : static_cast<std::uint16_t>(n.sin_family);
  a->sin_port = n.sin_port;
  std::memcpy(a->sin_addr, &n.sin_addr, 4);
}

int ST_WSAAPI ws_WSAStartup(std::uint16_t, TWSAData* data) {
  if (data) {
    std::memset(data, 0, sizeof *data);
    data->wVersion = data->wHighVersion = 0x0202;
    std::strcpy(data->szDescription, "POSIX sockets");
    std::strcpy(data->szSystemStatus, "Running");
  }
  return 0;
}

int ST_WSAAPI ws_WSACleanup() { return 0; }

TSocket ST_WSAAPI ws_socket(int af, int type, int protocol) {
  if (af != 2) {
    t_lastError = 10047;
    return kInvalidSocket;
  }
  int t = type == 1 ? SOCK_STREAM : type == 2 ? SOCK_DGRAM : -1;
  if (t < 0) {
    t_lastError = 10044;
    return kInvalidSocket;
  }
  int fd = ::socket(AF_INET, t | SOCK_CLOEXEC, protocol);
  if (fd < 0) {
    Fail();
    return kInvalidSocket;
  }
  return static_cast<TSocket>(fd);
}

int ST_WSAAPI ws_bind(TSocket s, const TSockAddrIn* addr, int len) {
  if (!addr || len < static_cast<int>(sizeof(TSockAddrIn))) return t_lastError = 10014, kSocketError;
  sockaddr_in n = ToNative(*addr);
  return ::bind(Fd(s), reinterpret_cast<sockaddr*>(&n), sizeof n) == 0 ? 0 : Fail();
}

// A blocking connect; a signal does not abandon it (the attempt goes on and is waited for).
int ST_WSAAPI ws_connect(TSocket s, const TSockAddrIn* addr, int len) {
  if (!addr || len < static_cast<int>(sizeof(TSockAddrIn))) return t_lastError = 10014, kSocketError;
  sockaddr_in n = ToNative(*addr);
  if (::connect(Fd(s), reinterpret_cast<sockaddr*>(&n), sizeof n) == 0) return 0;
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

TSocket ST_WSAAPI ws_accept(TSocket s, TSockAddrIn* addr, int* len) {
  sockaddr_in n{};
  socklen_t nl = sizeof n;
  int fd;
  do fd = ::accept4(Fd(s), reinterpret_cast<sockaddr*>(&n), &nl, SOCK_CLOEXEC);
  while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    Fail();
    return kInvalidSocket;
  }
  if (addr && len && *len >= static_cast<int>(sizeof(TSockAddrIn))) {
    FromNative(n, addr);
    *len = sizeof(TSockAddrIn);
  }
  return static_cast<TSocket>(fd);
}

// Like the Windows call, closing wakes calls blocked on the socket in other threads
// (a connect in progress, an accept): shut both directions down first.
int ST_WSAAPI ws_closesocket(TSocket s) {
  int fd = Fd(s);
  if (fd < 0) return t_lastError = 10038, kSocketError;
  ::shutdown(fd, SHUT_RDWR);
  return ::close(fd) == 0 ? 0 : Fail();
}

int NameCall(int (*call)(int, sockaddr*, socklen_t*), TSocket s, TSockAddrIn* addr, int* len) {
  if (!addr || !len || *len < static_cast<int>(sizeof(TSockAddrIn))) return t_lastError = 10014, kSocketError;
  sockaddr_in n{};
  socklen_t nl = sizeof n;
  if (call(Fd(s), reinterpret_cast<sockaddr*>(&n), &nl) != 0) return Fail();
  FromNative(n, addr);
  *len = sizeof(TSockAddrIn);
  return 0;
}

int ST_WSAAPI ws_getpeername(TSocket s, TSockAddrIn* addr, int* len) {
  return NameCall([](int fd, sockaddr* a, socklen_t* l) { return ::getpeername(fd, a, l); }, s, addr, len);
}
int ST_WSAAPI ws_getsockname(TSocket s, TSockAddrIn* addr, int* len) {
  return NameCall([](int fd, sockaddr* a, socklen_t* l) { return ::getsockname(fd, a, l); }, s, addr, len);
}

std::uint32_t ST_WSAAPI ws_htonl(std::uint32_t v) { return htonl(v); }
std::uint16_t ST_WSAAPI ws_htons(std::uint16_t v) { return htons(v); }
std::uint32_t ST_WSAAPI ws_ntohl(std::uint32_t v) { return ntohl(v); }
std::uint16_t ST_WSAAPI ws_ntohs(std::uint16_t v) { return ntohs(v); }

int ST_WSAAPI ws_listen(TSocket s, int backlog) { return ::listen(Fd(s), backlog) == 0 ? 0 : Fail(); }

int ST_WSAAPI ws_recv(TSocket s, char* buf, int len, int flags) {
  if (len < 0) return t_lastError = 10022, kSocketError;
  ssize_t n;
  do n = ::recv(Fd(s), buf, static_cast<size_t>(len), flags & (MSG_OOB | MSG_PEEK));
  while (n < 0 && errno == EINTR);
  return n < 0 ? Fail() : static_cast<int>(n);
}

int ST_WSAAPI ws_send(TSocket s, const char* buf, int len, int flags) {
  if (len < 0) return t_lastError = 10022, kSocketError;
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
    if (sets[k]->fd_count > static_cast<std::uint32_t>(kFDSetSize)) return t_lastError = 10022, kSocketError;
    for (std::uint32_t i = 0; i < sets[k]->fd_count; ++i) {
      fds.push_back(pollfd{Fd(sets[k]->fd_array[i]), wanted[k], 0});
      owner.push_back(k);
    }
  }
  if (fds.empty()) return t_lastError = 10022, kSocketError;
  int ms = -1;
  if (timeout) {
    if (timeout->tv_sec < 0 || timeout->tv_usec < 0) return t_lastError = 10022, kSocketError;
    long long total = static_cast<long long>(timeout->tv_sec) * 1000 + (timeout->tv_usec + 999) / 1000;
    ms = total > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(total);
  }
  int r;
  do r = ::poll(fds.data(), fds.size(), ms);
  while (r < 0 && errno == EINTR);
  if (r < 0) return Fail();
  for (const pollfd& p : fds)
    if (p.fd < 0 || (p.revents & POLLNVAL)) return t_lastError = 10038, kSocketError;
  int ready = 0;
  for (int k = 0; k < 3; ++k)
    if (sets[k]) sets[k]->fd_count = 0;
  for (size_t i = 0; i < fds.size(); ++i) {
    short hit = fds[i].revents;
    int k = owner[i];
    bool isReady = k == 0 ? (hit & (POLLIN | POLLHUP | POLLERR)) != 0
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
  if (level == 0xFFFF) {
    nlevel = SOL_SOCKET;
    switch (option) {
      case 4: noption = SO_REUSEADDR; break;
      case 8: noption = SO_KEEPALIVE; break;
      case 0x1001: noption = SO_SNDBUF; break;
      case 0x1002: noption = SO_RCVBUF; break;
      default: break;
    }
  } else if (level == 6 && option == 1) {
    nlevel = IPPROTO_TCP;
    noption = TCP_NODELAY;
  }
  if (noption < 0) return t_lastError = 10042, kSocketError;
  if (!value || len < 1) return t_lastError = 10014, kSocketError;
  int v = 0;
  std::memcpy(&v, value, len >= 4 ? 4 : 1);
  return ::setsockopt(Fd(s), nlevel, noption, &v, sizeof v) == 0 ? 0 : Fail();
}

int ST_WSAAPI ws_shutdown(TSocket s, int how) {
  if (how < 0 || how > 2) return t_lastError = 10022, kSocketError;
  return ::shutdown(Fd(s), how) == 0 ? 0 : Fail();
}

struct HostRecord {
  std::string name;
  std::vector<std::array<char, 4>> addresses;
  std::vector<char*> addrList;
  char* noAliases = nullptr;
  THostEnt ent{};
};

THostEnt* ST_WSAAPI ws_gethostbyname(const char* name) {
  thread_local HostRecord record;
  if (!name) return t_lastError = 10014, nullptr;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* res = nullptr;
  int rc = ::getaddrinfo(name, nullptr, &hints, &res);
  if (rc != 0) {
    t_lastError = rc == EAI_AGAIN ? 11002 : rc == EAI_FAIL ? 11003
                : rc == EAI_MEMORY ? 10055 : rc == EAI_SYSTEM ? Translate(errno) : 11001;
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
  record.ent.h_addrtype = 2;
  record.ent.h_length = 4;
  record.ent.h_addr_list = record.addrList.data();
  return &record.ent;
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
    {"WSAStartup", Addr(ws_WSAStartup)},   {"WSACleanup", Addr(ws_WSACleanup)},
    {"accept", Addr(ws_accept)},           {"bind", Addr(ws_bind)},
    {"closesocket", Addr(ws_closesocket)}, {"connect", Addr(ws_connect)},
    {"getpeername", Addr(ws_getpeername)}, {"getsockname", Addr(ws_getsockname)},
    {"htonl", Addr(ws_htonl)},             {"htons", Addr(ws_htons)},
    {"listen", Addr(ws_listen)},           {"ntohl", Addr(ws_ntohl)},
    {"ntohs", Addr(ws_ntohs)},             {"recv", Addr(ws_recv)},
    {"select", Addr(ws_select)},           {"send", Addr(ws_send)},
    {"setsockopt", Addr(ws_setsockopt)},   {"shutdown", Addr(ws_shutdown)},
    {"socket", Addr(ws_socket)},           {"gethostbyname", Addr(ws_gethostbyname)},
    {"WSASetLastError", Addr(ws_WSASetLastError)}, {"WSAGetLastError", Addr(ws_WSAGetLastError)},
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

std::string SocketSystemErrorText(int code) {
  switch (code) {
    case kModNotFound: return "The specified module could not be found.";
    case kProcNotFound: return "The specified procedure could not be found.";
    case 10093: return "Either the application has not called WSAStartup, or WSAStartup failed.";
    default: return "Error " + std::to_string(code) + ".";
  }
}

}  // namespace platform
