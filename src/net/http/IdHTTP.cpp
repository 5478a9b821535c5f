#include "net/http/IdHTTP.h"

#include <algorithm>

#include "base/SysUtils.h"
#include "net/http/IdGlobal.h"
#include "platform/Platform.h"

namespace {
/// Passes writes on to the body stream until `limit` bytes (0: no limit) have gone through,
/// then refuses the exchange instead of growing without bound.
class TIdLimitedStream : public TStream {
 public:
  TIdLimitedStream(TStream& target, std::int64_t limit) : target_(target), limit_(limit) {}
  int Read(void* buffer, int count) override { return target_.Read(buffer, count); }
  int Write(const void* buffer, int count) override {
    if (limit_ > 0 && written_ + count > limit_) throw BodyTooLarge(limit_);
    int n = target_.Write(buffer, count);
    written_ += n;
    return n;
  }
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override { return target_.Seek(offset, origin); }
  std::int64_t Size() override { return target_.Size(); }
  void SetSize(std::int64_t size) override { target_.SetSize(size); }
  std::int64_t Written() const { return written_; }
  /// Refuses `count` more bytes up front when they would pass the limit.
  void Reserve(std::int64_t count) const {
    if (limit_ > 0 && written_ + count > limit_) throw BodyTooLarge(limit_);
  }
  static EIdHTTPLimitExceeded BodyTooLarge(std::int64_t limit) {
    return EIdHTTPLimitExceeded("Response body larger than the limit of " + std::to_string(limit) + " bytes");
  }

 private:
  TStream& target_;
  std::int64_t limit_;
  std::int64_t written_ = 0;
};

/// Sets the connection's read time limit for a scope and restores it on every way out.
class TReadTimeoutScope {
 public:
  TReadTimeoutScope(TIdTCPConnection& c, int ms) : c_(c), saved_(c.ReadTimeout) { c_.ReadTimeout = ms; }
  ~TReadTimeoutScope() { c_.ReadTimeout = saved_; }
  TReadTimeoutScope(const TReadTimeoutScope&) = delete;
  TReadTimeoutScope& operator=(const TReadTimeoutScope&) = delete;

 private:
  TIdTCPConnection& c_;
  int saved_;
};

/// Swaps the response's body stream for a scope.
class TBodyStreamScope {
 public:
  TBodyStreamScope(TIdHTTPResponse& r, TStream* s) : r_(r), saved_(r.BodyStream) { r_.BodyStream = s; }
  ~TBodyStreamScope() { r_.BodyStream = saved_; }
  TBodyStreamScope(const TBodyStreamScope&) = delete;
  TBodyStreamScope& operator=(const TBodyStreamScope&) = delete;

 private:
  TIdHTTPResponse& r_;
  TStream* saved_;
};

bool SameText(const std::string& a, const std::string& b) { return UpperCase(a) == UpperCase(b); }

/// Statuses that never carry a body (RFC 7230 3.3.3).
bool HasNoBody(int status) { return (status >= 100 && status < 200) || status == 204 || status == 304; }
}  // namespace

std::string MethodWord(TIdHTTPMethod method) {
  switch (method) {
    case hmHead: return "HEAD ";
    case hmGet: return "GET ";
    case hmPost: return "POST ";
    case hmOptions: return "OPTIONS ";
    case hmTrace: return "TRACE ";
    case hmPut: return "PUT ";
    case hmDelete: return "";
    case hmConnect: return "CONNECT ";
  }
  return "";
}

// ---- response record ----------------------------------------------------------------------

int TIdHTTPResponse::StatusCode() const {
  std::string s = StatusLine;
  FetchToken(s, " ");
  s = Trim(s);
  return StrToIntDef(FetchToken(s, " "), -1);
}

TIdHTTPProtocolVersion TIdHTTPResponse::StatusVersion() {
  if (StatusLine.size() >= 8) {
    std::string v = StatusLine.substr(5, 3);
    if (v == "1.0") version_ = pv1_0;
    else if (v == "1.1") version_ = pv1_1;
  }
  return version_;
}

bool TIdHTTPResponse::KeepConnection() {
  Client.CheckLinkState(false, false);
  if (!Client.IsConnected()) return false;
  const std::string connection = UpperCase(Trim(Connection));
  const std::string proxy = UpperCase(Trim(ProxyConnection));
  if (Client.ProtocolVersion == pv1_0) return connection == "KEEP-ALIVE" || proxy == "KEEP-ALIVE";
  return connection != "CLOSE" && proxy != "CLOSE";
}

