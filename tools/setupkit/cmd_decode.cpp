// setupkit decode FILE [LAUNCHER]: what the launcher decodes from a reply file, and whether
// the given launcher accepts it.
#include <cstdio>

#include "Command.h"
#include "verify/QORMD5Unit.h"
#include "ReplyPublish.h"

namespace {
// Printable ASCII as is, every other byte as \xNN, so that a damaged reply shows what it holds.
std::string Visible(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    }
  }
  return out;
}

int RunDecode(const std::vector<std::string>& args) {
  if (args.empty() || args.size() > 2) return Fail("decode needs FILE and optionally LAUNCHER");
  const std::string fingerprint = args.size() == 2 ? GetFileMD5(args[1]) : std::string();
  TDecodedReply reply = DecodeReplyFile(args[0], fingerprint);
  std::printf("decoded: %s\n", Visible(reply.serverCode).c_str());
  if (args.size() == 1) return 0;
  if (reply.matches) {
    std::printf("matches %s (%s)\n", args[1].c_str(), fingerprint.c_str());
    return 0;
  }
  std::printf("does not match %s (%s)\n", args[1].c_str(), fingerprint.c_str());
  return 1;
}
const RegisterCommand reg{"decode", "FILE [LAUNCHER]",
                          "print the code the launcher decodes from reply FILE; with LAUNCHER, "
                          "exit 0 when that launcher accepts it and 1 when not",
                          RunDecode};
}  // namespace
