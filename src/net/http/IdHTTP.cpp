// The GET exchange: the request target and route, the connection, the request head on the
// wire, and the loop of passes over redirects and authorization retries. Reading a response
// is IdHTTPResponse.cpp's, judging it IdHTTPVerdict.cpp's, cookies and authorization
// IdHTTPAuthorization.cpp's.
#include "net/http/IdHTTP.h"

#include "base/ScopeExit.h"
#include "base/SysUtils.h"
#include "net/http/IdGlobal.h"
#include "net/transport/IdIOHandlerSocket.h"
#include "platform/Platform.h"

std::string MethodWord(TIdHTTPMethod method) {
  switch (method) {
    case hmHead: return "HEAD ";
    case hmGet: return "GET ";
    case hmPost: return "POST ";
    case hmOptions: return "OPTIONS ";
    case hmTrace: return "TRACE ";
    case hmPut: return "PUT ";
    case hmDelete: return "DELETE ";
    case hmConnect: return "CONNECT ";
  }
  return "";
}

TIdCustomHTTP::TIdCustomHTTP() : protocol_(new TIdHTTPProtocol(*this)) {
  SetPort(80);
  ProxyParams.Clear();
}

TIdCustomHTTP::~TIdCustomHTTP() { CloseQuietly(); }

void TIdCustomHTTP::SetHost(const std::string& host) {
  TIdTCPClient::SetHost(host);
  workingUri_.Host = host;
}

void TIdCustomHTTP::SetPort(int port) {
  TIdTCPClient::SetPort(port);
  workingUri_.Port = std::to_string(port);
}

void TIdCustomHTTP::SetCookieManager(TIdCookieManager* manager) {
  if (manager == cookieManager_) return;
  cookieManager_ = manager;
  ownedCookieManager_.reset();
}

std::string TIdCustomHTTP::FetchUrl(const std::string& url) {
  TMemoryStream stream;
  FetchUrlToStream(url, stream);
  return stream.DataString();
}

void TIdCustomHTTP::FetchUrlToStream(const std::string& url, TStream& stream) {
  PerformRequest(hmGet, url, &stream, nullptr);
}

void TIdCustomHTTP::PerformRequest(TIdHTTPMethod method, const std::string& url, TStream* body, TStream* upload) {
  // The total time limit runs from here to the end of the request, whatever way it ends.
  requestTimed_ = RequestTimeLimit > 0;
  if (requestTimed_) requestStartTick_ = Tick();
  auto untimed = OnScopeExit([this] { requestTimed_ = false; });
  const std::int64_t start = body ? body->Position() : 0;
  AuthAttempts = ProxyAuthAttempts = 0;
  Request().Target = url;
  Request().RequestMethod = method;
  Request().UploadStream = upload;
  Response().BodyStream = body;
  try {
    for (bool done = false; !done;) {
      ++RedirectCount;
      PrepareTarget();
      EstablishConnection();
      protocol_->ReadResponseHead();
      // Interim responses are dropped, each head bounded by the header limits.
      for (int interim = 0; Response().StatusCode() == 100; ++interim) {
        if (interim >= kMaxInterimResponses) throw EIdHTTPLimitExceeded("Too many interim responses");
        protocol_->ReadResponseHead();
      }
      switch (protocol_->EvaluateResponse()) {
        case rvFollow:
          if (body) {
            body->SetPosition(start);
            body->SetSize(start);
          }
          // A proxy challenge answered over a new connection is no redirect: its attempts go on
          // counting, so a proxy that closes at every step cannot hold the call in a loop.
          AuthAttempts = 0;
          if (Response().StatusCode() != 407) ProxyAuthAttempts = 0;
          break;
        case rvFinished: done = true; break;
        case rvUndetermined: throw EIdException("Undefined situation");
        case rvAuthRetry:
          --RedirectCount;
          Request().Target = url;
          break;
      }
    }
  } catch (const EIdHTTPProtocolException&) {
    // The error body was read in full: the connection is in step and may be kept.
    if (!Response().KeepConnection()) CloseConnection();
    throw;
  } catch (...) {
    // Anything else may leave part of a response unread: never reuse that connection. The
    // failure on its way is the one to report.
    CloseQuietly();
    throw;
  }
  if (!Response().KeepConnection()) CloseConnection();
  RedirectCount = 0;
}

std::uint32_t TIdCustomHTTP::Tick() const { return TickSource ? TickSource() : platform::TickCount(); }

int TIdCustomHTTP::RequestTimeLeft() const {
  if (!requestTimed_) return -1;
  // Unsigned difference: right across a wrap of the tick count.
  const std::uint32_t spent = Tick() - requestStartTick_;
  const std::uint32_t limit = static_cast<std::uint32_t>(RequestTimeLimit);
  return spent >= limit ? 0 : static_cast<int>(limit - spent);
}

