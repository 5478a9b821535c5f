// setupkit info [--json] LAUNCHER: what a launcher (or stub) says of itself: its release
// settings, fingerprint, payload and signature.
#include <cinttypes>
#include <cstdio>

#include "Command.h"
#include "LauncherFile.h"
#include "ReplyPublish.h"
#include "codes/QORMD5Unit.h"

namespace {
std::string Json(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c >= 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\u%04x", c);  // a byte, as Latin-1: the names are ASCII
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
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
  const std::string fingerprint = GetFileMD5(ArgPath(path));
  std::vector<TPayloadEntry> entries;
  if (launcher.hasPayload) entries = ListPayload(*OpenPayload(path));

  if (cl.Has("--json")) {
    Print(stdout, "{\n  \"file\": %s,\n  \"version\": %s,\n  \"product_code\": %s,\n  \"reply_path\": %s,\n",
          Json(path).c_str(), Json(s.version).c_str(), Json(s.productCode).c_str(), Json(s.ReplyPath()).c_str());
    Print(stdout, "  \"mirrors\": [");
    for (std::size_t i = 0; i < s.mirrors.size(); ++i) Print(stdout, "%s%s", i ? ", " : "", Json(s.mirrors[i]).c_str());
    Print(stdout, "],\n  \"home_page\": %s,\n  \"installer\": %s,\n  \"fingerprint\": %s,\n", Json(s.homePage).c_str(),
          Json(s.installer).c_str(), Json(fingerprint).c_str());
    if (launcher.hasPayload) {
      Print(stdout, "  \"payload\": {\"size\": %" PRIu32 ", \"entries\": [", launcher.payloadSize);
      for (std::size_t i = 0; i < entries.size(); ++i)
        Print(stdout, "%s{\"name\": %s, \"size\": %" PRId32 ", \"packed\": %" PRId64 "}", i ? ", " : "",
              Json(entries[i].name).c_str(), entries[i].size, entries[i].packed);
      Print(stdout, "]},\n");
    } else {
      Print(stdout, "  \"payload\": null,\n");
    }
    Print(stdout, "  \"signed\": %s,\n  \"signer\": %s\n}\n", launcher.isSigned ? "true" : "false",
          launcher.isSigned ? Json(launcher.signer).c_str() : "null");
    return 0;
  }
  Print(stdout, "%s\n  version      %s\n  product code %s\n  reply path   %s\n  mirrors     ", path.c_str(),
        s.version.c_str(), s.productCode.c_str(), s.ReplyPath().c_str());
  for (std::size_t i = 0; i < s.mirrors.size(); ++i)
    Print(stdout, "%s%s\n", i ? "               " : " ", VisibleBytes(s.mirrors[i]).c_str());
  Print(stdout, "  home page    %s\n  installer    %s\n  fingerprint  %s\n", VisibleBytes(s.homePage).c_str(),
        VisibleBytes(s.installer).c_str(), fingerprint.c_str());
  if (launcher.hasPayload) {
    Print(stdout, "  payload      %zu entries, %s\n", entries.size(), SizeText(launcher.payloadSize).c_str());
    for (const auto& e : entries)
      Print(stdout, "               %-24s %12" PRId32 " bytes\n", ShownName(e.name).c_str(), e.size);
  } else {
    Print(stdout, "  payload      none (a stub)\n");
  }
  if (launcher.isSigned)
    Print(stdout, "  signed       yes, by %s\n",
          launcher.signer.empty() ? "(a signer this tool cannot read)" : launcher.signer.c_str());
  else
    Print(stdout, "  signed       no\n");
  return 0;
}

const RegisterCommand reg{"info", "[--json] LAUNCHER",
                          "what LAUNCHER (or a stub) carries: version, product code, reply path, mirrors, home "
                          "page, fingerprint, payload entries, Authenticode signature and signer",
                          RunInfo};
}  // namespace
