#pragma once
// The HTTP/1.1 client: one GET exchange over a kept-alive TCP connection, with the response
// read by length, by chunks or until the server closes, cookies kept and sent back, and every
// status other than success raised as EIdHTTPProtocolException.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "base/Classes.h"
#include "net/http/IdCookieManager.h"
#include "net/http/IdHTTPHeaderInfo.h"
#include "net/http/IdURI.h"
#include "net/transport/IdTCPClient.h"

SETUPTQ_EXCEPTION(EIdUnknownProtocol, EIdException);
/// A response that breaks one of the client's limits (header lines, header bytes, chunk size,
/// body size); the connection is dropped, since the rest of the response is left unread.
SETUPTQ_EXCEPTION(EIdHTTPLimitExceeded, EIdException);

/// A server's reply that the protocol counts as a failure, with the reply's code.
class EIdProtocolReplyError : public EIdException {
 public:
  EIdProtocolReplyError(std::string message, int replyCode) : EIdException(std::move(message)), ReplyCode(replyCode) {}
  const char* ClassName() const override { return "EIdProtocolReplyError"; }
  int ReplyCode;
};

class EIdHTTPProtocolException : public EIdProtocolReplyError {
 public:
  EIdHTTPProtocolException(std::string statusLine, int replyCode, std::string errorBody)
      : EIdProtocolReplyError(std::move(statusLine), replyCode), ErrorBody(std::move(errorBody)) {}
  const char* ClassName() const override { return "EIdHTTPProtocolException"; }
  std::string ErrorBody;
};

/// A proxy's 407 that this client will not answer, with the reason beside the status line: it
/// offers only Basic (no password is ever sent to a proxy in clear text), or the system cannot
/// sign in with the schemes it offers.
class EIdProxyAuthenticationRefused : public EIdHTTPProtocolException {
 public:
  using EIdHTTPProtocolException::EIdHTTPProtocolException;
  const char* ClassName() const override { return "EIdProxyAuthenticationRefused"; }
};

/// A chunked body that breaks its own framing: a size line that is not a hexadecimal number,
/// or chunk data that runs past its size. What came before cannot be trusted to be the whole
/// body, so the exchange fails and the connection is dropped.
SETUPTQ_EXCEPTION(EIdHTTPMalformedChunk, EIdException);
/// A response whose body has two framings (a Content-Length beside a chunked transfer coding,
/// or Content-Lengths that differ): where it ends depends on which one a reader believes, so
/// what it carries is no answer at all (RFC 7230 3.3.3).
SETUPTQ_EXCEPTION(EIdHTTPMalformedFraming, EIdException);

// ---- limits against a hostile or broken server ------------------------------------------
/// Header lines of one response head (status line not counted).
constexpr int kMaxResponseHeaderLines = 100;
/// Bytes of one response head, line ends included.
constexpr int kMaxResponseHeaderBytes = 64 * 1024;
/// Interim responses ("100 Continue") dropped before one request's real response; a server
/// that sends nothing else fails here instead of holding the request until its time limit.
constexpr int kMaxInterimResponses = 20;
/// The largest chunk size a chunked body may announce (31 bits).
constexpr std::int64_t kMaxChunkSize = 0x7FFFFFFF;

// ---- time limits of bodies nobody will use -------------------------------------------------
/// The read time limit while a body is dropped (a redirect's, an answered challenge's): the
/// body only has to leave the connection, and a server that stalls on it costs the caller at
/// most this long per read before the connection is closed instead.
constexpr int kDiscardBodyReadTimeoutMs = 4000;
/// The read time limit while a failing response's body is read for the exception's ErrorBody:
/// the failure is already decided, so a stalling server must not hold it back for long. The
/// caller still sees the failing status, with the body as far as it came.
constexpr int kErrorBodyReadTimeoutMs = 2000;

enum TIdHTTPMethod { hmHead, hmGet, hmPost, hmOptions, hmTrace, hmPut, hmDelete, hmConnect };
enum TIdHTTPProtocolVersion { pv1_0, pv1_1 };
enum TIdHTTPOption : unsigned { hoInProcessAuth = 1, hoKeepOrigProtocol = 2, hoForceEncodeParams = 4 };
using TIdHTTPOptions = unsigned;
enum TIdHTTPRouteKind { rkDirect, rkDirectTls, rkProxy, rkTlsProxy };
enum TIdResponseVerdict { rvUndetermined, rvFollow, rvFinished, rvAuthRetry };

