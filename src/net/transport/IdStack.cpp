#include "net/transport/IdStack.h"

#include <algorithm>
#include <memory>

#include "base/SysUtils.h"
#include "net/transport/IdStackWindows.h"
#include "net/transport/IdWinSock2.h"

TIdStack* GStack = nullptr;

namespace {

struct SocketErrorRow {
  int number;
  const char* text;
};

const SocketErrorRow kSocketErrorTexts[] = {
    {10004, "Interrupted system call."},
    {10009, "Bad file number."},
    {10013, "Access denied."},
    {10014, "Bad address."},
    {10022, "Invalid argument."},
    {10024, "Too many open files."},
    {10035, "Operation would block. "},
    {10036, "Operation now in progress."},
    {10037, "Operation already in progress."},
    {10038, "Socket operation on non-socket."},
    {10039, "Destination address required."},
    {10040, "Message too long."},
    {10041, "Protocol wrong type for socket."},
    {10042, "Bad protocol option."},
    {10043, "Protocol not supported."},
    {10044, "Socket type not supported."},
    {10045, "Operation not supported on socket."},
    {10046, "Protocol family not supported."},
    {10047, "Address family not supported by protocol family."},
    {10048, "Address already in use."},
    {10049, "Cannot assign requested address."},
    {10050, "Network is down."},
    {10051, "Network is unreachable."},
    {10052, "Net dropped connection or reset."},
    {10053, "Software caused connection abort."},
    {10054, "Connection reset by peer."},
    {10055, "No buffer space available."},
    {10056, "Socket is already connected."},
    {10057, "Socket is not connected."},
    {10058, "Cannot send or receive after socket is closed."},
    {10059, "Too many references, cannot splice."},
    {10060, "Connection timed out."},
    {10061, "Connection refused."},
    {10062, "Too many levels of symbolic links."},
    {10063, "File name too long."},
    {10064, "Host is down."},
    {10065, "No route to host."},
    {10066, "Directory not empty"},
};

int g_componentCount = 0;
bool g_stackStarted = false;
// The holder is never destroyed, so that a component destroyed during the program's end
// still finds a stack; the stack itself goes with the last component.
std::unique_ptr<TIdStack>& SharedStackHolder() {
  static auto* holder = new std::unique_ptr<TIdStack>();
  return *holder;
}

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

// At program end: the library's clean-up once (when it was started), then the unload. A
// component that outlives this object (one held by another static) still needs the stack and
// the library in its destructor, so then both stay, and the process's end frees them.
struct StackFinalizer {
  ~StackFinalizer() {
    platform::LockGuard lock(StackLock());
    if (g_componentCount > 0) return;
    if (g_stackStarted) {
      try {
        IdWinSock2::WSACleanup();
      } catch (const EIdException&) {
      }
      g_stackStarted = false;
    }
    IdWinSock2::UnloadWinsock();
  }
};
StackFinalizer g_finalizer;

}  // namespace

platform::Lock& StackLock() {
  static auto* m = new platform::Lock();  // never destroyed: components may die after statics
  return *m;
}

void IdStackAddComponent() {
  platform::LockGuard lock(StackLock());
  if (g_componentCount == 0) {
    SharedStackHolder() = std::make_unique<TIdStackWindows>();  // may raise: the component is not counted
    GStack = SharedStackHolder().get();
  }
  ++g_componentCount;
}

void IdStackRemoveComponent() {
  platform::LockGuard lock(StackLock());
  if (--g_componentCount == 0) {
    SharedStackHolder().reset();
    GStack = nullptr;
  }
}

int IdStackComponentCount() {
  platform::LockGuard lock(StackLock());
  return g_componentCount;
}

bool IdStackStarted() { return g_stackStarted; }

// Called by the stack's constructor under StackLock.
void IdStackMarkStarted() { g_stackStarted = true; }

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

bool TIdStack::CheckSocketResult(int result, std::initializer_list<int> ignore) {
  if (result != Id_SOCKET_ERROR) return false;
  int number = WSGetLastError();
  LastErrorNumber = number;
  if (std::find(ignore.begin(), ignore.end(), number) != ignore.end()) return true;
  RaiseSocketFault(number);
}

void TIdStack::RaiseSocketFault(int number) { throw EIdSocketError(number, WSTranslateSocketErrorMsg(number)); }

TIdStackSocketHandle TIdStack::NewSocketHandle(int type, int protocol) {
  TIdStackSocketHandle h = WSSocket(Id_PF_INET, type, protocol);
  if (h == Id_INVALID_SOCKET) throw EIdInvalidSocket(RSCannotAllocateSocket);
  return h;
}

std::string TIdStack::ResolveHostToIP(const std::string& host) {
  if (UpperCase(host) == "LOCALHOST") return "127.0.0.1";
  if (IsDottedQuad(host)) return host;
  return LookupHost(host);
}

bool TIdStack::IsDottedQuad(const std::string& text) {
  std::string rest = text;
  for (int i = 0; i < 3; ++i)
    if (OctetValue(Fetch(rest)) < 0) return false;
  return OctetValue(rest) >= 0;
}
