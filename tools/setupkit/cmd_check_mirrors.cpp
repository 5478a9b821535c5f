// setupkit check-mirrors [--json] LAUNCHER [--mirror URL]...: asks every mirror the launcher's
// settings name (or those given), all at once, for its reply as the launcher would, and says for
// each whether the launcher would accept it.
#include <cstdio>
#include <string>
#include <vector>

#include "Command.h"
#include "Json.h"
#include "LauncherFile.h"
#include "MirrorCheck.h"
#include "ReplyPublish.h"
#include "codes/QORMD5Unit.h"

std::vector<std::string> MirrorOptions(const TCommandLine& cl, const char* command) {
  std::vector<std::string> mirrors;
  for (const auto& url : cl.Values("--mirror")) {
    std::string note;
    try {
      mirrors.push_back(MirrorBaseUrl(url, note));
    } catch (const EMirrorUrlError& e) {
      throw EUsageError("--mirror " + e.Message());
    }
    if (!note.empty()) Print(stderr, "setupkit %s: %s\n", command, note.c_str());
  }
  return mirrors;
}

namespace {
int RunCheckMirrors(const std::vector<std::string>& args) {
  const TCommandLine cl(args, {{{"--mirror"}, true}, {{"--json"}, false}});
  cl.ExpectOperands(1, 1, "LAUNCHER");
  const std::string& path = cl.Operands()[0];
  const bool json = cl.Has("--json");
  // The URLs given are checked before anything is asked.
  std::vector<std::string> mirrors = MirrorOptions(cl, "check-mirrors");
  TLauncherFile launcher;
  try {
    launcher = ReadLauncherWithSettings(path);
  } catch (const ELauncherError& e) {
    return Fail(e);
  }
  if (mirrors.empty()) mirrors = launcher.settings.mirrors;

  const std::string fingerprint = GetFileMD5(ArgPath(path));
  const std::vector<TMirrorVerdict> verdicts = AskMirrors(fingerprint, launcher.settings.ReplyPath(), mirrors, !json);
  std::size_t matched = 0;
  std::vector<std::string> items;
  for (const TMirrorVerdict& v : verdicts) {
    if (v.kind == TMirrorVerdictKind::Match) ++matched;
    items.push_back(VerdictJson(v));
  }
  if (json)
    Print(stdout, "%s\n",
          JsonObject({{"file", JsonPath(path)},
                      {"fingerprint", JsonText(fingerprint)},
                      {"reply_path", JsonText(launcher.settings.ReplyPath())},
                      {"mirrors", JsonArray(items, true)},
                      {"matched", JsonNumber(static_cast<std::int64_t>(matched))},
                      {"all_match", JsonBool(matched == mirrors.size())}},
                     true)
              .c_str());
  if (matched == mirrors.size()) return 0;
  return Fail(std::to_string(mirrors.size() - matched) + " of " + std::to_string(mirrors.size()) +
              " mirrors do not serve the reply for " + path + " (fingerprint " + fingerprint + ")");
}

const RegisterCommand reg{"check-mirrors", "[--json] LAUNCHER [--mirror URL]...",
                          "ask every mirror LAUNCHER's settings name (or the --mirror URLs, http[s]://host[:port]/), "
                          "all at once, for its reply with the launcher's client and judgement; one line per mirror "
                          "in their order (match, mismatch, no answer, and why; milliseconds), or --json; exit 0 "
                          "only when every mirror matches",
                          RunCheckMirrors};
}  // namespace
