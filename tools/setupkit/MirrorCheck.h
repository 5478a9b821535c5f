#pragma once
// Asking mirrors for a launcher's published reply the way the launcher asks them: its HTTP
// client with the verification window's settings, its request path and its judgement of the
// reply (TShareCode::ReplyMatches).
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/SysUtils.h"
#include "net/http/IdHTTP.h"

/// A URL refused before anything is asked (the message says why and what form is wanted).
SETUPTQ_EXCEPTION(EMirrorUrlError, Exception);

/// "http[s]://host/" or "http[s]://host:port/" (a folder path ending in "/" is kept), checked: a
/// URL without its scheme would be taken relative to the mirror asked before it. A full reply URL (".../brenlow/...ins.htm") is cut to its base,
/// and `note` then says so; otherwise `note` is left empty. Raises EMirrorUrlError.
std::string MirrorBaseUrl(const std::string& url, std::string& note);

/// Raises EMirrorUrlError unless url is "http://" or "https://" followed by a host (and
/// optionally a port and a path): the form every URL given to the launcher's client must have.
void CheckHttpUrl(const std::string& url);

enum class TMirrorVerdictKind { Match, Mismatch, NoAnswer };

struct TMirrorVerdict {
  std::string url;  // the reply's URL on the mirror
  TMirrorVerdictKind kind = TMirrorVerdictKind::NoAnswer;
  /// Mismatch: the code the launcher decodes, or the reason the body is no reply; no answer: the
  /// reason. Printable ASCII whatever the server sent.
  std::string detail;
  /// What the launcher decodes from the reply, when the mirror sent one (match or mismatch).
  std::string code;
  std::int64_t ms = 0;  // from the request to the verdict
  /// The route of the last try and why ("proxy HOST:PORT (environment http_proxy)"); empty when
  /// no proxy is configured for it.
  std::string route;
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

/// Asks every mirror at once, each on a thread of its own with a client of its own, so that the
/// whole check takes as long as the slowest mirror. `onVerdict(index, verdict)` runs on the
/// calling thread in mirror order, each as soon as it and every verdict before it are in;
/// `onWait(answered)` runs there while it waits (about ten times a second, for a progress line).
/// The verdicts come back in mirror order.
std::vector<TMirrorVerdict> CheckMirrorsAtOnce(
    const std::string& fingerprint, const std::string& replyPath, const std::vector<std::string>& mirrors,
    const std::function<void(std::size_t index, const TMirrorVerdict& verdict)>& onVerdict,
    const std::function<void(std::size_t answered)>& onWait);

/// CheckMirrorsAtOnce with a progress line on stderr when it is a terminal, and, when
/// printLines, each VerdictLine on stdout in mirror order as soon as it can be printed.
std::vector<TMirrorVerdict> AskMirrors(const std::string& fingerprint, const std::string& replyPath,
                                       const std::vector<std::string>& mirrors, bool printLines);

/// A verdict as a one-line JSON object: url, verdict (VerdictKindName), detail, code, ms.
std::string VerdictJson(const TMirrorVerdict& verdict);

/// What would make mirrors of a release useless to its users, one line per kind: loopback and
/// private (RFC 1918, link-local) addresses, which no user's machine reaches as the vendor's
/// server (a demo or test stub's mirrors), the same server named twice, and mirrors asked over
/// plain HTTP. Mirrors are named M1..M10 as release.cmake numbers them.
std::vector<std::string> MirrorWarnings(const std::vector<std::string>& mirrors);

/// "match", "mismatch" or "no_answer": a verdict's kind in JSON.
const char* VerdictKindName(TMirrorVerdictKind kind);

/// "URL match 12 ms" (with " via ROUTE" when a proxy setting decided the route), "URL mismatch
/// (got CODE) 8 ms" or
/// "URL no answer (REASON) 3 ms", on one line whatever the reason or the code holds.
std::string VerdictLine(const TMirrorVerdict& verdict);