// ---- reading and judging a response -----------------------------------------------------

TIdHTTPProtocol::TIdHTTPProtocol(TIdCustomHTTP& client)
    : Client(client), Request(new TIdHTTPRequest(client)), Response(new TIdHTTPResponse(client)) {}

void TIdHTTPProtocol::ReadResponseHead() {
  TIdHTTPResponse& r = *Response;
  r.StatusLine = Client.ReadLine();
  r.HeaderLines.Clear();
  std::int64_t bytes = static_cast<std::int64_t>(r.StatusLine.size()) + 2;
  try {
    for (;;) {
      std::string line = Client.ReadLine();
      if (line.empty()) break;
      bytes += static_cast<std::int64_t>(line.size()) + 2;
      if (r.HeaderLines.Count() >= kMaxResponseHeaderLines)
        throw EIdHTTPLimitExceeded("Too many header lines in the response");
      if (bytes > kMaxResponseHeaderBytes) throw EIdHTTPLimitExceeded("Response header block too large");
      r.HeaderLines.Add(line);
    }
  } catch (const EIdConnClosedGracefully&) {
    Client.CloseConnection();
  }
  r.ReadFromLines();
  Client.StoreResponseCookies();
  if (Client.OnResponseHead) Client.OnResponseHead();
}

TIdResponseVerdict TIdHTTPProtocol::EvaluateResponse() {
  TIdHTTPResponse& r = *Response;
  TIdResponseVerdict verdict = rvUndetermined;
  const int code = r.StatusCode();
  const int kind = code / 100;

  if ((kind == 3 && code != 304) || !r.Location.empty()) {
    std::string dest = r.Location;
    TIdHTTPMethod method = Request->RequestMethod;
    if (Client.HandleRedirects && Client.RedirectCount < Client.RedirectMaximum) {
      if (!Client.OnRedirectDecision(dest, method)) RaiseProtocolError();
      verdict = rvFollow;
      Request->Target = dest;
      Request->RequestMethod = method;
    } else {
      verdict = rvFinished;
      if (!Client.OnRedirectDecision(dest, method)) RaiseProtocolError();
      r.Location = dest;
    }
    if (Client.IsConnected()) DiscardBody(4000);
    return verdict;
  }

  bool discard = false;
  if (kind != 2) {
    verdict = rvFollow;
    if (code == 401) {
      if (Client.AuthAttempts >= Client.AuthRetries || !Client.ServerAuthorizationStep()) {
        if (Request->Credentials) Request->Credentials->Reset();
        RaiseProtocolError();
      }
    } else if (code == 407) {
      if (Client.ProxyAuthAttempts >= Client.AuthRetries || !Client.ProxyAuthorizationStep()) {
        if (Client.ProxyParams.Credentials) Client.ProxyParams.Credentials->Reset();
        RaiseProtocolError();
      }
    } else {
      RaiseProtocolError();
    }
    // An accepted authorization step: with in-process authorization the request goes again
    // within this call and the challenge's body is dropped; without it the challenge is the
    // response, and the caller's next request carries the credentials.
    discard = (Client.HTTPOptions & hoInProcessAuth) != 0;
  }
  if (Client.IsConnected()) {
    if (discard) {
      DiscardBody(4000);
      verdict = rvAuthRetry;
    } else {
      if (code != 204) ReadBody();
      verdict = rvFinished;
    }
  }
  return verdict;
}

void TIdHTTPProtocol::ReadBody() {
  TIdHTTPResponse& r = *Response;
  if (r.BodyStream == nullptr || HasNoBody(r.StatusCode()) || Request->RequestMethod == hmHead) return;
  TIdLimitedStream body(*r.BodyStream, Client.MaxBodySize);
  if (r.ContentLength > 0) {
    body.Reserve(r.ContentLength);
    // A peer that closes before the whole length has arrived fails the exchange, also when
    // the close was noticed before the read began.
    const std::int64_t before = body.Written();
    Client.ReadIntoStream(body, r.ContentLength, false);
    if (body.Written() - before != r.ContentLength) throw EIdConnClosedGracefully(RSConnectionClosedGracefully);
  } else if (PosText("chunked", r.HeaderLines.HeaderValue("Transfer-Encoding")) != 0) {
    Client.ReportStatus(hsStatusText, "Chunk Started");
    for (;;) {
      const std::int64_t size = ReadChunkSize();
      if (size <= 0) break;
      body.Reserve(size);
      Client.ReadIntoStream(body, size, false);
      Client.ReadLine();  // the line end after the chunk data
    }
    ReadTrailer();
  } else if (r.ContentLength < 0) {
    Client.ReadIntoStream(body, -1, true);
  }
}

