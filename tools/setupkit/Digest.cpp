#include "Digest.h"

#include <array>
#include <cstring>

#include "codes/QORMD5Unit.h"

namespace {

std::uint32_t Rotl(std::uint32_t x, int n) { return x << n | x >> (32 - n); }
std::uint32_t Rotr(std::uint32_t x, int n) { return x >> n | x << (32 - n); }
std::uint32_t Big32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
         static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

// The Merkle-Damgard frame SHA-1 and SHA-256 share: 64-byte blocks, the bit length big-endian
// in the last 8 bytes of the padding, the state written out big-endian.
template <std::size_t Words>
class TShaFrame : public TDigest {
 public:
  void Update(const void* data, std::size_t length) override {
    const auto* p = static_cast<const std::uint8_t*>(data);
    length_ += length;
    while (length > 0) {
      const std::size_t n = std::min(length, sizeof block_ - used_);
      std::memcpy(block_ + used_, p, n);
      used_ += n;
      p += n;
      length -= n;
      if (used_ == sizeof block_) {
        Transform(block_);
        used_ = 0;
      }
    }
  }
  std::string Final() override {
    const std::uint64_t bits = length_ * 8;
    const std::uint8_t one = 0x80, zero = 0;
    Update(&one, 1);
    while (used_ != 56) Update(&zero, 1);
    std::uint8_t tail[8];
    for (int i = 0; i < 8; ++i) tail[i] = static_cast<std::uint8_t>(bits >> (56 - 8 * i));
    Update(tail, 8);
    std::string out;
    for (std::uint32_t w : state_)
      for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>(w >> shift & 0xFF);
    return out;
  }

 protected:
  virtual void Transform(const std::uint8_t* block) = 0;
  std::array<std::uint32_t, Words> state_{};

 private:
  std::uint8_t block_[64];
  std::size_t used_ = 0;
  std::uint64_t length_ = 0;
};

class TSha1 : public TShaFrame<5> {
 public:
  TSha1() { state_ = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0}; }

 private:
  void Transform(const std::uint8_t* block) override {
    std::uint32_t w[80];
    for (int i = 0; i < 16; ++i) w[i] = Big32(block + 4 * i);
    for (int i = 16; i < 80; ++i) w[i] = Rotl(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
    std::uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3], e = state_[4];
    for (int i = 0; i < 80; ++i) {
      const std::uint32_t f = i < 20 ? (b & c) | (~b & d) : i < 40 || i >= 60 ? b ^ c ^ d : (b & c) | (b & d) | (c & d);
      const std::uint32_t k = i < 20 ? 0x5A827999 : i < 40 ? 0x6ED9EBA1 : i < 60 ? 0x8F1BBCDC : 0xCA62C1D6;
      const std::uint32_t t = Rotl(a, 5) + f + e + k + w[i];
      e = d;
      d = c;
      c = Rotl(b, 30);
      b = a;
      a = t;
    }
    state_[0] += a, state_[1] += b, state_[2] += c, state_[3] += d, state_[4] += e;
  }
};

class TSha256 : public TShaFrame<8> {
 public:
  TSha256() {
    state_ = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  }

 private:
  void Transform(const std::uint8_t* block) override {
    // clang-format off
    static const std::uint32_t k[64] = {
        0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
        0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
        0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
        0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
        0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
        0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
        0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
        0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};
    // clang-format on
    std::uint32_t w[64];
    for (int i = 0; i < 16; ++i) w[i] = Big32(block + 4 * i);
    for (int i = 16; i < 64; ++i) {
      const std::uint32_t s0 = Rotr(w[i - 15], 7) ^ Rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
      const std::uint32_t s1 = Rotr(w[i - 2], 17) ^ Rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
      w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    std::array<std::uint32_t, 8> v = state_;
    for (int i = 0; i < 64; ++i) {
      const std::uint32_t s1 = Rotr(v[4], 6) ^ Rotr(v[4], 11) ^ Rotr(v[4], 25);
      const std::uint32_t ch = (v[4] & v[5]) ^ (~v[4] & v[6]);
      const std::uint32_t t1 = v[7] + s1 + ch + k[i] + w[i];
      const std::uint32_t s0 = Rotr(v[0], 2) ^ Rotr(v[0], 13) ^ Rotr(v[0], 22);
      const std::uint32_t maj = (v[0] & v[1]) ^ (v[0] & v[2]) ^ (v[1] & v[2]);
      for (int j = 7; j > 0; --j) v[j] = v[j - 1];
      v[4] += t1;
      v[0] = t1 + s0 + maj;
    }
    for (int i = 0; i < 8; ++i) state_[i] += v[i];
  }
};

class TMd5 : public TDigest {
 public:
  void Update(const void* data, std::size_t length) override { engine_.Update(data, length); }
  std::string Final() override {
    const TMD5Digest d = engine_.Final();
    return std::string(d.begin(), d.end());
  }

 private:
  TMD5Engine engine_;
};

// Dotted text of an OID's content bytes.
std::string OidText(const std::string& oid) {
  if (oid.empty()) return "OID (empty)";
  std::string text = "OID " + std::to_string(static_cast<unsigned char>(oid[0]) / 40) + "." +
                     std::to_string(static_cast<unsigned char>(oid[0]) % 40);
  std::uint64_t arc = 0;
  for (std::size_t i = 1; i < oid.size(); ++i) {
    arc = arc << 7 | (static_cast<unsigned char>(oid[i]) & 0x7F);
    if (!(static_cast<unsigned char>(oid[i]) & 0x80)) {
      text += "." + std::to_string(arc);
      arc = 0;
    }
  }
  return text;
}

}  // namespace

std::unique_ptr<TDigest> DigestForOid(const std::string& oid, std::string& name) {
  if (oid == "\x2B\x0E\x03\x02\x1A") {
    name = "SHA-1";
    return std::make_unique<TSha1>();
  }
  if (oid == std::string("\x60\x86\x48\x01\x65\x03\x04\x02\x01", 9)) {
    name = "SHA-256";
    return std::make_unique<TSha256>();
  }
  if (oid == "\x2A\x86\x48\x86\xF7\x0D\x02\x05") {
    name = "MD5";
    return std::make_unique<TMd5>();
  }
  name = OidText(oid);
  return nullptr;
}

std::string DigestOf(const std::string& oid, const std::string& bytes) {
  std::string name;
  std::unique_ptr<TDigest> d = DigestForOid(oid, name);
  if (!d) return "";
  d->Update(bytes.data(), bytes.size());
  return d->Final();
}
