#pragma once
// Looking a host name up in the socket library, with or without a time limit. The library's
// lookup can not be cancelled, so a limited one runs on a thread of its own that the caller
// stops waiting for when the limit passes; that thread then finishes unwatched and drops
// what it found.
#include <cstdint>
#include <string>

/// What a lookup found: the first IPv4 address of the name, or the library's error number.
struct TIdHostLookupResult {
  bool Found = false;
  std::uint8_t Address[4] = {0, 0, 0, 0};
  int ErrorNumber = 0;
};

/// gethostbyname on the calling thread, copied out of the library's per-thread record.
/// A record without an IPv4 address counts as Id_WSAHOST_NOT_FOUND.
TIdHostLookupResult LookupHostNow(const std::string& name);

/// The same lookup, waited for at most `timeout` ms (negative: until it answers), in slices
/// that run the calling thread's while-waiting hook (base/WhileWaiting.h). When the limit
/// passes the result is Id_WSAETIMEDOUT; when no thread can be had, Id_WSAENOBUFS. A failure of the
/// library binding itself (EIdWS2StubError) is raised here as on the calling thread.
TIdHostLookupResult LookupHostWithin(const std::string& name, int timeout);

/// Lookups still running on threads of their own, given up on or not. The library must
/// stay loaded while any runs: it returns into it.
int HostLookupsRunning();
