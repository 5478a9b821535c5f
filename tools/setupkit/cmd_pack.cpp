// setupkit pack OUT FILE...: a payload archive with one entry per file, named by its file name.
#include <cstdio>

#include "Attach.h"
#include "Command.h"
#include "Temporary.h"
#include "archive/ArchiveWriter.h"

namespace {
int RunPack(const std::vector<std::string>& args) {
  const TCommandLine cl(args, {});
  cl.ExpectOperands(2, SIZE_MAX, "OUT and at least one FILE");
  const std::string& outPath = cl.Operands()[0];
  const std::vector<std::string> files(cl.Operands().begin() + 1, cl.Operands().end());
  CheckOutputPath(outPath, files);
  std::vector<std::pair<std::string, std::string>> entries;
  try {
    for (const auto& f : files) entries.push_back({EntryNameOf(ArgPath(f)), f});
  } catch (const ENameRefused& e) {
    return Fail(e);
  }
  // Written beside the target and renamed at the end, so a failed run never leaves a partial
  // archive that a build would take as up to date.
  TTemporary temp(outPath);
  TProgressLine progress;
  std::int64_t packed = 0;
  try {
    PackNamedFiles(temp.File(), entries, [&progress](const std::string& text) { progress.Show(text); });
    packed = temp.File().Size();
  } catch (const ENameRefused& e) {
    return Fail(e);
  } catch (const EWriteError& e) {  // an input that cannot be read says so itself
    RaiseNative<EWriteError>("cannot write " + outPath + ": " + temp.InTargetsWords(ErrorText(e)));
  }
  progress.Clear();
  temp.ReplaceTarget();
  Print(stdout, "%s: %zu entries, %s\n", outPath.c_str(), entries.size(), SizeText(packed).c_str());
  return 0;
}

const RegisterCommand reg{"pack", "OUT FILE...", "pack files into a payload archive (names without folders)", RunPack};
}  // namespace
