#pragma once
// Run-time binding of the socket library "WS2_32.DLL". The program does not link it: the
// library is loaded by StartWinsock, and every entry of the table below is looked up by name
// on its first call; later calls go straight to the library.
#include <cstdint>
#include <string>

#include "net/transport/IdException.h"
#include "platform/SocketApi.h"

namespace IdWinSock2 {

using platform::TAddrInfo;
using platform::TFDSet;
using platform::THostEnt;
using platform::TSockAddr;
using platform::TSockAddrIn;
using platform::TSockAddrIn6;
using platform::TSocket;
using platform::TTimeVal;
using platform::TWSAData;

constexpr const char* WINSOCK2_DLL = "WS2_32.DLL";

/// Rows of the entry table, in table order (114 rows: the last two, the resolver of both
/// families, are looked up like the rest).
enum WinsockEntry : int {
  weWSACleanup,
  weAccept,
  weBind,
  weCloseSocket,
  weConnect,
  weIoctlSocket,
  weGetPeerName,
  weGetSockName,
  weGetSockOpt,
  weHtonl,
  weHtons,
  weInetAddr,
  weInetNtoa,
  weListen,
  weNtohl,
  weNtohs,
  weRecv,
  weRecvFrom,
  weSelect,
  weSend,
  weSendTo,
  weSetSockOpt,
  weShutdown,
  weSocket,
  weGetHostByAddr,
  weGetHostByName,
  weGetHostName,
  weGetServByPort,
  weGetServByName,
  weGetProtoByNumber,
  weGetProtoByName,
  weWSASetLastError,
  weWSAGetLastError,
  // ... the remaining rows are addressed by index only.
  weTransmitFile = 108,
  weAcceptEx,
  weGetAcceptExSockaddrs,
  weWSARecvEx,
  weGetAddrInfo,
  weFreeAddrInfo,
  WinsockEntryCount
};
static_assert(WinsockEntryCount == 114, "the entry table has 114 rows");

/// The name a row is known by, and the exported name looked up for it (the generic rows
/// look up the variant with the suffix A).
const char* WinsockEntryName(int entry);
const char* WinsockExportName(int entry);
/// The row's current target: null while the row still points at its resolver.
void* WinsockEntryTarget(int entry);
/// What a call of the row does before jumping: resolves the row on its first use.
/// Raises EIdWS2StubError (code Id_WSANOTINITIALISED) when the library is not loaded, and
/// EIdWS2StubError with the system's code when the library does not export the name.
void* ResolveEntry(int entry);

/// Loads the library once and calls its WSAStartup; 0 on success (also when already loaded).
int StartWinsock(std::uint16_t version, TWSAData& data);
/// Points every row back at its resolver and forgets the library handle.
void ResetEntries();
/// Unloads the library (when loaded) and resets the table.
void UnloadWinsock();
bool WinsockLoaded();

// ---- the entries this program calls, with the library's signatures ----------------------------
int WSACleanup();
TSocket accept(TSocket s, TSockAddr* addr, int* addrlen);
int bind(TSocket s, const TSockAddr* addr, int namelen);
int closesocket(TSocket s);
int connect(TSocket s, const TSockAddr* name, int namelen);
int getpeername(TSocket s, TSockAddr* name, int* namelen);
int getsockname(TSocket s, TSockAddr* name, int* namelen);
std::uint32_t htonl(std::uint32_t v);
std::uint16_t htons(std::uint16_t v);
int listen(TSocket s, int backlog);
std::uint32_t ntohl(std::uint32_t v);
std::uint16_t ntohs(std::uint16_t v);
int recv(TSocket s, char* buf, int len, int flags);
int select(int nfds, TFDSet* readfds, TFDSet* writefds, TFDSet* exceptfds, const TTimeVal* timeout);
int send(TSocket s, const char* buf, int len, int flags);
int setsockopt(TSocket s, int level, int optname, const char* optval, int optlen);
int shutdown(TSocket s, int how);
TSocket socket(int af, int type, int protocol);
THostEnt* gethostbyname(const char* name);
/// 0, or the library's error number (also left for WSAGetLastError).
int getaddrinfo(const char* node, const char* service, const TAddrInfo* hints, TAddrInfo** result);
void freeaddrinfo(TAddrInfo* list);
void WSASetLastError(int error);
int WSAGetLastError();

}  // namespace IdWinSock2
