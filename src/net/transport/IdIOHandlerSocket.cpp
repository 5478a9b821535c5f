#include "net/transport/IdIOHandlerSocket.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <exception>

#include "base/RunLog.h"
#include "base/WhileWaiting.h"
#include "net/transport/IdSharedStack.h"

// ---- TIdConnectThread -------------------------------------------------------------------------

enum TConnectPhase { cpRunning, cpEnded, cpAbandoned };

struct TIdConnectThread::TState {
  TIdComponent stackUser;  // keeps the socket stack for a thread that outlives its caller
  TIdSocketHandle socket;  // destroyed before stackUser: closes a socket still held
  std::string exceptionText;
  std::exception_ptr failure;  // the connect's own exception, for a connect without limit
  std::atomic<int> phase{cpRunning};
  platform::Event ended;
};

TIdConnectThread::TIdConnectThread(TIdSocketHandle& binding) : binding_(binding), state_(std::make_shared<TState>()) {
  state_->socket.TakeOver(binding);
}

TIdConnectThread::~TIdConnectThread() {
  if (state_->phase.load() != cpAbandoned) GiveBack();
}

void TIdConnectThread::Start() {
  std::shared_ptr<TState> state = state_;
  const bool started = thread_.Start([state] {
    try {
      GStack->CheckSocketResult(state->socket.ConnectPeer(Id_PF_INET));
    } catch (const std::exception& e) {
      state->exceptionText = e.what();
      state->failure = std::current_exception();
    }
    int running = cpRunning;
    state->phase.compare_exchange_strong(running, cpEnded);  // abandoned: the socket closes with state
    state->ended.Set();
  });
  if (!started) throw EIdConnectException(RSConnectThreadFailed);
}

bool TIdConnectThread::Terminated() const { return state_->phase.load() == cpEnded; }

bool TIdConnectThread::WaitTerminated(int ms) {
  state_->ended.Wait(ms < 0 ? UINT32_MAX : static_cast<std::uint32_t>(ms));
  return Terminated();
}

void TIdConnectThread::Abandon() {
  // Before the hand-over the socket is still open here, so shutting it down cannot reach
  // another socket that reuses its number.
  GStack->WSShutdown(state_->socket.Handle(), Id_SD_Both);
  int running = cpRunning;
  if (state_->phase.compare_exchange_strong(running, cpAbandoned)) {
    thread_.Detach();
  } else {
    GiveBack();
  }
}

const std::string& TIdConnectThread::ExceptionText() const { return state_->exceptionText; }

void TIdConnectThread::RaiseFailure() const {
  if (state_->failure) std::rethrow_exception(state_->failure);
}

void TIdConnectThread::GiveBack() {
  thread_.Join();
  if (state_->socket.HandleAllocated()) binding_.TakeOver(state_->socket);
}

// ---- TIdIOHandlerSocket -----------------------------------------------------------------------

TIdIOHandlerSocket::~TIdIOHandlerSocket() {
  binding_.reset();  // closes a socket it still holds
}

void TIdIOHandlerSocket::CloseHandler() {
  if (tls_) {
    if (HasSocket()) tls_->Shutdown();
    tls_.reset();
  }
  if (binding_) binding_->ReleaseHandle();
}

bool TIdIOHandlerSocket::HasSocket() { return binding_ && binding_->HandleAllocated(); }

void TIdIOHandlerSocket::PrepareBinding() {
  if (binding_)
    binding_->ResetAddresses(true);
  else
    binding_ = std::make_unique<TIdSocketHandle>();
}

void TIdIOHandlerSocket::ConnectTo(const std::string& host, int port, int timeout, const std::string& boundIP,
                                   int boundPort, int boundPortMin, int boundPortMax) {
  if (!binding_) PrepareBinding();
  tls_.reset();
  connectTimeout_ = timeout;
  binding_->AllocateHandle(Id_SOCK_STREAM, 0);
  binding_->IP = boundIP;
  binding_->Port = boundPort;
  binding_->ClientPortMin = boundPortMin;
  binding_->ClientPortMax = boundPortMax;
  binding_->BindLocal();

  if (!TIdStack::IsDottedQuad(host)) ReportStatus(hsResolving, host);
  binding_->SetPeerAddress(GStack->ResolveHostToIP(host, timeout), port);
  if (!UseNagle) {
    const std::int32_t one = 1;
    binding_->SetOption(Id_IPPROTO_TCP, Id_TCP_NODELAY, &one, sizeof one);
  }
  ReportStatus(hsConnecting, binding_->PeerIP);

  if (timeout == IdTimeoutDefault || timeout == 0)
    ConnectWithoutLimit();
  else
    ConnectWithTimeLimit(timeout);
}

void TIdIOHandlerSocket::ConnectWithoutLimit() {
  if (!HasWhileWaitingHook()) {
    GStack->CheckSocketResult(binding_->ConnectPeer(Id_PF_INET));
    return;
  }
  // The platform's own connect may take its time (about 21 s on Windows towards an address
  // that never answers); a thread that must go on answering waits for it in slices, on the
  // connect thread, and raises what the direct connect raises.
  TIdConnectThread thread(*binding_);  // the socket comes back when it is destroyed
  thread.Start();
  WaitForConnectThread(thread, -1);
  thread.RaiseFailure();
}

