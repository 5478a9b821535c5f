// setupkit check-mirrors LAUNCHER [--mirror URL]...: asks every mirror the launcher's settings
// name (or those given) for its reply as the launcher would, and says for each whether the
// launcher would accept it.
#include <cstdio>
#include <string>
#include <vector>

#include "Command.h"
#include "LauncherFile.h"
#include "MirrorCheck.h"
#include "ReplyPublish.h"
#include "codes/QORMD5Unit.h"

namespace {
int RunCheckMirrors(const std::vector<std::string>& args) {
  const TCommandLine cl(args, {{{"--mirror"}, true}});
  cl.ExpectOperands(1, 1, "LAUNCHER");
  const std::string& path = cl.Operands()[0];
  // The URLs given are checked before anything is asked.
  std::vector<std::string> mirrors;
  for (const auto& url : cl.Values("--mirror")) {
    std::string note;
    try {
      mirrors.push_back(MirrorBaseUrl(url, note));
    } catch (const EMirrorUrlError& e) {
      throw EUsageError("--mirror " + e.Message());
    }
    if (!note.empty()) Print(stderr, "setupkit check-mirrors: %s\n", note.c_str());
  }
  TLauncherFile launcher;
  try {
    launcher = ReadLauncherWithSettings(path);
  } catch (const ELauncherError& e) {
    return Fail(e);
  }
  if (mirrors.empty()) mirrors = launcher.settings.mirrors;

  const std::string fingerprint = GetFileMD5(ArgPath(path));
  TMirrorChecker checker(fingerprint, launcher.settings.ReplyPath());
  TProgressLine progress;
  std::size_t matched = 0;
  for (std::size_t i = 0; i < mirrors.size(); ++i) {
    progress.Show("[" + std::to_string(i + 1) + "/" + std::to_string(mirrors.size()) + "] asking " +
                  VisibleBytes(mirrors[i]));
    const TMirrorVerdict verdict = checker.Check(mirrors[i]);
    progress.Clear();
    Print(stdout, "%s\n", VerdictLine(verdict).c_str());
    std::fflush(stdout);
    if (verdict.kind == TMirrorVerdictKind::Match) ++matched;
  }
  if (matched == mirrors.size()) return 0;
  return Fail(std::to_string(mirrors.size() - matched) + " of " + std::to_string(mirrors.size()) +
              " mirrors do not serve the reply for " + path + " (fingerprint " + fingerprint + ")");
}

const RegisterCommand reg{"check-mirrors", "LAUNCHER [--mirror URL]...",
                          "ask every mirror LAUNCHER's settings name (or the --mirror URLs, http://host[:port]/) "
                          "for its reply with the launcher's client and judgement; one line per mirror (match, "
                          "mismatch, no answer, and why; milliseconds); exit 0 only when every mirror matches",
                          RunCheckMirrors};
}  // namespace
