#include "net/http/IdCookieManager.h"

#include "net/http/IdGlobal.h"

void TIdCookieManager::AddCookie(const std::string& text, const std::string& host, bool version2) {
  std::unique_ptr<TIdNetscapeCookie> cookie;
  if (version2)
    cookie = std::make_unique<TIdCookieRFC2965>();
  else
    cookie = std::make_unique<TIdCookieRFC2109>();
  cookie->ParseCookie(text);
  if (cookie->Domain.empty()) cookie->Domain = host;
  if (!cookie->IsAllowed(host)) return;
  bool accept = true;
  if (OnNewCookie) OnNewCookie(*this, *cookie, accept);
  if (accept) cookies_.Add(std::move(cookie));
}

std::string TIdCookieManager::GenerateCookieList(const TIdURI& uri, bool secure) {
  cookies_.RemoveExpired(Now());
  std::string result;
  for (const auto& text : cookies_.Select(uri.Host, uri.Path, secure)) {
    if (!result.empty()) result += "; ";
    result += text;
  }
  return result;
}
