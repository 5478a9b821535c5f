#include "verify_client/VerifyClient.h"

#include <memory>

#include "base/RunLog.h"
#include "base/ScopeExit.h"
#include "base/SysUtils.h"
#include "base/WhileWaiting.h"
#include "net/transport/IdIOHandlerSocket.h"
#include "platform/Platform.h"

namespace {

/// "connected to ::1 (IPv6) after 3 ms, after 12 ms": where and when the connection stood (or
/// that none was made, or that the one kept from the last request served), and when the
/// exchange ended.
std::string Timing(std::int64_t connectedMs, const std::string& peer, std::uint32_t start, bool answered) {
  const std::string where = peer.empty() ? "" : "to " + peer + " ";
  const std::string connected = connectedMs >= 0
                                    ? "connected " + where + "after " + std::to_string(connectedMs) + " ms, "
                                : answered ? "over the connection kept open, "
                                           : "no connection, ";
  return connected + "after " + std::to_string(platform::TickCount() - start) + " ms";
}

/// A text of the program (code page 936): the message of an error is one.
std::string NoAnswer(const char* errorClass, const std::string& message, std::int64_t connectedMs,
                     const std::string& peer, std::uint32_t start) {
  return std::string("  no answer: ") + errorClass + ": " + message + "; " + Timing(connectedMs, peer, start, false);
}

/// Whether `dest` is `from` over HTTPS: the same host and path, from http:// to https://.
bool IsUpgradeToHttps(const TIdURI& from, const std::string& dest) {
  const TIdURI to(dest);
  return SameText(from.Protocol, "http") && SameText(to.Protocol, "https") && SameText(to.Host, from.Host) &&
         to.Path + to.Document + to.Params == from.Path + from.Document + from.Params;
}

/// How long the window waits for the system to name a mirror's route (a script's fetch, WPAD's
/// lookups): no longer than a dead mirror may cost.
constexpr int kRouteLookupLimitMs = kVerifyReadTimeoutMs;

/// The system's routes for `url`. The system may first fetch a script or look for one (WPAD),
/// which takes a network exchange: a thread with a while-waiting hook (the window's) waits for it
/// in slices, answering the system between them, and a close of the window ends the wait. A
/// lookup that outlives its limit leaves the mirror direct, and every later one of the run too,
/// without asking again: the system that did not answer would hold each of them as long.
platform::ProxyRoutes SystemRoutes(const std::string& url) {
  struct TLookup {
    platform::Event done;
    platform::ProxyRoutes routes;
  };
  static bool gaveUp = false;  // the window's thread only
  auto direct = [](const std::string& why) {
    platform::ProxyRoutes r;
    r.routes.push_back(platform::ProxyRoute());
    r.note = why;
    return r;
  };
  if (gaveUp) return direct("the system's proxy settings gave no answer earlier in this run");
  std::shared_ptr<TLookup> lookup(new TLookup);  // not make_shared: see IdHostLookup.cpp
  platform::Thread thread;
  if (!HasWhileWaitingHook() || !thread.Start([lookup, url] {
        lookup->routes = platform::RoutesForUrl(url);
        lookup->done.Set();
      }))
    return platform::RoutesForUrl(url);
  bool answered = false;
  try {
    answered =
        WaitInSlices(kRouteLookupLimitMs, [&](int ms) { return lookup->done.Wait(static_cast<std::uint32_t>(ms)); });
  } catch (...) {
    thread.Detach();  // the lookup ends on its own; what it finds is dropped with `lookup`
    throw;
  }
  if (!answered) {
    thread.Detach();
    gaveUp = true;
    return direct("the system's proxy settings gave no answer within " + std::to_string(kRouteLookupLimitMs / 1000) +
                  " s");
  }
  thread.Join();
  return lookup->routes;
}

}  // namespace

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
  // One redirect is followed: a mirror behind a service that moves plain HTTP to HTTPS, the
  // same host and path. Every other one is refused, and its Location logged.
  http.HandleRedirects = true;
  http.OnRedirect = [](TIdCustomHTTP& sender, std::string& dest, int numRedirect, bool& handled, TIdHTTPMethod&) {
    handled = numRedirect == 1 && IsUpgradeToHttps(sender.WorkingUri(), dest);
    if (handled) LogLine("  moved to " + dest + ": followed, the same host and path over HTTPS");
  };
  http.ProtocolVersion = pv1_1;
  http.ReadTimeout = kVerifyReadTimeoutMs;
  http.MaxLineAction = maException;
  http.MaxLineLength = IdMaxLineLengthDefault;
  http.MaxBodySize = kVerifyMaxBodySize;
  http.RequestTimeLimit = kVerifyRequestTimeLimitMs;
}

