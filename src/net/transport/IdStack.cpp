#include "net/transport/IdStack.h"

#include <algorithm>

#include "base/SysUtils.h"

namespace {

struct SocketErrorRow {
  int number;
  const char* text;
};

const SocketErrorRow kSocketErrorTexts[] = {
    {Id_WSAEINTR, "Interrupted system call."},
    {Id_WSAEBADF, "Bad file number."},
    {Id_WSAEACCES, "Access denied."},
    {Id_WSAEFAULT, "Bad address."},
    {Id_WSAEINVAL, "Invalid argument."},
    {Id_WSAEMFILE, "Too many open files."},
    {Id_WSAEWOULDBLOCK, "Operation would block. "},
    {Id_WSAEINPROGRESS, "Operation now in progress."},
    {Id_WSAEALREADY, "Operation already in progress."},
    {Id_WSAENOTSOCK, "Socket operation on non-socket."},
    {Id_WSAEDESTADDRREQ, "Destination address required."},
    {Id_WSAEMSGSIZE, "Message too long."},
    {Id_WSAEPROTOTYPE, "Protocol wrong type for socket."},
    {Id_WSAENOPROTOOPT, "Bad protocol option."},
    {Id_WSAEPROTONOSUPPORT, "Protocol not supported."},
    {Id_WSAESOCKTNOSUPPORT, "Socket type not supported."},
    {Id_WSAEOPNOTSUPP, "Operation not supported on socket."},
    {Id_WSAEPFNOSUPPORT, "Protocol family not supported."},
    {Id_WSAEAFNOSUPPORT, "Address family not supported by protocol family."},
    {Id_WSAEADDRINUSE, "Address already in use."},
    {Id_WSAEADDRNOTAVAIL, "Cannot assign requested address."},
    {Id_WSAENETDOWN, "Network is down."},
    {Id_WSAENETUNREACH, "Network is unreachable."},
    {Id_WSAENETRESET, "Net dropped connection or reset."},
    {Id_WSAECONNABORTED, "Software caused connection abort."},
    {Id_WSAECONNRESET, "Connection reset by peer."},
    {Id_WSAENOBUFS, "No buffer space available."},
    {Id_WSAEISCONN, "Socket is already connected."},
    {Id_WSAENOTCONN, "Socket is not connected."},
    {Id_WSAESHUTDOWN, "Cannot send or receive after socket is closed."},
    {Id_WSAETOOMANYREFS, "Too many references, cannot splice."},
    {Id_WSAETIMEDOUT, "Connection timed out."},
    {Id_WSAECONNREFUSED, "Connection refused."},
    {Id_WSAELOOP, "Too many levels of symbolic links."},
    {Id_WSAENAMETOOLONG, "File name too long."},
    {Id_WSAEHOSTDOWN, "Host is down."},
    {Id_WSAEHOSTUNREACH, "No route to host."},
    {Id_WSAENOTEMPTY, "Directory not empty"},
    {Id_WSAHOST_NOT_FOUND, "Host not found."},
    {Id_WSATRY_AGAIN, "Temporary failure in name resolution (no name server answered)."},
    {Id_WSANO_RECOVERY, "Non-recoverable failure in name resolution."},
    {Id_WSANO_DATA, "The name is known but has no address."},
};

// Splits off the text before the first "." (the rest stays in `rest`; without a dot the whole
// rest is taken).
std::string Fetch(std::string& rest) {
  size_t dot = rest.find('.');
  std::string part = rest.substr(0, dot);
  rest = dot == std::string::npos ? std::string() : rest.substr(dot + 1);
  return part;
}

// 0..255 in decimal digits only; -1 otherwise.
int OctetValue(const std::string& part) {
  if (part.empty()) return -1;
  int v = 0;
  for (char c : part) {
    if (c < '0' || c > '9') return -1;
    v = v * 10 + (c - '0');
    if (v > 255) return -1;
  }
  return v;
}

// The four bytes of a dotted text; a part that is no octet gives 0.
void DottedBytes(const std::string& text, std::uint8_t address[4]) {
  std::string rest = text;
  for (int i = 0; i < 4; ++i) {
    std::string part = i < 3 ? Fetch(rest) : rest;
    address[i] = static_cast<std::uint8_t>(std::max(0, OctetValue(part)));
  }
}

}  // namespace

std::string TIdStack::WSTranslateSocketErrorMsg(int number) {
  const char* text = "";
  for (const SocketErrorRow& row : kSocketErrorTexts)
    if (row.number == number) text = row.text;
  return "Socket Error # " + std::to_string(number) + "\r\n" + text;
}

std::string TIdStack::AddressToDotted(const std::uint8_t address[4]) {
  return std::to_string(address[0]) + "." + std::to_string(address[1]) + "." + std::to_string(address[2]) + "." +
         std::to_string(address[3]);
}

void TIdStack::DottedToAddress(const std::string& text, std::uint8_t address[4]) { DottedBytes(text, address); }

namespace {
thread_local int t_lastErrorNumber = 0;
}  // namespace

int TIdStack::LastErrorNumber() const { return t_lastErrorNumber; }
void TIdStack::SetLastErrorNumber(int number) { t_lastErrorNumber = number; }

