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

void TIdStack::DottedToAddress(const std::string& text, std::uint8_t address[4]) {
  std::string rest = text;
  for (int i = 0; i < 4; ++i) {
    std::string part = i < 3 ? Fetch(rest) : rest;
    address[i] = static_cast<std::uint8_t>(std::max(0, OctetValue(part)));
  }
}

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

TIdStackSocketHandle TIdStack::NewSocketHandle(int type, int protocol) {
  TIdStackSocketHandle h = WSSocket(Id_PF_INET, type, protocol);
  if (h == Id_INVALID_SOCKET) throw EIdInvalidSocket(RSCannotAllocateSocket);
  return h;
}

std::string TIdStack::ResolveHostToIP(const std::string& host, int timeout) {
  if (UpperCase(host) == "LOCALHOST") return "127.0.0.1";
  if (IsDottedQuad(host)) return host;
  return LookupHost(host, timeout);
}

bool TIdStack::IsDottedQuad(const std::string& text) {
  std::string rest = text;
  for (int i = 0; i < 3; ++i)
    if (OctetValue(Fetch(rest)) < 0) return false;
  return OctetValue(rest) >= 0;
}
