#include "MirrorCheck.h"

#include <cstdint>

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
