#include "archive/ZLibStream.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace {
// zlib's allocation hooks: zero-filled blocks from the general allocator.
voidpf ZAlloc(voidpf, uInt items, uInt size) { return std::calloc(items, size); }
void ZFree(voidpf, voidpf block) { std::free(block); }

constexpr int kSkipChunk = 4096;  // forward seeks inflate and discard in chunks of this size
}  // namespace

// zlib's CRC-32, in place of the library's own. Nothing here reads a gzip stream, the one user
// of it, but inflate refers to it and the library's version brings 8 KB of tables for speed
// into the launcher; defined here, in an object every inflating program links, it is the one
// the linker takes. Bit by bit, as the standard defines it (reflected polynomial 0xEDB88320).
uLong ZEXPORT crc32(uLong crc, const Bytef* buf, uInt len) {
  if (!buf) return 0;
  std::uint32_t c = static_cast<std::uint32_t>(crc) ^ 0xFFFFFFFFu;
  while (len--) {
    c ^= *buf++;
    for (int bit = 0; bit < 8; ++bit) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
  }
  return c ^ 0xFFFFFFFFu;
}

TCustomZlibStream::TCustomZlibStream(TStream& strm)
    : strm_(strm), strmPos_(strm.Position()), buffer_(new unsigned char[kBufferSize]) {
  zstream_.zalloc = ZAlloc;
  zstream_.zfree = ZFree;
  zstream_.opaque = Z_NULL;
  zstream_.next_in = buffer_.get();
  zstream_.avail_in = 0;
}

TCustomZlibStream::~TCustomZlibStream() = default;

TDecompressionStream::TDecompressionStream(TStream& source) : TCustomZlibStream(source), startPos_(strmPos_) {
  if (inflateInit(&zstream_) != Z_OK) throw EDecompressionError("Error");
}

TDecompressionStream::~TDecompressionStream() {
  // Hand back what zlib did not consume, so the source stands on the first byte after the
  // consumed part of the stream.
  if (zstream_.avail_in > 0) {
    try {
      strm_.SetPosition(strmPos_ - static_cast<std::int64_t>(zstream_.avail_in));
    } catch (...) {
      // A destructor never raises; the source is then left where the last refill put it.
    }
  }
  inflateEnd(&zstream_);
}

void TDecompressionStream::Refill() {
  int n = strm_.Read(buffer_.get(), kBufferSize);
  if (n <= 0) return;
  zstream_.next_in = buffer_.get();
  zstream_.avail_in = static_cast<uInt>(n);
  strmPos_ = strm_.Position();
  if (OnProgress) OnProgress(*this);
}

int TDecompressionStream::Read(void* buffer, int count) {
  if (count <= 0) return 0;
  zstream_.next_out = static_cast<Bytef*>(buffer);
  zstream_.avail_out = static_cast<uInt>(count);
  if (strm_.Position() != strmPos_) strm_.SetPosition(strmPos_);
  // Stops at the end of the zlib stream too: nothing more can come, so looping would hang.
  while (zstream_.avail_out > 0 && !ended_) {
    if (zstream_.avail_in == 0) {
      Refill();
      if (zstream_.avail_in == 0) break;  // the source has run dry: a short read
    }
    int result = inflate(&zstream_, Z_NO_FLUSH);
    if (result == Z_STREAM_END) {
      ended_ = true;
    } else if (result < 0 || result == Z_NEED_DICT) {
      // A stream that asks for a preset dictionary can never go on: none is ever given.
      throw ECompressionError("Error");
    }
  }
  return count - static_cast<int>(zstream_.avail_out);
}

int TDecompressionStream::Write(const void*, int) { throw EDecompressionError("Invalid stream operation"); }

std::int64_t TDecompressionStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  const auto delivered = static_cast<std::int64_t>(zstream_.total_out);
  if (offset == 0 && origin == soBeginning) {
    if (inflateReset(&zstream_) != Z_OK) throw EDecompressionError("Error");
    zstream_.next_in = buffer_.get();
    zstream_.avail_in = 0;
    ended_ = false;
    // Back to where this stream's data begins, which need not be the source's beginning.
    strm_.SetPosition(startPos_);
    strmPos_ = startPos_;
  } else if ((origin == soCurrent && offset >= 0) || (origin == soBeginning && offset > delivered)) {
    std::int64_t skip = origin == soCurrent ? offset : offset - delivered;
    unsigned char discard[kSkipChunk];
    while (skip > 0) {
      int n = static_cast<int>(std::min<std::int64_t>(skip, kSkipChunk));
      ReadBuffer(discard, n);
      skip -= n;
    }
  } else {
    throw EDecompressionError("Invalid stream operation");
  }
  return static_cast<std::int64_t>(zstream_.total_out);
}

void TDecompressionStream::ReadToStreamEnd() {
  unsigned char extra;
  while (!ended_) {
    if (Read(&extra, 1) > 0) throw EDecompressionError("Entry holds more data than its size");
    if (!ended_) throw EReadError("Stream read error");
  }
}
