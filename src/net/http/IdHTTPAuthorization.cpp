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
    if (SameText(name, "Set-cookie"))
      cookieManager_->AddCookie(h.ValueOfLine(i), workingUri_.Host, false);
    else if (SameText(name, "Set-cookie2"))
      cookieManager_->AddCookie(h.ValueOfLine(i), workingUri_.Host, true);
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
                                      const decltype(OnAuthorization)& authorize, std::string& user,
                                      std::string& password, bool& basicAuthentication) {
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
  bool accepted = false;
  switch (credentials->Next()) {
    case wnDoRequest: accepted = true; break;
    case wnFail: break;
    case wnAskTheProgram: authorize(*this, *credentials, accepted); break;
  }
  if (accepted) {
    // What the scheme (or the program) settled on is what later requests send.
    user = credentials->Username;
    password = credentials->Password;
    basicAuthentication = true;
  }
  return accepted;
}

bool TIdCustomHTTP::ServerAuthorizationStep() {
  ++AuthAttempts;
  TIdHTTPRequest& req = Request();
  return AuthorizationStep(req.Credentials, Response().WWWAuthenticate, OnSelectAuthorization, OnAuthorization,
                           req.Username, req.Password, req.BasicAuthentication);
}

bool TIdCustomHTTP::ProxyAuthorizationStep() {
  ++ProxyAuthAttempts;
  ProxyParams.ProxyPassword.clear();
  if (ProxyParams.Credentials) ProxyParams.Credentials->Reset();
  return AuthorizationStep(ProxyParams.Credentials, Response().ProxyAuthenticate, OnSelectProxyAuthorization,
                           OnProxyAuthorization, ProxyParams.ProxyUsername, ProxyParams.ProxyPassword,
                           ProxyParams.BasicAuthentication);
}

void TIdCustomHTTP::NotifyDisconnected() {
  auto& credentials = Request().Credentials;
  if (credentials && credentials->CurrentStep == credentials->Steps()) credentials.reset();
  if (ProxyParams.Credentials) ProxyParams.Credentials->Reset();
  TIdTCPClient::NotifyDisconnected();
}
