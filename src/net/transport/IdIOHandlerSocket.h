#pragma once
// The I/O handler over one real socket, its connect with a time limit, and the SOCKS
// settings it carries.
#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "net/transport/IdIOHandler.h"
#include "net/transport/IdSocketHandle.h"

enum TSocksVersion { svNoSocks, svSocks4, svSocks4A, svSocks5 };

class TIdSocksInfo : public TIdComponent {
 public:
  TSocksVersion Version = svNoSocks;
  std::string Host;
  int Port = 1080;
};

/// Connects a binding on a thread of its own so that the caller can give up after a time.
class TIdConnectThread {
 public:
  explicit TIdConnectThread(TIdSocketHandle& binding) : binding_(binding) {}
  /// Waits for the thread to end.
  ~TIdConnectThread();
  TIdConnectThread(const TIdConnectThread&) = delete;
  TIdConnectThread& operator=(const TIdConnectThread&) = delete;

  void Start();
  void Terminate() { terminated_ = true; }
  bool Terminated() const { return terminated_; }
  void WaitFor();
  /// Empty unless the connect failed (with an error other than a closed socket).
  /// Read only after Terminated() turned true.
  const std::string& ExceptionText() const { return exceptionText_; }

 private:
  void Execute();
  TIdSocketHandle& binding_;
  std::thread thread_;
  std::atomic<bool> terminated_{false};
  std::string exceptionText_;
};

/// Length of one wait of a timed connect.
constexpr int IdConnectSliceMs = 125;

class TIdIOHandlerSocket : public TIdIOHandler {
 public:
  TIdIOHandlerSocket() = default;
  ~TIdIOHandlerSocket() override;

  void CloseHandler() override;
  void ConnectTo(const std::string& host, int port, int timeout, const std::string& boundIP, int boundPort,
                 int boundPortMin, int boundPortMax) override;
  bool HasSocket() override;
  void PrepareBinding() override;
  bool WaitReadable(int timeout) override;
  int ReceiveBytes(void* buffer, int length) override;
  int SendBytes(const void* buffer, int length) override;

  /// Null until PrepareBinding.
  TIdSocketHandle* Binding() { return binding_.get(); }
  /// Created on first use when none was assigned.
  TIdSocksInfo* SocksInfo();
  /// A SOCKS settings object that the handler does not own (null: back to an own one).
  void SetSocksInfo(TIdSocksInfo* info);

  bool UseNagle = true;

 protected:
  void ConnectWithTimeLimit(int timeout);
  void Notification(TIdBaseComponent* component, TOperation operation) override;

 private:
  void NegotiateSocks(const std::string& host, int port);
  std::unique_ptr<TIdSocksInfo> ownSocksInfo_;
  TIdSocksInfo* socksInfo_ = nullptr;
  std::unique_ptr<TIdSocketHandle> binding_;
};
