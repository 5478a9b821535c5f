// setupkit md5 FILE: the fingerprint the launcher computes of a file (the same digest, read in
// bulk: the launcher reads its own file one block at a time).
#include <cstdio>

#include "Command.h"
#include "verify/QORMD5Unit.h"

namespace {
int RunMd5(const std::vector<std::string>& args) {
  if (args.size() != 1) return Fail("md5 needs exactly one FILE");
  std::printf("%s\n", GetFileMD5(args[0]).c_str());
  return 0;
}
const RegisterCommand reg{"md5", "FILE", "print the fingerprint (MD5, lower-case hex) of FILE", RunMd5};
}  // namespace