std::int64_t TIdHTTPProtocol::ReadChunkSize() {
  std::string line = Client.ReadLine();
  // "1a", "1a ; name=x", "1a;name=x": the size is the hex number before any extension.
  line = Trim(FetchToken(line, ";"));
  line = FetchToken(line, " ");
  if (line.empty()) return 0;
  std::int64_t size = 0;
  for (char c : line) {
    int digit;
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    else return 0;
    size = size * 16 + digit;
    if (size > kMaxChunkSize) throw EIdHTTPLimitExceeded("Chunk size too large");
  }
  return size;
}

void TIdHTTPProtocol::ReadTrailer() {
  // Trailer lines up to the empty line, so that a kept-alive connection stays in step.
  std::int64_t bytes = 0;
  try {
    for (int lines = 0;; ++lines) {
      std::string line = Client.ReadLine();
      if (line.empty()) return;
      bytes += static_cast<std::int64_t>(line.size()) + 2;
      if (lines >= kMaxResponseHeaderLines || bytes > kMaxResponseHeaderBytes)
        throw EIdHTTPLimitExceeded("Response trailer too large");
    }
  } catch (const EIdConnClosedGracefully&) {
    // The body is complete; a peer that closes instead of ending the trailer ends the
    // connection, not the exchange.
  }
}

void TIdHTTPProtocol::DiscardBody(int readTimeout) {
  TMemoryStream scratch;
  try {
    TBodyStreamScope body(*Response, &scratch);
    TReadTimeoutScope timeout(Client, readTimeout);
    ReadBody();
  } catch (const std::exception&) {
    // The body is of no interest, but the connection no longer is in step with the server.
    Client.CloseConnection();
  }
}

void TIdHTTPProtocol::RaiseProtocolError() {
  TMemoryStream errorBody;
  {
    TBodyStreamScope body(*Response, &errorBody);
    TReadTimeoutScope timeout(Client, 2000);
    ReadBody();
  }
  throw EIdHTTPProtocolException(Response->StatusLine, Response->StatusCode(), errorBody.DataString());
}

// ---- the client -----------------------------------------------------------------------------

TIdCustomHTTP::TIdCustomHTTP() : protocol_(new TIdHTTPProtocol(*this)) {
  SetPort(80);
  ProxyParams.Clear();
}

TIdCustomHTTP::~TIdCustomHTTP() {
  try {
    CloseConnection();
  } catch (...) {
  }
}

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
  struct TRequestClock {
    TIdCustomHTTP& http;
    explicit TRequestClock(TIdCustomHTTP& h) : http(h) {
      http.requestTimed_ = http.RequestTimeLimit > 0;
      if (http.requestTimed_) http.requestStartTick_ = http.Tick();
    }
    ~TRequestClock() { http.requestTimed_ = false; }
  } clock(*this);
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
      // Interim responses are dropped; a server that sends nothing else runs into the read
      // time limit, each head being bounded by the header limits.
      for (int interim = 0; Response().StatusCode() == 100; ++interim) {
        if (interim >= kMaxResponseHeaderLines) throw EIdHTTPLimitExceeded("Too many interim responses");
        protocol_->ReadResponseHead();
      }
      switch (protocol_->EvaluateResponse()) {
        case rvFollow:
          if (body) {
            body->SetPosition(start);
            body->SetSize(start);
          }
          AuthAttempts = ProxyAuthAttempts = 0;
          break;
        case rvFinished:
          done = true;
          break;
        case rvUndetermined:
          throw EIdException("Undefined situation");
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
    // Anything else may leave part of a response unread: never reuse that connection.
    try {
      CloseConnection();
    } catch (...) {
    }
    throw;
  }
  if (!Response().KeepConnection()) CloseConnection();
  RedirectCount = 0;
}

std::uint32_t TIdCustomHTTP::Tick() const { return TickSource ? TickSource() : platform::TickCount(); }

