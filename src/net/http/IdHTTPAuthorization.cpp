// The client's cookies and authorization: cookies stored from each response head and sent
// back with later requests, and the steps that answer a server's or a proxy's challenge.
#include "net/http/IdGlobal.h"
#include "net/http/IdHTTP.h"

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

void TIdCustomHTTP::NotifyDisconnected() {
  auto& credentials = Request().Credentials;
  if (credentials && credentials->CurrentStep == credentials->Steps()) credentials.reset();
  if (ProxyParams.Credentials) ProxyParams.Credentials->Reset();
  TIdTCPClient::NotifyDisconnected();
}
