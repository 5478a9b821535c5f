// setupkit decode FILE [LAUNCHER]: what the launcher decodes from a reply file, and whether
// the given launcher accepts it.
#include <cstdio>

#include "Command.h"
#include "verify/QORMD5Unit.h"
#include "ReplyPublish.h"

namespace {
int RunDecode(const std::vector<std::string>& args) {
  if (args.empty() || args.size() > 2) return Fail("decode needs FILE and optionally LAUNCHER");
  const std::string fingerprint = args.size() == 2 ? GetFileMD5(args[1]) : std::string();
  TDecodedReply reply = DecodeReplyFile(args[0], fingerprint);
  std::printf("decoded: %s\n", VisibleBytes(reply.serverCode).c_str());
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
