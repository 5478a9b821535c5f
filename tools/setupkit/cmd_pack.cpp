// setupkit pack OUT FILE...: a payload archive with one entry per file.
#include "Command.h"
#include "Temporary.h"
#include "payload/ArchiveWriter.h"

namespace {
int RunPack(const std::vector<std::string>& args) {
  const TCommandLine cl(args, {});
  cl.ExpectOperands(2, SIZE_MAX, "OUT and at least one FILE");
  const std::string& outPath = cl.Operands()[0];
  const std::vector<std::string> files(cl.Operands().begin() + 1, cl.Operands().end());
  CheckOutputPath(outPath, files);
  // Written beside the target and renamed at the end, so a failed run never leaves a partial
  // archive that a build would take as up to date.
  TTemporary temp(outPath);
  try {
    PackFiles(temp.File(), files);
  } catch (const EStreamError& e) {
    throw EStreamError("cannot write " + outPath + ": " + temp.InTargetsWords(e.Message()));
  }
  temp.ReplaceTarget();
  return 0;
}

const RegisterCommand reg{"pack", "OUT FILE...", "pack files into a payload archive (names without folders)", RunPack};
}  // namespace
