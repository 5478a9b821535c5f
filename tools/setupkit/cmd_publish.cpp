// setupkit publish [--unsigned] [--offline] [--create] LAUNCHER WEBROOT: writes the reply file the mirrors
// serve for a built launcher, at the path its own settings name, after checking that it is a
// launcher worth publishing, that it will accept the reply, and that its mirrors do not serve
// another build's reply at that path already (which users of that build would then fail).
#include <algorithm>
#include <cstdio>
#include <memory>

#include "Command.h"
#include "LauncherFile.h"
#include "MirrorCheck.h"
#include "ReleaseFile.h"
#include "ReplyPublish.h"
#include "archive/ArchiveFormat.h"
#include "base/SysUtils.h"
#include "codes/QORMD5Unit.h"

namespace {
std::string ExistingReply(const std::string& path) {
  std::unique_ptr<TFileStream> opened;
  try {
    opened = std::make_unique<TFileStream>(ArgPath(path), platform::FileAccess::Read, platform::FileShare::Read,
                                           platform::FileCreate::OpenExisting);
  } catch (const EFOpenError&) {
    return "";  // none published yet
  }
  TFileStream& file = *opened;
  std::string body(static_cast<std::size_t>(std::min<std::int64_t>(file.Size(), kMaxReplyFileSize)), '\0');
  if (!body.empty()) file.ReadBuffer(&body[0], static_cast<int>(body.size()));
  return body;
}

// What the refusal adds about the stub: a launcher still of the old version usually means the
// stub attached was installed before the version was raised. Said exactly when release.cmake is
// in this folder; otherwise as the step to check.
std::string StubAdvice(const TLauncherSettings& s) {
  const std::string install =
      "install the new stub (cmake --install build/win32 --prefix \"$HOME/setuptq\"; setupkit info of the "
      "installed stub shows its version), then attach, sign and publish again";
  try {
    const std::string version = ReadReleaseFile("release.cmake").version;
    if (version == s.version) return "";
    return ". This launcher is version " + VisibleBytes(s.version) + " while release.cmake says " +
           VisibleBytes(version) + ": its stub was installed before the version was raised. Build, " + install;
  } catch (const Exception&) {
    // Published from a release folder: nothing here to compare with.
  }
  return ". If release.cmake says a higher version already, this launcher's stub was installed before it "
         "was raised: build, " +
         install;
}

// Asks the launcher's mirrors for the reply at its path; the refusal when one serves another
// build's, or "".
std::string ServedByAnotherBuild(const TLauncherFile& launcher, const std::string& fingerprint) {
  const TLauncherSettings& s = launcher.settings;
  const std::vector<TMirrorVerdict> verdicts = AskMirrors(fingerprint, s.ReplyPath(), s.mirrors, false);
  std::vector<std::string> silent;
  for (std::size_t i = 0; i < verdicts.size(); ++i) {
    const TMirrorVerdict& v = verdicts[i];
    if (v.kind == TMirrorVerdictKind::NoAnswer) silent.push_back("M" + std::to_string(i + 1) + " " + VerdictLine(v));
    // A reply that decodes to a fingerprint: a build was published there.
    if (v.kind != TMirrorVerdictKind::Mismatch || v.code.size() != 32 ||
        v.code.find_first_not_of("0123456789abcdef") != std::string::npos)
      continue;
    return v.url + " already serves the reply of another build of " + VisibleBytes(s.productCode) + " " +
           VisibleBytes(s.version) + " (fingerprint " + v.code +
           "): publishing this one under the same version would make every copy of that build that users "
           "downloaded fail its check. Raise SETUPTQ_PRODUCT_VERSION in release.cmake, then build, attach, sign "
           "and publish the new file (signing again also gives a file a new fingerprint, so a re-signed build "
           "needs a new version too). --offline publishes without asking, for a release no user has yet" +
           StubAdvice(s);
  }
  if (!silent.empty()) {
    Print(stderr,
          "setupkit publish: note: %zu of %zu mirrors gave no reply at %s (a mirror that did not answer at all may "
          "still serve another build's):\n",
          silent.size(), verdicts.size(), VisibleBytes(s.ReplyPath()).c_str());
    for (const std::string& line : silent) Print(stderr, "  %s\n", line.c_str());
  }
  return "";
}

int RunPublish(const std::vector<std::string>& args) {
  const TCommandLine cl(args, {{{"--unsigned"}, false}, {{"--offline"}, false}, {{"--create"}, false}});
  cl.ExpectOperands(2, 2, "LAUNCHER and WEBROOT");
  const std::string& path = cl.Operands()[0];
  const std::string& webroot = cl.Operands()[1];
  TLauncherFile launcher;
  try {
    launcher = ReadLauncherWithSettings(path);
  } catch (const ELauncherError& e) {
    return Fail("refused: " + ErrorText(e));
  }
  const TLauncherSettings& s = launcher.settings;
  if (!launcher.hasPayload)
    return Fail("refused: " + path +
                " carries no payload (it is a stub): users would get nothing to "
                "install. Attach the installer first: setupkit attach " +
                path + " INSTALLER -o setupTQ.exe");
  const std::vector<TPayloadEntry> entries = ListPayload(*OpenPayload(path));
  std::string names;
  bool hasInstaller = false;
  for (const auto& e : entries) {
    names += (names.empty() ? "" : ", ") + ShownName(e.name);
    hasInstaller = hasInstaller || SameEntryName(e.name, s.installer);
  }
  if (!hasInstaller)
    return Fail("refused: the payload of " + path + " holds no " + ShownName(s.installer) + " (it holds: " + names +
                "), so the launcher would start nothing. Attach again, the installer second: setupkit attach STUB "
                "INSTALLER -o setupTQ.exe");
  if (launcher.signature.present && !launcher.signature.valid)
    return Fail("refused: " + path +
                " carries a certificate table that is no valid signature of it: " + launcher.signature.problem +
                ". Sign the unsigned launcher again (osslsigncode sign) and publish that file");
  if (!launcher.signature.valid && !cl.Has("--unsigned"))
    return Fail("refused: " + path +
                " is not signed. Users download the signed file, whose fingerprint "
                "differs, so this reply would fail for every one of them. Sign it first (osslsigncode sign, see "
                "README \"Publishing a release\") and publish the signed file, or pass --unsigned for a test release");
  // A web root is made only when asked: a mistyped name would otherwise take the reply that
  // the mirrors never copy.
  const platform::PathKind root = platform::KindOfPath(ArgPath(webroot));
  if (root != platform::PathKind::Directory && (root != platform::PathKind::None || !cl.Has("--create"))) {
    Fail("refused: the web root " + webroot +
         (root == platform::PathKind::None
              ? " does not exist (a mistyped name?). Give the folder the mirrors are copied from, or add --create "
                "to make it"
              : " is not a folder"));
    return kExitInput;
  }
  for (const std::string& w : SignatureWarnings(launcher.signature))
    Print(stderr, "setupkit publish: warning: %s\n", w.c_str());
  if (!cl.Has("--offline")) {
    const std::string refusal = ServedByAnotherBuild(launcher, GetFileMD5(ArgPath(path)));
    if (!refusal.empty()) return Fail("refused: " + refusal);
  }

  const std::string before = ExistingReply(ReplyFilePath(webroot, s.ReplyPath()));
  TPublishedReply reply;
  try {
    reply = PublishReply(path, webroot, s.ReplyPath());
  } catch (const EPublishError& e) {
    return Fail("refused: " + ErrorText(e));
  }
  Print(stdout, "%s\n  fingerprint %s\n", reply.path.c_str(), reply.fingerprint.c_str());
  if (!before.empty() && before != reply.body)
    Print(stdout,
          "  replaced the reply of another build of %s %s: every copy of that build downloaded before now "
          "fails its check. Give each new build a new version (SETUPTQ_PRODUCT_VERSION in release.cmake)\n",
          VisibleBytes(s.productCode).c_str(), VisibleBytes(s.version).c_str());
  return 0;
}

const RegisterCommand reg{
    "publish", "[--unsigned] [--offline] [--create] LAUNCHER WEBROOT",
    "write WEBROOT/brenlow/<product><version>ins.htm (the path LAUNCHER's settings name), the "
    "mirror reply for LAUNCHER; WEBROOT must exist (--create makes it); refused for a file that is not a launcher, a "
    "launcher without "
    "its installer, a launcher whose signature does not sign it, an unsigned launcher (unless --unsigned), "
    "one that would not accept its reply, and one whose mirrors already serve another build's "
    "reply at that path (they are asked first, unless --offline)",
    RunPublish};
}  // namespace
