#include "net/transport/IdTCPClient.h"

#include "base/ScopeExit.h"
#include "net/transport/IdIOHandlerSocket.h"

void TIdTCPClient::NotifyConnected() {
  if (OnConnected) OnConnected(this);
}

void TIdTCPClient::OpenConnection(int timeout) {
  if (IOHandler() && IOHandler()->HasSocket()) throw EIdAlreadyConnected(RSAlreadyConnected);
  if (!IOHandler()) {
    auto handler = std::make_unique<TIdIOHandlerSocket>();
    handler->OnStatus = OnStatus;
    SetOwnedIOHandler(std::move(handler));
  }
  try {
    IOHandler()->PrepareBinding();
    ResetReadState();
    IOHandler()->ConnectTo(host_, port_, timeout, BoundIP, BoundPort, BoundPortMin, BoundPortMax);
    if (Intercept()) Intercept()->Connect(this);
    ReportStatus(hsConnected, host_);
    NotifyConnected();
  } catch (...) {
    DropSocketQuietly();  // the failure that got us here is the one to report
    throw;
  }
}

std::string TIdTCPClient::ConnectAndGetAll() {
  OpenConnection(IdTimeoutDefault);
  auto close = OnScopeExit([this] { CloseConnection(); });
  return ReadUntilClosed();
}
