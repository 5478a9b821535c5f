#include "MirrorCheck.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>

#include "Command.h"
#include "Json.h"
#include "ReplyPublish.h"
#include "codes/ShareCodeCheckunit.h"
#include "net/transport/IdStack.h"
#include "platform/Platform.h"
#include "verify_client/VerifyClient.h"

namespace {
// A decoded code is shown up to this many visible bytes: enough for any fingerprint, short
// enough that a web page served in the reply's place stays one readable line.
constexpr std::size_t kShownCodeBytes = 48;

// Line ends (an exception's "Socket Error # n" CR LF text) become single spaces; every other
// byte a server may have sent is shown as VisibleBytes shows it, so that no escape sequence
// reaches the terminal.
std::string OneLine(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\r' || c == '\n') {
      if (!out.empty() && out.back() != ' ') out += ' ';
    } else {
      out += c;
    }
  }
  return VisibleBytes(Trim(out));
}

// Why a body that is no code was no answer, as the vendor can act on it.
std::string NotAReply(const std::string& body) {
  if (body.compare(0, 3, "\xEF\xBB\xBF") == 0)
    return "not a reply: it begins with a UTF-8 byte-order mark (save the file without one)";
  if (Trim(body).empty()) return "the reply holds nothing but blanks";
  return "the network answered with a page (a sign-in portal?)";
}

bool IsPort(const std::string& text) {
  if (text.empty() || text.size() > 5) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  const long port = std::stol(text);
  return port >= 1 && port <= 65535;
}

// Splits "http[s]://host[:port]/path" into its scheme with "://", host part and path; raises
// for any other form.
void SplitHttpUrl(const std::string& url, std::string& scheme, std::string& hostPort, std::string& path) {
  const std::string shown = VisibleBytes(url);
  const std::size_t end = url.find("://");
  if (end == std::string::npos)
    throw EMirrorUrlError(shown +
                          ": no http:// or https:// (a URL without its scheme would be taken relative to another)");
  scheme = LowerCase(url.substr(0, end));
  if (scheme != "http" && scheme != "https") throw EMirrorUrlError(shown + ": only http:// and https:// URLs");
  scheme += "://";
  const std::size_t slash = url.find('/', end + 3);
  hostPort = url.substr(end + 3, slash == std::string::npos ? std::string::npos : slash - end - 3);
  path = slash == std::string::npos ? "/" : url.substr(slash);
  // An IPv6 address stands in brackets ("http://[::1]:8080/"); its colons are its own.
  const std::size_t close = hostPort.compare(0, 1, "[") == 0 ? hostPort.find(']') : std::string::npos;
  const std::size_t colon = hostPort.find(':', close == std::string::npos ? 0 : close);
  const std::string host = hostPort.substr(0, colon);
  bool hostOk = !host.empty();
  if (close != std::string::npos)
    hostOk = close + 1 == host.size() && TIdStack::IsIPv6Literal(host.substr(1, close - 1));
  else
    for (char c : host)
      if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-'))
        hostOk = false;
  if (!hostOk) throw EMirrorUrlError(shown + ": no host name or address after " + scheme);
  if (colon != std::string::npos && !IsPort(hostPort.substr(colon + 1)))
    throw EMirrorUrlError(shown + ": the port must be a number from 1 to 65535");
}
}  // namespace

void CheckHttpUrl(const std::string& url) {
  std::string scheme, hostPort, path;
  SplitHttpUrl(url, scheme, hostPort, path);
}

std::string MirrorBaseUrl(const std::string& url, std::string& note) {
  std::string scheme, hostPort, path;
  SplitHttpUrl(url, scheme, hostPort, path);
  note.clear();
  std::string base = scheme + hostPort + path;
  const std::size_t reply = path.rfind("brenlow/");
  if (reply != std::string::npos && path.size() > 7 && path.compare(path.size() - 7, 7, "ins.htm") == 0 &&
      path.find('/', reply + 8) == std::string::npos) {
    base = scheme + hostPort + path.substr(0, reply);
    note = "note: " + VisibleBytes(url) + " is a reply URL; asking its mirror " + VisibleBytes(base);
  } else if (path.back() != '/') {
    throw EMirrorUrlError(VisibleBytes(url) + ": not a mirror's base URL (http[s]://host/ or http[s]://host:port/)");
  }
  return base;
}

TMirrorChecker::TMirrorChecker(const std::string& fingerprint, const std::string& replyPath)
    : fingerprint_(fingerprint), path_(replyPath) {
  ConfigureVerifyClient(http_);
}

namespace {
constexpr const char* kRedirectNotFollowed =
    " (not followed: the launcher follows only a move to https:// on the same host and path)";
}  // namespace

