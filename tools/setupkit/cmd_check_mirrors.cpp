// setupkit check-mirrors LAUNCHER [--mirror URL]...: asks every mirror for the launcher's
// reply as the launcher would, and says for each whether the launcher would accept it.
#include <cstdio>
#include <string>
#include <vector>

#include "Command.h"
#include "MirrorCheck.h"
#include "launcher/MirrorConfig.h"
#include "launcher/allparam.h"
#include "platform/Platform.h"
#include "verify/QORMD5Unit.h"

namespace {
/// The progress line on a terminal: rewritten in place, and blanked before a verdict line.
class TProgressLine {
 public:
  TProgressLine() : shown_(platform::StderrIsTerminal()) {}
  void Show(const std::string& text) {
    if (!shown_) return;
    Clear();
    std::fprintf(stderr, "%s", text.c_str());
    std::fflush(stderr);
    width_ = text.size();
  }
  void Clear() {
    if (!shown_ || width_ == 0) return;
    std::fprintf(stderr, "\r%s\r", std::string(width_, ' ').c_str());
    std::fflush(stderr);
    width_ = 0;
  }

 private:
  bool shown_;
  std::size_t width_ = 0;
};

int RunCheckMirrors(const std::vector<std::string>& args) {
  const char* usage = "check-mirrors: usage: setupkit check-mirrors LAUNCHER.exe [--mirror URL]...";
  std::string launcher;
  std::vector<std::string> mirrors;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--mirror") {
      if (i + 1 == args.size()) return Fail(usage);
      std::string url = args[++i];
      if (url.empty() || url.back() != '/') url += '/';  // a base URL, as the table holds them
      mirrors.push_back(url);
    } else if (launcher.empty()) {
      launcher = args[i];
    } else {
      return Fail(usage);
    }
  }
  if (launcher.empty()) return Fail(usage);
  if (mirrors.empty()) mirrors.assign(kMirrorUrls, kMirrorUrls + kMirrorCount);

  AssignSettings();
  const std::string fingerprint = GetFileMD5(launcher);
  TMirrorChecker checker(fingerprint);
  TProgressLine progress;
  std::size_t matched = 0;
  for (std::size_t i = 0; i < mirrors.size(); ++i) {
    progress.Show("[" + std::to_string(i + 1) + "/" + std::to_string(mirrors.size()) + "] asking " + mirrors[i]);
    const TMirrorVerdict verdict = checker.Check(mirrors[i]);
    progress.Clear();
    std::printf("%s\n", VerdictLine(verdict).c_str());
    std::fflush(stdout);
    if (verdict.kind == TMirrorVerdictKind::Match) ++matched;
  }
  if (matched == mirrors.size()) return 0;
  return Fail(std::to_string(mirrors.size() - matched) + " of " + std::to_string(mirrors.size()) +
              " mirrors do not serve the reply for " + launcher + " (fingerprint " + fingerprint + ")");
}

const RegisterCommand reg{"check-mirrors", "LAUNCHER.exe [--mirror URL]...",
                          "ask every mirror (the release table, or the URLs given) for LAUNCHER's reply with "
                          "the launcher's client and judgement; one line per mirror (match, mismatch, no "
                          "answer; milliseconds); exit 0 only when every mirror matches",
                          RunCheckMirrors};
}  // namespace
