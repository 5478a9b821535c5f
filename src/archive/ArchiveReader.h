#pragma once
// Reading payload archives from any stream: header by header, or all entries at once.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "archive/ArchiveFormat.h"
#include "base/Classes.h"

struct TArchiveEntry {
  std::string name;
  std::int32_t size = 0;
};

/// Walks the entries of an archive, reading from the archive stream's current position.
class TArchiveReader {
 public:
  /// Reads the entry count. Raises EArchiveError when the archive is shorter than 4 bytes.
  explicit TArchiveReader(TStream& archive);
  /// Entries announced: the stored count, or 0 when it is 0 or negative.
  std::int32_t Count() const { return count_; }
  /// Reads the next entry's header. Raises EArchiveError for a header cut short, a name length
  /// out of range, a refused name or a negative size.
  TArchiveEntry ReadHeader();
  /// Inflates the entry whose header was just read into dest (exactly entry.size bytes) and
  /// reads on to the end of its zlib stream, so the archive then stands on the next header.
  void CopyEntry(const TArchiveEntry& entry, TStream& dest);

 private:
  std::int32_t ReadInt32(const char* what);
  TStream& archive_;
  std::int32_t count_ = 0;
  std::int32_t index_ = 0;
};

/// Gives the stream an entry is written to; raising stops the unpacking.
using TEntryOpener = std::function<std::unique_ptr<TStream>(const TArchiveEntry& entry)>;

/// Unpacks every entry into the stream `open` gives for it, one entry at a time, the output
/// closed before the next header is read. Stops at the first failure by raising it, with the
/// outputs of the entries before it complete; `failedEntry` then names the entry whose output
/// was being written (empty when a header failed). Returns the number of entries.
std::int32_t UnpackArchive(TStream& archive, const TEntryOpener& open, std::string* failedEntry = nullptr);
