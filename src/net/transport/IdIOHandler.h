#pragma once
// The I/O handler a connection reads and writes through. TIdIOHandlerSocket is the real
// one; TIdIOHandlerMemory serves tests and fuzzing with scripted bytes.
#include <string>

#include "net/transport/IdComponent.h"

class TIdIOHandler : public TIdComponent {
 public:
  /// Destruction closes the handler.
  ~TIdIOHandler() override = default;

  virtual void AfterAcceptHook() {}
  /// Closes the handler's socket (if any).
  virtual void CloseHandler() {}
  /// Opens a connection to host:port; timeout in ms (IdTimeoutDefault or 0: a plain connect).
  virtual void ConnectTo(const std::string& host, int port, int timeout, const std::string& boundIP, int boundPort,
                         int boundPortMin, int boundPortMax) {
    (void)host, (void)port, (void)timeout, (void)boundIP, (void)boundPort, (void)boundPortMin, (void)boundPortMax;
  }
  virtual bool HasSocket() = 0;
  /// The socket handler this is, or null (a connection keeps it for the socket's details).
  virtual class TIdIOHandlerSocket* AsSocketHandler() { return nullptr; }
  /// Readies the handler for a new connection.
  virtual void PrepareBinding() {}
  /// True when a receive will not block; timeout in ms, IdTimeoutInfinite without limit.
  virtual bool WaitReadable(int timeout) = 0;
  /// Bytes received (0: the peer closed, -1: error, the number in the library's last error).
  virtual int ReceiveBytes(void* buffer, int length) = 0;
  /// Bytes sent (0: the peer closed, -1: error, the number in the library's last error).
  virtual int SendBytes(const void* buffer, int length) = 0;
  /// Starts TLS with `host` over the connection already open (the host's name is sent and
  /// its certificate checked against it); raises on any refusal, with the reason.
  virtual void StartTls(const std::string& host);
};
