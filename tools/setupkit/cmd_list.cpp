// setupkit list ARCHIVE: every entry with its sizes, checked by inflating it.
#include <cinttypes>
#include <cstdio>

#include "Command.h"
#include "payload/ArchiveReader.h"

namespace {
// Counts what is written to it and keeps nothing.
class TNullStream : public TStream {
 public:
  int Read(void*, int) override { return 0; }
  int Write(const void*, int count) override { return count; }
  std::int64_t Seek(std::int64_t, TSeekOrigin) override { return 0; }
};

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
