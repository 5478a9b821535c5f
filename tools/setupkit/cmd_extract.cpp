// setupkit extract ARCHIVE|LAUNCHER DIR: unpack as the launcher does, but refuse what would
// overwrite something other than a plain file of the payload's, and say why a failure happened.
#include <set>

#include "Command.h"
#include "LauncherFile.h"
#include "ReplyPublish.h"
#include "base/SysUtils.h"
#include "platform/Platform.h"

namespace {
int RunExtract(const std::vector<std::string>& args) {
  const TCommandLine cl(args, {});
  cl.ExpectOperands(2, 2, "ARCHIVE (or LAUNCHER) and DIR");
  const std::string &source = cl.Operands()[0], &dir = cl.Operands()[1];
  std::unique_ptr<TStream> archive;
  try {
    archive = OpenPayload(source);
  } catch (const ELauncherError& e) {
    return Fail(e);
  }
  std::vector<TPayloadEntry> entries;
  try {
    entries = ListPayload(*archive);  // every entry checked before anything is written
  } catch (const Exception& e) {
    RaiseNative<EArchiveError>(source + ": not a sound payload archive: " + ErrorText(e));
  }
  // Windows compares names without regard to case: two such entries would overwrite each other.
  std::set<std::string> names;
  for (const auto& e : entries)
    if (!names.insert(LowerCase(e.name)).second)
      return Fail(source + " holds two entries named \"" + ShownName(e.name) + "\"; nothing written");
  // The names are texts of the program (code page 936): written under the system's names for them.
  const auto target = [&dir](const std::string& name) {
    return ArgPath(dir) + platform::PathDelim() + platform::PathFromText(name);
  };
  for (const auto& e : entries) {
    const std::string shown = dir + platform::PathDelim() + ShownName(e.name);
    const platform::PathKind kind = platform::KindOfPath(target(e.name));
    if (kind == platform::PathKind::Link)
      return Fail(shown + " is a symbolic link, which is not followed; nothing written");
    if (kind != platform::PathKind::None && kind != platform::PathKind::File)
      return Fail(shown + " exists and is not a file; nothing written");
    if (platform::SameFile(target(e.name), ArgPath(source)))
      return Fail("entry \"" + ShownName(e.name) + "\" would overwrite " + source + " itself; nothing written");
  }
  if (!ForceDirectories(ArgPath(dir))) {
    const std::string message = "cannot create the folder " + dir;
    throw EFCreateError(message, ArgPath(dir), TDisplayText(), NativeText(message));
  }
  archive->SetPosition(0);
  UnpackArchive(*archive, [&target](const TArchiveEntry& e) -> std::unique_ptr<TStream> {
    return std::make_unique<TFileStream>(target(e.name), platform::FileAccess::ReadWrite, platform::FileShare::None,
                                         platform::FileCreate::CreateAlways);
  });
  return 0;
}

const RegisterCommand reg{"extract", "ARCHIVE|LAUNCHER DIR",
                          "unpack every entry of a payload archive, or of the one a launcher carries, into DIR "
                          "(refused: duplicate names, a link or a folder in the way, the archive itself)",
                          RunExtract};
}  // namespace
