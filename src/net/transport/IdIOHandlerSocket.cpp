#include "net/transport/IdIOHandlerSocket.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <vector>

#include "base/RunLog.h"
#include "base/WhileWaiting.h"
#include "net/transport/IdSharedStack.h"
#include "platform/Platform.h"

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
      // The stack is looked up once the connect has returned: a connect abandoned long ago may
      // return after the stack it began on has been replaced.
      const int result = state->socket.ConnectPeer();
      GStack->CheckSocketResult(result);
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

namespace {

// The next address is tried when the attempts before it have not connected within this time,
// or at once when they failed: RFC 8305's connection attempt delay, so that a family whose
// route is dead (an IPv6 address without IPv6 reaching the server) costs a quarter second.
constexpr int kNextAttemptDelayMs = 250;

// The addresses in the order they are tried: the family of the first one first, then the
// families alternating (RFC 8305, section 4), each in the order the system gave them.
std::vector<TIdPeerAddress> InterleaveFamilies(const std::vector<TIdPeerAddress>& found) {
  std::vector<TIdPeerAddress> first, other, order;
  for (const TIdPeerAddress& a : found) (a.Family == found.front().Family ? first : other).push_back(a);
  for (std::size_t i = 0; i < first.size() || i < other.size(); ++i) {
    if (i < first.size()) order.push_back(first[i]);
    if (i < other.size()) order.push_back(other[i]);
  }
  return order;
}

}  // namespace

// One connect of the race: its own socket, connected on a thread of its own.
struct TIdIOHandlerSocket::TAttempt {
  std::unique_ptr<TIdSocketHandle> socket = std::make_unique<TIdSocketHandle>();
  std::unique_ptr<TIdConnectThread> thread;
};

void TIdIOHandlerSocket::ConnectTo(const std::string& host, int port, int timeout, const std::string& boundIP,
                                   int boundPort, int boundPortMin, int boundPortMax) {
  if (!binding_) PrepareBinding();
  tls_.reset();
  connectTimeout_ = timeout;
  binding_->ResetAddresses(false);
  if (!TIdStack::IsDottedQuad(host) && !TIdStack::IsIPv6Literal(host)) ReportStatus(hsResolving, host);
  peers_ = InterleaveFamilies(GStack->ResolveHost(host, timeout));
  peerPort_ = port;
  boundIP_ = boundIP;
  boundPort_ = boundPort;
  boundPortMin_ = boundPortMin;
  boundPortMax_ = boundPortMax;

  if (timeout == IdTimeoutDefault || timeout == 0)
    ConnectWithoutLimit();
  else
    ConnectWithTimeLimit(timeout);
}

void TIdIOHandlerSocket::PrepareSocket(TIdSocketHandle& socket, const TIdPeerAddress& peer) {
  socket.Family = peer.Family;
  socket.AllocateHandle(Id_SOCK_STREAM, 0);
  socket.IP = boundIP_;
  socket.Port = boundPort_;
  socket.ClientPortMin = boundPortMin_;
  socket.ClientPortMax = boundPortMax_;
  socket.BindLocal();
  socket.SetPeerAddress(peer.IP, peerPort_);
  if (!UseNagle) {
    const std::int32_t one = 1;
    socket.SetOption(Id_IPPROTO_TCP, Id_TCP_NODELAY, &one, sizeof one);
  }
  ReportStatus(hsConnecting, peer.IP);
}

void TIdIOHandlerSocket::ConnectWithoutLimit() {
  if (!HasWhileWaitingHook()) {
    // The platform's own connects, one address after the other, on this thread.
    for (std::size_t i = 0;; ++i) {
      try {
        PrepareSocket(*binding_, peers_[i]);
        GStack->CheckSocketResult(binding_->ConnectPeer());
        return;
      } catch (const EIdSocketError&) {
        if (i + 1 == peers_.size()) throw;
      }
    }
  }
  // The platform's own connect may take its time (about 21 s on Windows towards an address
  // that never answers); a thread that must go on answering waits for it in slices, on the
  // connect threads, and raises what the direct connect raises.
  RaceAddresses(-1, true);
}

