#include "net/transport/IdIOHandlerSocket.h"

#include "platform/Platform.h"

// ---- TIdConnectThread -------------------------------------------------------------------------

TIdConnectThread::~TIdConnectThread() { WaitFor(); }

void TIdConnectThread::Start() { thread_ = std::thread([this] { Execute(); }); }

void TIdConnectThread::WaitFor() {
  if (thread_.joinable()) thread_.join();
}

void TIdConnectThread::Execute() {
  try {
    GStack->CheckSocketResult(binding_.ConnectPeer(Id_PF_INET), {10009, 10038});  // closed under us: ignored
  } catch (const std::exception& e) {
    exceptionText_ = e.what();
  }
  terminated_ = true;
}

// ---- TIdIOHandlerSocket -----------------------------------------------------------------------

TIdIOHandlerSocket::~TIdIOHandlerSocket() {
  if (socksInfo_) RemoveFreeNotification(socksInfo_);
  ownSocksInfo_.reset();
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

TIdSocksInfo* TIdIOHandlerSocket::SocksInfo() {
  if (!socksInfo_) {
    ownSocksInfo_ = std::make_unique<TIdSocksInfo>();
    socksInfo_ = ownSocksInfo_.get();
  }
  return socksInfo_;
}

void TIdIOHandlerSocket::SetSocksInfo(TIdSocksInfo* info) {
  if (socksInfo_ && socksInfo_ != ownSocksInfo_.get()) RemoveFreeNotification(socksInfo_);
  ownSocksInfo_.reset();
  socksInfo_ = info;
  if (info) FreeNotification(info);
}

void TIdIOHandlerSocket::Notification(TIdBaseComponent* component, TOperation operation) {
  if (operation == opRemove && component == socksInfo_) socksInfo_ = nullptr;
  TIdIOHandler::Notification(component, operation);
}

void TIdIOHandlerSocket::ConnectTo(const std::string& host, int port, int timeout, const std::string& boundIP,
                                   int boundPort, int boundPortMin, int boundPortMax) {
  if (!binding_) PrepareBinding();
  const bool viaSocks = socksInfo_ && socksInfo_->Version != svNoSocks;
  const std::string targetHost = viaSocks ? socksInfo_->Host : host;
  const int targetPort = viaSocks ? socksInfo_->Port : port;

  binding_->AllocateHandle(Id_SOCK_STREAM, 0);
  binding_->IP = boundIP;
  binding_->Port = boundPort;
  binding_->ClientPortMin = boundPortMin;
  binding_->ClientPortMax = boundPortMax;
  binding_->BindLocal();

  if (!TIdStack::IsDottedQuad(targetHost)) ReportStatus(hsResolving, targetHost);
  binding_->SetPeerAddress(GStack->ResolveHostToIP(targetHost), targetPort);
  if (!UseNagle) {
    const std::int32_t one = 1;
    binding_->SetOption(Id_IPPROTO_TCP, Id_TCP_NODELAY, &one, sizeof one);
  }
  ReportStatus(hsConnecting, binding_->PeerIP);

  if (timeout == IdTimeoutDefault || timeout == 0)
    GStack->CheckSocketResult(binding_->ConnectPeer(Id_PF_INET));
  else
    ConnectWithTimeLimit(timeout);

  if (viaSocks) NegotiateSocks(host, port);
}

void TIdIOHandlerSocket::ConnectWithTimeLimit(int timeout) {
  TIdConnectThread thread(*binding_);  // destroyed (joined) on every way out
  thread.Start();
  const bool infinite = timeout == IdTimeoutInfinite;
  // Other negative limits have no meaning of their own: they end at once, like 0 left.
  int remaining = infinite ? IdConnectSliceMs + 1 : (timeout < 0 ? 0 : timeout);
  while (remaining > IdConnectSliceMs) {
    platform::SleepMs(IdConnectSliceMs);
    remaining = infinite ? IdConnectSliceMs + 1 : remaining - IdConnectSliceMs;
    if (thread.Terminated()) {
      remaining = 0;
      break;
    }
  }
  platform::SleepMs(static_cast<std::uint32_t>(remaining));
  if (!thread.Terminated()) {
    thread.Terminate();
    CloseHandler();  // makes the thread's blocking connect return
    thread.WaitFor();
    throw EIdConnectTimeout(RSConnectTimeout);
  }
  if (!thread.ExceptionText().empty()) throw EIdConnectException(thread.ExceptionText());
  // A connect cut short by a close (10009/10038) is not a connection.
  if (!HasSocket()) throw EIdConnectException(RSStatusDisconnected);
}

void TIdIOHandlerSocket::NegotiateSocks(const std::string&, int) {
  // No SOCKS handshake is built into this program; a configured proxy fails in order.
  CloseHandler();
  throw EIdSocksError(RSSocksNotSupported);
}

bool TIdIOHandlerSocket::WaitReadable(int timeout) {
  if (!binding_) throw EIdConnClosedGracefully(RSConnectionClosedGracefully);
  // Without a time limit the receive that follows waits by itself, for data or a close,
  // and reports its own failure; a select first would only cost a second call per chunk.
  if (timeout == IdTimeoutInfinite && binding_->HandleAllocated()) return true;
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
