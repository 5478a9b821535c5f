// setupkit info [--json] LAUNCHER: what a launcher (or stub) says of itself: its release
// settings, fingerprint, payload and signature, and what in its mirrors would fail its users.
#include <cinttypes>
#include <cstdio>

#include "Command.h"
#include "Json.h"
#include "LauncherFile.h"
#include "MirrorCheck.h"
#include "ReplyPublish.h"
#include "codes/QORMD5Unit.h"

namespace {

std::string SignatureText(const TSignatureCheck& s) {
  if (s.valid) return "yes, " + SignatureFacts(s);
  if (s.present) return "no: its certificate table is no valid signature of this file: " + s.problem;
  return "no";
}

int RunInfo(const std::vector<std::string>& args) {
  const TCommandLine cl(args, {{{"--json"}, false}});
  cl.ExpectOperands(1, 1, "LAUNCHER");
  const std::string& path = cl.Operands()[0];
  TLauncherFile launcher;
  try {
    launcher = ReadLauncherWithSettings(path);
  } catch (const ELauncherError& e) {
    return Fail(e);
  }
  const TLauncherSettings& s = launcher.settings;
  const TSignatureCheck& signature = launcher.signature;
  const std::string fingerprint = GetFileMD5(ArgPath(path));
  std::vector<TPayloadEntry> entries;
  if (launcher.hasPayload) entries = ListPayload(*OpenPayload(path));
  std::vector<std::string> warnings = SignatureWarnings(signature);
  for (const std::string& w : MirrorWarnings(s.mirrors)) warnings.push_back(w);

  if (cl.Has("--json")) {
    std::vector<std::string> mirrors, items, warned;
    for (const auto& m : s.mirrors) mirrors.push_back(JsonText(m));
    for (const auto& e : entries)
      items.push_back(
          JsonObject({{"name", JsonText(e.name)}, {"size", JsonNumber(e.size)}, {"packed", JsonNumber(e.packed)}}));
    for (const auto& w : warnings) warned.push_back(JsonText(w));
    const std::string payload =
        launcher.hasPayload
            ? JsonObject({{"size", JsonNumber(launcher.payloadSize)}, {"entries", JsonArray(items, true)}}, true)
            : "null";
    const std::string stampChain = signature.timeStampChain.empty() ? "null" : JsonText(signature.timeStampChain);
    const std::string stampProblem = signature.timeStampProblem.empty() ? "null" : JsonText(signature.timeStampProblem);
    Print(stdout, "%s\n",
          JsonObject({{"file", JsonPath(path)},
                      {"version", JsonText(s.version)},
                      {"product_code", JsonText(s.productCode)},
                      {"reply_path", JsonText(s.ReplyPath())},
                      {"mirrors", JsonArray(mirrors)},
                      {"home_page", JsonText(s.homePage)},
                      {"installer", JsonText(s.installer)},
                      {"installer_quiet", JsonText(s.quietArguments)},
                      {"installer_no_restart", JsonText(s.noRestartArgument)},
                      {"fingerprint", JsonText(fingerprint)},
                      {"payload", payload},
                      {"signed", JsonBool(signature.valid)},
                      {"signer", signature.signer.empty() ? "null" : JsonText(signature.signer)},
                      {"signature_problem", signature.problem.empty() ? "null" : JsonText(signature.problem)},
                      {"chain", signature.chain.empty() ? "null" : JsonText(signature.chain)},
                      {"chain_trusted",
                       signature.valid ? JsonBool(signature.chainEnd == platform::ChainEnd::TrustedRoot) : "null"},
                      {"time_stamp", signature.timeStamp.empty() ? "null" : JsonText(signature.timeStamp)},
                      {"time_stamp_chain", stampChain},
                      {"time_stamp_problem", stampProblem},
                      {"certificate_expires", signature.expires.empty() ? "null" : JsonText(signature.expires)},
                      {"warnings", JsonArray(warned, true)}},
                     true)
              .c_str());
    return 0;
  }
  Print(stdout, "%s\n  version      %s\n  product code %s\n  reply path   %s\n  mirrors     ", path.c_str(),
        VisibleBytes(s.version).c_str(), VisibleBytes(s.productCode).c_str(), VisibleBytes(s.ReplyPath()).c_str());
  for (std::size_t i = 0; i < s.mirrors.size(); ++i)
    Print(stdout, "%s%s\n", i ? "               " : " ", VisibleBytes(s.mirrors[i]).c_str());
  Print(stdout, "  home page    %s\n  installer    %s\n  quiet        %s\n  no restart   %s\n  fingerprint  %s\n",
        VisibleBytes(s.homePage).c_str(), VisibleBytes(s.installer).c_str(),
        s.quietArguments.empty() ? "(none: a /quiet run shows the installer's windows)"
                                 : VisibleBytes(s.quietArguments).c_str(),
        s.noRestartArgument.empty() ? "(none)" : VisibleBytes(s.noRestartArgument).c_str(), fingerprint.c_str());
  if (launcher.hasPayload) {
    Print(stdout, "  payload      %zu entries, %s\n", entries.size(), SizeText(launcher.payloadSize).c_str());
    for (const auto& e : entries)
      Print(stdout, "               %-24s %12" PRId32 " bytes\n", ShownName(e.name).c_str(), e.size);
  } else {
    Print(stdout, "  payload      none (a stub)\n");
  }
  Print(stdout, "  signed       %s\n", SignatureText(signature).c_str());
  if (signature.valid)
    Print(stdout, "  time stamp   %s\n  certificate  expires %s\n", TimeStampText(signature).c_str(),
          signature.expires.empty() ? "(a date this tool cannot read)" : signature.expires.c_str());
  for (const auto& w : warnings) Print(stdout, "  warning      %s\n", w.c_str());
  return 0;
}

const RegisterCommand reg{"info", "[--json] LAUNCHER",
                          "what LAUNCHER (or a stub) carries: version, product code, reply path, mirrors, home "
                          "page, the installer's quiet arguments, fingerprint, payload entries, whether its "
                          "Authenticode signature signs this file "
                          "(its digests, its extent, its value) and by whom, where its chain ends, its time stamp "
                          "(counted when it verifies) and the certificate's expiry; warns of loopback, private or "
                          "repeated mirrors",
                          RunInfo};
}  // namespace
