#pragma once
// The I/O handler over one real socket, and its connect with a time limit. It connects straight
// to the host it is given (a proxy is the HTTP client's choice of host). A name with addresses
// of both families is connected as RFC 8305 says: the addresses raced, the next one started when
// the one before has not connected within 250 ms, the first to connect kept. Once TLS is started
// over the socket, everything read and written goes through the system's TLS session.
#include <memory>
#include <string>
#include <vector>

#include "net/transport/IdIOHandler.h"
#include "net/transport/IdSocketHandle.h"
#include "platform/Platform.h"
#include "platform/Tls.h"

/// Connects a binding's socket on a thread of its own so that the caller can give up after a
/// time. The socket is handed over, never shared, so exactly one side closes it: the thread
/// holds it while it connects; the binding gets it back (with its addresses read back) once
/// the thread has ended, unless the caller gave up first: then the thread keeps it and
/// closes it when its connect returns.
class TIdConnectThread {
 public:
  /// Takes the binding's socket over; the binding holds none until the socket comes back.
  explicit TIdConnectThread(TIdSocketHandle& binding);
  /// Waits for the thread and gives the socket back, unless abandoned.
  ~TIdConnectThread();
  TIdConnectThread(const TIdConnectThread&) = delete;
  TIdConnectThread& operator=(const TIdConnectThread&) = delete;

  /// Raises EIdConnectException when no thread can be started.
  void Start();
  /// True once the connect has ended (connected or failed).
  bool Terminated() const;
  /// Waits up to ms (negative: without limit) for the connect to end; true when it has. Wakes
  /// as soon as it ends, so a slice is not slept out after the connection is made.
  bool WaitTerminated(int ms);
  /// Gives up on a connect that has not ended: wakes it where the platform can (shutting the
  /// socket down; its number stays taken) and leaves the socket to the thread. When the
  /// connect ended meanwhile, the socket is given back to the binding instead.
  void Abandon();
  /// Empty unless the connect failed. Read only after Terminated() turned true.
  const std::string& ExceptionText() const;
  /// Raises the connect's own failure (an EIdSocketError with its number) unchanged, if it
  /// failed. Only after Terminated() turned true.
  void RaiseFailure() const;

 private:
  struct TState;
  void GiveBack();
  TIdSocketHandle& binding_;
  std::shared_ptr<TState> state_;  // shared with the thread, which may outlive this object
  platform::Thread thread_;
};

class TIdIOHandlerSocket : public TIdIOHandler {
 public:
  TIdIOHandlerSocket() = default;
  ~TIdIOHandlerSocket() override;

  void CloseHandler() override;
  TIdIOHandlerSocket* AsSocketHandler() override { return this; }
  void ConnectTo(const std::string& host, int port, int timeout, const std::string& boundIP, int boundPort,
                 int boundPortMin, int boundPortMax) override;
  bool HasSocket() override;
  void PrepareBinding() override;
  bool WaitReadable(int timeout) override;
  int ReceiveBytes(void* buffer, int length) override;
  int SendBytes(const void* buffer, int length) override;
  void StartTls(const std::string& host) override;
  /// Whether TLS runs over the socket.
  bool TlsActive() const { return tls_ != nullptr; }

  /// Null until PrepareBinding.
  TIdSocketHandle* Binding() { return binding_.get(); }

  bool UseNagle = true;

 protected:
  void ConnectWithTimeLimit(int timeout);
  /// A connect without a time limit: on the calling thread, address after address, or raced
  /// on connect threads waited for in slices when the calling thread has a while-waiting hook.
  void ConnectWithoutLimit();

 private:
  struct TAttempt;
  /// A new socket of the peer's family, bound and addressed as ConnectTo was told.
  void PrepareSocket(TIdSocketHandle& socket, const TIdPeerAddress& peer);
  /// Races the connects to peers_ for up to `limit` ms (negative: no limit); the winner's
  /// socket becomes the binding's. Raises EIdConnectTimeout when the limit passes, else the
  /// last failure: its own exception (raiseOwnFailure) or EIdConnectException with its text.
  /// A wait the thread's hook abandons leaves the connects to their threads.
  void RaceAddresses(int limit, bool raiseOwnFailure);
  /// While two attempts run, how often the later ones are looked at (the oldest wakes the wait).
  static constexpr int kRaceLookMs = 10;

  std::unique_ptr<TIdSocketHandle> binding_;
  std::vector<TIdPeerAddress> peers_;  // the addresses of the connect under way, in the order tried
  int peerPort_ = 0;
  std::string boundIP_;
  int boundPort_ = 0, boundPortMin_ = 0, boundPortMax_ = 0;
  /// The TLS session's raw reads: waits as the last WaitReadable was told, then receives.
  int ReceiveRecords(void* buffer, int length);
  void SendRecords(const void* data, int length);
  std::unique_ptr<platform::TTlsSession> tls_;
  int connectTimeout_ = IdTimeoutDefault;  // the connect's limit, which the handshake keeps too
  int recordWaitMs_ = IdTimeoutInfinite;   // how long a raw read of the session may wait
};
