#pragma once
// Writing payload archives: each entry one complete zlib stream at level 9.
#include <cstdint>
#include <string>
#include <vector>

#include "archive/ArchiveFormat.h"
#include "base/Classes.h"

class TArchiveWriter {
 public:
  /// Writes the entry count; exactly that many entries must follow.
  TArchiveWriter(TStream& out, std::int32_t count);
  /// Compresses `size` bytes read from data. Raises EArchiveError for a refused name, a size
  /// outside 0..2^31-1, more entries than announced, or data shorter than `size`.
  void AddEntry(const std::string& name, TStream& data, std::int64_t size);
  void AddEntry(const std::string& name, const std::string& bytes);
  std::int32_t Added() const { return added_; }

 private:
  TStream& out_;
  std::int32_t count_;
  std::int32_t added_ = 0;
};

/// One complete zlib stream (level 9) of bytes.
std::string CompressZlib(const std::string& bytes);
/// Writes `size` bytes from data to out as one complete zlib stream at level 9.
void DeflateStream(TStream& data, std::int64_t size, TStream& out);

/// The entry name a file is packed under: its file name without folders, as a text of the
/// program (entry names are code page 936 on every system). Raises EArchiveError naming the
/// file when code page 936 cannot hold its name.
std::string EntryNameOf(const TPath& path);
/// Packs the files into out, one entry each, in the order given. Raises EArchiveError when two
/// files would get the same entry name (Windows compares them without regard to case).
void PackFiles(TStream& out, const std::vector<TPath>& files);
