// setupkit extract ARCHIVE|LAUNCHER DIR: unpack as the launcher does, but in one pass and all or
// nothing, never through a link, refusing what would overwrite something other than a plain file
// of the payload's, and saying why a failure happened.
#include "Command.h"
#include "LauncherFile.h"
#include "archive/ArchiveExtract.h"
#include "archive/ZLibStream.h"

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
  try {
    ExtractArchiveWhole(*archive, ArgPath(dir), ArgPath(source));
  } catch (const ETargetRefused& e) {
    return Fail(source + ": " + ErrorText(e));
  } catch (const EArchiveError& e) {
    RaiseNative<EArchiveError>(source + ": not a sound payload archive: " + ErrorText(e));
  } catch (const EZlibError& e) {
    RaiseNative<EArchiveError>(source + ": not a sound payload archive: " + ErrorText(e));
  } catch (const EReadError& e) {
    RaiseNative<EArchiveError>(source + ": not a sound payload archive: " + ErrorText(e));
  }
  // Anything else (a file that cannot be written, with the system's reason) is an I/O error.
  return 0;
}

const RegisterCommand reg{"extract", "ARCHIVE|LAUNCHER DIR",
                          "unpack every entry of a payload archive, or of the one a launcher carries, into DIR, all "
                          "or nothing (refused: duplicate names, a link or a folder in the way, the archive itself)",
                          RunExtract};
}  // namespace