/// The request-line word of a method, trailing space included ("GET ").
std::string MethodWord(TIdHTTPMethod method);

class TIdCustomHTTP;

class TIdHTTPRequest : public TIdRequestHeaderInfo {
 public:
  explicit TIdHTTPRequest(TIdCustomHTTP& client) : Client(client) {}
  TIdHTTPMethod RequestMethod = hmGet;
  std::string Target;
  TStream* UploadStream = nullptr;
  TIdHTTPRouteKind RouteKind = rkDirect;
  TIdCustomHTTP& Client;
};

class TIdHTTPResponse : public TIdResponseHeaderInfo {
 public:
  explicit TIdHTTPResponse(TIdCustomHTTP& client) : Client(client) {}
  /// The number after the first space of the status line; -1 when there is none.
  int StatusCode() const;
  /// Read from the status line ("HTTP/1.0", "HTTP/1.1"); keeps the last value otherwise.
  TIdHTTPProtocolVersion StatusVersion();
  /// Whether the connection may carry the next request: it is open and the response's
  /// Connection / Proxy-Connection values allow it under the client's protocol version (1.0:
  /// only "keep-alive"; 1.1: anything but "close"). A server that closes anyway is noticed by
  /// the look at the connection before the next request.
  bool KeepConnection();

  std::string StatusLine;
  TStream* BodyStream = nullptr;
  TIdCustomHTTP& Client;

 private:
  TIdHTTPProtocolVersion version_ = pv1_1;
};

/// One exchange's reading and judging of a response.
class TIdHTTPProtocol {
 public:
  explicit TIdHTTPProtocol(TIdCustomHTTP& client);
  void ReadResponseHead();
  TIdResponseVerdict EvaluateResponse();
  /// The body into the response's BodyStream: by length, by chunks, or until close.
  void ReadBody();

  TIdCustomHTTP& Client;
  std::unique_ptr<TIdHTTPRequest> Request;
  std::unique_ptr<TIdHTTPResponse> Response;

 private:
  /// The next chunk's size; raises EIdHTTPMalformedChunk when the line holds no hex number.
  std::int64_t ReadChunkSize();
  void ReadTrailer();
  /// ReadBody into `aside` instead of BodyStream, with the given read time limit; BodyStream
  /// and the time limit are restored on every way out.
  void ReadBodyAside(TMemoryStream& aside, int readTimeoutMs);
  /// Reads the body into a throw-away text; a failure closes the connection and is swallowed.
  void DiscardBody();
  [[noreturn]] void RaiseProtocolError();
  friend class TIdCustomHTTP;  // the CONNECT exchange reads and judges its answer here too
};

using TIdRedirectEvent = std::function<void(TIdCustomHTTP& sender, std::string& dest, int numRedirect, bool& handled,
                                            TIdHTTPMethod& method)>;

class TIdCustomHTTP : public TIdTCPClient {
 public:
  TIdCustomHTTP();
  ~TIdCustomHTTP() override;

  /// The body of `url` as one 8-bit text, exactly as received.
  std::string FetchUrl(const std::string& url);
  void FetchUrlToStream(const std::string& url, TStream& stream);
  void PerformRequest(TIdHTTPMethod method, const std::string& url, TStream* body, TStream* upload);

  TIdHTTPRequest& Request() { return *protocol_->Request; }
  TIdHTTPResponse& Response() { return *protocol_->Response; }
  TIdURI& WorkingUri() { return workingUri_; }
  int ResponseCode() { return Response().StatusCode(); }

  void SetHost(const std::string& host) override;
  void SetPort(int port) override;

  /// Assigning another manager frees one the client created itself.
  void SetCookieManager(TIdCookieManager* manager);
  TIdCookieManager* CookieManager() const { return cookieManager_; }

