// The routes the system's proxy settings give a mirror URL: Internet Options (a manual proxy
// with its bypass list, a PAC script, WPAD) and curl's *_proxy variables.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "platform/Proxy.h"

using platform::InternetOptions;
using platform::PacAnswer;
using platform::ProxyRoutes;
using platform::ProxySource;

namespace {

/// The routes as the log shows them, joined by " | ".
std::string Routes(const ProxyRoutes& r) {
  std::string text;
  for (const auto& route : r.routes) text += (text.empty() ? "" : " | ") + platform::RouteText(route);
  return text;
}

/// A script that must not be asked.
PacAnswer NoScript(const std::string&, const std::string&) {
  ADD_FAILURE() << "a script was evaluated";
  return {};
}

}  // namespace

TEST(InternetOptionsRoutes, ManualProxyWithItsBypassList) {
  InternetOptions o;
  o.proxy = "proxy.corp:3128";
  o.bypass = "<local>; *.intra.corp;10.*";
  const ProxyRoutes viaProxy = platform::RoutesFromInternetOptions(o, "http://mirror.example/a", NoScript);
  EXPECT_EQ(Routes(viaProxy), "proxy proxy.corp:3128");
  EXPECT_EQ(platform::RouteReasonText(viaProxy), "manual proxy");
  for (const char* url : {"http://fileserver/a", "http://m1.INTRA.corp:8080/a", "http://10.1.2.3/a"}) {
    const ProxyRoutes r = platform::RoutesFromInternetOptions(o, url, NoScript);
    EXPECT_EQ(Routes(r), "direct") << url;
    EXPECT_EQ(platform::RouteReasonText(r), "manual proxy bypass list") << url;
  }
  // A proxy per scheme: an https mirror goes to its own, one without an entry goes direct.
  o.proxy = "http=web.corp:80;https=tls.corp:8443";
  EXPECT_EQ(Routes(platform::RoutesFromInternetOptions(o, "https://mirror.example/a", NoScript)),
            "proxy tls.corp:8443");
  o.proxy = "http=web.corp:80";
  EXPECT_EQ(Routes(platform::RoutesFromInternetOptions(o, "https://mirror.example/a", NoScript)), "direct");
}

TEST(InternetOptionsRoutes, AScriptsListIsKeptInOrderWithDirectOnlyWhereItSaysSo) {
  InternetOptions o;
  o.autoConfigUrl = "http://wpad.corp/proxy.pac";
  o.proxy = "manual.corp:8080";  // in force only when the script fails
  std::string asked;
  auto pac = [&](const std::string& url, const std::string& script) {
    asked = url + " @ " + script;
    return PacAnswer{true, "a.corp:3128; b.corp:3128;DIRECT", ""};
  };
  const ProxyRoutes r = platform::RoutesFromInternetOptions(o, "http://mirror.example/brenlow/x", pac);
  EXPECT_EQ(asked, "http://mirror.example/brenlow/x @ http://wpad.corp/proxy.pac");
  EXPECT_EQ(Routes(r), "proxy a.corp:3128 | proxy b.corp:3128 | direct");
  EXPECT_EQ(platform::RouteReasonText(r), "PAC script http://wpad.corp/proxy.pac");
  // The script's DIRECT alone.
  const ProxyRoutes direct =
      platform::RoutesFromInternetOptions(o, "http://mirror.example/a", [](const std::string&, const std::string&) {
        return PacAnswer{true, "", ""};
      });
  EXPECT_EQ(Routes(direct), "direct");
  EXPECT_EQ(direct.source, ProxySource::PacScript);
}

TEST(InternetOptionsRoutes, WpadComesFirstAndAFailedScriptLeavesTheManualProxy) {
  InternetOptions o;
  o.autoDetect = true;
  o.autoConfigUrl = "http://pac.corp/p.pac";
  o.proxy = "manual.corp:8080";
  std::vector<std::string> scripts;
  // Discovery finds a script (what WinHTTP answers on a network with WPAD).
  const ProxyRoutes found = platform::RoutesFromInternetOptions(o, "http://mirror.example/a",
                                                                [&](const std::string&, const std::string& script) {
                                                                  scripts.push_back(script);
                                                                  return PacAnswer{true, "wpad-proxy.corp:8080", ""};
                                                                });
  EXPECT_EQ(Routes(found), "proxy wpad-proxy.corp:8080");
  EXPECT_EQ(platform::RouteReasonText(found), "WPAD (automatic detection)");
  EXPECT_EQ(scripts, std::vector<std::string>{""});
  // Neither script can be had: the manual proxy, with both reasons for the log.
  const ProxyRoutes fallback = platform::RoutesFromInternetOptions(
      o, "http://mirror.example/a", [](const std::string&, const std::string& script) {
        return PacAnswer{false, "", script.empty() ? "no script found" : "the script cannot be downloaded"};
      });
  EXPECT_EQ(Routes(fallback), "proxy manual.corp:8080");
  EXPECT_EQ(platform::RouteReasonText(fallback),
            "manual proxy; WPAD: no script found; http://pac.corp/p.pac: the script cannot be downloaded");
}

TEST(EnvironmentRoutes, AsCurlReadsTheVariables) {
  std::map<std::string, std::string> env;
  auto get = [&](const char* name) { return env.count(name) ? env[name] : std::string(); };
  EXPECT_EQ(platform::RoutesFromEnvironment("http://m.example/a", get).source, ProxySource::None);
  // HTTP_PROXY is a CGI request's header, never a proxy.
  env["HTTP_PROXY"] = "http://evil.example:80";
  EXPECT_EQ(Routes(platform::RoutesFromEnvironment("http://m.example/a", get)), "direct");
  env["http_proxy"] = "http://proxy.corp:3128/";
  env["HTTPS_PROXY"] = "tls.corp";
  const ProxyRoutes http = platform::RoutesFromEnvironment("http://m.example/a", get);
  EXPECT_EQ(Routes(http), "proxy proxy.corp:3128");
  EXPECT_EQ(platform::RouteReasonText(http), "environment http_proxy");
  EXPECT_EQ(Routes(platform::RoutesFromEnvironment("https://m.example/a", get)), "proxy tls.corp:1080");
  env["no_proxy"] = "localhost, .example.org,corp";
  EXPECT_EQ(Routes(platform::RoutesFromEnvironment("http://a.example.org/", get)), "direct");
  EXPECT_EQ(Routes(platform::RoutesFromEnvironment("http://example.org/", get)), "direct");
  EXPECT_EQ(Routes(platform::RoutesFromEnvironment("http://x.corp:8080/", get)), "direct");
  EXPECT_EQ(Routes(platform::RoutesFromEnvironment("http://notcorp/", get)), "proxy proxy.corp:3128");
  env["no_proxy"] = "*";
  EXPECT_EQ(platform::RouteReasonText(platform::RoutesFromEnvironment("http://m.example/a", get)),
            "environment no_proxy");
}
