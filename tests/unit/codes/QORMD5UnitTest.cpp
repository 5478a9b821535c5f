#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "VerifyTestFiles.h"
#include "codes/QORMD5Unit.h"
#include "codes/ShareCodeCheckunit.h"

using verifytest::ScratchPath;
using verifytest::WriteFile;

namespace {

// Deterministic test data: byte i is (i * 131 + i / 256) mod 256.
std::string Pattern(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 131 + (i >> 8)) & 0xFF);
  return s;
}

// Bytes of a linear congruential generator (x = x * 1103515245 + 12345, top byte). Unlike
// Pattern() they do not repeat every 64 KiB, so a read that hands out stale or shifted bytes
// changes the digest.
std::string Noise(size_t n) {
  std::string s(n, '\0');
  std::uint32_t x = 1;
  for (size_t i = 0; i < n; ++i) {
    x = x * 1103515245u + 12345u;
    s[i] = static_cast<char>(x >> 24);
  }
  return s;
}

std::string MemoryFingerprint(const std::string& bytes) {
  return MD5DigestText(MD5OfBytes(bytes.data(), bytes.size()));
}

std::string FileFingerprint(const std::string& name, const std::string& bytes) {
  const TPath path = ScratchPath(name);
  WriteFile(path, bytes);
  return GetFileMD5(path);
}

bool IsFingerprintText(const std::string& s) {
  if (s.size() != 32) return false;
  for (char c : s)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  return true;
}

}  // namespace