void TIdCustomHTTP::RaiseRequestTimeLimit() const {
  // The request's total limit ended it, which its message says: a reader of the log must not
  // take thirty seconds of trickle for a server that went quiet.
  throw EIdReadTimeout(std::string(RSReadTimeout) + ": the request's total limit of " +
                       std::to_string(RequestTimeLimit) + " ms passed");
}

void TIdCustomHTTP::BeforeReadStep() {
  TIdTCPClient::BeforeReadStep();
  if (RequestTimeLeft() == 0) RaiseRequestTimeLimit();
}

int TIdCustomHTTP::FillInputBuffer(bool raiseIfDisconnected, int timeout, bool raiseOnTimeout) {
  if (!requestTimed_) return TIdTCPClient::FillInputBuffer(raiseIfDisconnected, timeout, raiseOnTimeout);
  const int left = RequestTimeLeft();
  if (left > 0) {
    if (timeout == IdTimeoutDefault) timeout = ReadTimeout == 0 ? IdTimeoutInfinite : ReadTimeout;
    // The read's own limit ends this wait first: its time-out is the read's.
    if (timeout != IdTimeoutInfinite && timeout < left)
      return TIdTCPClient::FillInputBuffer(raiseIfDisconnected, timeout, raiseOnTimeout);
    const int got = TIdTCPClient::FillInputBuffer(raiseIfDisconnected, left, false);
    if (got >= 0) return got;
  }
  if (raiseOnTimeout) RaiseRequestTimeLimit();
  return -1;
}

void TIdCustomHTTP::PrepareTarget() {
  TIdHTTPRequest& req = Request();
  TIdURI uri(req.Target);
  if (!uri.Username.empty()) {
    req.Username = uri.Username;
    req.Password = uri.Password;
  }
  workingUri_.Username = req.Username;
  workingUri_.Password = req.Password;
  workingUri_.Path = TIdURI::MergePath(workingUri_.Path, uri.Path, "/");
  workingUri_.Document = uri.Document;
  workingUri_.Params = uri.Params;
  if (!uri.Host.empty()) workingUri_.Host = uri.Host;
  workingUri_.Protocol = uri.Protocol.empty() ? "http" : uri.Protocol;
  if (!uri.Port.empty()) {
    workingUri_.Port = uri.Port;
  } else if (SameText(workingUri_.Protocol, "http")) {
    workingUri_.Port = "80";
  } else if (SameText(workingUri_.Protocol, "https")) {
    workingUri_.Port = "443";
  } else {
    throw EIdUnknownProtocol("");
  }
  req.Target = workingUri_.Path + workingUri_.Document + workingUri_.Params;
  if (req.RequestMethod == hmOptions && uri.Document == "*") req.Target = "*";
  if ((req.RequestMethod == hmOptions || req.RequestMethod == hmTrace || req.RequestMethod == hmPut ||
       req.RequestMethod == hmDelete) &&
      ProtocolVersion != pv1_1)
    throw EIdException("This request method is supported in HTTP 1.1");
  req.ContentLength = (req.RequestMethod == hmPost || req.RequestMethod == hmPut) && req.UploadStream
                          ? static_cast<std::int32_t>(req.UploadStream->Size())
                          : -1;
  const std::string host = TIdURI::HostForUri(workingUri_.Host);
  const std::string defaultPort = SameText(workingUri_.Protocol, "https") ? "443" : "80";
  req.Host = workingUri_.Port == defaultPort ? host : host + ":" + workingUri_.Port;
}

TIdHTTPRouteKind TIdCustomHTTP::SelectEndpoint() {
  const bool tls = SameText(workingUri_.Protocol, "https");
  if (!ProxyParams.ProxyServer.empty()) {
    // One connection to the proxy carries plain requests for any server; a tunnel serves only
    // the server it was opened to.
    const std::string tunnel = tls ? TunnelTarget() : "";
    if (!SameText(Host(), ProxyParams.ProxyServer) || Port() != ProxyParams.ProxyPort || tunnel != tunnel_) {
      if (IsConnected()) CloseConnection();
      TIdTCPClient::SetHost(ProxyParams.ProxyServer);
      TIdTCPClient::SetPort(ProxyParams.ProxyPort);
    }
    return tls ? rkTlsProxy : rkProxy;
  }
  const std::string wantedHost = workingUri_.Host;
  const std::string wantedPort = workingUri_.Port;
  if (!SameText(Host(), wantedHost) || Port() != StrToIntDef(wantedPort, -1) || !tunnel_.empty()) {
    if (IsConnected()) CloseConnection();
    const int port = StrToInt(wantedPort);
    // A number the socket layer would silently cut to 16 bits is no port.
    if (port < 1 || port > 65535) throw EConvertError("'" + wantedPort + "' is not a valid port number");
    SetHost(wantedHost);
    SetPort(port);
  }
  // A connection kept from a request of the other scheme on the same port is not reused.
  if (IsConnected() && Socket() && Socket()->TlsActive() != tls) CloseConnection();
  return tls ? rkDirectTls : rkDirect;
}

