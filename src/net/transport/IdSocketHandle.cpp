#include "net/transport/IdSocketHandle.h"

#include "base/WhileWaiting.h"
#include "net/transport/IdSharedStack.h"

TIdSocketHandle::TIdSocketHandle() = default;

TIdSocketHandle::~TIdSocketHandle() { ReleaseHandle(); }

void TIdSocketHandle::Assign(const TIdSocketHandle& other) {
  Family = other.Family;
  IP = other.IP;
  Port = other.Port;
  PeerIP = other.PeerIP;
  PeerPort = other.PeerPort;
}

void TIdSocketHandle::AllocateHandle(int type, int protocol) {
  ReleaseHandle();
  SocketHandleValue = GStack->NewSocketHandle(type, protocol, Family);
  HasHandle = true;
}

void TIdSocketHandle::ReleaseHandle() {
  // Only one caller may close, whichever thread it runs on.
  if (!HasHandle.exchange(false)) return;
  TIdStackSocketHandle h = SocketHandleValue;
  GStack->WSShutdown(h, Id_SD_Send);
  GStack->WSCloseSocket(h);
}

TIdStackSocketHandle TIdSocketHandle::DetachHandle() {
  if (!HasHandle.exchange(false)) return Id_INVALID_SOCKET;
  return SocketHandleValue.exchange(Id_INVALID_SOCKET);
}

void TIdSocketHandle::AdoptHandle(TIdStackSocketHandle handle) {
  ReleaseHandle();
  SocketHandleValue = handle;
  HasHandle = handle != Id_INVALID_SOCKET;
}

void TIdSocketHandle::TakeOver(TIdSocketHandle& other) {
  Assign(other);
  AdoptHandle(other.DetachHandle());
}

void TIdSocketHandle::BindLocal() {
  if (Port != 0 || ClientPortMin == 0 || ClientPortMax == 0) {
    if (!TryBindLocal()) throw EIdCouldNotBindSocket(RSCouldNotBindSocket);
    return;
  }
  if (ClientPortMax < ClientPortMin)
    throw EIdInvalidPortRange(
        IdFormat(RSInvalidPortRange, std::to_string(ClientPortMin), std::to_string(ClientPortMax)));
  if (!BindInPortRange())
    throw EIdCanNotBindPortInRange(
        IdFormat(RSCanNotBindRange, std::to_string(ClientPortMin), std::to_string(ClientPortMax)));
}

bool TIdSocketHandle::TryBindLocal() {
  if (GStack->CheckSocketResult(GStack->WSBind(SocketHandleValue, Family, IP, Port), {Id_WSAEADDRINUSE})) return false;
  RefreshLocal();
  return true;
}

bool TIdSocketHandle::BindInPortRange() {
  for (int port = ClientPortMax; port >= ClientPortMin; --port) {
    Port = port;
    if (TryBindLocal()) return true;
  }
  return false;
}

int TIdSocketHandle::ConnectPeer() {
  int result = GStack->WSConnect(SocketHandleValue, Family, PeerIP, PeerPort);
  if (result != Id_SOCKET_ERROR) {
    RefreshLocal();
    RefreshPeer();
  }
  return result;
}

void TIdSocketHandle::SetPeerAddress(const std::string& ip, int port) {
  PeerIP = ip;
  PeerPort = port;
}

void TIdSocketHandle::RefreshLocal() { GStack->WSGetSockName(SocketHandleValue, Family, IP, Port); }

void TIdSocketHandle::RefreshPeer() { GStack->WSGetPeerName(SocketHandleValue, Family, PeerIP, PeerPort); }

bool TIdSocketHandle::WaitReadable(int timeout) {
  if (!HasHandle) throw EIdConnClosedGracefully(RSConnectionClosedGracefully);
  // One select, or slices of one with the thread's while-waiting hook between them; an error
  // ends the wait as a timeout does. IdTimeoutInfinite is negative: no limit either way.
  int result = 0;
  WaitInSlices(timeout, [this, &result](int ms) {
    TIdSocketList read{SocketHandleValue};
    result = GStack->WSSelect(&read, nullptr, ms < 0 ? IdTimeoutInfinite : ms, nullptr);
    return result != 0;
  });
  return result == 1;
}

int TIdSocketHandle::ReceiveBytes(void* buffer, int length, int flags) {
  return GStack->WSRecv(SocketHandleValue, buffer, length, flags);
}

int TIdSocketHandle::SendBytes(const void* buffer, int length, int flags) {
  return GStack->WSSend(SocketHandleValue, buffer, length, flags);
}

void TIdSocketHandle::SetOption(int level, int option, const void* value, int length) {
  GStack->CheckSocketResult(GStack->WSSetSockOpt(SocketHandleValue, level, option, value, length));
}

void TIdSocketHandle::ResetAddresses(bool alsoLocal) {
  ReleaseHandle();  // a socket still held is closed, not forgotten
  SocketHandleValue = Id_INVALID_SOCKET;
  PeerIP.clear();
  PeerPort = 0;
  if (alsoLocal) {
    IP.clear();
    Port = 0;
  }
}

void TIdSocketHandle::Listen(int backlog) { GStack->CheckSocketResult(GStack->WSListen(SocketHandleValue, backlog)); }

bool TIdSocketHandle::Accept(TIdSocketHandle& client) {
  std::string ip;
  int port = 0;
  TIdStackSocketHandle h = GStack->WSAccept(SocketHandleValue, ip, port);
  if (h == Id_INVALID_SOCKET) {
    // A listening socket closed under the wait ends it quietly; anything else raises.
    if (!HasHandle) return false;
    if (GStack->CheckSocketResult(Id_SOCKET_ERROR,
                                  {Id_WSAEINTR, Id_WSAEBADF, Id_WSAENOTSOCK, Id_WSAECONNABORTED, Id_WSAEINVAL}))
      return false;
  }
  client.AdoptHandle(h);
  client.PeerIP = ip;
  client.PeerPort = port;
  client.RefreshLocal();
  return true;
}
