// The input buffer: consumption from the front, compaction, and its limits.
#include <gtest/gtest.h>

#include <string>

#include "net/transport/IdBuffer.h"
#include "net/transport/IdException.h"

namespace {
std::string Pattern(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 31 + i / 256) & 0xFF);
  return s;
}
}  // namespace

TEST(InputBuffer, ConsumingPastTheThresholdCompactsAndKeepsTheByteSequence) {
  TIdManagedBuffer b;
  const std::string data = Pattern(100000);
  b.Append(data.data(), 40000);
  std::string read;
  bool compacted = false;
  while (b.Size() > 1000) {
    read += b.ExtractBytes(1000);
    if (b.ConsumedCount() == 0) compacted = true;
  }
  EXPECT_TRUE(compacted);
  EXPECT_LT(b.ConsumedCount(), TIdManagedBuffer::CompactThreshold);
  b.Append(data.data() + 40000, 60000);  // arrivals after compaction land behind the unread bytes
  while (b.Size() > 0) read += b.ExtractBytes(static_cast<int>(std::min<std::int64_t>(b.Size(), 777)));
  EXPECT_TRUE(read == data);
}

TEST(InputBuffer, RemovingExactlyTheUnreadSizeEmptiesIt) {
  TIdManagedBuffer b;
  b.Append("abcdef", 6);
  b.RemoveBytes(2);
  EXPECT_EQ(b.ConsumedCount(), 2);
  b.RemoveBytes(4);
  EXPECT_EQ(b.Size(), 0);
  EXPECT_EQ(b.ConsumedCount(), 0);
  b.Append("xy", 2);
  EXPECT_EQ(b.ExtractBytes(2), "xy");
}

TEST(InputBuffer, TakingMoreThanHeldRaisesAndLosesNothing) {
  TIdManagedBuffer b;
  b.Append("abc", 3);
  try {
    b.ExtractBytes(4);
    FAIL();
  } catch (const EIdNotEnoughDataInBuffer& e) {
    EXPECT_EQ(e.Message(), "Not enough data in buffer.");
  }
  EXPECT_THROW(b.RemoveBytes(-1), EIdNotEnoughDataInBuffer);
  EXPECT_EQ(b.ExtractBytes(3), "abc");
}

TEST(InputBuffer, RemovalsAreNotifiedClearingIsNot) {
  TIdManagedBuffer b;
  int notified = 0;
  b.RemovalNotice = [&](TIdSimpleBuffer*, int n) { notified += n; };
  b.Append("abcdef", 6);
  b.ExtractBytes(2);
  b.RemoveBytes(4);
  b.Append("zz", 2);
  b.Clear();
  EXPECT_EQ(notified, 6);
}

TEST(InputBuffer, SeekingAndSizeLeaveOutTheConsumedFront) {
  TIdManagedBuffer b;
  b.Append("0123456789", 10);
  b.RemoveBytes(4);
  EXPECT_EQ(b.Size(), 6);
  b.SetPosition(0);
  char c[2];
  EXPECT_EQ(b.Read(c, 2), 2);
  EXPECT_EQ(std::string(c, 2), "45");
  EXPECT_EQ(std::string(b.Memory(), 6), "456789");
}

TEST(SimpleBuffer, RemovingMovesTheRestToTheFront) {
  TIdSimpleBuffer b;
  b.WriteBuffer("hello world", 11);
  b.RemoveBytes(6);
  EXPECT_EQ(b.Size(), 5);
  EXPECT_EQ(b.ExtractBytes(5), "world");
  EXPECT_EQ(b.Size(), 0);
}
