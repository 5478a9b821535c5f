#pragma once
// Which way a URL is reached: directly or through a proxy, in the order to try, and why. On
// Windows the user's Internet Options answer, resolved as Windows' own HTTP stack resolves them
// (WinHTTP's resolver, loaded at run time from the system folder): a manual proxy with its
// bypass list, "automatically detect settings" (WPAD), an automatic configuration script (PAC).
// On Linux the https_proxy / http_proxy / no_proxy variables, read as curl reads them.
#include <functional>
#include <string>
#include <vector>

namespace platform {

/// Where a route came from.
enum class ProxySource {
  None,         // no proxy is configured
  Manual,       // the proxy named in Internet Options (or its bypass list)
  PacScript,    // the result of the automatic configuration script
  Wpad,         // the result of the script found by automatic detection
  Environment,  // a *_proxy variable (or no_proxy)
};

/// One way to the server: directly (no host), or through the HTTP proxy host:port.
struct ProxyRoute {
  std::string host;
  int port = 0;
  bool Direct() const { return host.empty(); }
};

struct ProxyRoutes {
  /// The routes to try, in order; never empty.
  std::vector<ProxyRoute> routes;
  ProxySource source = ProxySource::None;
  /// What the source was and what it said: the script's URL, the variable's name, "bypass
  /// list"; empty when there is nothing to add.
  std::string detail;
  /// Why a script that is set was not used ("WPAD: no script found (error 12180)"); empty when
  /// none failed.
  std::string note;
};

/// The routes for `url` ("http://host[:port]/..." or "https://...") as the system's settings give
/// them. Any failure to read or evaluate the settings gives what the system falls back to
/// (Windows: the manual settings when the script fails; in the end, direct), with the
/// reason in `detail`.
ProxyRoutes RoutesForUrl(const std::string& url);

/// A route for the run's log: "direct" or "proxy HOST:PORT".
std::string RouteText(const ProxyRoute& route);
/// Why, for the run's log: "no proxy", "manual proxy", "PAC script URL", "WPAD (automatic
/// detection)", "environment http_proxy", with the note of a failed script after "; ".
std::string RouteReasonText(const ProxyRoutes& routes);

// ---- the rules, apart from where the settings come from ---------------------------------

/// The user's Internet Options as WinHTTP reads them.
struct InternetOptions {
  bool autoDetect = false;    // "automatically detect settings"
  std::string autoConfigUrl;  // "use automatic configuration script"
  std::string proxy;          // "host:port", or "http=host:port;https=host:port"; empty: none
  std::string bypass;         // "<local>;*.example.com;10.*", separated by ";" or blanks
};

/// What evaluating a script gave: false when it could not be found or run (the reason in
/// `error`); otherwise `list` is the script's proxy list in WinHTTP's form ("host:port;host:port",
/// "DIRECT" where the script says so; empty for DIRECT alone).
struct PacAnswer {
  bool ok = false;
  std::string list;
  std::string error;
};
/// Evaluates the script at `scriptUrl`, or the one automatic detection finds when it is empty.
using PacEvaluator = std::function<PacAnswer(const std::string& url, const std::string& scriptUrl)>;

/// Windows' order: the script (automatic detection first, then the configured script URL) when
/// one is set and it answers; else the manual proxy unless the bypass list names the host; else
/// direct.
ProxyRoutes RoutesFromInternetOptions(const InternetOptions& options, const std::string& url, const PacEvaluator& pac);

/// curl's rules: no_proxy (a comma list of host names and domain suffixes, "*" for all) names
/// the host: direct; else https_proxy for https, http_proxy for http (the lower-case name first;
/// HTTP_PROXY upper-case is not read, as curl does not), then all_proxy/ALL_PROXY; a value
/// "[http://]host[:port]" (port 1080 when none). `env` gives a variable's value, empty when unset.
ProxyRoutes RoutesFromEnvironment(const std::string& url, const std::function<std::string(const char*)>& env);

}  // namespace platform