  // ---- settings -------------------------------------------------------------------------
  int AuthRetries = 3;
  bool AllowCookies = true;
  TIdHTTPOptions HTTPOptions = hoForceEncodeParams;
  int RedirectMaximum = 15;
  bool HandleRedirects = false;
  TIdHTTPProtocolVersion ProtocolVersion = pv1_1;
  TIdProxyConnectionInfo ProxyParams;
  /// The largest body (by length, chunks or until close) one response may bring; 0: no limit.
  std::int64_t MaxBodySize = 0;
  /// Milliseconds one PerformRequest (retries included) may spend reading in all; every
  /// read waits at most for what is left, and once nothing is left every read step fails
  /// with EIdReadTimeout "Read Timeout: the request's total limit of N ms passed". 0: no
  /// total limit.
  int RequestTimeLimit = 0;
  /// The millisecond clock RequestTimeLimit is measured on (platform::TickCount unless
  /// replaced).
  std::function<std::uint32_t()> TickSource;

  /// Observers for tools that show the exchange: the request head exactly as sent, and each
  /// response head (interim ones included) once read.
  std::function<void(const std::string& head)> OnRequestHead;
  std::function<void()> OnResponseHead;

  /// The sign-in that answers a proxy's challenge of `scheme` ("Negotiate", "NTLM") for the
  /// proxy `proxyHost`: the system's, with the logged-on user's own credentials, unless replaced.
  std::function<std::unique_ptr<TIdAuthentication>(const std::string& scheme, const std::string& proxyHost)>
      ProxySignIn;

  TIdRedirectEvent OnRedirect;
  std::function<void(TIdCustomHTTP&sender, TIdAuthenticationFactory&scheme, const std::vector<std::string>&challenges)>
      OnSelectAuthorization, OnSelectProxyAuthorization;
  std::function<void(TIdCustomHTTP&sender, TIdAuthentication&auth, bool&handled)> OnAuthorization, OnProxyAuthorization;

  // ---- working state --------------------------------------------------------------------
  int RedirectCount = 0;
  int AuthAttempts = 0;
  int ProxyAuthAttempts = 0;

  // ---- steps of one exchange (public for the tests that drive them one by one) -----------
  void PrepareTarget();
  TIdHTTPRouteKind SelectEndpoint();
  void EstablishConnection();
  void WriteRequest(TIdURI& uri);
  void StoreResponseCookies();
  void AttachRequestCookies(TIdURI& uri);
  bool ServerAuthorizationStep();
  bool ProxyAuthorizationStep();

 protected:
  void NotifyDisconnected() override;
  /// Keeps every read of a request within RequestTimeLimit.
  int FillInputBuffer(bool raiseIfDisconnected, int timeout, bool raiseOnTimeout) override;
  /// Ends the request with EIdReadTimeout once RequestTimeLimit has passed, also when the
  /// bytes it reads are already buffered (a body of many small chunks that came at once).
  void BeforeReadStep() override;

 private:
  friend class TIdHTTPProtocol;
  bool OnRedirectDecision(std::string& dest, TIdHTTPMethod& method);
  /// Milliseconds left of RequestTimeLimit for the request under way; -1 when it has none.
  int RequestTimeLeft() const;
  [[noreturn]] void RaiseRequestTimeLimit() const;
  /// The CONNECT exchange over the open connection to the proxy, a 407 answered, then TLS with
  /// the server started through the tunnel.
  void OpenTunnel();
  std::string TunnelTarget() const;  // "host:port" of the CONNECT request, an IPv6 address bracketed
  bool AuthorizationStep(std::unique_ptr<TIdAuthentication>& credentials, const std::vector<std::string>& challenges,
                         const decltype(OnSelectAuthorization)& select, const decltype(OnAuthorization)& authorize,
                         std::string& user, std::string& password, bool& basicAuthentication);

  TIdURI workingUri_;
  std::unique_ptr<TIdHTTPProtocol> protocol_;
  TIdCookieManager* cookieManager_ = nullptr;
  std::unique_ptr<TIdCookieManager> ownedCookieManager_;
  std::uint32_t Tick() const;
  std::string tunnel_;                  // "host:port" the open connection is a tunnel to
  std::string proxyRefusal_;            // why the last proxy challenge was not answered
  bool requestTimed_ = false;           // a request with a total limit is under way
  std::uint32_t requestStartTick_ = 0;  // when it began, on TickSource
};

class TIdHTTP : public TIdCustomHTTP {};
