#pragma once
// The verification client's settings: how the launcher's HTTP client asks a mirror for the
// published code. The verification window configures its client with them, and the vendor's
// tool asks the mirrors exactly as the launcher will.
#include <cstdint>
#include <functional>
#include <string>

#include "net/http/IdHTTP.h"
#include "platform/Proxy.h"

/// The largest reply the verification client takes: a published reply is a few dozen bytes.
constexpr std::int64_t kVerifyMaxBodySize = 1024 * 1024;
/// The read time limit of the verification client, in milliseconds; it bounds the host name
/// lookup and the connect too, so that a dead mirror costs the user at most this long before
/// the next one is asked.
constexpr int kVerifyReadTimeoutMs = 10000;
/// The total time one request of the verification client may take, in milliseconds: a server
/// that keeps trickling bytes within the read time limit is cut off here.
constexpr int kVerifyRequestTimeLimitMs = 30000;

/// The settings of the verification window's client: user agent, accept, content type,
/// cookies, read and connect time limit, over-long line action, and the response limits.
void ConfigureVerifyClient(TIdHTTP& http);

/// Points the client at one route: through the proxy's host and port, or directly.
void UseRoute(TIdHTTP& http, const platform::ProxyRoute& route);

/// `fetch` over each of the routes in turn (UseRoute before each, `onRoute(index)` first) until
/// one brings an answer; when none does, the last route's failure is raised.
std::string FetchOverRoutes(TIdHTTP& http, const platform::ProxyRoutes& routes,
                            const std::function<void(std::size_t index)>& onRoute,
                            const std::function<std::string()>& fetch);

/// The GET of one mirror's reply over the routes the system gives for its URL, each written to
/// the run's log: the route and why (direct, or which proxy: manual, PAC script, WPAD), then the
/// status, the body's size, how long the connection and the answer took, or the failure's class
/// and message. Returns the body, or raises the last route's exception.
std::string FetchReplyLogged(TIdHTTP& http, const std::string& url);
/// The same over the given routes.
std::string FetchReplyLogged(TIdHTTP& http, const std::string& url, const platform::ProxyRoutes& routes);
