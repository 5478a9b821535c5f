#pragma once
// One socket with its local and peer addresses: allocate, bind, connect, wait, receive,
// send and close.
#include <atomic>
#include <string>

#include "net/transport/IdStack.h"

class TIdSocketHandle {
 public:
  TIdSocketHandle();
  /// Closes a socket it still holds.
  ~TIdSocketHandle();
  TIdSocketHandle(const TIdSocketHandle&) = delete;
  TIdSocketHandle& operator=(const TIdSocketHandle&) = delete;

  /// Copies Family, IP, Port, PeerIP and PeerPort from another binding.
  void Assign(const TIdSocketHandle& other);

  /// Closes a socket still held, then opens a new one of Family.
  void AllocateHandle(int type = Id_SOCK_STREAM, int protocol = 0);
  /// Shuts the sending direction down (result ignored) and closes the socket, if held.
  void ReleaseHandle();
  /// Hands the socket over to the caller without closing it; the binding holds none after.
  /// Id_INVALID_SOCKET when it held none.
  TIdStackSocketHandle DetachHandle();
  /// Takes over a socket handed out by DetachHandle (or accepted), closing one still held.
  void AdoptHandle(TIdStackSocketHandle handle);
  /// Takes `other`'s details (Assign) and its socket (AdoptHandle of its DetachHandle).
  void TakeOver(TIdSocketHandle& other);
  /// Binds to IP:Port, or to the highest free port of ClientPortMin..ClientPortMax when
  /// Port is 0 and both bounds are set.
  void BindLocal();
  /// False when the address is in use; other errors raise.
  bool TryBindLocal();
  /// Tries ClientPortMax down to ClientPortMin; false when none is free.
  bool BindInPortRange();
  /// The connect result for the caller to check; on success local and peer are read back.
  int ConnectPeer();
  void SetPeerAddress(const std::string& ip, int port);
  void RefreshLocal();
  void RefreshPeer();
  /// True when data (or a close) is waiting; timeout in ms, IdTimeoutInfinite without limit.
  /// Waits in slices when the thread has a while-waiting hook (base/WhileWaiting.h).
  /// Without a socket raises EIdConnClosedGracefully.
  bool WaitReadable(int timeout);
  int ReceiveBytes(void* buffer, int length, int flags = 0);
  int SendBytes(const void* buffer, int length, int flags = 0);
  void SetOption(int level, int option, const void* value, int length);
  void ResetAddresses(bool alsoLocal);
  /// Marks a listening socket: listen with the given backlog, raising on failure.
  void Listen(int backlog);
  /// Accepts one connection into `client` (which must be reset); false when the listening
  /// socket was closed while waiting.
  bool Accept(TIdSocketHandle& client);

  TIdStackSocketHandle Handle() const { return SocketHandleValue; }
  bool HandleAllocated() const { return HasHandle; }

  /// The address family of the socket, its local and its peer address (Id_PF_INET, Id_PF_INET6).
  int Family = Id_PF_INET;
  std::string IP;
  std::string PeerIP;
  int Port = 0;
  int PeerPort = 0;
  int ClientPortMin = 0;
  int ClientPortMax = 0;

 private:
  // Atomic: a listener may be closed while another thread waits in Accept on it.
  std::atomic<TIdStackSocketHandle> SocketHandleValue{Id_INVALID_SOCKET};
  std::atomic<bool> HasHandle{false};
};