void TIdIOHandlerSocket::WaitForConnectThread(TIdConnectThread& thread, int limit) {
  try {
    WaitInSlices(limit, [&thread](int ms) { return thread.WaitTerminated(ms); });
  } catch (const EWaitAbandoned&) {
    // Nobody wants this connection any more: the connect is left to its thread, not waited out.
    thread.Abandon();
    CloseHandler();
    throw;
  }
}

void TIdIOHandlerSocket::ConnectWithTimeLimit(int timeout) {
  TIdConnectThread thread(*binding_);  // the socket comes back when it is destroyed
  thread.Start();
  // Other negative limits have no meaning of their own: they end at once, like 0 left. The
  // wait ends as soon as the connect has; with a while-waiting hook it runs in slices, the
  // limit kept by the clock.
  const int limit = timeout == IdTimeoutInfinite ? -1 : std::max(timeout, 0);
  WaitForConnectThread(thread, limit);
  if (!thread.Terminated()) {
    thread.Abandon();
    CloseHandler();  // a socket given back at the last moment is closed here
    throw EIdConnectTimeout(RSConnectTimeout);
  }
  if (!thread.ExceptionText().empty()) throw EIdConnectException(thread.ExceptionText());
}

bool TIdIOHandlerSocket::WaitReadable(int timeout) {
  if (!binding_) throw EIdConnClosedGracefully(RSConnectionClosedGracefully);
  if (tls_) {
    // What the session holds already is readable now; the rest of a record the socket has only
    // begun to bring is waited for as long as this wait may last (a look without waiting gives
    // such a record the connect's limit).
    if (tls_->HasPending()) return true;
    recordWaitMs_ = timeout == 0 ? connectTimeout_ : timeout;
  }
  // Without a time limit the receive that follows waits by itself, for data or a close,
  // and reports its own failure; a select first would only cost a second call per chunk.
  // A thread with a while-waiting hook waits in slices instead (IdSocketHandle).
  if (timeout == IdTimeoutInfinite && binding_->HandleAllocated() && !HasWhileWaitingHook()) return true;
  return binding_->WaitReadable(timeout);
}

int TIdIOHandlerSocket::ReceiveBytes(void* buffer, int length) {
  if (!HasSocket()) throw EIdClosedSocket(RSStatusDisconnected);
  if (!tls_) return binding_->ReceiveBytes(buffer, length, 0);
  const int result = tls_->Receive(buffer, length);
  if (result < 0) throw EIdTLSError(IdFormat(RSTLSFailed, tls_->ErrorText()));
  return result;
}

int TIdIOHandlerSocket::SendBytes(const void* buffer, int length) {
  if (!HasSocket()) throw EIdClosedSocket(RSStatusDisconnected);
  if (!tls_) return binding_->SendBytes(buffer, length, 0);
  if (!tls_->Send(buffer, length)) throw EIdTLSError(IdFormat(RSTLSFailed, tls_->ErrorText()));
  return length;
}

void TIdIOHandlerSocket::StartTls(const std::string& host) {
  if (!HasSocket()) throw EIdClosedSocket(RSStatusDisconnected);
  std::string missing;
  tls_ = platform::NewTlsSession({[this](const void* data, int length) { SendRecords(data, length); },
                                  [this](void* buffer, int length) { return ReceiveRecords(buffer, length); }},
                                 missing);
  if (!tls_) throw EIdTLSError(IdFormat(RSTLSMissing, missing));
  recordWaitMs_ = connectTimeout_;
  platform::TTlsVerdict verdict;
  try {
    verdict = tls_->Start(host);
  } catch (...) {
    tls_.reset();  // a handshake cut short leaves nothing to tell the peer
    throw;
  }
  if (verdict.refusal != platform::TTlsRefusal::None) {
    tls_.reset();
    CloseHandler();
    throw EIdTLSRefused(IdFormat(RSTLSRefused, host, verdict.reason));
  }
  LogLine("  " + verdict.version + " with " + host + ": certificate of " + verdict.subject + ", issued by " +
          verdict.issuer);
}

int TIdIOHandlerSocket::ReceiveRecords(void* buffer, int length) {
  const int wait = recordWaitMs_ == IdTimeoutDefault || recordWaitMs_ == 0 ? IdTimeoutInfinite : recordWaitMs_;
  if (!binding_->WaitReadable(wait)) throw EIdReadTimeout(RSReadTimeout);
  const int result = binding_->ReceiveBytes(buffer, length, 0);
  if (GStack->CheckSocketResult(result, {Id_WSAESHUTDOWN, Id_WSAECONNABORTED})) return 0;
  return result;
}

void TIdIOHandlerSocket::SendRecords(const void* data, int length) {
  const char* bytes = static_cast<const char*>(data);
  for (int position = 0; position < length;) {
    const int sent = binding_->SendBytes(bytes + position, length - position, 0);
    if (sent == 0) throw EIdConnClosedGracefully(RSConnectionClosedGracefully);
    GStack->CheckSocketResult(sent);
    position += sent;
  }
}
