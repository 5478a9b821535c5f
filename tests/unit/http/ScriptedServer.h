#pragma once
// A web server on 127.0.0.1 for the tests, on a thread of its own: for each connection it
// accepts, it reads one request head per scripted reply and answers with the reply's bytes,
// then closes that connection. It stops by itself when the script is done, when its owner
// is destroyed, or after a generous safety bound (which no passing test comes near).
#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

#include "net/transport/IdComponent.h"
#include "net/transport/IdSharedStack.h"
#include "net/transport/IdSocketHandle.h"
#include "platform/Platform.h"

class TScriptedServer {
 public:
  /// One entry per connection; each holds the replies sent on it, one per request.
  explicit TScriptedServer(std::vector<std::vector<std::string>> script) : script_(std::move(script)) {
    listen_.IP = "127.0.0.1";
    listen_.AllocateHandle();
    listen_.BindLocal();
    listen_.Listen(8);
    port_ = listen_.Port;
    if (!thread_.Start([this] { Run(); })) throw EIdException("the server thread did not start");
  }
  ~TScriptedServer() {
    stop_ = true;
    thread_.Join();
  }
  TScriptedServer(const TScriptedServer&) = delete;
  TScriptedServer& operator=(const TScriptedServer&) = delete;

  int Port() const { return port_; }
  std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
  /// Waits for the script's end (or the safety bound) and answers how many connections came.
  int Finish() {
    thread_.Join();
    return accepted_;
  }
  std::vector<std::string> Requests() {
    platform::LockGuard g(lock_);
    return requests_;
  }

 private:
  static constexpr int kSliceMs = 50;
  static constexpr int kSafetySlices = 400;  // 20 s

  static constexpr std::size_t kSendPiece = 16 * 1024;

  /// Waits in slices until the socket takes more bytes (or has failed, which the send then
  /// says); false when stopped or out of slices.
  bool WaitWritable(TIdSocketHandle& s) {
    for (int i = 0; i < kSafetySlices && !stop_; ++i) {
      TIdSocketList write{s.Handle()};
      if (GStack->WSSelect(nullptr, &write, kSliceMs, nullptr) != 0) return true;
    }
    return false;
  }

  /// Waits in slices until the socket is readable; false when stopped or out of slices.
  bool Wait(TIdSocketHandle& s) {
    for (int i = 0; i < kSafetySlices && !stop_; ++i)
      if (s.WaitReadable(kSliceMs)) return true;
    return false;
  }

  void Run() {
    for (const auto& replies : script_) {
      if (!Wait(listen_)) return;
      TIdSocketHandle client;
      if (!listen_.Accept(client)) return;
      ++accepted_;
      std::string pending;
      for (const auto& reply : replies) {
        std::size_t end;
        while ((end = pending.find("\r\n\r\n")) == std::string::npos) {
          char buf[4096];
          if (!Wait(client)) return;
          int n = client.ReceiveBytes(buf, sizeof buf);
          if (n <= 0) return;
          pending.append(buf, static_cast<std::size_t>(n));
        }
        {
          platform::LockGuard g(lock_);
          requests_.push_back(pending.substr(0, end + 4));
        }
        pending.erase(0, end + 4);
        // In pieces, each once the socket takes more: a client that stops reading and closes
        // (a body over its limit) ends the reply at the next piece. One blocking send of a
        // large reply can outlive such a client under Wine and hold the test at its end.
        for (std::size_t sent = 0; sent < reply.size();) {
          if (!WaitWritable(client)) return;
          const std::size_t piece = std::min(reply.size() - sent, kSendPiece);
          int n = client.SendBytes(reply.data() + sent, static_cast<int>(piece));
          if (n <= 0) return;
          sent += static_cast<std::size_t>(n);
        }
      }
    }
  }

  TIdComponent stackUser_;  // keeps the socket stack alive while the server runs
  TIdSocketHandle listen_;
  std::vector<std::vector<std::string>> script_;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> accepted_{0};
  platform::Lock lock_;
  std::vector<std::string> requests_;
  platform::Thread thread_;
};
