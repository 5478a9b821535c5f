// setupkit list ARCHIVE: every entry with its sizes, checked by inflating it.
#include <cinttypes>
#include <cstdio>

#include "Command.h"
#include "NullStream.h"
#include "payload/ArchiveReader.h"

namespace {
int RunList(const std::vector<std::string>& args) {
  if (args.size() != 1) return Fail("list: usage: setupkit list ARCHIVE");
  TFileStream archive(args[0], platform::FileAccess::Read, platform::FileShare::Read,
                      platform::FileCreate::OpenExisting);
  TArchiveReader reader(archive);
  std::printf("%12s %12s  %s\n", "size", "packed", "name");
  for (std::int32_t i = 0; i < reader.Count(); ++i) {
    TArchiveEntry entry = reader.ReadHeader();
    std::int64_t start = archive.Position();
    TNullStream sink;
    try {
      reader.CopyEntry(entry, sink);
    } catch (const std::exception& e) {
      return Fail("list: \"" + entry.name + "\": " + e.what());
    }
    std::printf("%12" PRId32 " %12" PRId64 "  %s\n", entry.size, archive.Position() - start, entry.name.c_str());
  }
  std::int64_t end = archive.Position(), total = archive.Size();
  std::printf("%" PRId32 " entries", reader.Count());
  if (total > end) std::printf(", %" PRId64 " bytes after the last entry (never read)", total - end);
  std::printf("\n");
  return 0;
}

const RegisterCommand reg{"list", "ARCHIVE", "list and check the entries of a payload archive", RunList};
}  // namespace