void UseRoute(TIdHTTP& http, const platform::ProxyRoute& route) {
  http.ProxyParams.ProxyServer = route.host;
  http.ProxyParams.ProxyPort = route.Direct() ? 0 : route.port;
}

std::string FetchOverRoutes(TIdHTTP& http, const platform::ProxyRoutes& routes,
                            const std::function<void(std::size_t index)>& onRoute,
                            const std::function<std::string()>& fetch) {
  for (std::size_t i = 0;; ++i) {
    if (onRoute) onRoute(i);
    UseRoute(http, routes.routes[i]);
    try {
      return fetch();
    } catch (...) {
      // A route that brings no answer hands over to the next, as the list's order says; the
      // last one's failure is the mirror's.
      if (i + 1 >= routes.routes.size()) throw;
    }
  }
}

std::string FetchReplyLogged(TIdHTTP& http, const std::string& url) {
  return FetchReplyLogged(http, url, SystemRoutes(url));
}

std::string FetchReplyLogged(TIdHTTP& http, const std::string& url, const platform::ProxyRoutes& routes) {
  std::uint32_t start = 0;
  std::int64_t connectedMs = -1;
  std::string peer;  // the address and family connected
  TIdNotifyEvent before = http.OnConnected;
  http.OnConnected = [&](TIdComponent* sender) {
    connectedMs = platform::TickCount() - start;
    const TIdSocketHandle* binding = http.Socket() ? http.Socket()->Binding() : nullptr;
    if (binding) peer = binding->PeerIP + " (" + FamilyName(binding->Family) + ")";
    if (before) before(sender);
  };
  auto restore = OnScopeExit([&] { http.OnConnected = before; });
  auto onRoute = [&](std::size_t i) {
    start = platform::TickCount();
    connectedMs = -1;
    peer.clear();
    LogLine("  route: " + platform::RouteText(routes.routes[i]) + " (" + platform::RouteReasonText(routes) +
            (routes.routes.size() > 1 ? ", " + std::to_string(i + 1) + " of " + std::to_string(routes.routes.size())
                                      : std::string()) +
            ")");
  };
  return FetchOverRoutes(http, routes, onRoute, [&] {
    try {
      std::string body = http.FetchUrl(url);
      LogLine("  answered: status " + std::to_string(http.ResponseCode()) + ", " + std::to_string(body.size()) +
              " bytes; " + Timing(connectedMs, peer, start, true));
      return body;
    } catch (const EIdProtocolReplyError& e) {
      const std::string& location = http.Response().Location;
      const std::string moved = e.ReplyCode / 100 == 3 && !location.empty() ? ", moved to " + location : "";
      LogText(NoAnswer(e.ClassName(), e.Message() + " (status " + std::to_string(e.ReplyCode) + moved + ")",
                       connectedMs, peer, start));
      throw;
    } catch (const Exception& e) {
      LogText(NoAnswer(e.ClassName(), e.Message(), connectedMs, peer, start));
      throw;
    } catch (const std::exception& e) {
      LogText(NoAnswer("error", e.what(), connectedMs, peer, start));
      throw;
    }
  });
}
