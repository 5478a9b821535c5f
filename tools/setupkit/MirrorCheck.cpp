#include "MirrorCheck.h"

#include <cstdint>

#include "ReplyPublish.h"
#include "base/SysUtils.h"
#include "launcher/allparam.h"
#include "platform/Platform.h"
#include "verify/ShareCodeCheckunit.h"
#include "verify/VerifyClient.h"

namespace {
// A decoded code is shown up to this many visible bytes: enough for any fingerprint, short
// enough that a web page served in the reply's place stays one readable line.
constexpr std::size_t kShownCodeBytes = 48;

// Line ends (an exception's "Socket Error # n" CR LF text) become single spaces.
std::string OneLine(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\r' || c == '\n') {
      if (!out.empty() && out.back() != ' ') out += ' ';
    } else {
      out += c;
    }
  }
  return Trim(out);
}
}  // namespace

TMirrorChecker::TMirrorChecker(const std::string& fingerprint)
    : fingerprint_(fingerprint), path_(BuildVerifyRequestPath('.')) {
  ConfigureVerifyClient(http_);
}

TMirrorVerdict TMirrorChecker::Check(const std::string& mirror) {
  TMirrorVerdict verdict;
  verdict.url = mirror + path_;
  const std::uint32_t start = platform::TickCount();
  try {
    const std::string body = http_.FetchUrl(verdict.url);
    const TDecodedReply reply = JudgeReply(body, fingerprint_);
    if (!IsMirrorAnswer(body)) {
      verdict.detail = "the reply holds nothing but blanks";
    } else if (reply.matches) {
      verdict.kind = TMirrorVerdictKind::Match;
    } else {
      verdict.kind = TMirrorVerdictKind::Mismatch;
      const std::string& code = reply.serverCode;
      verdict.detail = VisibleBytes(code.substr(0, kShownCodeBytes)) + (code.size() > kShownCodeBytes ? "..." : "");
    }
  } catch (const std::exception& e) {
    verdict.detail = OneLine(e.what());
  }
  verdict.ms = static_cast<std::uint32_t>(platform::TickCount() - start);
  return verdict;
}

std::string VerdictLine(const TMirrorVerdict& verdict) {
  std::string line = verdict.url + " ";
  switch (verdict.kind) {
    case TMirrorVerdictKind::Match: line += "match"; break;
    case TMirrorVerdictKind::Mismatch: line += "mismatch (got " + verdict.detail + ")"; break;
    case TMirrorVerdictKind::NoAnswer: line += "no answer (" + verdict.detail + ")"; break;
  }
  return line + " " + std::to_string(verdict.ms) + " ms";
}