int TIdCustomHTTP::FillInputBuffer(bool raiseIfDisconnected, int timeout, bool raiseOnTimeout) {
  if (requestTimed_) {
    // Unsigned difference: right across a wrap of the tick count.
    const std::uint32_t spent = Tick() - requestStartTick_;
    const std::uint32_t limit = static_cast<std::uint32_t>(RequestTimeLimit);
    if (spent >= limit) {
      if (raiseOnTimeout) throw EIdReadTimeout(RSReadTimeout);
      return -1;
    }
    const int left = static_cast<int>(limit - spent);
    if (timeout == IdTimeoutDefault) timeout = ReadTimeout == 0 ? IdTimeoutInfinite : ReadTimeout;
    if (timeout == IdTimeoutInfinite || timeout > left) timeout = left;
  }
  return TIdTCPClient::FillInputBuffer(raiseIfDisconnected, timeout, raiseOnTimeout);
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
  req.Host = workingUri_.Port == "80" ? workingUri_.Host : workingUri_.Host + ":" + workingUri_.Port;
}

TIdHTTPRouteKind TIdCustomHTTP::SelectEndpoint() {
  const bool tls = SameText(workingUri_.Protocol, "https");
  if (!ProxyParams.ProxyServer.empty()) {
    if (!SameText(Host(), ProxyParams.ProxyServer) || Port() != ProxyParams.ProxyPort) {
      if (IsConnected()) CloseConnection();
      TIdTCPClient::SetHost(ProxyParams.ProxyServer);
      TIdTCPClient::SetPort(ProxyParams.ProxyPort);
    }
    // No TLS handler exists in this client: a tunnel through the proxy cannot be built.
    if (tls) throw EIdIOHandlerPropInvalid("IOHandler value is not valid");
    return rkProxy;
  }
  const std::string wantedHost = workingUri_.Host;
  const std::string wantedPort = workingUri_.Port;
  if (!SameText(Host(), wantedHost) || Port() != StrToIntDef(wantedPort, -1)) {
    if (IsConnected()) CloseConnection();
    const int port = StrToInt(wantedPort);
    // A number the socket layer would silently cut to 16 bits is no port.
    if (port < 1 || port > 65535) throw EConvertError("'" + wantedPort + "' is not a valid port number");
    SetHost(wantedHost);
    SetPort(port);
  }
  if (tls) throw EIdIOHandlerPropInvalid("IOHandler value is not valid");
  return rkDirect;
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
  if (!IsConnected()) OpenConnection(ReadTimeout);
  WriteRequest(workingUri_);
  if ((req.RequestMethod == hmPost || req.RequestMethod == hmPut) && req.UploadStream)
    WriteFromStream(*req.UploadStream, true, false, 0);
}

void TIdCustomHTTP::WriteRequest(TIdURI& uri) {
  TIdHTTPRequest& req = Request();
  req.WriteToLines();
  if (!ProxyParams.ProxyServer.empty() || ProxyParams.Credentials || ProxyParams.BasicAuthentication)
    ProxyParams.SetHeaders(req.HeaderLines);
  AttachRequestCookies(uri);
  std::string head = MethodWord(req.RequestMethod) + req.Target + " HTTP/" +
                     (ProtocolVersion == pv1_0 ? "1.0" : "1.1") + "\r\n";
  for (int i = 0; i < req.HeaderLines.Count(); ++i)
    if (!req.HeaderLines[i].empty()) head += req.HeaderLines[i] + "\r\n";
  head += "\r\n";
  if (OnRequestHead) OnRequestHead(head);
  // The whole head leaves in one send.
  BeginWriteBuffering(-1);
  try {
    WriteText(head);
  } catch (...) {
    EndWriteBuffering();
    throw;
  }
  EndWriteBuffering();
}

void TIdCustomHTTP::StoreResponseCookies() {
  if (cookieManager_ == nullptr && AllowCookies) {
    ownedCookieManager_.reset(new TIdCookieManager);
    cookieManager_ = ownedCookieManager_.get();
  }
  if (cookieManager_ == nullptr) return;
  const TIdHeaderList& h = Response().HeaderLines;
  for (int i = 0; i < h.Count(); ++i) {
    const std::string name = h.NameOfLine(i);
    if (SameText(name, "Set-cookie")) cookieManager_->AddCookie(h.ValueOfLine(i), workingUri_.Host, false);
    else if (SameText(name, "Set-cookie2")) cookieManager_->AddCookie(h.ValueOfLine(i), workingUri_.Host, true);
  }
}

