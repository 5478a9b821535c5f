// setupkit decode REPLY [LAUNCHER]: what the launcher decodes from a reply file, and whether
// the given launcher accepts it.
#include <cstdio>

#include "Command.h"
#include "ReplyPublish.h"
#include "codes/QORMD5Unit.h"

namespace {
int RunDecode(const std::vector<std::string>& args) {
  const TCommandLine cl(args, {});
  cl.ExpectOperands(1, 2, "REPLY and optionally LAUNCHER");
  const std::vector<std::string>& op = cl.Operands();
  const std::string fingerprint = op.size() == 2 ? GetFileMD5(ArgPath(op[1])) : std::string();
  const TDecodedReply reply = DecodeReplyFile(op[0], fingerprint);
  Print(stdout, "decoded: %s\n", VisibleBytes(reply.serverCode).c_str());
  if (op.size() == 1) return 0;
  if (reply.matches) {
    Print(stdout, "matches %s (%s)\n", op[1].c_str(), fingerprint.c_str());
    return 0;
  }
  Print(stdout, "does not match %s (%s)\n", op[1].c_str(), fingerprint.c_str());
  return kExitNo;
}
const RegisterCommand reg{"decode", "REPLY [LAUNCHER]",
                          "print the code the launcher decodes from the reply file REPLY; with LAUNCHER, "
                          "exit 0 when that launcher accepts it and 1 when not",
                          RunDecode};
}  // namespace
