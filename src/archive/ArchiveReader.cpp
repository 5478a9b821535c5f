#include "archive/ArchiveReader.h"

#include "archive/ZLibStream.h"

TArchiveReader::TArchiveReader(TStream& archive) : archive_(archive) {
  std::int32_t count = ReadInt32("entry count");
  count_ = count > 0 ? count : 0;
}

std::int32_t TArchiveReader::ReadInt32(const char* what) {
  unsigned char bytes[4];
  if (archive_.Read(bytes, 4) != 4) throw EArchiveError(std::string("Archive cut short in the ") + what);
  return GetInt32(bytes);
}

TArchiveEntry TArchiveReader::ReadHeader() {
  const std::string where = "entry " + std::to_string(++index_);
  TArchiveEntry entry;
  std::int32_t length = ReadInt32("name length");
  if (length <= 0 || length > kMaxEntryNameLength)
    throw EArchiveError("Name length " + std::to_string(length) + " out of range in " + where);
  entry.name.resize(static_cast<std::size_t>(length));
  if (archive_.Read(&entry.name[0], length) != length) throw EArchiveError("Archive cut short in the name of " + where);
  if (!IsSafeEntryName(entry.name)) throw EArchiveError("Entry name refused: \"" + entry.name + "\"");
  entry.size = ReadInt32("entry size");
  if (entry.size < 0) throw EArchiveError("Negative size in " + where + " \"" + entry.name + "\"");
  return entry;
}

void TArchiveReader::CopyEntry(const TArchiveEntry& entry, TStream& dest) {
  TDecompressionStream zip(archive_);
  // A size of 0 would mean "the whole source" to the copy, which a decompression stream
  // cannot tell; an empty entry simply copies nothing.
  if (entry.size > 0) dest.CopyFrom(zip, entry.size);
  zip.ReadToStreamEnd();
}

std::int32_t UnpackArchive(TStream& archive, const TEntryOpener& open, std::string* failedEntry) {
  TArchiveReader reader(archive);
  for (std::int32_t i = 0; i < reader.Count(); ++i) {
    TArchiveEntry entry = reader.ReadHeader();
    if (failedEntry) *failedEntry = entry.name;
    std::unique_ptr<TStream> out = open(entry);
    reader.CopyEntry(entry, *out);
    out.reset();
    if (failedEntry) failedEntry->clear();
  }
  return reader.Count();
}
