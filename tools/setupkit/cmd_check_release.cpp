// setupkit check-release [--release-file FILE] [--mirror URL]... [--json] LAUNCHER: the checks
// a launcher must pass before its release is announced, each with its verdict: signed (and by
// whom), carrying the installer, made for the release that release.cmake describes, served by
// every mirror, and the reply served being this build's.
#include <cstdio>
#include <string>
#include <vector>

#include "Command.h"
#include "Json.h"
#include "LauncherFile.h"
#include "MirrorCheck.h"
#include "ReleaseFile.h"
#include "ReplyPublish.h"
#include "archive/ArchiveFormat.h"
#include "codes/QORMD5Unit.h"

namespace {

struct TCheck {
  const char* name;
  bool passed;
  std::string detail;
  std::vector<std::string> mirrors = {};  // the mirrors it fails for, each with why
};

std::string Mirror(std::size_t i, const TMirrorVerdict& v) { return "M" + std::to_string(i + 1) + " " + v.url; }

TCheck SignedCheck(const TSignatureCheck& s) {
  if (s.valid) return {"signed", true, SignatureFacts(s)};
  if (s.present) return {"signed", false, "its certificate table is no valid signature of this file: " + s.problem};
  return {"signed", false, "no signature: sign it (osslsigncode sign, README \"Publishing a release\")"};
}

TCheck InstallerCheck(const TLauncherFile& launcher, const std::string& path) {
  const std::string& installer = launcher.settings.installer;
  if (!launcher.hasPayload) return {"installer", false, "a stub without a payload: attach the installer"};
  std::string names;
  std::vector<TPayloadEntry> entries = ListPayload(*OpenPayload(path));
  for (const auto& e : entries) {
    if (SameEntryName(e.name, installer))
      return {"installer", true,
              "carries " + ShownName(e.name) + " (" + SizeText(e.size) + ") among " + std::to_string(entries.size()) +
                  " entries"};
    names += (names.empty() ? "" : ", ") + ShownName(e.name);
  }
  return {"installer", false,
          "carries no " + ShownName(installer) + ", which the launcher starts (it holds: " + names + ")"};
}

TCheck ReleaseCheck(const TLauncherSettings& s, const TReleaseFile& r, const std::string& releasePath) {
  std::string wrong;
  auto compare = [&wrong](const std::string& what, const std::string& ours, const std::string& theirs) {
    if (ours != theirs)
      wrong += (wrong.empty() ? "" : "; ") + what + " " + (ours.empty() ? "(none)" : ShownName(ours)) +
               ", the release file says " + (theirs.empty() ? "(none)" : ShownName(theirs));
  };
  compare("product code", s.productCode, r.productCode);
  compare("version", s.version, r.version);
  compare("home page", s.homePage, r.homePage);
  compare("installer quiet arguments", s.quietArguments, r.quietArguments);
  compare("no-restart argument", s.noRestartArgument, r.noRestartArgument);
  if (s.mirrors.size() != r.mirrors.size())
    wrong += (wrong.empty() ? "" : "; ") + std::to_string(s.mirrors.size()) + " mirrors, the release file names " +
             std::to_string(r.mirrors.size());
  else {
    std::size_t differ = 0, first = 0;
    for (std::size_t i = s.mirrors.size(); i-- > 0;)
      if (s.mirrors[i] != r.mirrors[i]) ++differ, first = i;
    if (differ > 0)
      compare(std::to_string(differ) + " of " + std::to_string(s.mirrors.size()) + " mirrors differ, M" +
                  std::to_string(first + 1),
              s.mirrors[first], r.mirrors[first]);
  }
  if (!wrong.empty())
    return {"release", false,
            wrong + " (" + releasePath +
                "): a launcher of another stub or release (after raising the version and building, install the "
                "new stub with cmake --install, then attach, sign and publish again)"};
  return {"release", true,
          "product code " + ShownName(s.productCode) + ", version " + ShownName(s.version) +
              ", home page, mirrors and the installer's quiet arguments as " + releasePath + " says"};
}

int RunCheckRelease(const std::vector<std::string>& args) {
  const TCommandLine cl(args, {{{"--release-file"}, true}, {{"--mirror"}, true}, {{"--json"}, false}});
  cl.ExpectOperands(1, 1, "LAUNCHER");
  const std::string& path = cl.Operands()[0];
  const bool json = cl.Has("--json");
  std::string releasePath = cl.Value("--release-file");
  if (releasePath.empty()) {
    releasePath = "release.cmake";
    try {
      OpenRead(releasePath);
    } catch (const EFOpenError&) {
      throw EUsageError("no release.cmake in this folder: run from the checkout's top, or give --release-file FILE");
    }
  }
  std::vector<std::string> mirrors = MirrorOptions(cl, "check-release");
  const TReleaseFile release = ReadReleaseFile(releasePath);
  TLauncherFile launcher;
  try {
    launcher = ReadLauncherWithSettings(path);
  } catch (const ELauncherError& e) {
    return Fail(e.Message());
  }
  const TLauncherSettings& s = launcher.settings;
  if (mirrors.empty()) mirrors = s.mirrors;
  const std::string fingerprint = GetFileMD5(ArgPath(path));

  std::vector<TCheck> checks = {SignedCheck(launcher.signature), InstallerCheck(launcher, path),
                                ReleaseCheck(s, release, releasePath)};
  const std::vector<TMirrorVerdict> verdicts = AskMirrors(fingerprint, s.ReplyPath(), mirrors, false);
  std::vector<std::string> silent, stale;
  for (std::size_t i = 0; i < verdicts.size(); ++i) {
    const TMirrorVerdict& v = verdicts[i];
    if (v.kind == TMirrorVerdictKind::NoAnswer || v.code.empty())
      silent.push_back(Mirror(i, v) + (v.kind == TMirrorVerdictKind::NoAnswer ? " no answer (" : " (") + v.detail +
                       ")");
    else if (v.kind == TMirrorVerdictKind::Mismatch)
      stale.push_back(Mirror(i, v) + " serves " + v.code);
  }
  const std::string total = std::to_string(verdicts.size());
  checks.push_back({"mirrors", silent.empty(),
                    silent.empty() ? "all " + total + " serve a reply at " + ShownName(s.ReplyPath())
                                   : std::to_string(silent.size()) + " of " + total + " serve no reply:",
                    silent});
  std::string refusal;  // why this build's own reply would not be accepted
  try {
    BuildReplyFor(fingerprint);
  } catch (const EPublishError& e) {
    refusal = e.Message();
  }
  const bool anyReply = silent.size() < verdicts.size();
  std::string reply = "every reply served is this file's fingerprint " + fingerprint;
  if (!stale.empty())
    reply = std::to_string(stale.size()) + " of " + total +
            " serve another build's reply, not this file's fingerprint " + fingerprint + ":";
  else if (!refusal.empty())
    reply = "this build cannot be published: " + refusal;
  else if (!anyReply)
    reply = "no mirror serves a reply to compare";
  checks.push_back({"reply", stale.empty() && refusal.empty() && anyReply, reply, stale});
  // The release's own mirrors, also when others were asked in their place.
  const std::vector<std::string> signatureWarnings = SignatureWarnings(launcher.signature);
  const std::vector<std::string> mirrorWarnings = MirrorWarnings(s.mirrors);
  std::vector<std::string> warnings = signatureWarnings;
  warnings.insert(warnings.end(), mirrorWarnings.begin(), mirrorWarnings.end());
  const std::string quietWarning =
      s.quietArguments.empty() ? "the release names no quiet arguments for its installer (SETUPTQ_INSTALLER_QUIET): a "
                                 "/quiet run of the launcher will show the installer's own windows"
                               : "";

  std::size_t failed = 0;
  for (const TCheck& c : checks) failed += c.passed ? 0 : 1;
  if (json) {
    std::vector<std::string> items, warned, asked;
    for (const TCheck& c : checks) {
      std::vector<std::string> failing;
      // Every message is a display text in the platform's form, as the terminal is given it.
      for (const auto& m : c.mirrors) failing.push_back(JsonPath(m));
      items.push_back(JsonObject({{"name", JsonText(c.name)},
                                  {"passed", JsonBool(c.passed)},
                                  {"detail", JsonPath(c.detail)},
                                  {"mirrors", JsonArray(failing)}}));
    }
    for (const auto& w : warnings) warned.push_back(JsonPath(w));
    if (!quietWarning.empty()) warned.push_back(JsonPath(quietWarning));
    for (const auto& v : verdicts) asked.push_back(VerdictJson(v));
    Print(stdout, "%s\n",
          JsonObject({{"file", JsonPath(path)},
                      {"fingerprint", JsonText(fingerprint)},
                      {"release_file", JsonPath(releasePath)},
                      {"checks", JsonArray(items, true)},
                      {"warnings", JsonArray(warned, true)},
                      {"mirrors", JsonArray(asked, true)},
                      {"passed", JsonBool(failed == 0)}},
                     true)
              .c_str());
  } else {
    Print(stdout, "%s (fingerprint %s)\n", path.c_str(), fingerprint.c_str());
    for (const TCheck& c : checks) {
      Print(stdout, "  %s %-8s %s\n", c.passed ? "pass" : "FAIL", c.name, c.detail.c_str());
      for (const auto& m : c.mirrors) Print(stdout, "                %s\n", m.c_str());
    }
    for (const auto& w : signatureWarnings) Print(stdout, "  warn %-8s %s\n", "signed", w.c_str());
    for (const auto& w : mirrorWarnings) Print(stdout, "  warn %-8s %s\n", "mirrors", w.c_str());
    if (!quietWarning.empty()) Print(stdout, "  warn %-8s %s\n", "quiet", quietWarning.c_str());
  }
  if (failed == 0) {
    if (!json) Print(stdout, "all %zu checks pass\n", checks.size());
    return 0;
  }
  return Fail(std::to_string(failed) + " of " + std::to_string(checks.size()) + " checks fail for " + path);
}

const RegisterCommand reg{
    "check-release", "[--release-file FILE] [--mirror URL]... [--json] LAUNCHER",
    "the checks before announcing LAUNCHER, each with its verdict: signed (its Authenticode "
    "digest is the file's and its value verifies; by whom), carries the installer, product code, version, home page "
    "and mirrors as FILE (default: release.cmake in this folder) says, every mirror serves a "
    "reply, every reply served is this build's; warns of a chain that ends at no trusted root, "
    "no time stamp, loopback, private or repeated mirrors, and of an installer without quiet arguments; exit 0 only "
    "when every check passes",
    RunCheckRelease};
}  // namespace
