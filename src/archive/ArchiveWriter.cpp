#include "archive/ArchiveWriter.h"

#include <zlib.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <set>

#include "archive/ZLibStream.h"
#include "base/SysUtils.h"
#include "platform/Platform.h"

namespace {
constexpr int kInChunk = 61440;
constexpr int kOutChunk = 65536;

struct TDeflater {
  z_stream zs{};
  TDeflater() {
    if (deflateInit(&zs, Z_BEST_COMPRESSION) != Z_OK) throw ECompressionError("Error");
  }
  ~TDeflater() { deflateEnd(&zs); }
  TDeflater(const TDeflater&) = delete;
  TDeflater& operator=(const TDeflater&) = delete;
};
}  // namespace

void DeflateStream(TStream& data, std::int64_t size, TStream& out) {
  TDeflater d;
  std::unique_ptr<unsigned char[]> in(new unsigned char[kInChunk]);
  std::unique_ptr<unsigned char[]> buf(new unsigned char[kOutChunk]);
  std::int64_t remaining = size;
  int flush = Z_NO_FLUSH;
  while (flush != Z_FINISH) {
    int want = static_cast<int>(std::min<std::int64_t>(remaining, kInChunk));
    int got = want > 0 ? data.Read(in.get(), want) : 0;
    if (want > 0 && got <= 0) throw EArchiveError("Data ended " + std::to_string(remaining) + " bytes early");
    remaining -= got;
    flush = remaining == 0 ? Z_FINISH : Z_NO_FLUSH;
    d.zs.next_in = in.get();
    d.zs.avail_in = static_cast<uInt>(got);
    do {
      d.zs.next_out = buf.get();
      d.zs.avail_out = kOutChunk;
      if (deflate(&d.zs, flush) == Z_STREAM_ERROR) throw ECompressionError("Error");
      out.WriteBuffer(buf.get(), kOutChunk - static_cast<int>(d.zs.avail_out));
    } while (d.zs.avail_out == 0);
  }
}

std::string CompressZlib(const std::string& bytes) {
  TMemoryStream in(bytes), out;
  DeflateStream(in, static_cast<std::int64_t>(bytes.size()), out);
  return out.DataString();
}

TArchiveWriter::TArchiveWriter(TStream& out, std::int32_t count) : out_(out), count_(count) {
  std::string header;
  PutInt32(header, count);
  out_.WriteBuffer(header.data(), 4);
}

void TArchiveWriter::AddEntry(const std::string& name, TStream& data, std::int64_t size) {
  if (added_ >= count_) throw EArchiveError("More entries than the archive announces");
  if (!IsSafeEntryName(name)) throw EArchiveError("Entry name refused: \"" + name + "\"");
  if (size < 0 || size > std::numeric_limits<std::int32_t>::max())
    throw EArchiveError("\"" + name + "\" is too large for an archive entry (" + std::to_string(size) + " bytes)");
  std::string header;
  PutInt32(header, static_cast<std::int32_t>(name.size()));
  header += name;
  PutInt32(header, static_cast<std::int32_t>(size));
  out_.WriteBuffer(header.data(), static_cast<int>(header.size()));
  DeflateStream(data, size, out_);
  ++added_;
}

void TArchiveWriter::AddEntry(const std::string& name, const std::string& bytes) {
  TMemoryStream data(bytes);
  AddEntry(name, data, static_cast<std::int64_t>(bytes.size()));
}

namespace {
constexpr const char* kNotIn936 = " has a character that code page 936, the archive's names, cannot hold";
}  // namespace

std::string EntryNameOf(const TPath& path) {
  const std::size_t cut = LastDelimiter(PathDelimiters(), path.Native());
  const TPath name = TPath::FromNative(path.Native().substr(cut == std::string::npos ? 0 : cut + 1));
  TText text;
  if (!platform::PathTextExact(name, text))
    throw ENameRefused("The file name \"" + platform::PathText(name).Bytes() + "\"" + kNotIn936,
                       TDisplayText("The file name \"") + name + "\"" + kNotIn936);
  return text.Bytes();
}

void PackFiles(TStream& out, const std::vector<TPath>& files) {
  if (files.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
    throw EArchiveError("Too many files");
  std::set<std::string> seen;
  for (const auto& f : files) {
    if (!seen.insert(EntryNameKey(EntryNameOf(f))).second)
      throw ENameRefused("Two files would both be packed as \"" + EntryNameOf(f) + "\"");
  }
  TArchiveWriter writer(out, static_cast<std::int32_t>(files.size()));
  for (const auto& f : files) {
    TFileStream data(f, platform::FileAccess::Read, platform::FileShare::Read, platform::FileCreate::OpenExisting);
    writer.AddEntry(EntryNameOf(f), data, data.Size());
  }
}
