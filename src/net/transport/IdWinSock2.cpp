#include "net/transport/IdWinSock2.h"

#include <atomic>

#include "platform/SocketErrors.h"

namespace IdWinSock2 {
namespace {

// Everything here is constant or trivially destructible: the program's end calls WSACleanup
// through this table (IdSharedStack.cpp) when other statics may already be destroyed, so no
// row, name or target may live in storage that a destructor ends.

// Row names in table order. The twelve generic rows before the last four resolve the
// exported name with the suffix A.
constexpr const char* kEntryNames[WinsockEntryCount] = {
    "WSACleanup", "accept", "bind", "closesocket", "connect", "ioctlsocket", "getpeername", "getsockname", "getsockopt",
    "htonl", "htons", "inet_addr", "inet_ntoa", "listen", "ntohl", "ntohs", "recv", "recvfrom", "select", "send",
    "sendto", "setsockopt", "shutdown", "socket", "gethostbyaddr", "gethostbyname", "gethostname", "getservbyport",
    "getservbyname", "getprotobynumber", "getprotobyname", "WSASetLastError", "WSAGetLastError", "WSAIsBlocking",
    "WSAUnhookBlockingHook", "WSASetBlockingHook", "WSACancelBlockingCall", "WSAAsyncGetServByName",
    "WSAAsyncGetServByPort", "WSAAsyncGetProtoByName", "WSAAsyncGetProtoByNumber", "WSAAsyncGetHostByName",
    "WSAAsyncGetHostByAddr", "WSACancelAsyncRequest", "WSAAsyncSelect", "__WSAFDIsSet", "WSAAccept", "WSACloseEvent",
    "WSAConnect", "WSACreateEvent", "WSADuplicateSocketA", "WSADuplicateSocketW", "WSAEnumNetworkEvents",
    "WSAEnumProtocolsA", "WSAEnumProtocolsW", "WSAEventSelect", "WSAGetOverlappedResult", "WSAGetQosByName", "WSAHtonl",
    "WSAHtons", "WSAIoctl", "WSAJoinLeaf", "WSANtohl", "WSANtohs", "WSARecv", "WSARecvDisconnect", "WSARecvFrom",
    "WSAResetEvent", "WSASend", "WSASendDisconnect", "WSASendTo", "WSASetEvent", "WSASocketA", "WSASocketW",
    "WSAWaitForMultipleEvents", "WSAAddressToStringA", "WSAAddressToStringW", "WSAStringToAddressA",
    "WSAStringToAddressW", "WSALookupServiceBeginA", "WSALookupServiceBeginW", "WSALookupServiceNextA",
    "WSALookupServiceNextW", "WSALookupServiceEnd", "WSAInstallServiceClassA", "WSAInstallServiceClassW",
    "WSARemoveServiceClass", "WSAGetServiceClassInfoA", "WSAGetServiceClassInfoW", "WSAEnumNameSpaceProvidersA",
    "WSAEnumNameSpaceProvidersW", "WSAGetServiceClassNameByClassIdA", "WSAGetServiceClassNameByClassIdW",
    "WSASetServiceA", "WSASetServiceW", "WSAProviderConfigChange",
    // generic names
    "WSADuplicateSocket", "WSAEnumProtocols", "WSASocket", "WSAAddressToString", "WSAStringToAddress",
    "WSALookupServiceBegin", "WSALookupServiceNext", "WSAInstallServiceClass", "WSAGetServiceClassInfo",
    "WSAEnumNameSpaceProviders", "WSAGetServiceClassNameByClassId", "WSASetService", "TransmitFile", "AcceptEx",
    "GetAcceptExSockaddrs", "WSARecvEx", "getaddrinfo", "freeaddrinfo"};

constexpr int kFirstGeneric = 96;
constexpr int kGenericCount = 12;
static_assert(kFirstGeneric + kGenericCount == weTransmitFile, "generic rows precede TransmitFile");

// True when `name` is `generic` followed by "A".
constexpr bool IsAVariant(const char* name, const char* generic) {
  while (*generic && *name == *generic) ++name, ++generic;
  return !*generic && name[0] == 'A' && !name[1];
}

// For each row, the row whose name is looked up in the library: itself, or for a generic
// row the row of its A variant.
struct ExportRows {
  int row[WinsockEntryCount];
};
constexpr ExportRows MakeExportRows() {
  ExportRows r{};
  for (int i = 0; i < WinsockEntryCount; ++i) {
    r.row[i] = i < kFirstGeneric || i >= kFirstGeneric + kGenericCount ? i : -1;
    for (int j = 0; j < kFirstGeneric && r.row[i] < 0; ++j)
      if (IsAVariant(kEntryNames[j], kEntryNames[i])) r.row[i] = j;
  }
  return r;
}
constexpr ExportRows kExportRows = MakeExportRows();
constexpr bool EveryGenericRowHasAnAVariant() {
  for (int i = kFirstGeneric; i < kFirstGeneric + kGenericCount; ++i)
    if (kExportRows.row[i] < 0) return false;
  return true;
}
static_assert(EveryGenericRowHasAnAVariant(), "each generic row names an exported A variant");

std::atomic<platform::SocketLibraryHandle> g_library{nullptr};
// Null: the row still points at its resolver.
std::atomic<void*> g_targets[WinsockEntryCount];

template <typename Fn>
Fn Target(int entry) {
  void* t = g_targets[entry].load(std::memory_order_acquire);
  if (!t) t = ResolveEntry(entry);
  return reinterpret_cast<Fn>(t);
}

}  // namespace

const char* WinsockEntryName(int entry) { return entry >= 0 && entry < WinsockEntryCount ? kEntryNames[entry] : ""; }

const char* WinsockExportName(int entry) {
  return entry >= 0 && entry < WinsockEntryCount ? kEntryNames[kExportRows.row[entry]] : "";
}

void* WinsockEntryTarget(int entry) { return g_targets[entry].load(std::memory_order_acquire); }

void* ResolveEntry(int entry) {
  platform::SocketLibraryHandle lib = g_library.load(std::memory_order_acquire);
  if (!lib) throw EIdWS2StubError(IdFormat(RSWS2CallError, kEntryNames[entry]), Id_WSANOTINITIALISED);
  int error = 0;
  void* address = platform::SocketLibrarySymbol(lib, WinsockExportName(entry), error);
  // A missing export fails in order instead of jumping to nowhere.
  if (!address) throw EIdWS2StubError(IdFormat(RSWS2CallError, kEntryNames[entry]), error);
  g_targets[entry].store(address, std::memory_order_release);
  return address;
}

int StartWinsock(std::uint16_t version, TWSAData& data) {
  if (g_library.load(std::memory_order_acquire)) return 0;
  int error = 0;
  platform::SocketLibraryHandle lib = platform::SocketLibraryLoad(WINSOCK2_DLL, error);
  if (!lib) throw EIdWS2StubError(IdFormat(RSWS2LoadError, WINSOCK2_DLL), error);
  platform::SocketLibraryHandle expected = nullptr;
  if (!g_library.compare_exchange_strong(expected, lib)) {
    platform::SocketLibraryFree(lib);  // another thread loaded it first
    lib = expected;
  }
  void* startup = platform::SocketLibrarySymbol(lib, "WSAStartup", error);
  if (!startup) throw EIdWS2StubError(IdFormat(RSWS2CallError, "WSAStartup"), error);
  using Fn = int(ST_WSAAPI*)(std::uint16_t, TWSAData*);
  return reinterpret_cast<Fn>(startup)(version, &data);
}

void ResetEntries() {
  g_library.store(nullptr, std::memory_order_release);
  for (auto& t : g_targets) t.store(nullptr, std::memory_order_release);
}

void UnloadWinsock() {
  platform::SocketLibraryHandle lib = g_library.exchange(nullptr);
  if (lib) {
    platform::SocketLibraryFree(lib);
    ResetEntries();
  }
}

bool WinsockLoaded() { return g_library.load(std::memory_order_acquire) != nullptr; }

// ---- typed entries ---------------------------------------------------------------------------
int WSACleanup() { return Target<int(ST_WSAAPI*)()>(weWSACleanup)(); }
TSocket accept(TSocket s, TSockAddr* addr, int* addrlen) {
  return Target<TSocket(ST_WSAAPI*)(TSocket, TSockAddr*, int*)>(weAccept)(s, addr, addrlen);
}
int bind(TSocket s, const TSockAddr* addr, int namelen) {
  return Target<int(ST_WSAAPI*)(TSocket, const TSockAddr*, int)>(weBind)(s, addr, namelen);
}
int closesocket(TSocket s) { return Target<int(ST_WSAAPI*)(TSocket)>(weCloseSocket)(s); }
int connect(TSocket s, const TSockAddr* name, int namelen) {
  return Target<int(ST_WSAAPI*)(TSocket, const TSockAddr*, int)>(weConnect)(s, name, namelen);
}
int getpeername(TSocket s, TSockAddr* name, int* namelen) {
  return Target<int(ST_WSAAPI*)(TSocket, TSockAddr*, int*)>(weGetPeerName)(s, name, namelen);
}
int getsockname(TSocket s, TSockAddr* name, int* namelen) {
  return Target<int(ST_WSAAPI*)(TSocket, TSockAddr*, int*)>(weGetSockName)(s, name, namelen);
}
std::uint32_t htonl(std::uint32_t v) { return Target<std::uint32_t(ST_WSAAPI*)(std::uint32_t)>(weHtonl)(v); }
std::uint16_t htons(std::uint16_t v) { return Target<std::uint16_t(ST_WSAAPI*)(std::uint16_t)>(weHtons)(v); }
int listen(TSocket s, int backlog) { return Target<int(ST_WSAAPI*)(TSocket, int)>(weListen)(s, backlog); }
std::uint32_t ntohl(std::uint32_t v) { return Target<std::uint32_t(ST_WSAAPI*)(std::uint32_t)>(weNtohl)(v); }
std::uint16_t ntohs(std::uint16_t v) { return Target<std::uint16_t(ST_WSAAPI*)(std::uint16_t)>(weNtohs)(v); }
int recv(TSocket s, char* buf, int len, int flags) {
  return Target<int(ST_WSAAPI*)(TSocket, char*, int, int)>(weRecv)(s, buf, len, flags);
}
int select(int nfds, TFDSet* readfds, TFDSet* writefds, TFDSet* exceptfds, const TTimeVal* timeout) {
  return Target<int(ST_WSAAPI*)(int, TFDSet*, TFDSet*, TFDSet*, const TTimeVal*)>(weSelect)(nfds, readfds, writefds,
                                                                                            exceptfds, timeout);
}
int send(TSocket s, const char* buf, int len, int flags) {
  return Target<int(ST_WSAAPI*)(TSocket, const char*, int, int)>(weSend)(s, buf, len, flags);
}
int setsockopt(TSocket s, int level, int optname, const char* optval, int optlen) {
  return Target<int(ST_WSAAPI*)(TSocket, int, int, const char*, int)>(weSetSockOpt)(s, level, optname, optval, optlen);
}
int shutdown(TSocket s, int how) { return Target<int(ST_WSAAPI*)(TSocket, int)>(weShutdown)(s, how); }
TSocket socket(int af, int type, int protocol) {
  return Target<TSocket(ST_WSAAPI*)(int, int, int)>(weSocket)(af, type, protocol);
}
THostEnt* gethostbyname(const char* name) { return Target<THostEnt*(ST_WSAAPI*)(const char*)>(weGetHostByName)(name); }
int getaddrinfo(const char* node, const char* service, const TAddrInfo* hints, TAddrInfo** result) {
  return Target<int(ST_WSAAPI*)(const char*, const char*, const TAddrInfo*, TAddrInfo**)>(weGetAddrInfo)(node, service,
                                                                                                         hints, result);
}
void freeaddrinfo(TAddrInfo* list) { Target<void(ST_WSAAPI*)(TAddrInfo*)>(weFreeAddrInfo)(list); }
void WSASetLastError(int error) { Target<void(ST_WSAAPI*)(int)>(weWSASetLastError)(error); }
int WSAGetLastError() { return Target<int(ST_WSAAPI*)()>(weWSAGetLastError)(); }

}  // namespace IdWinSock2
