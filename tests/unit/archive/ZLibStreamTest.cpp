// The decompression stream: what it delivers, where it leaves its source, and how it fails.
#include "archive/ZLibStream.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "PayloadTestSupport.h"

using namespace payloadtest;

namespace {

std::string ReadAll(TDecompressionStream& z, int chunk) {
  std::string out, buf(static_cast<size_t>(chunk), '\0');
  for (int guard = 0; guard < 100000; ++guard) {
    int n = z.Read(&buf[0], chunk);
    out.append(buf, 0, static_cast<size_t>(n));
    if (n < chunk) break;
  }
  return out;
}

// A stream that needs a preset dictionary, which nobody can give it.
std::string DictionaryStream() {
  z_stream zs{};
  deflateInit(&zs, 9);
  const char dict[] = "Parvalo setup dictionary";
  deflateSetDictionary(&zs, reinterpret_cast<const Bytef*>(dict), sizeof dict - 1);
  std::string in = "Parvalo setup dictionary, used", out(256, '\0');
  zs.next_in = reinterpret_cast<Bytef*>(&in[0]);
  zs.avail_in = static_cast<uInt>(in.size());
  zs.next_out = reinterpret_cast<Bytef*>(&out[0]);
  zs.avail_out = static_cast<uInt>(out.size());
  deflate(&zs, Z_FINISH);
  out.resize(zs.total_out);
  deflateEnd(&zs);
  return out;
}

}  // namespace

// ---- delivering data ------------------------------------------------------------------

TEST(DecompressionStreamRead, DeliversTheOriginalBytesAcrossManyRefills) {
  // Noise keeps the compressed form larger than several 64 KiB input blocks.
  std::string data = NoiseBytes(300000, 1) + TextBytes(200000, 2);
  TMemoryStream source(CompressZlib(data));
  TDecompressionStream z(source);
  EXPECT_EQ(ReadAll(z, 7777), data);
}

TEST(DecompressionStreamRead, StartsAtTheSourcePositionItWasCreatedAt) {
  std::string data = TextBytes(5000, 3);
  TMemoryStream source("HEADER" + CompressZlib(data));
  source.SetPosition(6);
  TDecompressionStream z(source);
  EXPECT_EQ(ReadAll(z, 1000), data);
}

TEST(DecompressionStreamRead, GoesBackToItsOwnPositionWhenTheSourceWasMovedMeanwhile) {
  std::string data = NoiseBytes(200000, 4);
  TMemoryStream source(CompressZlib(data));
  TDecompressionStream z(source);
  std::string first(1000, '\0');
  ASSERT_EQ(z.Read(&first[0], 1000), 1000);
  source.SetPosition(3);  // someone else used the source
  std::string rest = ReadAll(z, 4096);
  EXPECT_EQ(first + rest, data);
}

TEST(DecompressionStreamRead, CallsTheProgressNotificationOncePerRefill) {
  std::string compressed = CompressZlib(NoiseBytes(200000, 5));
  TMemoryStream source(compressed);
  TDecompressionStream z(source);
  int calls = 0;
  z.OnProgress = [&](TCustomZlibStream& s) {
    EXPECT_EQ(&s, &z);
    ++calls;
  };
  ReadAll(z, 61440);
  const int blocks = static_cast<int>((compressed.size() + 65535) / 65536);
  EXPECT_EQ(calls, blocks);
}

// ---- where the data ends ---------------------------------------------------------------

TEST(DecompressionStreamEnd, AnEndedStreamWithInputLeftGivesAShortReadInsteadOfLooping) {
  // Bytes follow the stream in the same buffer: after the end, output space remains and input
  // is still buffered, and no inflate call can make progress.
  std::string data = TextBytes(1000, 7);
  TMemoryStream source(CompressZlib(data) + std::string(500, 'x'));
  TDecompressionStream z(source);
  std::string out(5000, '\0');
  EXPECT_EQ(z.Read(&out[0], 5000), 1000);
  EXPECT_EQ(z.Read(&out[0], 5000), 0);
  EXPECT_TRUE(z.StreamEnded());
}

TEST(DecompressionStreamEnd, ReadingToTheEndConsumesTheCheckValueLeftAfterTheLastByte) {
  std::string data = DataEndingInsideTheCheckValue();
  ASSERT_FALSE(data.empty());
  std::string compressed = CompressZlib(data);
  TMemoryStream source(compressed + "TAIL");
  {
    TDecompressionStream z(source);
    std::string out(data.size(), '\0');
    z.ReadBuffer(&out[0], static_cast<int>(data.size()));
    EXPECT_EQ(out, data);
    EXPECT_FALSE(z.StreamEnded());  // the data is all out, the check value not yet read
    z.ReadToStreamEnd();
    EXPECT_TRUE(z.StreamEnded());
  }
  EXPECT_EQ(source.Position(), static_cast<std::int64_t>(compressed.size()));
}

TEST(DecompressionStreamEnd, AMissingCheckValueIsAReadError) {
  std::string compressed = CompressZlib(TextBytes(2000, 11));
  TMemoryStream source(compressed.substr(0, compressed.size() - 4));
  TDecompressionStream z(source);
  std::string out(2000, '\0');
  z.ReadBuffer(&out[0], 2000);
  EXPECT_THROW(z.ReadToStreamEnd(), EReadError);
}

