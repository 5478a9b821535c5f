// setupkit publish LAUNCHER DIR: writes the reply file the mirrors serve for a built launcher,
// after checking that the launcher will accept it.
#include <cstdio>

#include "Command.h"
#include "launcher/allparam.h"
#include "ReplyPublish.h"

namespace {
int RunPublish(const std::vector<std::string>& args) {
  if (args.size() != 2) return Fail("publish needs LAUNCHER and DIR");
  AssignSettings();
  TPublishedReply reply = PublishReply(args[0], args[1]);
  std::printf("%s\n  fingerprint %s\n", reply.path.c_str(), reply.fingerprint.c_str());
  return 0;
}
const RegisterCommand reg{"publish", "LAUNCHER DIR",
                          "write DIR/brenlow/<product><version>ins.htm, the mirror reply for LAUNCHER "
                          "(refused when the launcher would not accept it)",
                          RunPublish};
}  // namespace
