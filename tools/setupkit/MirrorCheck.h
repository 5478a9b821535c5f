#pragma once
// Asking mirrors for a launcher's published reply the way the launcher asks them: its HTTP
// client with the verification window's settings, its request path and its judgement of the
// reply (TShareCode::ReplyMatches).
#include <cstdint>
#include <string>

#include "net/http/IdHTTP.h"

enum class TMirrorVerdictKind { Match, Mismatch, NoAnswer };

struct TMirrorVerdict {
  std::string url;  // the reply's URL on the mirror
  TMirrorVerdictKind kind = TMirrorVerdictKind::NoAnswer;
  std::string detail;    // mismatch: the code the launcher decodes; no answer: the reason
  std::int64_t ms = 0;   // from the request to the verdict
};

/// One client for a run over the mirrors, as the window keeps one for its walk (a kept-alive
/// connection is reused). The settings must be assigned (AssignSettings) first.
class TMirrorChecker {
 public:
  /// For the launcher whose fingerprint (32 lower-case hexadecimal digits) is given.
  explicit TMirrorChecker(const std::string& fingerprint);
  /// Asks the mirror with base URL `mirror` ("http://host/") for this release's reply. A
  /// failed request, or a body of blanks only, is no answer, as the launcher counts it.
  TMirrorVerdict Check(const std::string& mirror);

 private:
  TIdHTTP http_;
  std::string fingerprint_;
  std::string path_;
};

/// "URL match 12 ms", "URL mismatch (got CODE) 8 ms" or "URL no answer (REASON) 3 ms", on one
/// line whatever the reason or the code holds.
std::string VerdictLine(const TMirrorVerdict& verdict);
