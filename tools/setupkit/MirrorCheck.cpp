#include "MirrorCheck.h"

#include <atomic>
#include <cstdint>
#include <memory>

#include "Command.h"
#include "Json.h"
#include "ReplyPublish.h"
#include "codes/ShareCodeCheckunit.h"
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

// Why a body is no reply at all, or "" when it may be one.
std::string NotAReply(const std::string& body) {
  if (body.compare(0, 3, "\xEF\xBB\xBF") == 0)
    return "not a reply: it begins with a UTF-8 byte-order mark (save the file without one)";
  std::size_t at = 0;
  while (at < body.size() && static_cast<unsigned char>(body[at]) <= 32) ++at;
  if (at < body.size() && body[at] == '<') return "not a reply: an HTML page";
  return "";
}

bool IsPort(const std::string& text) {
  if (text.empty() || text.size() > 5) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  const long port = std::stol(text);
  return port >= 1 && port <= 65535;
}

// Splits "http://host[:port]/path" into its host part and path; raises for any other form.
void SplitHttpUrl(const std::string& url, std::string& hostPort, std::string& path) {
  const std::string shown = VisibleBytes(url);
  const std::size_t scheme = url.find("://");
  if (scheme == std::string::npos)
    throw EMirrorUrlError(shown + ": no http:// (a URL without its scheme would be taken relative to another)");
  if (LowerCase(url.substr(0, scheme)) != "http")
    throw EMirrorUrlError(shown + ": only http:// URLs (the launcher asks over plain HTTP only)");
  const std::size_t slash = url.find('/', scheme + 3);
  hostPort = url.substr(scheme + 3, slash == std::string::npos ? std::string::npos : slash - scheme - 3);
  path = slash == std::string::npos ? "/" : url.substr(slash);
  const std::size_t colon = hostPort.find(':');
  const std::string host = hostPort.substr(0, colon);
  bool hostOk = !host.empty();
  for (char c : host)
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-'))
      hostOk = false;
  if (!hostOk) throw EMirrorUrlError(shown + ": no host name or address after http://");
  if (colon != std::string::npos && !IsPort(hostPort.substr(colon + 1)))
    throw EMirrorUrlError(shown + ": the port must be a number from 1 to 65535");
}
}  // namespace

void CheckHttpUrl(const std::string& url) {
  std::string hostPort, path;
  SplitHttpUrl(url, hostPort, path);
}

std::string MirrorBaseUrl(const std::string& url, std::string& note) {
  std::string hostPort, path;
  SplitHttpUrl(url, hostPort, path);
  note.clear();
  std::string base = "http://" + hostPort + path;
  const std::size_t reply = path.rfind("brenlow/");
  if (reply != std::string::npos && path.size() > 7 && path.compare(path.size() - 7, 7, "ins.htm") == 0 &&
      path.find('/', reply + 8) == std::string::npos) {
    base = "http://" + hostPort + path.substr(0, reply);
    note = "note: " + VisibleBytes(url) + " is a reply URL; asking its mirror " + VisibleBytes(base);
  } else if (path.back() != '/') {
    throw EMirrorUrlError(VisibleBytes(url) + ": not a mirror's base URL (http://host/ or http://host:port/)");
  }
  return base;
}

TMirrorChecker::TMirrorChecker(const std::string& fingerprint, const std::string& replyPath)
    : fingerprint_(fingerprint), path_(replyPath) {
  ConfigureVerifyClient(http_);
}

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
    const std::string body = http_.FetchUrl(mirror + path_);
    const int status = http_.ResponseCode();
    const std::string notReply = NotAReply(body);
    if (status / 100 == 3 || !http_.Response().Location.empty()) {
      verdict.detail =
          "redirect to " + OneLine(http_.Response().Location) + " (not followed, as the launcher does not)";
    } else if (!notReply.empty()) {
      verdict.kind = TMirrorVerdictKind::Mismatch;
      verdict.detail = notReply;
    } else if (!IsMirrorAnswer(body)) {
      verdict.detail = "the reply holds nothing but blanks";
    } else {
      const TDecodedReply reply = JudgeReply(body, fingerprint_);
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
    // The launcher's client follows no redirect: it raises on one, as on any failure status.
    if (e.ReplyCode / 100 == 3 || !http_.Response().Location.empty())
      verdict.detail =
          "redirect to " + OneLine(http_.Response().Location) + " (not followed, as the launcher does not)";
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
  return line + " " + std::to_string(verdict.ms) + " ms";
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
  std::string loopback, privateNet, twice;
  std::vector<std::string> seen;
  for (std::size_t i = 0; i < mirrors.size(); ++i) {
    std::string hostPort, path;
    try {
      SplitHttpUrl(mirrors[i], hostPort, path);
    } catch (const EMirrorUrlError&) {
      continue;  // asking it says what is wrong with it
    }
    hostPort = LowerCase(hostPort);
    if (hostPort.find(':') == std::string::npos) hostPort += ":80";
    const std::string host = hostPort.substr(0, hostPort.find(':'));
    const std::string name = " M" + std::to_string(i + 1) + " " + VisibleBytes(hostPort);
    unsigned o[4];
    const bool ip = Ipv4(host, o);
    if (host == "localhost" || (ip && (o[0] == 127 || o[0] == 0)))
      loopback += name;
    else if (ip && (o[0] == 10 || (o[0] == 172 && o[1] >= 16 && o[1] <= 31) || (o[0] == 192 && o[1] == 168) ||
                    (o[0] == 169 && o[1] == 254)))
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
