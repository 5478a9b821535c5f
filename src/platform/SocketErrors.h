#pragma once
// The socket library's error numbers, as WSAGetLastError reports them in both builds (the
// Linux module translates errno to these). Named as Windows names them, with the prefix Id_:
// the Windows names are macros of <winsock2.h>, and some (EINTR, ...) of <cerrno> without
// the WSA.

constexpr int Id_WSAEINTR = 10004;
constexpr int Id_WSAEBADF = 10009;
constexpr int Id_WSAEACCES = 10013;
constexpr int Id_WSAEFAULT = 10014;
constexpr int Id_WSAEINVAL = 10022;
constexpr int Id_WSAEMFILE = 10024;
constexpr int Id_WSAEWOULDBLOCK = 10035;
constexpr int Id_WSAEINPROGRESS = 10036;
constexpr int Id_WSAEALREADY = 10037;
constexpr int Id_WSAENOTSOCK = 10038;
constexpr int Id_WSAEDESTADDRREQ = 10039;
constexpr int Id_WSAEMSGSIZE = 10040;
constexpr int Id_WSAEPROTOTYPE = 10041;
constexpr int Id_WSAENOPROTOOPT = 10042;
constexpr int Id_WSAEPROTONOSUPPORT = 10043;
constexpr int Id_WSAESOCKTNOSUPPORT = 10044;
constexpr int Id_WSAEOPNOTSUPP = 10045;
constexpr int Id_WSAEPFNOSUPPORT = 10046;
constexpr int Id_WSAEAFNOSUPPORT = 10047;
constexpr int Id_WSAEADDRINUSE = 10048;
constexpr int Id_WSAEADDRNOTAVAIL = 10049;
constexpr int Id_WSAENETDOWN = 10050;
constexpr int Id_WSAENETUNREACH = 10051;
constexpr int Id_WSAENETRESET = 10052;
constexpr int Id_WSAECONNABORTED = 10053;
constexpr int Id_WSAECONNRESET = 10054;
constexpr int Id_WSAENOBUFS = 10055;
constexpr int Id_WSAEISCONN = 10056;
constexpr int Id_WSAENOTCONN = 10057;
constexpr int Id_WSAESHUTDOWN = 10058;
constexpr int Id_WSAETOOMANYREFS = 10059;
constexpr int Id_WSAETIMEDOUT = 10060;
constexpr int Id_WSAECONNREFUSED = 10061;
constexpr int Id_WSAELOOP = 10062;
constexpr int Id_WSAENAMETOOLONG = 10063;
constexpr int Id_WSAEHOSTDOWN = 10064;
constexpr int Id_WSAEHOSTUNREACH = 10065;
constexpr int Id_WSAENOTEMPTY = 10066;
constexpr int Id_WSAEPROCLIM = 10067;
/// A library function called before WSAStartup succeeded.
constexpr int Id_WSANOTINITIALISED = 10093;
/// Name resolution: the name does not exist; a temporary failure; a failure that will not
/// pass; the name exists without an address.
constexpr int Id_WSAHOST_NOT_FOUND = 11001;
constexpr int Id_WSATRY_AGAIN = 11002;
constexpr int Id_WSANO_RECOVERY = 11003;
constexpr int Id_WSANO_DATA = 11004;
