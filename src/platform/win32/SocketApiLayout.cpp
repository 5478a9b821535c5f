// The socket library's records and numbers as this program copies them (platform/SocketApi.h,
// platform/SocketErrors.h), checked against the system's own headers: a difference fails the
// build instead of corrupting a call at run time. Nothing here ends up in the program.
#define INCL_WINSOCK_API_TYPEDEFS 1  // the LPFN_ types of the entries
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstddef>
#include <type_traits>

#include "platform/SocketApi.h"
#include "platform/SocketErrors.h"

namespace platform {

// Same size and alignment.
#define ST_SAME_RECORD(Ours, Theirs)                                                \
  static_assert(sizeof(Ours) == sizeof(Theirs) && alignof(Ours) == alignof(Theirs), \
                #Ours " differs in size or alignment from " #Theirs)
// Same offset and size of a field of the same name.
#define ST_SAME_FIELD(Ours, Theirs, field)                                                                        \
  static_assert(offsetof(Ours, field) == offsetof(Theirs, field) && sizeof(Ours::field) == sizeof(Theirs::field), \
                #Ours "::" #field " differs from " #Theirs)

static_assert(std::is_same<TSocket, SOCKET>::value, "a socket handle is the system's SOCKET");
static_assert(kInvalidSocket == INVALID_SOCKET, "INVALID_SOCKET");
static_assert(kSocketError == SOCKET_ERROR, "SOCKET_ERROR");
// The entries are called with the library's calling convention.
static_assert(std::is_same<int(ST_WSAAPI*)(), LPFN_WSACLEANUP>::value, "ST_WSAAPI is WSAAPI");
static_assert(std::is_same<int(ST_WSAAPI*)(TSocket), LPFN_CLOSESOCKET>::value, "ST_WSAAPI is WSAAPI");
static_assert(std::is_same<std::uint16_t(ST_WSAAPI*)(std::uint16_t), LPFN_HTONS>::value, "ST_WSAAPI is WSAAPI");
static_assert(std::is_same<TSocket(ST_WSAAPI*)(int, int, int), LPFN_SOCKET>::value, "ST_WSAAPI is WSAAPI");

ST_SAME_RECORD(TSockAddrIn, sockaddr_in);
ST_SAME_FIELD(TSockAddrIn, sockaddr_in, sin_family);
ST_SAME_FIELD(TSockAddrIn, sockaddr_in, sin_port);
ST_SAME_FIELD(TSockAddrIn, sockaddr_in, sin_addr);
ST_SAME_FIELD(TSockAddrIn, sockaddr_in, sin_zero);

ST_SAME_RECORD(TSockAddrIn6, sockaddr_in6);
ST_SAME_FIELD(TSockAddrIn6, sockaddr_in6, sin6_family);
ST_SAME_FIELD(TSockAddrIn6, sockaddr_in6, sin6_port);
ST_SAME_FIELD(TSockAddrIn6, sockaddr_in6, sin6_flowinfo);
ST_SAME_FIELD(TSockAddrIn6, sockaddr_in6, sin6_addr);
ST_SAME_FIELD(TSockAddrIn6, sockaddr_in6, sin6_scope_id);

ST_SAME_RECORD(TAddrInfo, ADDRINFOA);
ST_SAME_FIELD(TAddrInfo, ADDRINFOA, ai_flags);
ST_SAME_FIELD(TAddrInfo, ADDRINFOA, ai_family);
ST_SAME_FIELD(TAddrInfo, ADDRINFOA, ai_socktype);
ST_SAME_FIELD(TAddrInfo, ADDRINFOA, ai_protocol);
ST_SAME_FIELD(TAddrInfo, ADDRINFOA, ai_addrlen);
ST_SAME_FIELD(TAddrInfo, ADDRINFOA, ai_canonname);
ST_SAME_FIELD(TAddrInfo, ADDRINFOA, ai_addr);
ST_SAME_FIELD(TAddrInfo, ADDRINFOA, ai_next);

static_assert(kFDSetSize == FD_SETSIZE, "FD_SETSIZE");
ST_SAME_RECORD(TFDSet, fd_set);
ST_SAME_FIELD(TFDSet, fd_set, fd_count);
ST_SAME_FIELD(TFDSet, fd_set, fd_array);

ST_SAME_RECORD(TTimeVal, timeval);
ST_SAME_FIELD(TTimeVal, timeval, tv_sec);
ST_SAME_FIELD(TTimeVal, timeval, tv_usec);

ST_SAME_RECORD(THostEnt, hostent);
ST_SAME_FIELD(THostEnt, hostent, h_name);
ST_SAME_FIELD(THostEnt, hostent, h_aliases);
ST_SAME_FIELD(THostEnt, hostent, h_addrtype);
ST_SAME_FIELD(THostEnt, hostent, h_length);
ST_SAME_FIELD(THostEnt, hostent, h_addr_list);

ST_SAME_RECORD(TWSAData, WSADATA);
ST_SAME_FIELD(TWSAData, WSADATA, wVersion);
ST_SAME_FIELD(TWSAData, WSADATA, wHighVersion);
ST_SAME_FIELD(TWSAData, WSADATA, szDescription);
ST_SAME_FIELD(TWSAData, WSADATA, szSystemStatus);
ST_SAME_FIELD(TWSAData, WSADATA, iMaxSockets);
ST_SAME_FIELD(TWSAData, WSADATA, iMaxUdpDg);
ST_SAME_FIELD(TWSAData, WSADATA, lpVendorInfo);

#undef ST_SAME_FIELD
#undef ST_SAME_RECORD

}  // namespace platform

// ---- constants --------------------------------------------------------------------------------
static_assert(Id_PF_INET == PF_INET && Id_PF_INET == AF_INET, "PF_INET, AF_INET");
static_assert(Id_PF_INET6 == PF_INET6 && Id_PF_INET6 == AF_INET6, "PF_INET6, AF_INET6");
static_assert(Id_PF_UNSPEC == AF_UNSPEC, "AF_UNSPEC");
static_assert(Id_SOCK_STREAM == SOCK_STREAM, "SOCK_STREAM");
static_assert(Id_SOCK_DGRAM == SOCK_DGRAM, "SOCK_DGRAM");
static_assert(Id_IPPROTO_TCP == IPPROTO_TCP, "IPPROTO_TCP");
static_assert(Id_TCP_NODELAY == TCP_NODELAY, "TCP_NODELAY");
static_assert(Id_SOL_SOCKET == SOL_SOCKET, "SOL_SOCKET");
static_assert(Id_SO_REUSEADDR == SO_REUSEADDR, "SO_REUSEADDR");
static_assert(Id_SO_KEEPALIVE == SO_KEEPALIVE, "SO_KEEPALIVE");
static_assert(Id_SO_SNDBUF == SO_SNDBUF, "SO_SNDBUF");
static_assert(Id_SO_RCVBUF == SO_RCVBUF, "SO_RCVBUF");
static_assert(Id_SD_Receive == SD_RECEIVE && Id_SD_Send == SD_SEND && Id_SD_Both == SD_BOTH, "SD_*");

// ---- error numbers ----------------------------------------------------------------------------
#define ST_SAME_ERROR(name) static_assert(Id_##name == name, #name)
ST_SAME_ERROR(WSAEINTR);
ST_SAME_ERROR(WSAEBADF);
ST_SAME_ERROR(WSAEACCES);
ST_SAME_ERROR(WSAEFAULT);
ST_SAME_ERROR(WSAEINVAL);
ST_SAME_ERROR(WSAEMFILE);
ST_SAME_ERROR(WSAEWOULDBLOCK);
ST_SAME_ERROR(WSAEINPROGRESS);
ST_SAME_ERROR(WSAEALREADY);
ST_SAME_ERROR(WSAENOTSOCK);
ST_SAME_ERROR(WSAEDESTADDRREQ);
ST_SAME_ERROR(WSAEMSGSIZE);
ST_SAME_ERROR(WSAEPROTOTYPE);
ST_SAME_ERROR(WSAENOPROTOOPT);
ST_SAME_ERROR(WSAEPROTONOSUPPORT);
ST_SAME_ERROR(WSAESOCKTNOSUPPORT);
ST_SAME_ERROR(WSAEOPNOTSUPP);
ST_SAME_ERROR(WSAEPFNOSUPPORT);
ST_SAME_ERROR(WSAEAFNOSUPPORT);
ST_SAME_ERROR(WSAEADDRINUSE);
ST_SAME_ERROR(WSAEADDRNOTAVAIL);
ST_SAME_ERROR(WSAENETDOWN);
ST_SAME_ERROR(WSAENETUNREACH);
ST_SAME_ERROR(WSAENETRESET);
ST_SAME_ERROR(WSAECONNABORTED);
ST_SAME_ERROR(WSAECONNRESET);
ST_SAME_ERROR(WSAENOBUFS);
ST_SAME_ERROR(WSAEISCONN);
ST_SAME_ERROR(WSAENOTCONN);
ST_SAME_ERROR(WSAESHUTDOWN);
ST_SAME_ERROR(WSAETOOMANYREFS);
ST_SAME_ERROR(WSAETIMEDOUT);
ST_SAME_ERROR(WSAECONNREFUSED);
ST_SAME_ERROR(WSAELOOP);
ST_SAME_ERROR(WSAENAMETOOLONG);
ST_SAME_ERROR(WSAEHOSTDOWN);
ST_SAME_ERROR(WSAEHOSTUNREACH);
ST_SAME_ERROR(WSAENOTEMPTY);
ST_SAME_ERROR(WSAEPROCLIM);
ST_SAME_ERROR(WSANOTINITIALISED);
ST_SAME_ERROR(WSAHOST_NOT_FOUND);
ST_SAME_ERROR(WSATRY_AGAIN);
ST_SAME_ERROR(WSANO_RECOVERY);
ST_SAME_ERROR(WSANO_DATA);
#undef ST_SAME_ERROR
