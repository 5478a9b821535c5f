#pragma once
// The cookie manager an HTTP client keeps: stores the cookies a response sets and builds the
// Cookie header for a later request.
#include <functional>
#include <memory>
#include <string>

#include "net/http/IdCookie.h"
#include "net/http/IdURI.h"

class TIdCookieManager;
/// Asked before a cookie is stored; leaving `accept` true keeps it.
using TOnNewCookieEvent = std::function<void(TIdCookieManager& sender, TIdNetscapeCookie& cookie, bool& accept)>;

class TIdCookieManager {
 public:
  /// Parses a "Set-cookie" value (version2: a "Set-cookie2" value) received from `host` and
  /// stores it unless the host check or the event refuses it.
  void AddCookie(const std::string& text, const std::string& host, bool version2 = false);
  /// The Cookie header value for a request to `uri` (empty when no cookie goes with it);
  /// expired cookies are dropped first. A cookie's path is matched against the start of the
  /// URI's folder part (its path without the document).
  std::string GenerateCookieList(const TIdURI& uri, bool secure);

  TIdCookies& CookieCollection() { return cookies_; }
  TOnNewCookieEvent OnNewCookie;

 private:
  TIdCookies cookies_;
};
