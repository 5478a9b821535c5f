// setupkit md5 FILE: the fingerprint the launcher computes of a file (the same digest, read in
// bulk: the launcher reads its own file one block at a time). Any file: a launcher, an archive.
#include <cstdio>

#include "Command.h"
#include "codes/QORMD5Unit.h"

namespace {
int RunMd5(const std::vector<std::string>& args) {
  const TCommandLine cl(args, {});
  cl.ExpectOperands(1, 1, "FILE");
  Print(stdout, "%s\n", GetFileMD5(ArgPath(cl.Operands()[0])).c_str());
  return 0;
}
const RegisterCommand reg{
    "md5", "FILE", "print the fingerprint (MD5, lower-case hex) of FILE, as a launcher computes its own", RunMd5};
}  // namespace