// The RFC 1321 suite, written to files. Expected values are the published ones (also checked
// with coreutils: printf '%s' MESSAGE | md5sum).
TEST(FileFingerprint, RfcSuiteMessagesGiveTheirPublishedDigestsInLowerCase) {
  const struct {
    const char* message;
    const char* digest;
  } suite[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  int n = 0;
  for (const auto& c : suite) {
    EXPECT_EQ(FileFingerprint("rfc" + std::to_string(n++) + ".txt", c.message), c.digest) << '"' << c.message << '"';
  }
}

// Sizes around the padding boundaries (56 and 64) and a large odd size. Expected digests were
// computed once with coreutils' md5sum over the same Pattern() bytes, made by a Python one-liner.
TEST(FileFingerprint, SizesAroundThePaddingBoundariesMatchMd5sum) {
  const struct {
    size_t size;
    const char* digest;
  } cases[] = {
      {0, "d41d8cd98f00b204e9800998ecf8427e"},       {55, "94547360afd92a27850d16e32d14c445"},
      {56, "d8b26c30e907ae405b581a02e8a976e1"},      {63, "95ed95025fc61e86816e873b2a15614b"},
      {64, "543faeacda37eef7bf1d36b5b1e602c3"},      {65, "30b3b7bb110de0c3f8f5054f841bf029"},
      {1000003, "aac4c9cee93474afc070d25c1a8f2c5e"},
  };
  for (const auto& c : cases) {
    const std::string fp = FileFingerprint("size" + std::to_string(c.size) + ".bin", Pattern(c.size));
    EXPECT_EQ(fp, c.digest) << c.size << " bytes";
    EXPECT_TRUE(IsFingerprintText(fp)) << fp;
  }
}

// The file is read in large pieces beneath the 64-byte digest steps. Sizes where a read, a
// block or the last partial block ends at a read's end or just past it. The first digests
// were computed with Python's hashlib over the same Noise() bytes; the others are checked
// against the digest of the same content in memory.
TEST(FileFingerprint, SizesAroundTheReadSizeGiveTheDigestOfTheWholeFile) {
  const std::string data = Noise(3 * kFingerprintRead + 64);
  const struct {
    size_t size;
    const char* digest;
  } known[] = {
      {65535, "6c81f46dfcd30920ae909136646fde3a"},
      {65536, "857d8b3d811d0ed2ceca31df13e8c10e"},
      {65537, "4d685c046d4004d77d60fd3c71792e8d"},
      {131135, "e37d8a79ee0cddade43e4d164a203a0d"},
  };
  for (const auto& c : known) {
    EXPECT_EQ(FileFingerprint("noise.bin", data.substr(0, c.size)), c.digest) << c.size << " bytes";
  }

  const size_t b = kFingerprintRead;
  for (size_t size :
       {b - 64, b - 1, b, b + 1, b + 55, b + 63, b + 64, 2 * b - 1, 2 * b, 2 * b + 63, 3 * b + 56, 3 * b + 64}) {
    const std::string content = data.substr(0, size);
    EXPECT_EQ(FileFingerprint("noise.bin", content), MemoryFingerprint(content)) << size << " bytes";
  }
}

TEST(FileFingerprint, AnySingleChangedByteChangesIt) {
  std::string data = Pattern(1000003);
  const std::string original = FileFingerprint("change.bin", data);
  const size_t b = kFingerprintRead;
  for (size_t at : {size_t{0}, size_t{63}, size_t{64}, b - 1, b, size_t{500000}, data.size() - 1}) {
    std::string changed = data;
    changed[at] = static_cast<char>(changed[at] ^ 0x01);
    EXPECT_NE(FileFingerprint("change.bin", changed), original) << "byte " << at;
  }
}

// Data appended after a program image is part of what is fingerprinted.
TEST(FileFingerprint, DataAppendedAfterABuiltProgramCounts) {
  const std::string image = verifytest::ReadFile(platform::ModuleFileName());
  const std::string plain = FileFingerprint("image.exe", image);
  EXPECT_EQ(plain, GetFileMD5(platform::ModuleFileName()));
  const std::string appended = FileFingerprint("image.exe", image + "tail");
  EXPECT_NE(appended, plain);
  EXPECT_NE(FileFingerprint("image.exe", image + "tall"), appended);
}

TEST(FileFingerprint, MissingFileRaisesTheOpenError) {
  EXPECT_THROW(GetFileMD5(ScratchPath("no-such-file.bin")), EFOpenError);
}

// Feeding the engine in pieces of any size gives the digest of the whole: the block buffer
// carries partial blocks across calls correctly.
TEST(DigestEngine, PiecewiseUpdatesEqualOneCall) {
  const std::string data = Pattern(300);
  const TMD5Digest whole = MD5OfBytes(data.data(), data.size());
  for (size_t piece = 1; piece <= 130; ++piece) {
    TMD5Engine engine;
    for (size_t at = 0; at < data.size(); at += piece)
      engine.Update(data.data() + at, std::min(piece, data.size() - at));
    EXPECT_EQ(engine.Final(), whole) << "pieces of " << piece;
  }
}

// The program's own file spans many reads; its digest equals that of its bytes in memory.
TEST(OwnFingerprint, LoadExeMD5StoresTheRunningProgramsFingerprint) {
  TShareCode record;
  record.LoadExeMD5();
  EXPECT_TRUE(IsFingerprintText(record.GetExeMD5())) << record.GetExeMD5();
  const std::string image = verifytest::ReadFile(platform::ModuleFileName());
  ASSERT_GT(image.size(), static_cast<size_t>(2 * kFingerprintRead));
  EXPECT_EQ(record.GetExeMD5(), MemoryFingerprint(image));
}

TEST(OwnFingerprint, AFailedFingerprintLeavesTheStoredOneAlone) {
  TShareCode record;
  record.ExeMD5 = "0123456789abcdef0123456789abcdef";
  EXPECT_THROW(record.LoadExeMD5From(ScratchPath("no-such-file.bin")), EFOpenError);
  EXPECT_EQ(record.GetExeMD5(), "0123456789abcdef0123456789abcdef");
}

TEST(OwnFingerprint, InitShareCodeCreatesOneRecordKeyedAndFingerprinted) {
  InitShareCode();
  ASSERT_TRUE(ShareCode);
  TShareCode* first = ShareCode.get();
  EXPECT_EQ(ShareCode->CodeKey.Multiplier, 0x0011);
  EXPECT_EQ(ShareCode->CodeKey.Increment, 0x002E);
  EXPECT_EQ(ShareCode->CodeKey.Seed, 0x0052);
  EXPECT_EQ(ShareCode->GetExeMD5(), GetFileMD5(platform::ModuleFileName()));
  ShareCode->ServerCode = "kept";
  InitShareCode();
  EXPECT_EQ(ShareCode.get(), first);
  EXPECT_EQ(ShareCode->GetServerCode(), "kept");
}