TMirrorVerdict TMirrorChecker::Check(const std::string& mirror) {
  TMirrorVerdict verdict;
  verdict.url = VisibleBytes(mirror + path_);
  const std::uint32_t start = platform::TickCount();
  auto elapsed = [start] {
    return static_cast<std::int64_t>(static_cast<std::uint32_t>(platform::TickCount() - start));
  };
  try {
    std::string note;
    MirrorBaseUrl(mirror, note);  // each URL stands on its own
    const std::string url = mirror + path_;
    const platform::ProxyRoutes routes = platform::RoutesForUrl(url);
    const std::string body = FetchOverRoutes(
        http_, routes,
        [&](std::size_t i) {
          verdict.route = routes.source == platform::ProxySource::None
                              ? std::string()
                              : platform::RouteText(routes.routes[i]) + " (" + platform::RouteReasonText(routes) + ")";
        },
        [&] { return http_.FetchUrl(url); });
    const int status = http_.ResponseCode();
    const TDecodedReply reply = JudgeReply(body, fingerprint_);
    if (status / 100 == 3 || !http_.Response().Location.empty()) {
      verdict.detail = "redirect to " + OneLine(http_.Response().Location) + kRedirectNotFollowed;
    } else if (!reply.isCode) {
      // The launcher asks the next mirror: only a code of another build is a mismatch.
      verdict.detail = NotAReply(body);
    } else {
      verdict.code = VisibleBytes(reply.serverCode.substr(0, kShownCodeBytes));
      if (reply.matches) {
        verdict.kind = TMirrorVerdictKind::Match;
      } else {
        verdict.kind = TMirrorVerdictKind::Mismatch;
        const std::string& code = reply.serverCode;
        verdict.detail =
            "got " + VisibleBytes(code.substr(0, kShownCodeBytes)) + (code.size() > kShownCodeBytes ? "..." : "");
      }
    }
  } catch (const EIdHTTPProtocolException& e) {
    // The launcher's client raises on any other redirect, as on any failure status.
    if (e.ReplyCode / 100 == 3 || !http_.Response().Location.empty())
      verdict.detail = "redirect to " + OneLine(http_.Response().Location) + kRedirectNotFollowed;
    else
      verdict.detail = OneLine(e.what());
  } catch (const EIdReadTimeout& e) {
    verdict.detail =
        elapsed() >= kVerifyRequestTimeLimitMs
            ? "no answer within " + std::to_string(kVerifyRequestTimeLimitMs / 1000) + " s (request time limit)"
            : OneLine(e.what());
  } catch (const std::exception& e) {
    verdict.detail = OneLine(e.what());
    if (verdict.detail == "Undefined situation")
      verdict.detail = "the response ended inside its header (Undefined situation)";
  }
  verdict.ms = elapsed();
  return verdict;
}

std::string VerdictLine(const TMirrorVerdict& verdict) {
  std::string line = verdict.url + " ";
  switch (verdict.kind) {
    case TMirrorVerdictKind::Match: line += "match"; break;
    case TMirrorVerdictKind::Mismatch: line += "mismatch (" + verdict.detail + ")"; break;
    case TMirrorVerdictKind::NoAnswer:
      line += verdict.detail.rfind("no answer", 0) == 0 ? verdict.detail : "no answer (" + verdict.detail + ")";
      break;
  }
  return line + " " + std::to_string(verdict.ms) + " ms" + (verdict.route.empty() ? "" : " via " + verdict.route);
}

std::vector<TMirrorVerdict> CheckMirrorsAtOnce(
    const std::string& fingerprint, const std::string& replyPath, const std::vector<std::string>& mirrors,
    const std::function<void(std::size_t index, const TMirrorVerdict& verdict)>& onVerdict,
    const std::function<void(std::size_t answered)>& onWait) {
  // A progress line is redrawn this often while the slowest mirrors are waited for.
  constexpr std::uint32_t kWaitSliceMs = 100;
  struct TAsk {
    TMirrorVerdict verdict;
    platform::Event done;
    platform::Thread thread;
  };
  // Declared before the asks: on an exception their threads are joined while it still exists.
  std::atomic<std::size_t> answered{0};
  std::vector<std::unique_ptr<TAsk>> asks;
  for (const std::string& mirror : mirrors) {
    asks.push_back(std::make_unique<TAsk>());
    TAsk* ask = asks.back().get();
    auto run = [ask, &answered, &fingerprint, &replyPath, mirror] {
      TMirrorChecker checker(fingerprint, replyPath);
      ask->verdict = checker.Check(mirror);
      ++answered;
      ask->done.Set();
    };
    if (!ask->thread.Start(run)) run();  // no thread to be had: asked here, in turn
  }
  std::vector<TMirrorVerdict> out;
  for (std::size_t i = 0; i < asks.size(); ++i) {
    while (!asks[i]->done.Wait(kWaitSliceMs))
      if (onWait) onWait(answered);
    asks[i]->thread.Join();
    out.push_back(asks[i]->verdict);
    if (onVerdict) onVerdict(i, out.back());
  }
  return out;
}

