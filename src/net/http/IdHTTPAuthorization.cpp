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

namespace {

/// Whether a challenge of `scheme` is among the values (the word before the first blank).
bool Offers(const std::vector<std::string>& challenges, const char* scheme) {
  for (std::string value : challenges)
    if (SameText(FetchToken(value, " "), scheme)) return true;
  return false;
}

}  // namespace

bool TIdCustomHTTP::ProxyAuthorizationStep() {
  ++ProxyAuthAttempts;
  ProxyParams.ProxyPassword.clear();
  proxyRefusal_.clear();
  const std::vector<std::string>& challenges = Response().ProxyAuthenticate;
  std::unique_ptr<TIdAuthentication>& credentials = ProxyParams.Credentials;
  // The next step of a handshake under way on this connection.
  if (credentials && credentials->CurrentStep > 0) {
    credentials->AuthParams = challenges;
    if (credentials->Next() == wnDoRequest) return true;
    proxyRefusal_ = credentials->Error;
    credentials.reset();
    return false;
  }
  credentials.reset();
  // Only the schemes where the system signs the user in: a password never goes to a proxy.
  for (const char* scheme : {"Negotiate", "NTLM"}) {
    if (!Offers(challenges, scheme)) continue;
    std::unique_ptr<TIdAuthentication> signIn =
        ProxySignIn ? ProxySignIn(scheme, Host())
                    : std::make_unique<TIdSSPIAuthentication>(scheme, "HTTP/" + ProxyParams.ProxyServer);
    signIn->AuthParams = challenges;
    if (signIn->Next() == wnDoRequest) {
      credentials = std::move(signIn);
      return true;
    }
    proxyRefusal_ += (proxyRefusal_.empty() ? "" : "; ") +
                     (signIn->Error.empty() ? scheme + std::string(" refused") : signIn->Error);
  }
  if (proxyRefusal_.empty())
    proxyRefusal_ = Offers(challenges, "Basic")
                        ? "the proxy asks for a password in clear text (Basic); none is sent to a proxy"
                        : "the proxy offers no sign-in scheme this program answers";
  return false;
}

void TIdCustomHTTP::NotifyDisconnected() {
  auto& credentials = Request().Credentials;
  if (credentials && credentials->CurrentStep == credentials->Steps()) credentials.reset();
  if (ProxyParams.Credentials) ProxyParams.Credentials->Reset();
  TIdTCPClient::NotifyDisconnected();
}
