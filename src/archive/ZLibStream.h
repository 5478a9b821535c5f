#pragma once
// The decompression stream through which the archive reader inflates each entry.
#include <zlib.h>

#include <cstdint>
#include <functional>
#include <memory>

#include "base/Classes.h"

SETUPTQ_EXCEPTION(EZlibError, Exception);
SETUPTQ_EXCEPTION(ECompressionError, EZlibError);
SETUPTQ_EXCEPTION(EDecompressionError, EZlibError);

/// Common state of the zlib streams: the source or destination stream (never owned), its
/// remembered position, the zlib state record and an optional notification after each refill.
class TCustomZlibStream : public TStream {
 public:
  static constexpr int kBufferSize = 65536;  // bytes read from the source per refill

  ~TCustomZlibStream() override;
  TCustomZlibStream(const TCustomZlibStream&) = delete;
  TCustomZlibStream& operator=(const TCustomZlibStream&) = delete;

  std::function<void(TCustomZlibStream&)> OnProgress;

 protected:
  explicit TCustomZlibStream(TStream& strm);

  TStream& strm_;
  std::int64_t strmPos_;
  z_stream zstream_{};
  std::unique_ptr<unsigned char[]> buffer_;
};

/// Reads compressed bytes from a source stream (starting at its position at creation) and
/// delivers the inflated bytes. Forward-only: it can be rewound to 0 and skipped forward,
/// nothing else; writing is refused.
class TDecompressionStream : public TCustomZlibStream {
 public:
  /// Raises EDecompressionError "Error" when zlib cannot be initialised.
  explicit TDecompressionStream(TStream& source);
  /// Gives the unconsumed input back to the source and ends the decompressor.
  ~TDecompressionStream() override;

  /// count bytes, or fewer once the source has run dry or the zlib stream has ended.
  /// A corrupt stream raises ECompressionError "Error".
  int Read(void* buffer, int count) override;
  /// Always raises EDecompressionError "Invalid stream operation".
  int Write(const void* buffer, int count) override;
  /// 0 from the beginning rewinds; forward moves skip by inflating; anything else raises
  /// EDecompressionError "Invalid stream operation". Returns the bytes delivered so far.
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;

  /// Inflates on to the end of the zlib stream, so that the source stands on its first byte
  /// after it. Raises EDecompressionError when the stream holds more data than was read,
  /// EReadError "Stream read error" when the source ends first, and ECompressionError
  /// "Error" when the stream is corrupt (including a wrong check value).
  void ReadToStreamEnd();
  /// True once zlib has seen the end of the stream and its check value.
  bool StreamEnded() const { return ended_; }

 private:
  void Refill();
  std::int64_t startPos_;  // the source position of the stream's first byte
  bool ended_ = false;
};
