// setupkit extract ARCHIVE DIR: unpack as the launcher does, but say why a failure happened.
#include "Command.h"
#include "payload/ArchiveExtract.h"

namespace {
int RunExtract(const std::vector<std::string>& args) {
  if (args.size() != 2) return Fail("extract: usage: setupkit extract ARCHIVE DIR");
  std::string error;
  if (!ExtractArchive(args[0], args[1], error)) return Fail("extract: " + args[0] + ": " + error);
  return 0;
}

const RegisterCommand reg{"extract", "ARCHIVE DIR", "unpack every entry of a payload archive into DIR", RunExtract};
}  // namespace
