#include "codes/QORMD5Unit.h"

#include <cstring>
#include <memory>

#include "base/Classes.h"
#include "base/SysUtils.h"

namespace {

inline std::uint32_t Rotl(std::uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

// Little-endian word i of a block; compilers turn this into one load on x86.
inline std::uint32_t Word(const std::uint8_t* p, int i) {
  p += 4 * i;
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// The four auxiliary functions, in forms that need fewer operations than the textbook ones
// but give the same values.
inline std::uint32_t F(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return z ^ (x & (y ^ z)); }
inline std::uint32_t G(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return y ^ (z & (x ^ y)); }
inline std::uint32_t H(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return x ^ y ^ z; }
inline std::uint32_t I(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return y ^ (x | ~z); }

#define MD5_STEP(f, a, b, c, d, x, t, s) \
  a += f(b, c, d) + (x) + (t);           \
  a = Rotl(a, s) + b

}  // namespace

void TMD5Engine::Reset() {
  state_[0] = 0x67452301u;
  state_[1] = 0xefcdab89u;
  state_[2] = 0x98badcfeu;
  state_[3] = 0x10325476u;
  length_ = 0;
  used_ = 0;
}

void TMD5Engine::Transform(const std::uint8_t* p) {
  std::uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
  const std::uint32_t x0 = Word(p, 0), x1 = Word(p, 1), x2 = Word(p, 2), x3 = Word(p, 3), x4 = Word(p, 4),
                      x5 = Word(p, 5), x6 = Word(p, 6), x7 = Word(p, 7), x8 = Word(p, 8), x9 = Word(p, 9),
                      x10 = Word(p, 10), x11 = Word(p, 11), x12 = Word(p, 12), x13 = Word(p, 13), x14 = Word(p, 14),
                      x15 = Word(p, 15);

  MD5_STEP(F, a, b, c, d, x0, 0xd76aa478u, 7);
  MD5_STEP(F, d, a, b, c, x1, 0xe8c7b756u, 12);
  MD5_STEP(F, c, d, a, b, x2, 0x242070dbu, 17);
  MD5_STEP(F, b, c, d, a, x3, 0xc1bdceeeu, 22);
  MD5_STEP(F, a, b, c, d, x4, 0xf57c0fafu, 7);
  MD5_STEP(F, d, a, b, c, x5, 0x4787c62au, 12);
  MD5_STEP(F, c, d, a, b, x6, 0xa8304613u, 17);
  MD5_STEP(F, b, c, d, a, x7, 0xfd469501u, 22);
  MD5_STEP(F, a, b, c, d, x8, 0x698098d8u, 7);
  MD5_STEP(F, d, a, b, c, x9, 0x8b44f7afu, 12);
  MD5_STEP(F, c, d, a, b, x10, 0xffff5bb1u, 17);
  MD5_STEP(F, b, c, d, a, x11, 0x895cd7beu, 22);
  MD5_STEP(F, a, b, c, d, x12, 0x6b901122u, 7);
  MD5_STEP(F, d, a, b, c, x13, 0xfd987193u, 12);
  MD5_STEP(F, c, d, a, b, x14, 0xa679438eu, 17);
  MD5_STEP(F, b, c, d, a, x15, 0x49b40821u, 22);

  MD5_STEP(G, a, b, c, d, x1, 0xf61e2562u, 5);
  MD5_STEP(G, d, a, b, c, x6, 0xc040b340u, 9);
  MD5_STEP(G, c, d, a, b, x11, 0x265e5a51u, 14);
  MD5_STEP(G, b, c, d, a, x0, 0xe9b6c7aau, 20);
  MD5_STEP(G, a, b, c, d, x5, 0xd62f105du, 5);
  MD5_STEP(G, d, a, b, c, x10, 0x02441453u, 9);
  MD5_STEP(G, c, d, a, b, x15, 0xd8a1e681u, 14);
  MD5_STEP(G, b, c, d, a, x4, 0xe7d3fbc8u, 20);
  MD5_STEP(G, a, b, c, d, x9, 0x21e1cde6u, 5);
  MD5_STEP(G, d, a, b, c, x14, 0xc33707d6u, 9);
  MD5_STEP(G, c, d, a, b, x3, 0xf4d50d87u, 14);
  MD5_STEP(G, b, c, d, a, x8, 0x455a14edu, 20);
  MD5_STEP(G, a, b, c, d, x13, 0xa9e3e905u, 5);
  MD5_STEP(G, d, a, b, c, x2, 0xfcefa3f8u, 9);
  MD5_STEP(G, c, d, a, b, x7, 0x676f02d9u, 14);
  MD5_STEP(G, b, c, d, a, x12, 0x8d2a4c8au, 20);

  MD5_STEP(H, a, b, c, d, x5, 0xfffa3942u, 4);
  MD5_STEP(H, d, a, b, c, x8, 0x8771f681u, 11);
  MD5_STEP(H, c, d, a, b, x11, 0x6d9d6122u, 16);
  MD5_STEP(H, b, c, d, a, x14, 0xfde5380cu, 23);
  MD5_STEP(H, a, b, c, d, x1, 0xa4beea44u, 4);
  MD5_STEP(H, d, a, b, c, x4, 0x4bdecfa9u, 11);
  MD5_STEP(H, c, d, a, b, x7, 0xf6bb4b60u, 16);
  MD5_STEP(H, b, c, d, a, x10, 0xbebfbc70u, 23);
  MD5_STEP(H, a, b, c, d, x13, 0x289b7ec6u, 4);
  MD5_STEP(H, d, a, b, c, x0, 0xeaa127fau, 11);
  MD5_STEP(H, c, d, a, b, x3, 0xd4ef3085u, 16);
  MD5_STEP(H, b, c, d, a, x6, 0x04881d05u, 23);
  MD5_STEP(H, a, b, c, d, x9, 0xd9d4d039u, 4);
  MD5_STEP(H, d, a, b, c, x12, 0xe6db99e5u, 11);
  MD5_STEP(H, c, d, a, b, x15, 0x1fa27cf8u, 16);
  MD5_STEP(H, b, c, d, a, x2, 0xc4ac5665u, 23);

  MD5_STEP(I, a, b, c, d, x0, 0xf4292244u, 6);
  MD5_STEP(I, d, a, b, c, x7, 0x432aff97u, 10);
  MD5_STEP(I, c, d, a, b, x14, 0xab9423a7u, 15);
  MD5_STEP(I, b, c, d, a, x5, 0xfc93a039u, 21);
  MD5_STEP(I, a, b, c, d, x12, 0x655b59c3u, 6);
  MD5_STEP(I, d, a, b, c, x3, 0x8f0ccc92u, 10);
  MD5_STEP(I, c, d, a, b, x10, 0xffeff47du, 15);
  MD5_STEP(I, b, c, d, a, x1, 0x85845dd1u, 21);
  MD5_STEP(I, a, b, c, d, x8, 0x6fa87e4fu, 6);
  MD5_STEP(I, d, a, b, c, x15, 0xfe2ce6e0u, 10);
  MD5_STEP(I, c, d, a, b, x6, 0xa3014314u, 15);
  MD5_STEP(I, b, c, d, a, x13, 0x4e0811a1u, 21);
  MD5_STEP(I, a, b, c, d, x4, 0xf7537e82u, 6);
  MD5_STEP(I, d, a, b, c, x11, 0xbd3af235u, 10);
  MD5_STEP(I, c, d, a, b, x2, 0x2ad7d2bbu, 15);
  MD5_STEP(I, b, c, d, a, x9, 0xeb86d391u, 21);

  state_[0] += a;
  state_[1] += b;
  state_[2] += c;
  state_[3] += d;
}

#undef MD5_STEP

void TMD5Engine::Update(const void* data, std::size_t length) {
  const auto* p = static_cast<const std::uint8_t*>(data);
  length_ += length;
  if (used_ > 0) {
    std::size_t take = 64 - used_ < length ? 64 - used_ : length;
    std::memcpy(pending_ + used_, p, take);
    used_ += take;
    p += take;
    length -= take;
    if (used_ < 64) return;
    Transform(pending_);
    used_ = 0;
  }
  for (; length >= 64; p += 64, length -= 64) Transform(p);
  if (length > 0) {
    std::memcpy(pending_, p, length);
    used_ = length;
  }
}

TMD5Digest TMD5Engine::Final() {
  const std::uint64_t bits = length_ * 8;
  static const std::uint8_t kPadding[64] = {0x80};
  // 0x80, then zeros up to 56 bytes modulo 64, then the length: 1 to 64 bytes of padding.
  std::size_t pad = used_ < 56 ? 56 - used_ : 120 - used_;
  Update(kPadding, pad);
  std::uint8_t tail[8];
  for (int i = 0; i < 8; ++i) tail[i] = static_cast<std::uint8_t>(bits >> (8 * i));
  Update(tail, 8);
  TMD5Digest digest;
  for (int w = 0; w < 4; ++w)
    for (int i = 0; i < 4; ++i) digest[4 * w + i] = static_cast<std::uint8_t>(state_[w] >> (8 * i));
  return digest;
}

TMD5Digest MD5OfBytes(const void* data, std::size_t length) {
  TMD5Engine engine;
  engine.Update(data, length);
  return engine.Final();
}

std::string MD5DigestText(const TMD5Digest& digest) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(32);
  for (std::uint8_t byte : digest) {
    text += kHex[byte >> 4];
    text += kHex[byte & 0x0F];
  }
  return LowerCase(text);
}

static_assert(kFingerprintRead > 0 && kFingerprintRead % 64 == 0, "a read must be a whole number of blocks");

std::string GetFileMD5(const TPath& path) {
  // Each read but the last holds whole 64-byte blocks, which the engine digests one after the
  // other straight from the buffer.
  constexpr int readSize = kFingerprintRead;
  TFileStream file(path, platform::FileAccess::Read, platform::FileShare::Read, platform::FileCreate::OpenExisting);
  TMD5Engine engine;
  std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[readSize]);
  for (std::int64_t remaining = file.Size() - file.Position(); remaining > 0;) {
    const int count = remaining < readSize ? static_cast<int>(remaining) : readSize;
    file.ReadBuffer(buffer.get(), count);
    engine.Update(buffer.get(), static_cast<std::size_t>(count));
    remaining -= count;
  }
  return MD5DigestText(engine.Final());
}
