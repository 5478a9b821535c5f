// Judging a response once its head is read: success, a redirect, an authorization to answer,
// or a failure raised with its status line and error body.
#include "base/ScopeExit.h"
#include "net/http/IdHTTP.h"

TIdHTTPProtocol::TIdHTTPProtocol(TIdCustomHTTP& client)
    : Client(client), Request(new TIdHTTPRequest(client)), Response(new TIdHTTPResponse(client)) {}

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
    if (Client.IsConnected()) DiscardBody();
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
    // A proxy's challenge is answered by the system's sign-in, never by the caller: always
    // within the call.
    discard = (Client.HTTPOptions & hoInProcessAuth) != 0 || code == 407;
  }
  if (Client.IsConnected()) {
    if (discard) {
      DiscardBody();
      verdict = rvAuthRetry;
    } else {
      if (code != 204) ReadBody();
      verdict = rvFinished;
    }
  }
  return verdict;
}

void TIdHTTPProtocol::ReadBodyAside(TMemoryStream& aside, int readTimeoutMs) {
  TStream* const body = Response->BodyStream;
  const int readTimeout = Client.ReadTimeout;
  auto restore = OnScopeExit([&] {
    Response->BodyStream = body;
    Client.ReadTimeout = readTimeout;
  });
  Response->BodyStream = &aside;
  Client.ReadTimeout = readTimeoutMs;
  ReadBody();
}

void TIdHTTPProtocol::DiscardBody() {
  TMemoryStream scratch;
  try {
    ReadBodyAside(scratch, kDiscardBodyReadTimeoutMs);
  } catch (const std::exception&) {
    // The body is of no interest, but the connection no longer is in step with the server.
    Client.CloseConnection();
  }
}

void TIdHTTPProtocol::RaiseProtocolError() {
  TMemoryStream errorBody;
  try {
    ReadBodyAside(errorBody, kErrorBodyReadTimeoutMs);
  } catch (const EIdReadTimeout&) {
    // The status is the server's answer; a body that stalls (a 500 without a length on a kept
    // connection ends only when the server closes) only leaves ErrorBody short. Its rest is
    // unread, so the connection goes. A body framed wrong is still no answer at all.
    Client.CloseConnection();
  }
  if (Response->StatusCode() == 407 && !Client.proxyRefusal_.empty())
    throw EIdProxyAuthenticationRefused(Response->StatusLine + " (" + Client.proxyRefusal_ + ")",
                                        Response->StatusCode(), errorBody.DataString());
  throw EIdHTTPProtocolException(Response->StatusLine, Response->StatusCode(), errorBody.DataString());
}