void TIdCustomHTTP::EstablishConnection() {
  TIdHTTPRequest& req = Request();
  req.RouteKind = SelectEndpoint();
  if (req.RouteKind == rkProxy) req.Target = workingUri_.ComposeUri(false, false);
  if (ProtocolVersion == pv1_0) {
    if (req.RouteKind == rkDirect && req.Connection.empty()) req.Connection = "keep-alive";
    if (req.RouteKind == rkProxy && req.ProxyConnection.empty()) req.ProxyConnection = "keep-alive";
  }
  if (!Response().KeepConnection()) CloseConnection();
  // Notice a peer that has closed the kept connection meanwhile: one look, without waiting
  // (a wait here would cost every request on a kept-alive connection that much time).
  FillInputBuffer(false, 0, false);
  if (!IsConnected()) {
    tunnel_.clear();
    OpenConnection(ReadTimeout);
    if (req.RouteKind == rkDirectTls) IOHandler()->StartTls(workingUri_.Host);
  }
  if (req.RouteKind == rkTlsProxy && tunnel_.empty()) OpenTunnel();
  WriteRequest(workingUri_);
  if ((req.RequestMethod == hmPost || req.RequestMethod == hmPut) && req.UploadStream)
    WriteFromStream(*req.UploadStream, true, false, 0);
}

void TIdCustomHTTP::WriteRequest(TIdURI& uri) {
  TIdHTTPRequest& req = Request();
  req.WriteToLines();
  // The proxy's sign-in goes to the proxy only: never into a tunnel, where the server reads it.
  if (req.RouteKind == rkProxy) ProxyParams.SetHeaders(req.HeaderLines);
  AttachRequestCookies(uri);
  std::string head =
      MethodWord(req.RequestMethod) + req.Target + " HTTP/" + (ProtocolVersion == pv1_0 ? "1.0" : "1.1") + "\r\n";
  for (int i = 0; i < req.HeaderLines.Count(); ++i)
    if (!req.HeaderLines[i].empty()) head += req.HeaderLines[i] + "\r\n";
  head += "\r\n";
  if (OnRequestHead) OnRequestHead(head);
  // The whole head leaves in one send.
  BeginWriteBuffering(-1);
  auto end = OnScopeExit([this] { EndWriteBuffering(); });
  WriteText(head);
}

std::string TIdCustomHTTP::TunnelTarget() const {
  return TIdURI::HostForUri(workingUri_.Host) + ":" + workingUri_.Port;
}

void TIdCustomHTTP::OpenTunnel() {
  const std::string target = TunnelTarget();
  for (;;) {
    std::string head = MethodWord(hmConnect) + target + " HTTP/1.1\r\nHost: " + target + "\r\n";
    if (!Request().UserAgent.empty()) head += "User-Agent: " + Request().UserAgent + "\r\n";
    const std::string signIn = ProxyParams.Credentials ? ProxyParams.Credentials->Authentication() : "";
    if (!signIn.empty()) head += "Proxy-Authorization: " + signIn + "\r\n";
    head += "\r\n";
    if (OnRequestHead) OnRequestHead(head);
    BeginWriteBuffering(-1);
    {
      auto end = OnScopeExit([this] { EndWriteBuffering(); });
      WriteText(head);
    }
    protocol_->ReadResponseHead();
    for (int interim = 0; Response().StatusCode() == 100; ++interim) {
      if (interim >= kMaxInterimResponses) throw EIdHTTPLimitExceeded("Too many interim responses");
      protocol_->ReadResponseHead();
    }
    const int code = Response().StatusCode();
    if (code / 100 == 2) break;  // the tunnel stands; what follows is the server's
    if (code != 407 || ProxyAuthAttempts >= AuthRetries || !ProxyAuthorizationStep()) {
      if (ProxyParams.Credentials) ProxyParams.Credentials->Reset();
      protocol_->RaiseProtocolError();
    }
    protocol_->DiscardBody();
    if (!Response().KeepConnection()) {
      // The handshake goes on over a new connection: a connection-bound scheme starts again.
      CloseConnection();
      OpenConnection(ReadTimeout);
    }
  }
  tunnel_ = target;
  IOHandler()->StartTls(workingUri_.Host);
}

bool TIdCustomHTTP::OnRedirectDecision(std::string& dest, TIdHTTPMethod& method) {
  bool handled = HandleRedirects;
  if (OnRedirect) OnRedirect(*this, dest, RedirectCount, handled, method);
  return handled;
}
