#pragma once
// MD5 (RFC 1321) and the fingerprint text of a file: 32 lower-case hexadecimal digits.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/Text.h"

using TMD5Digest = std::array<std::uint8_t, 16>;

/// An MD5 engine: feed any number of Update calls, then Final once.
class TMD5Engine {
 public:
  TMD5Engine() { Reset(); }
  void Reset();
  void Update(const void* data, std::size_t length);
  /// Pads, appends the bit length and returns the digest; the engine must be Reset to reuse it.
  TMD5Digest Final();

 private:
  void Transform(const std::uint8_t* block64);
  std::uint32_t state_[4];
  std::uint64_t length_ = 0;  // bytes fed so far
  std::uint8_t pending_[64];  // the unfinished block
  std::size_t used_ = 0;      // bytes of pending_ in use
};

/// The digest of a byte string in one call.
TMD5Digest MD5OfBytes(const void* data, std::size_t length);
/// The digest as text: digits from the table "0123456789ABCDEF", high nibble first, in digest
/// byte order, then lower-cased.
std::string MD5DigestText(const TMD5Digest& digest);

/// Bytes the fingerprint reads at a time: a whole number of digest blocks. The launcher
/// fingerprints itself before its first window, so a large installer must not cost a system
/// call per 64-byte block (200 MB: about 3 million calls, seconds under Wine).
constexpr int kFingerprintRead = 64 * 1024;

/// The fingerprint of the file at `path`. Opens it read-only, letting others read but denying
/// writers (so a file someone is writing cannot be fingerprinted), and digests it front to back
/// in 64-byte blocks up to the size it has when opened, reading kFingerprintRead bytes at a
/// time. Raises EFOpenError when it cannot be opened and EReadError when it ends early.
std::string GetFileMD5(const TPath& path);
