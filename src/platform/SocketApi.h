#pragma once
// The socket library as Windows Sockets 2 presents it: the record layouts its functions take,
// and the module that exports them. On Windows the module is "WS2_32.DLL", loaded at run time;
// on Linux it is a built-in module of the same name whose exports are POSIX sockets behind the
// same signatures, returning the Windows error numbers (errno translated), so everything above
// sees one library.
#include <cstddef>
#include <cstdint>
#include <string>

#if defined(_WIN32)
#define ST_WSAAPI __stdcall
#else
#define ST_WSAAPI
#endif

// The library's constants that this program passes (Windows values in both builds), named as
// Windows names them with the prefix Id_ (the Windows names are macros).
constexpr int Id_PF_INET = 2;    // also the address family AF_INET
constexpr int Id_PF_INET6 = 23;  // also AF_INET6 (Windows' number; Linux's 10 is translated)
constexpr int Id_PF_UNSPEC = 0;  // a lookup's hint: either family
constexpr int Id_SOCK_STREAM = 1;
constexpr int Id_SOCK_DGRAM = 2;
constexpr int Id_IPPROTO_TCP = 6;
constexpr int Id_TCP_NODELAY = 1;  // an option of level Id_IPPROTO_TCP
constexpr int Id_SOL_SOCKET = 0xFFFF;
constexpr int Id_SO_REUSEADDR = 4;
constexpr int Id_SO_KEEPALIVE = 8;
constexpr int Id_SO_SNDBUF = 0x1001;
constexpr int Id_SO_RCVBUF = 0x1002;
/// The directions of shutdown.
constexpr int Id_SD_Receive = 0;
constexpr int Id_SD_Send = 1;
constexpr int Id_SD_Both = 2;

namespace platform {

/// A socket handle as the library hands it out; kInvalidSocket (all bits set) on failure.
using TSocket = std::uintptr_t;
constexpr TSocket kInvalidSocket = ~static_cast<TSocket>(0);
constexpr int kSocketError = -1;

/// Address record of family 2 (IPv4), 16 bytes; port and address in network byte order.
/// Aligned as the system's record, whose address is a 32-bit word.
struct alignas(4) TSockAddrIn {
  std::uint16_t sin_family;
  std::uint16_t sin_port;
  std::uint8_t sin_addr[4];
  char sin_zero[8];
};
static_assert(sizeof(TSockAddrIn) == 16, "an IPv4 address record is 16 bytes");

/// Address record of family 23 (IPv6), 28 bytes; port and address in network byte order.
struct alignas(4) TSockAddrIn6 {
  std::uint16_t sin6_family;
  std::uint16_t sin6_port;
  std::uint32_t sin6_flowinfo;
  std::uint8_t sin6_addr[16];
  std::uint32_t sin6_scope_id;
};
static_assert(sizeof(TSockAddrIn6) == 28, "an IPv6 address record is 28 bytes");

/// An address record of either family, as the calls that take or give one see it: the family
/// first, the length passed beside it.
union TSockAddr {
  std::uint16_t family;
  TSockAddrIn v4;
  TSockAddrIn6 v6;
};

/// A record of getaddrinfo's list, in the layout of Windows' ADDRINFOA (the list is the
/// library's, given back with freeaddrinfo).
struct TAddrInfo {
  std::int32_t ai_flags;
  std::int32_t ai_family;
  std::int32_t ai_socktype;
  std::int32_t ai_protocol;
  std::size_t ai_addrlen;
  char* ai_canonname;
  TSockAddr* ai_addr;
  TAddrInfo* ai_next;
};

/// The library's handle set: a count and at most 64 handles.
constexpr int kFDSetSize = 64;
struct TFDSet {
  std::uint32_t fd_count;
  TSocket fd_array[kFDSetSize];
};

/// Time limit of select: seconds and microseconds (32-bit each, as the library has them).
struct TTimeVal {
  std::int32_t tv_sec;
  std::int32_t tv_usec;
};

/// A host record as gethostbyname returns it (storage owned by the library, per thread).
struct THostEnt {
  char* h_name;
  char** h_aliases;
  std::int16_t h_addrtype;
  std::int16_t h_length;
  char** h_addr_list;
};

/// The data block WSAStartup fills.
struct TWSAData {
  std::uint16_t wVersion;
  std::uint16_t wHighVersion;
  char szDescription[257];
  char szSystemStatus[129];
  std::uint16_t iMaxSockets;
  std::uint16_t iMaxUdpDg;
  char* lpVendorInfo;
};

using SocketLibraryHandle = void*;

/// Loads the socket library module by name; null and `error` = the system's error number
/// on failure.
SocketLibraryHandle SocketLibraryLoad(const char* name, int& error);
/// The address of an export, or null and `error` = the system's error number.
void* SocketLibrarySymbol(SocketLibraryHandle module, const char* name, int& error);
void SocketLibraryFree(SocketLibraryHandle module);
/// Test seam: where the module allows it (the Linux build's own module), `observer` is told
/// the name of each start-up and clean-up call ("WSAStartup", "WSACleanup") as the call is
/// made; null stops it. False where the calls can not be observed (Windows).
bool ObserveSocketLibraryStartup(void (*observer)(const char* call));
/// How gethostbyname finds a name: the record (storage of the lookup's own, valid until its
/// next call on the same thread), or null with `error` set to the library's error number.
using HostLookup = THostEnt* (*)(const char* name, int& error);
/// Test seam: where the module allows it (the Linux build's own module), gethostbyname and
/// getaddrinfo ask `lookup` instead of the system's resolver (its IPv4 addresses); null gives
/// the system's resolver back. False where the resolver can not be replaced (Windows).
bool ReplaceHostLookup(HostLookup lookup);
/// The system's text for an error number that the module functions above or the library
/// report (Windows numbers in both builds).
std::string SocketSystemErrorText(int code);

}  // namespace platform