bool TIdStack::CheckSocketResult(int result, std::initializer_list<int> ignore) {
  if (result != Id_SOCKET_ERROR) return false;
  int number = WSGetLastError();
  SetLastErrorNumber(number);
  if (std::find(ignore.begin(), ignore.end(), number) != ignore.end()) return true;
  RaiseSocketFault(number);
}

void TIdStack::RaiseSocketFault(int number) { throw EIdSocketError(number, WSTranslateSocketErrorMsg(number)); }

TIdStackSocketHandle TIdStack::NewSocketHandle(int type, int protocol, int family) {
  TIdStackSocketHandle h = WSSocket(family, type, protocol);
  if (h == Id_INVALID_SOCKET) throw EIdInvalidSocket(RSCannotAllocateSocket);
  return h;
}

std::string TIdStack::LookupHost(const std::string& name, int timeout) {
  return LookupHostAddresses(name, timeout).front().IP;
}

std::vector<TIdPeerAddress> TIdStack::ResolveHost(const std::string& host, int timeout) {
  if (UpperCase(host) == "LOCALHOST") return {{Id_PF_INET, "127.0.0.1"}};
  if (IsDottedQuad(host)) return {{Id_PF_INET, host}};
  std::uint8_t bytes[16];
  if (IPv6ToBytes(host, bytes)) return {{Id_PF_INET6, IPv6ToText(bytes)}};
  return LookupHostAddresses(host, timeout);
}

std::string TIdStack::ResolveHostToIP(const std::string& host, int timeout) {
  return ResolveHost(host, timeout).front().IP;
}

const char* FamilyName(int family) { return family == Id_PF_INET6 ? "IPv6" : "IPv4"; }

bool TIdStack::IsIPv6Literal(const std::string& text) {
  std::uint8_t bytes[16];
  return IPv6ToBytes(text, bytes);
}

bool TIdStack::IPv6ToBytes(const std::string& text, std::uint8_t bytes[16]) {
  // Groups before and after a "::" (at most one), each 1-4 hex digits; the last 32 bits may be
  // written as a dotted IPv4 address.
  std::vector<std::uint16_t> head, tail;
  std::vector<std::uint16_t>* groups = &head;
  bool gap = false;
  std::size_t i = 0;
  if (text.compare(0, 2, "::") == 0) {
    gap = true;
    groups = &tail;
    i = 2;
  }
  while (i < text.size()) {
    const std::size_t end = std::min(text.find(':', i), text.size());
    const std::string part = text.substr(i, end - i);
    if (end == text.size() && part.find('.') != std::string::npos) {
      if (!IsDottedQuad(part)) return false;
      std::uint8_t v4[4];
      DottedBytes(part, v4);
      groups->push_back(static_cast<std::uint16_t>(v4[0] << 8 | v4[1]));
      groups->push_back(static_cast<std::uint16_t>(v4[2] << 8 | v4[3]));
      i = end;
      break;
    }
    if (part.empty() || part.size() > 4) return false;
    unsigned v = 0;
    for (char c : part) {
      const int d = c >= '0' && c <= '9'   ? c - '0'
                    : c >= 'a' && c <= 'f' ? c - 'a' + 10
                    : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                           : -1;
      if (d < 0) return false;
      v = v * 16 + static_cast<unsigned>(d);
    }
    groups->push_back(static_cast<std::uint16_t>(v));
    i = end;
    if (i == text.size()) break;
    if (text.compare(i, 2, "::") == 0) {
      if (gap) return false;
      gap = true;
      groups = &tail;
      i += 2;
    } else {
      ++i;
      if (i == text.size()) return false;  // a trailing single ":"
    }
  }
  const std::size_t n = head.size() + tail.size();
  if (gap ? n > 7 : n != 8) return false;
  std::vector<std::uint16_t> all = head;
  all.resize(8 - tail.size(), 0);
  all.insert(all.end(), tail.begin(), tail.end());
  for (int g = 0; g < 8; ++g) {
    bytes[2 * g] = static_cast<std::uint8_t>(all[g] >> 8);
    bytes[2 * g + 1] = static_cast<std::uint8_t>(all[g] & 0xFF);
  }
  return true;
}

std::string TIdStack::IPv6ToText(const std::uint8_t bytes[16]) {
  int groups[8];
  for (int g = 0; g < 8; ++g) groups[g] = bytes[2 * g] << 8 | bytes[2 * g + 1];
  // The longest run of two or more zero groups (the first of equal ones) becomes "::".
  int bestAt = -1, bestLength = 1;
  for (int g = 0; g < 8;) {
    int length = 0;
    while (g + length < 8 && groups[g + length] == 0) ++length;
    if (length > bestLength) bestAt = g, bestLength = length;
    g += length ? length : 1;
  }
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (int g = 0; g < 8; ++g) {
    if (g == bestAt) {
      out += "::";
      g += bestLength - 1;
      continue;
    }
    if (!out.empty() && out.back() != ':') out += ':';
    std::string group;
    for (int v = groups[g]; v || group.empty(); v >>= 4) group.insert(group.begin(), kHex[v & 15]);
    out += group;
  }
  return out;
}

bool TIdStack::IsDottedQuad(const std::string& text) {
  std::string rest = text;
  for (int i = 0; i < 3; ++i)
    if (OctetValue(Fetch(rest)) < 0) return false;
  return OctetValue(rest) >= 0;
}
