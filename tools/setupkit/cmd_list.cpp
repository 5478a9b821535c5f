// setupkit list ARCHIVE|LAUNCHER: every entry of a payload archive, or of the one a launcher
// carries, with its sizes, checked by inflating it.
#include <cinttypes>
#include <cstdio>

#include "Command.h"
#include "LauncherFile.h"
#include "ReplyPublish.h"

namespace {
int RunList(const std::vector<std::string>& args) {
  const TCommandLine cl(args, {});
  cl.ExpectOperands(1, 1, "ARCHIVE or LAUNCHER");
  std::unique_ptr<TStream> archive;
  try {
    archive = OpenPayload(cl.Operands()[0]);
  } catch (const ELauncherError& e) {
    return Fail(e);
  }
  std::vector<TPayloadEntry> entries;
  try {
    entries = ListPayload(*archive);
  } catch (const Exception& e) {
    RaiseNative<EArchiveError>(cl.Operands()[0] + ": not a sound payload archive: " + ErrorText(e));
  }
  Print(stdout, "%12s %12s  %s\n", "size", "packed", "name");
  std::int64_t end = 4;
  for (const auto& e : entries) {
    Print(stdout, "%12" PRId32 " %12" PRId64 "  %s\n", e.size, e.packed, ShownName(e.name).c_str());
    end += e.packed;
  }
  const std::int64_t total = archive->Size();
  Print(stdout, "%zu entries", entries.size());
  if (total > end) Print(stdout, ", %" PRId64 " bytes after the last entry (never read)", total - end);
  Print(stdout, "\n");
  return 0;
}

const RegisterCommand reg{"list", "ARCHIVE|LAUNCHER",
                          "list and check the entries of a payload archive, or of the one a launcher carries", RunList};
}  // namespace