// ---- corrupt input ---------------------------------------------------------------------

TEST(DecompressionStreamCorrupt, AWrongCheckValueRaisesCompressionError) {
  std::string compressed = CompressZlib(TextBytes(2000, 12));
  compressed[compressed.size() - 1] ^= 0x55;
  TMemoryStream source(compressed);
  TDecompressionStream z(source);
  std::string out(2000, '\0');
  try {
    // Found while inflating the data or when reading on to the end, never passed over.
    z.ReadBuffer(&out[0], 2000);
    z.ReadToStreamEnd();
    FAIL() << "a wrong check value went unnoticed";
  } catch (const ECompressionError& e) {
    EXPECT_EQ(e.Message(), "Error");
    EXPECT_STREQ(e.ClassName(), "ECompressionError");
  }
}

TEST(DecompressionStreamCorrupt, DataWithoutAZlibHeaderRaisesError) {
  TMemoryStream source(std::string("PK\x03\x04 not zlib at all", 20));
  TDecompressionStream z(source);
  char out[16];
  EXPECT_THROW(z.Read(out, 16), ECompressionError);
}

TEST(DecompressionStreamCorrupt, AStreamAskingForADictionaryRaisesInsteadOfHanging) {
  TMemoryStream source(DictionaryStream());
  TDecompressionStream z(source);
  char out[64];
  EXPECT_THROW(z.Read(out, 64), ECompressionError);
}

// ---- refused and permitted moves -------------------------------------------------------

TEST(DecompressionStreamMoves, WritingIsRefused) {
  TMemoryStream source(CompressZlib("abc"));
  TDecompressionStream z(source);
  try {
    z.Write("x", 1);
    FAIL();
  } catch (const EDecompressionError& e) {
    EXPECT_EQ(e.Message(), "Invalid stream operation");
  }
}

TEST(DecompressionStreamMoves, SizeCannotBeKnownSoCopyingTheWholeStreamFails) {
  TMemoryStream source(CompressZlib("abc"));
  TDecompressionStream z(source);
  TMemoryStream dest;
  EXPECT_THROW(z.Size(), EDecompressionError);
  EXPECT_THROW(dest.CopyFrom(z, 0), EDecompressionError);
}

TEST(DecompressionStreamMoves, SkippingForwardDiscardsTheSkippedBytes) {
  std::string data = TextBytes(20000, 13);
  TMemoryStream source(CompressZlib(data));
  TDecompressionStream z(source);
  EXPECT_EQ(z.Seek(9000, soCurrent), 9000);
  EXPECT_EQ(z.Seek(12345, soBeginning), 12345);
  char out[10];
  z.ReadBuffer(out, 10);
  EXPECT_EQ(std::string(out, 10), data.substr(12345, 10));
  EXPECT_EQ(z.Position(), 12355);
}

TEST(DecompressionStreamMoves, SkippingPastTheEndIsAReadError) {
  TMemoryStream source(CompressZlib(TextBytes(1000, 14)));
  TDecompressionStream z(source);
  EXPECT_THROW(z.Seek(5000, soCurrent), EReadError);
}

TEST(DecompressionStreamMoves, BackwardsAndFromTheEndAreRefused) {
  TMemoryStream source(CompressZlib(TextBytes(1000, 15)));
  TDecompressionStream z(source);
  z.Seek(500, soBeginning);
  EXPECT_THROW(z.Seek(-1, soCurrent), EDecompressionError);
  EXPECT_THROW(z.Seek(200, soBeginning), EDecompressionError);
  EXPECT_THROW(z.Seek(500, soBeginning), EDecompressionError);
  EXPECT_THROW(z.Seek(0, soEnd), EDecompressionError);
  EXPECT_EQ(z.Position(), 500);
}

TEST(DecompressionStreamMoves, RewindingStartsOverAtTheStreamNotAtTheSourceBeginning) {
  // The stream sits after other bytes, as every entry in an archive does.
  std::string data = TextBytes(4000, 16);
  TMemoryStream source("0123456789" + CompressZlib(data));
  source.SetPosition(10);
  TDecompressionStream z(source);
  std::string out(4000, '\0');
  z.ReadBuffer(&out[0], 4000);
  EXPECT_EQ(z.Seek(0, soBeginning), 0);
  EXPECT_EQ(ReadAll(z, 999), data);
}

// The CRC-32 the program gives zlib in place of the library's: the standard's check value, in
// one piece and in two, as a gzip stream's reader would take it.
TEST(ZlibChecksum, GivesTheStandardCheckValueInOnePieceOrMany) {
  const Bytef* digits = reinterpret_cast<const Bytef*>("123456789");
  EXPECT_EQ(crc32(0, digits, 9), 0xCBF43926u);
  EXPECT_EQ(crc32(crc32(0, digits, 4), digits + 4, 5), 0xCBF43926u);
  EXPECT_EQ(crc32(12345, Z_NULL, 0), 0u);
}
