// setupkit pack OUT FILE...: a payload archive with one entry per file.
#include <cstdio>

#include "Command.h"
#include "payload/ArchiveWriter.h"

namespace {
int RunPack(const std::vector<std::string>& args) {
  if (args.size() < 2) return Fail("pack: usage: setupkit pack OUT FILE...");
  const std::string& outPath = args[0];
  std::vector<std::string> files(args.begin() + 1, args.end());
  // Written beside the target and renamed at the end, so a failed run never leaves a partial
  // archive that a build would take as up to date.
  const std::string temp = outPath + ".part";
  try {
    {
      TFileStream out(temp, platform::FileAccess::ReadWrite, platform::FileShare::None,
                      platform::FileCreate::CreateAlways);
      PackFiles(out, files);
    }
  } catch (const std::exception& e) {
    std::remove(temp.c_str());
    return Fail("pack: " + std::string(e.what()));
  }
  std::remove(outPath.c_str());
  if (std::rename(temp.c_str(), outPath.c_str()) != 0) {
    std::remove(temp.c_str());
    return Fail("pack: cannot write " + outPath);
  }
  return 0;
}

const RegisterCommand reg{"pack", "OUT FILE...", "pack files into a payload archive (names without folders)", RunPack};
}  // namespace
