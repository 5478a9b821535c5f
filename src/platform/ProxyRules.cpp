// The rules that turn the system's proxy settings into routes for a URL, apart from where the
// settings come from (platform/win32/Proxy.cpp and platform/posix/Proxy.cpp read them), so
// that both sets of rules are tested in either build.
#include <cctype>
#include <cstdlib>

#include "platform/Proxy.h"

namespace platform {

namespace {

/// The default port of a proxy given without one, as curl takes it.
constexpr int kDefaultProxyPort = 1080;

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

/// The items of a list separated by any of `separators` or blanks, each trimmed, none empty.
std::vector<std::string> Items(const std::string& list, const char* separators) {
  std::vector<std::string> items;
  std::string item;
  for (std::size_t i = 0; i <= list.size(); ++i) {
    const char c = i < list.size() ? list[i] : ';';
    if (IsBlank(c) || std::string(separators).find(c) != std::string::npos || i == list.size()) {
      if (!item.empty()) items.push_back(item);
      item.clear();
    } else {
      item += c;
    }
  }
  return items;
}

struct UrlParts {
  std::string scheme;  // lower case
  std::string host;    // lower case, without brackets
};

UrlParts SplitUrl(const std::string& url) {
  UrlParts parts;
  const std::size_t colon = url.find("://");
  std::size_t start = 0;
  if (colon != std::string::npos) {
    parts.scheme = Lower(url.substr(0, colon));
    start = colon + 3;
  }
  std::string authority = url.substr(start, url.find_first_of("/?#", start) - start);
  const std::size_t at = authority.rfind('@');
  if (at != std::string::npos) authority.erase(0, at + 1);
  if (!authority.empty() && authority[0] == '[') {
    parts.host = authority.substr(1, authority.find(']') - 1);
  } else {
    parts.host = authority.substr(0, authority.find(':'));
  }
  parts.host = Lower(parts.host);
  return parts;
}

/// "host:port", "[v6]:port", "scheme://host:port/" (the scheme and any path dropped); false when
/// no host is left or the port is no number from 1 to 65535.
bool ParseProxy(std::string text, ProxyRoute& route) {
  const std::size_t scheme = text.find("://");
  if (scheme != std::string::npos) text.erase(0, scheme + 3);
  text = text.substr(0, text.find('/'));
  const std::size_t at = text.rfind('@');
  if (at != std::string::npos) text.erase(0, at + 1);
  std::string host, port;
  if (!text.empty() && text[0] == '[') {
    const std::size_t close = text.find(']');
    if (close == std::string::npos) return false;
    host = text.substr(1, close - 1);
    if (close + 1 < text.size() && text[close + 1] == ':') port = text.substr(close + 2);
  } else {
    const std::size_t colon = text.find(':');
    host = text.substr(0, colon);
    if (colon != std::string::npos) port = text.substr(colon + 1);
  }
  if (host.empty()) return false;
  int number = kDefaultProxyPort;
  if (!port.empty()) {
    if (port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos) return false;
    number = std::atoi(port.c_str());
  }
  if (number < 1 || number > 65535) return false;
  route.host = host;
  route.port = number;
  return true;
}

/// A WinHTTP proxy list for `scheme`: "host:port" items for every scheme, "http=host:port"
/// items only for theirs, "DIRECT" as it stands; items that name no proxy are left out.
std::vector<ProxyRoute> WinHttpList(const std::string& list, const std::string& scheme) {
  std::vector<ProxyRoute> routes;
  for (const std::string& item : Items(list, ";")) {
    if (Lower(item) == "direct") {
      routes.push_back(ProxyRoute());
      continue;
    }
    std::string value = item;
    const std::size_t equals = item.find('=');
    if (equals != std::string::npos) {
      if (Lower(item.substr(0, equals)) != scheme) continue;
      value = item.substr(equals + 1);
    }
    ProxyRoute route;
    if (ParseProxy(value, route)) routes.push_back(route);
  }
  return routes;
}

/// A pattern of Internet Options' bypass list with "*" for any run of characters, ignoring case.
bool WildcardMatch(const std::string& pattern, const std::string& text) {
  std::size_t p = 0, t = 0, star = std::string::npos, resume = 0;
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = t;
    } else if (p < pattern.size() && std::tolower(static_cast<unsigned char>(pattern[p])) ==
                                         std::tolower(static_cast<unsigned char>(text[t]))) {
      ++p, ++t;
    } else if (star != std::string::npos) {
      p = star + 1;
      t = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

/// Internet Options' bypass list: "<local>" names every host without a dot; any other item is
/// a pattern of the host (a scheme before it, "http://*.corp", limits it to that scheme).
bool BypassedByInternetOptions(const std::string& bypass, const UrlParts& url) {
  for (std::string item : Items(bypass, ";")) {
    if (Lower(item) == "<local>") {
      if (url.host.find('.') == std::string::npos && url.host.find(':') == std::string::npos) return true;
      continue;
    }
    const std::size_t scheme = item.find("://");
    if (scheme != std::string::npos) {
      if (Lower(item.substr(0, scheme)) != url.scheme) continue;
      item.erase(0, scheme + 3);
    }
    if (WildcardMatch(item, url.host)) return true;
  }
  return false;
}

/// curl's no_proxy: "*" alone names every host; each other item, a leading dot dropped, names
/// that host and every host under it.
bool BypassedByNoProxy(const std::string& noProxy, const std::string& host) {
  for (std::string item : Items(noProxy, ",")) {
    if (item == "*") return true;
    item = Lower(item);
    if (item[0] == '.') item.erase(0, 1);
    if (item.empty()) continue;
    if (host == item) return true;
    if (host.size() > item.size() && host.compare(host.size() - item.size(), item.size(), item) == 0 &&
        host[host.size() - item.size() - 1] == '.')
      return true;
  }
  return false;
}

ProxyRoutes Direct(ProxySource source, std::string detail) {
  ProxyRoutes r;
  r.routes.push_back(ProxyRoute());
  r.source = source;
  r.detail = std::move(detail);
  return r;
}

}  // namespace

std::string RouteText(const ProxyRoute& route) {
  if (route.Direct()) return "direct";
  const bool v6 = route.host.find(':') != std::string::npos;
  return "proxy " + (v6 ? "[" + route.host + "]" : route.host) + ":" + std::to_string(route.port);
}

std::string RouteReasonText(const ProxyRoutes& routes) {
  std::string reason;
  switch (routes.source) {
    case ProxySource::None: reason = "no proxy"; break;
    case ProxySource::Manual: reason = "manual proxy"; break;
    case ProxySource::PacScript: reason = "PAC script"; break;
    case ProxySource::Wpad: reason = "WPAD (automatic detection)"; break;
    case ProxySource::Environment: reason = "environment"; break;
  }
  if (!routes.detail.empty()) reason += " " + routes.detail;
  return routes.note.empty() ? reason : reason + "; " + routes.note;
}

ProxyRoutes RoutesFromInternetOptions(const InternetOptions& options, const std::string& url, const PacEvaluator& pac) {
  const UrlParts parts = SplitUrl(url);
  std::string failures;
  // Automatic detection comes before the script URL, as in Internet Options; a script that
  // cannot be had leaves the manual settings in force.
  const struct {
    bool on;
    std::string script;
    ProxySource source;
  } scripts[] = {{options.autoDetect, "", ProxySource::Wpad},
                 {!options.autoConfigUrl.empty(), options.autoConfigUrl, ProxySource::PacScript}};
  for (const auto& s : scripts) {
    if (!s.on || !pac) continue;
    const PacAnswer answer = pac(url, s.script);
    if (!answer.ok) {
      failures +=
          (failures.empty() ? "" : "; ") + std::string(s.script.empty() ? "WPAD" : s.script) + ": " + answer.error;
      continue;
    }
    ProxyRoutes r;
    r.routes = WinHttpList(answer.list, parts.scheme);
    if (r.routes.empty()) r.routes.push_back(ProxyRoute());
    r.source = s.source;
    r.detail = s.script.empty() ? "" : s.script;
    return r;
  }
  ProxyRoutes r = Direct(ProxySource::None, "");
  if (!options.proxy.empty()) {
    if (BypassedByInternetOptions(options.bypass, parts)) {
      r = Direct(ProxySource::Manual, "bypass list");
    } else {
      std::vector<ProxyRoute> routes = WinHttpList(options.proxy, parts.scheme);
      if (!routes.empty()) {
        r.routes = routes;
        r.source = ProxySource::Manual;
      }
    }
  }
  r.note = failures;
  return r;
}

ProxyRoutes RoutesFromEnvironment(const std::string& url, const std::function<std::string(const char*)>& env) {
  const UrlParts parts = SplitUrl(url);
  for (const char* name : {"no_proxy", "NO_PROXY"}) {
    const std::string value = env(name);
    if (value.empty()) continue;
    if (BypassedByNoProxy(value, parts.host)) return Direct(ProxySource::Environment, name);
    break;
  }
  // http_proxy has no upper-case form: a CGI program's environment carries the request's
  // "Proxy:" header as HTTP_PROXY.
  std::vector<const char*> names;
  if (parts.scheme == "https") names = {"https_proxy", "HTTPS_PROXY"};
  if (parts.scheme == "http") names = {"http_proxy"};
  names.insert(names.end(), {"all_proxy", "ALL_PROXY"});
  for (const char* name : names) {
    const std::string value = env(name);
    if (value.empty()) continue;
    ProxyRoutes r;
    ProxyRoute route;
    if (!ParseProxy(value, route)) return Direct(ProxySource::Environment, std::string(name) + " (not a proxy)");
    r.routes.push_back(route);
    r.source = ProxySource::Environment;
    r.detail = name;
    return r;
  }
  return Direct(ProxySource::None, "");
}

}  // namespace platform
