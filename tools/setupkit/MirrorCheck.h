#pragma once
// Asking mirrors for a launcher's published reply the way the launcher asks them: its HTTP
// client with the verification window's settings, its request path and its judgement of the
// reply (TShareCode::ReplyMatches).
#include <cstdint>
#include <string>

#include "base/SysUtils.h"
#include "net/http/IdHTTP.h"

/// A URL refused before anything is asked (the message says why and what form is wanted).
SETUPTQ_EXCEPTION(EMirrorUrlError, Exception);

/// "http://host/" or "http://host:port/" (a folder path ending in "/" is kept), checked: the
/// launcher asks over plain HTTP only, and a URL without its scheme would be taken relative to
/// the mirror asked before it. A full reply URL (".../brenlow/...ins.htm") is cut to its base,
/// and `note` then says so; otherwise `note` is left empty. Raises EMirrorUrlError.
std::string MirrorBaseUrl(const std::string& url, std::string& note);

/// Raises EMirrorUrlError unless url is "http://" followed by a host (and optionally a port and
/// a path): the form every URL given to the launcher's client must have.
void CheckHttpUrl(const std::string& url);

enum class TMirrorVerdictKind { Match, Mismatch, NoAnswer };

struct TMirrorVerdict {
  std::string url;  // the reply's URL on the mirror
  TMirrorVerdictKind kind = TMirrorVerdictKind::NoAnswer;
  /// Mismatch: the code the launcher decodes, or the reason the body is no reply; no answer: the
  /// reason. Printable ASCII whatever the server sent.
  std::string detail;
  std::int64_t ms = 0;  // from the request to the verdict
};

/// One client for a run over the mirrors, as the window keeps one for its walk (a kept-alive
/// connection is reused).
class TMirrorChecker {
 public:
  /// For the launcher whose fingerprint (32 lower-case hexadecimal digits) and reply path
  /// ("brenlow/...ins.htm", from its settings) are given.
  TMirrorChecker(const std::string& fingerprint, const std::string& replyPath);
  /// Asks the mirror with base URL `mirror` (checked by MirrorBaseUrl) for this release's reply.
  /// A failed request, a redirect or a body of blanks only is no answer, as the launcher counts it.
  TMirrorVerdict Check(const std::string& mirror);

 private:
  TIdHTTP http_;
  std::string fingerprint_;
  std::string path_;
};

/// "URL match 12 ms", "URL mismatch (got CODE) 8 ms", "URL mismatch (not a reply: ...) 8 ms" or
/// "URL no answer (REASON) 3 ms", on one line whatever the reason or the code holds.
std::string VerdictLine(const TMirrorVerdict& verdict);
