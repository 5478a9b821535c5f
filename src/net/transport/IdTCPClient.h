#pragma once
// The client side of a TCP connection: where to connect, and opening the connection.
#include <string>

#include "net/transport/IdTCPConnection.h"

class TIdTCPClient : public TIdTCPConnection {
 public:
  TIdTCPClient() = default;

  const std::string& Host() const { return host_; }
  virtual void SetHost(const std::string& host) { host_ = host; }
  int Port() const { return port_; }
  virtual void SetPort(int port) { port_ = port; }

  virtual void NotifyConnected();
  /// Connects to Host:Port (creating a socket handler when none is assigned); returns only
  /// when connected. timeout in ms: IdTimeoutDefault or 0 a plain blocking connect, else a
  /// time limit (IdTimeoutInfinite: none, but on a thread of its own). A positive limit
  /// bounds the lookup of a host name as well, on its own.
  /// EIdAlreadyConnected when the handler has a socket; any failure closes the socket and
  /// leaves the handler assigned.
  virtual void OpenConnection(int timeout = IdTimeoutDefault);
  /// Connects, reads everything until the peer closes, and closes.
  virtual std::string ConnectAndGetAll();

  std::string BoundIP;
  int BoundPort = 0;
  int BoundPortMin = 0;
  int BoundPortMax = 0;
  TIdNotifyEvent OnConnected;

 protected:
  std::string host_;
  int port_ = 0;
};
