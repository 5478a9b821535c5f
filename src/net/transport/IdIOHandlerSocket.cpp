#include "net/transport/IdIOHandlerSocket.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <exception>

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

// Not make_shared, as in IdHostLookup.cpp: it would link the runtime's shared_ptr support.
TIdConnectThread::TIdConnectThread(TIdSocketHandle& binding) : binding_(binding), state_(new TState) {
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
  // Without a time limit the receive that follows waits by itself, for data or a close,
  // and reports its own failure; a select first would only cost a second call per chunk.
  // A thread with a while-waiting hook waits in slices instead (IdSocketHandle).
  if (timeout == IdTimeoutInfinite && binding_->HandleAllocated() && !HasWhileWaitingHook()) return true;
  return binding_->WaitReadable(timeout);
}

int TIdIOHandlerSocket::ReceiveBytes(void* buffer, int length) {
  if (!HasSocket()) throw EIdClosedSocket(RSStatusDisconnected);
  return binding_->ReceiveBytes(buffer, length, 0);
}

int TIdIOHandlerSocket::SendBytes(const void* buffer, int length) {
  if (!HasSocket()) throw EIdClosedSocket(RSStatusDisconnected);
  return binding_->SendBytes(buffer, length, 0);
}
