#pragma once
// Looking a host name up in the socket library, with or without a time limit. The library's
// lookup can not be cancelled, so a limited one runs on a thread of its own that the caller
// stops waiting for when the limit passes; that thread then finishes unwatched and drops
// what it found.
#include <cstdint>
#include <string>
#include <vector>

/// One address a lookup found: the family (Id_PF_INET: the first 4 bytes) and its bytes.
struct TIdFoundAddress {
  int Family = 0;
  std::uint8_t Bytes[16] = {};
};

/// What a lookup found: the name's addresses of both families in the system's order, or the
/// library's error number.
struct TIdHostLookupResult {
  bool Found = false;
  std::vector<TIdFoundAddress> Addresses;
  int ErrorNumber = 0;
};

/// getaddrinfo on the calling thread (stream addresses, either family), copied out of the
/// library's list. A list without an address of either family counts as Id_WSANO_DATA.
TIdHostLookupResult LookupHostNow(const std::string& name);

/// The same lookup, waited for at most `timeout` ms (negative: until it answers), in slices
/// that run the calling thread's while-waiting hook (base/WhileWaiting.h). When the limit
/// passes the result is Id_WSAETIMEDOUT; when no thread can be had, Id_WSAENOBUFS. A failure of the
/// library binding itself (EIdWS2StubError) is raised here as on the calling thread.
TIdHostLookupResult LookupHostWithin(const std::string& name, int timeout);

/// Lookups still running on threads of their own, given up on or not. The library must
/// stay loaded while any runs: it returns into it.
int HostLookupsRunning();