void TIdIOHandlerSocket::ConnectWithTimeLimit(int timeout) {
  // Other negative limits have no meaning of their own: they end at once, like 0 left. The
  // wait ends as soon as a connect has; with a while-waiting hook it runs in slices, the
  // limit kept by the clock.
  RaceAddresses(timeout == IdTimeoutInfinite ? -1 : std::max(timeout, 0), false);
}

void TIdIOHandlerSocket::RaceAddresses(int limit, bool raiseOwnFailure) {
  std::vector<TAttempt> running;
  std::size_t next = 0;
  std::uint32_t lastStart = 0;
  std::exception_ptr failure;  // the last attempt's own, or its socket's preparation's
  std::string failureText;
  auto startNext = [&] {
    TAttempt attempt;
    const TIdPeerAddress& peer = peers_[next++];
    lastStart = platform::TickCount();
    try {
      PrepareSocket(*attempt.socket, peer);
      attempt.thread = std::make_unique<TIdConnectThread>(*attempt.socket);
      attempt.thread->Start();
    } catch (const std::exception& e) {
      failure = std::current_exception();
      failureText = e.what();
      return;  // the attempt's socket closes with it
    }
    running.push_back(std::move(attempt));
  };
  auto giveUp = [&running] {
    for (TAttempt& a : running) a.thread->Abandon();
    running.clear();
  };
  std::size_t winner = SIZE_MAX;
  // Waits up to ms (negative: until done) for an attempt to connect, starting the next address
  // when the last one failed or has run kNextAttemptDelayMs; true once one connected or all failed.
  auto race = [&](int ms) {
    const std::uint32_t sliceStart = platform::TickCount();
    for (;;) {
      for (std::size_t i = 0; i < running.size();) {
        if (!running[i].thread->Terminated()) {
          ++i;
        } else if (running[i].thread->ExceptionText().empty()) {
          winner = i;
          return true;
        } else {
          failureText = running[i].thread->ExceptionText();
          try {
            running[i].thread->RaiseFailure();
          } catch (...) {
            failure = std::current_exception();
          }
          running.erase(running.begin() + static_cast<std::ptrdiff_t>(i));  // its socket is closed
        }
      }
      const bool more = next < peers_.size();
      if (running.empty() && !more) return true;
      const int sinceStart = static_cast<int>(platform::TickCount() - lastStart);
      if (more && (running.empty() || sinceStart >= kNextAttemptDelayMs)) {
        startNext();
        continue;
      }
      int wait = more ? kNextAttemptDelayMs - sinceStart : kWaitSliceMs;
      if (ms >= 0) {
        const int left = ms - static_cast<int>(platform::TickCount() - sliceStart);
        if (left <= 0) return false;
        wait = std::min(wait, left);
      }
      // Wakes as soon as the oldest attempt ends; a later one is looked at after the wait.
      running.front().thread->WaitTerminated(std::min(wait, running.size() > 1 ? kRaceLookMs : wait));
    }
  };
  startNext();
  try {
    WaitInSlices(limit, race);
  } catch (const EWaitAbandoned&) {
    // Nobody wants this connection any more: the connects are left to their threads.
    giveUp();
    CloseHandler();
    throw;
  }
  if (winner != SIZE_MAX) {
    TAttempt won = std::move(running[winner]);
    running.erase(running.begin() + static_cast<std::ptrdiff_t>(winner));
    giveUp();
    won.thread.reset();  // the socket comes back to the attempt
    binding_->TakeOver(*won.socket);
    return;
  }
  if (!running.empty()) {
    giveUp();
    CloseHandler();
    throw EIdConnectTimeout(RSConnectTimeout);
  }
  if (raiseOwnFailure && failure) std::rethrow_exception(failure);
  throw EIdConnectException(failureText);
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