void TIdCustomHTTP::AttachRequestCookies(TIdURI& uri) {
  if (cookieManager_ == nullptr) return;
  const bool tls = Request().RouteKind == rkDirectTls || Request().RouteKind == rkTlsProxy;
  const std::string cookies = cookieManager_->GenerateCookieList(uri, tls);
  if (!cookies.empty()) Request().HeaderLines.SetHeaderValue("Cookie", cookies);
}

bool TIdCustomHTTP::AuthorizationStep(std::unique_ptr<TIdAuthentication>& credentials,
                                      const std::vector<std::string>& challenges,
                                      const decltype(OnSelectAuthorization)& select,
                                      const decltype(OnAuthorization)& authorize, const std::string& user,
                                      const std::string& password) {
  if (!credentials) {
    TIdAuthenticationFactory scheme;
    for (const auto& challenge : challenges) {
      std::string word = challenge;
      scheme = AuthSchemeRegistry().Find(FetchToken(word, " "));
      if (scheme) break;
    }
    if (select) select(*this, scheme, challenges);
    if (!scheme) return false;
    credentials = scheme();
  }
  if (!authorize) return false;
  credentials->Username = user;
  credentials->Password = password;
  credentials->AuthParams = challenges;
  switch (credentials->Next()) {
    case wnDoRequest:
      return true;
    case wnFail:
      return false;
    case wnAskTheProgram: {
      bool handled = false;
      authorize(*this, *credentials, handled);
      return handled;
    }
  }
  return false;
}

bool TIdCustomHTTP::ServerAuthorizationStep() {
  ++AuthAttempts;
  TIdHTTPRequest& req = Request();
  const bool accepted = AuthorizationStep(req.Credentials, Response().WWWAuthenticate, OnSelectAuthorization,
                                          OnAuthorization, req.Username, req.Password);
  if (accepted && req.Credentials) {
    req.Username = req.Credentials->Username;
    req.Password = req.Credentials->Password;
    req.BasicAuthentication = true;
  }
  return accepted;
}

bool TIdCustomHTTP::ProxyAuthorizationStep() {
  ++ProxyAuthAttempts;
  ProxyParams.ProxyPassword.clear();
  if (ProxyParams.Credentials) ProxyParams.Credentials->Reset();
  const bool accepted =
      AuthorizationStep(ProxyParams.Credentials, Response().ProxyAuthenticate, OnSelectProxyAuthorization,
                        OnProxyAuthorization, ProxyParams.ProxyUsername, ProxyParams.ProxyPassword);
  if (accepted && ProxyParams.Credentials) {
    ProxyParams.ProxyUsername = ProxyParams.Credentials->Username;
    ProxyParams.ProxyPassword = ProxyParams.Credentials->Password;
    ProxyParams.BasicAuthentication = true;
  }
  return accepted;
}

bool TIdCustomHTTP::OnRedirectDecision(std::string& dest, TIdHTTPMethod& method) {
  bool handled = HandleRedirects;
  if (OnRedirect) OnRedirect(*this, dest, RedirectCount, handled, method);
  return handled;
}

void TIdCustomHTTP::NotifyDisconnected() {
  auto& credentials = Request().Credentials;
  if (credentials && credentials->CurrentStep == credentials->Steps()) credentials.reset();
  if (ProxyParams.Credentials) ProxyParams.Credentials->Reset();
  TIdTCPClient::NotifyDisconnected();
}

void ConfigureVerifyClient(TIdHTTP& http) {
  http.Request().ContentType = "text/html";
  http.Request().Accept = "text/html, */*";
  http.Request().UserAgent = "Mozilla/3.0 (compatible; QOR Net Library)";
  http.Request().ContentLength = -1;
  http.Request().ContentRangeStart = 0;
  http.Request().ContentRangeEnd = 0;
  http.Request().BasicAuthentication = false;
  http.AuthRetries = 3;
  http.AllowCookies = true;
  http.HTTPOptions = hoForceEncodeParams;
  http.RedirectMaximum = 15;
  http.HandleRedirects = false;
  http.ProtocolVersion = pv1_1;
  http.ReadTimeout = kVerifyReadTimeoutMs;
  http.MaxLineAction = maException;
  http.MaxLineLength = IdMaxLineLengthDefault;
  http.MaxBodySize = kVerifyMaxBodySize;
  http.RequestTimeLimit = kVerifyRequestTimeLimitMs;
}