namespace {
// The dotted IPv4 address host is, or false.
bool Ipv4(const std::string& host, unsigned (&octets)[4]) {
  std::size_t at = 0;
  for (int i = 0; i < 4; ++i) {
    std::size_t digits = 0;
    unsigned v = 0;
    while (at < host.size() && host[at] >= '0' && host[at] <= '9' && digits < 3)
      v = v * 10 + (host[at++] - '0'), ++digits;
    if (digits == 0 || v > 255) return false;
    octets[i] = v;
    if (i < 3 && (at >= host.size() || host[at++] != '.')) return false;
  }
  return at == host.size();
}
}  // namespace

std::vector<std::string> MirrorWarnings(const std::vector<std::string>& mirrors) {
  std::string loopback, privateNet, twice, plain;
  std::vector<std::string> seen;
  for (std::size_t i = 0; i < mirrors.size(); ++i) {
    std::string scheme, hostPort, path;
    try {
      SplitHttpUrl(mirrors[i], scheme, hostPort, path);
    } catch (const EMirrorUrlError&) {
      continue;  // asking it says what is wrong with it
    }
    hostPort = LowerCase(hostPort);
    const std::size_t close = hostPort.compare(0, 1, "[") == 0 ? hostPort.find(']') : std::string::npos;
    const std::size_t colon = hostPort.find(':', close == std::string::npos ? 0 : close);
    const std::string host = hostPort.substr(0, colon);
    if (colon == std::string::npos) hostPort += scheme == "https://" ? ":443" : ":80";
    const std::string name = " M" + std::to_string(i + 1) + " " + VisibleBytes(hostPort);
    if (scheme == "http://") plain += name;
    unsigned o[4];
    const bool ip = Ipv4(host, o);
    std::uint8_t v6[16];
    const bool ip6 = close != std::string::npos && TIdStack::IPv6ToBytes(host.substr(1, close - 1), v6);
    // ::1 and :: are loopback; fe80::/10 (link-local) and fc00::/7 (unique local) private.
    const bool loopback6 = ip6 && std::count(v6, v6 + 15, 0) == 15 && v6[15] <= 1;
    if (host == "localhost" || (ip && (o[0] == 127 || o[0] == 0)) || loopback6)
      loopback += name;
    else if ((ip && (o[0] == 10 || (o[0] == 172 && o[1] >= 16 && o[1] <= 31) || (o[0] == 192 && o[1] == 168) ||
                     (o[0] == 169 && o[1] == 254))) ||
             (ip6 && ((v6[0] == 0xfe && (v6[1] & 0xc0) == 0x80) || (v6[0] & 0xfe) == 0xfc)))
      privateNet += name;
    for (std::size_t j = 0; j < seen.size(); ++j)
      if (seen[j] == hostPort) twice += " M" + std::to_string(j + 1) + "=M" + std::to_string(i + 1) + " " + hostPort;
    seen.push_back(hostPort);
  }
  std::vector<std::string> out;
  if (!loopback.empty())
    out.push_back(
        "loopback mirrors, which are each user's own machine, not the vendor's server (a demo or "
        "test stub?):" +
        loopback);
  if (!privateNet.empty())
    out.push_back("mirrors at private addresses, which users outside the vendor's network cannot reach:" + privateNet);
  if (!twice.empty())
    out.push_back("the same server named twice, so the launcher has fewer mirrors to fall back on:" + twice);
  if (!plain.empty())
    out.push_back("mirrors asked over plain HTTP, whose reply anyone on the way can change unseen:" + plain);
  return out;
}

const char* VerdictKindName(TMirrorVerdictKind kind) {
  switch (kind) {
    case TMirrorVerdictKind::Match: return "match";
    case TMirrorVerdictKind::Mismatch: return "mismatch";
    case TMirrorVerdictKind::NoAnswer: break;
  }
  return "no_answer";
}

std::vector<TMirrorVerdict> AskMirrors(const std::string& fingerprint, const std::string& replyPath,
                                       const std::vector<std::string>& mirrors, bool printLines) {
  TProgressLine progress;
  const std::string total = std::to_string(mirrors.size());
  std::size_t next = 0;  // the first mirror not printed yet
  auto show = [&](std::size_t answered) {
    if (next < mirrors.size())
      progress.Show("[" + std::to_string(answered) + "/" + total + " answered] waiting for " +
                    VisibleBytes(mirrors[next]));
  };
  show(0);
  return CheckMirrorsAtOnce(
      fingerprint, replyPath, mirrors,
      [&](std::size_t index, const TMirrorVerdict& verdict) {
        next = index + 1;
        if (!printLines) return;
        progress.Clear();
        Print(stdout, "%s\n", VerdictLine(verdict).c_str());
        std::fflush(stdout);
      },
      show);
}

std::string VerdictJson(const TMirrorVerdict& v) {
  return JsonObject({{"url", JsonText(v.url)},
                     {"verdict", JsonText(VerdictKindName(v.kind))},
                     {"detail", v.detail.empty() ? "null" : JsonText(v.detail)},
                     {"code", v.code.empty() ? "null" : JsonText(v.code)},
                     {"ms", JsonNumber(v.ms)}});
}
