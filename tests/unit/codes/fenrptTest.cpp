#include <gtest/gtest.h>

#include <string>

#include "codes/fenrpt.h"

namespace {
const TScrambleKey kReplyKey{0x0011, 0x002E, 0x0052};
}  // namespace

// Known answers from an independent model of the cipher (a few lines of Python written from
// the register description, not from this code).
TEST(Unscramble, KnownAnswersWithTheReplyKey) {
  EXPECT_EQ(UnscrambleText(std::string("d89a>fi?7h6 d<3<n:4; :=5igv4=>6c"), kReplyKey),
            "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(UnscrambleText(std::string("\x00\x01\x02\xff hello\x00", 11), kReplyKey), std::string("\x00\x04\x09\xfe"
                                                                                                  "0enaej\x05",
                                                                                                  11));
}

TEST(Unscramble, EmptyGivesEmptyAndEveryTextKeepsItsLength) {
  EXPECT_EQ(UnscrambleText("", kReplyKey), "");
  for (size_t n : {1, 2, 31, 32, 33, 1000}) {
    std::string in(n, '\0');  // zero bytes are data, not terminators
    EXPECT_EQ(UnscrambleText(in, kReplyKey).size(), n);
  }
}

TEST(Unscramble, RegisterRestartsAtTheSeedForEveryText) {
  const std::string in = "some reply text";
  const std::string first = UnscrambleText(in, kReplyKey);
  EXPECT_EQ(UnscrambleText(in, kReplyKey), first);
  // A different seed gives a different start.
  TScrambleKey other = kReplyKey;
  other.Seed = 0x1252;
  EXPECT_NE(UnscrambleText(in, other), first);
}

TEST(Unscramble, FeedbackUsesTheProducedByte) {
  const std::string in = "0123456789abcdef0123456789abcdef";
  const std::string base = UnscrambleText(in, kReplyKey);
  std::string changed = in;
  changed[5] = 'x';
  const std::string out = UnscrambleText(changed, kReplyKey);
  EXPECT_EQ(out.substr(0, 5), base.substr(0, 5));
  EXPECT_NE(out[5], base[5]);
  EXPECT_NE(out.substr(6), base.substr(6));
}

TEST(Unscramble, FeedbackSumWrapsAt256) {
  // Register 0x00F0: key byte 0, low byte 0xF0. The first produced byte 0x20 gives
  // t = (0x20 + 0xF0) & 0xFF = 0x10, so R = 0x0010 and the second key byte is 0x00;
  // a 16-bit sum (0x110) would make it 0x01.
  const TScrambleKey key{1, 0, 0x00F0};
  EXPECT_EQ(UnscrambleText(std::string("\x20\x00", 2), key), std::string("\x20\x00", 2));
}

TEST(Unscramble, LengthMismatchFailsAndWritesNothing) {
  const char src[4] = {'a', 'b', 'c', 'd'};
  char dst[4] = {'x', 'x', 'x', 'x'};
  EXPECT_FALSE(UnscrambleBuffer(src, 4, dst, kReplyKey, 3));
  EXPECT_EQ(std::string(dst, 4), "xxxx");
  EXPECT_TRUE(UnscrambleBuffer(src, 4, dst, kReplyKey, 4));
}

TEST(Scramble, IsTheInverseForEveryByteValue) {
  std::string all;
  for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
  all += all;
  for (TScrambleKey key : {kReplyKey, TScrambleKey{0xFFFF, 0xFFFF, 0xFFFF}, TScrambleKey{0, 0, 0}}) {
    EXPECT_EQ(UnscrambleText(ScrambleText(all, key), key), all);
  }
}
