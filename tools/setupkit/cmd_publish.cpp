// setupkit publish [--unsigned] LAUNCHER WEBROOT: writes the reply file the mirrors serve for a
// built launcher, at the path its own settings name, after checking that it is a launcher worth
// publishing and that it will accept the reply.
#include <algorithm>
#include <cstdio>
#include <memory>

#include "Command.h"
#include "LauncherFile.h"
#include "ReplyPublish.h"
#include "base/SysUtils.h"

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

int RunPublish(const std::vector<std::string>& args) {
  const TCommandLine cl(args, {{{"--unsigned"}, false}});
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
    names += (names.empty() ? "" : ", ") + VisibleBytes(e.name);
    hasInstaller = hasInstaller || LowerCase(e.name) == LowerCase(s.installer);
  }
  if (!hasInstaller)
    return Fail("refused: the payload of " + path + " holds no " + s.installer + " (it holds: " + names +
                "), so the launcher would start nothing. Attach again, the installer second: setupkit attach STUB "
                "INSTALLER -o setupTQ.exe");
  if (!launcher.isSigned && !cl.Has("--unsigned"))
    return Fail("refused: " + path +
                " is not signed. Users download the signed file, whose fingerprint "
                "differs, so this reply would fail for every one of them. Sign it first (osslsigncode sign, see "
                "README \"Publishing a release\") and publish the signed file, or pass --unsigned for a test release");

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
          s.productCode.c_str(), s.version.c_str());
  return 0;
}

const RegisterCommand reg{"publish", "[--unsigned] LAUNCHER WEBROOT",
                          "write WEBROOT/brenlow/<product><version>ins.htm (the path LAUNCHER's settings name), the "
                          "mirror reply for LAUNCHER; refused for a file that is not a launcher, a launcher without "
                          "its installer, an unsigned launcher (unless --unsigned) and one that would not accept "
                          "its reply",
                          RunPublish};
}  // namespace
