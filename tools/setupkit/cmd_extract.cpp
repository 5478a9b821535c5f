// setupkit extract ARCHIVE|LAUNCHER DIR: unpack as the launcher does, but refuse what would
// overwrite something other than a plain file of the payload's, and say why a failure happened.
#include <filesystem>
#include <set>

#include "Command.h"
#include "LauncherFile.h"
#include "ReplyPublish.h"
#include "base/SysUtils.h"

namespace {
namespace fs = std::filesystem;

int RunExtract(const std::vector<std::string>& args) {
  const TCommandLine cl(args, {});
  cl.ExpectOperands(2, 2, "ARCHIVE (or LAUNCHER) and DIR");
  const std::string &source = cl.Operands()[0], &dir = cl.Operands()[1];
  std::unique_ptr<TStream> archive;
  try {
    archive = OpenPayload(source);
  } catch (const ELauncherError& e) {
    return Fail(e.Message());
  }
  std::vector<TPayloadEntry> entries;
  try {
    entries = ListPayload(*archive);  // every entry checked before anything is written
  } catch (const Exception& e) {
    throw EArchiveError(source + ": not a sound payload archive: " + e.Message());
  }
  // Windows compares names without regard to case: two such entries would overwrite each other.
  std::set<std::string> names;
  for (const auto& e : entries)
    if (!names.insert(LowerCase(e.name)).second)
      return Fail(source + " holds two entries named \"" + VisibleBytes(e.name) + "\"; nothing written");
  for (const auto& e : entries) {
    const fs::path target = fs::path(dir) / e.name;
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(target, ec);
    if (fs::is_symlink(status))
      return Fail(target.string() + " is a symbolic link, which is not followed; nothing written");
    if (fs::exists(status) && !fs::is_regular_file(status))
      return Fail(target.string() + " exists and is not a file; nothing written");
    if (fs::equivalent(target, source, ec))
      return Fail("entry \"" + e.name + "\" would overwrite " + source + " itself; nothing written");
  }
  if (!ForceDirectories(dir)) throw EFCreateError("cannot create the folder " + dir);
  archive->SetPosition(0);
  UnpackArchive(*archive, [&dir](const TArchiveEntry& e) -> std::unique_ptr<TStream> {
    return std::make_unique<TFileStream>((fs::path(dir) / e.name).string(), platform::FileAccess::ReadWrite,
                                         platform::FileShare::None, platform::FileCreate::CreateAlways);
  });
  return 0;
}

const RegisterCommand reg{"extract", "ARCHIVE|LAUNCHER DIR",
                          "unpack every entry of a payload archive, or of the one a launcher carries, into DIR "
                          "(refused: duplicate names, a link or a folder in the way, the archive itself)",
                          RunExtract};
}  // namespace
