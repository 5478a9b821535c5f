#pragma once
// A one-connection server on 127.0.0.1 for the transport tests: it accepts one client on a
// thread of its own and runs a script against it. The destructor closes the listening socket
// (which ends a wait for a client that never came) and waits for the thread.
#include <functional>
#include <memory>
#include <string>

#include "net/transport/IdComponent.h"
#include "net/transport/IdException.h"
#include "net/transport/IdSocketHandle.h"
#include "platform/Platform.h"

class LoopbackServer {
 public:
  using Script = std::function<void(TIdSocketHandle& peer)>;

  explicit LoopbackServer(Script script, int backlog = 1) {
    listener_.AllocateHandle();
    listener_.IP = "127.0.0.1";
    listener_.BindLocal();
    listener_.Listen(backlog);
    const bool started = thread_.Start([this, script] {
      TIdSocketHandle peer;
      try {
        if (listener_.Accept(peer)) script(peer);
      } catch (const std::exception& e) {
        error_ = e.what();
      }
    });
    if (!started) throw EIdException("the server thread did not start");
  }
  ~LoopbackServer() {
    listener_.ReleaseHandle();
    thread_.Join();
  }
  /// Waits for the script to end.
  void Join() { thread_.Join(); }
  int Port() const { return listener_.Port; }
  /// A failure inside the script (empty when none).
  const std::string& Error() const { return error_; }

  /// Sends all bytes or raises.
  static void SendAll(TIdSocketHandle& peer, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
      int n = peer.SendBytes(bytes.data() + done, static_cast<int>(bytes.size() - done));
      if (n <= 0) throw EIdException("server send failed");
      done += static_cast<size_t>(n);
    }
  }
  /// Receives until `count` bytes came or the client closed.
  static std::string Receive(TIdSocketHandle& peer, size_t count) {
    std::string got;
    char buf[4096];
    while (got.size() < count) {
      int n =
          peer.ReceiveBytes(buf, static_cast<int>(sizeof buf < count - got.size() ? sizeof buf : count - got.size()));
      if (n <= 0) break;
      got.append(buf, static_cast<size_t>(n));
    }
    return got;
  }
  /// Waits until the client closes (bounded by the client's own close).
  static void WaitForClose(TIdSocketHandle& peer) {
    char buf[256];
    while (peer.ReceiveBytes(buf, sizeof buf) > 0) {
    }
  }

 private:
  TIdComponent stackUser_;  // keeps the socket stack alive for the server's lifetime
  TIdSocketHandle listener_;
  platform::Thread thread_;
  std::string error_;
};
