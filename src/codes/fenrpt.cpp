#include "codes/fenrpt.h"

namespace {

inline std::uint16_t Advance(std::uint16_t r, std::uint8_t plain, TScrambleKey key) {
  // An 8-bit sum: the carry out of the low byte is dropped before the multiplication.
  std::uint8_t t = static_cast<std::uint8_t>(plain + (r & 0xFF));
  return static_cast<std::uint16_t>(t * key.Multiplier + key.Increment);
}

// Both directions XOR with the register's high byte; they differ only in which side of the
// XOR is the plain byte that feeds the register.
template <bool kUnscramble>
bool Run(const void* source, int sourceLength, void* dest, TScrambleKey key, int destLength) {
  if (sourceLength != destLength || sourceLength < 0) return false;
  const auto* in = static_cast<const std::uint8_t*>(source);
  auto* out = static_cast<std::uint8_t*>(dest);
  std::uint16_t r = key.Seed;
  for (int i = 0; i < sourceLength; ++i) {
    std::uint8_t o = static_cast<std::uint8_t>(in[i] ^ (r >> 8));
    out[i] = o;
    r = Advance(r, kUnscramble ? o : in[i], key);
  }
  return true;
}

std::string RunText(const std::string& text, TScrambleKey key, bool (*fn)(const void*, int, void*, TScrambleKey, int)) {
  std::string result(text.size(), '\0');
  const int n = static_cast<int>(text.size());
  if (!fn(text.data(), n, &result[0], key, n)) return std::string();
  return result;
}

}  // namespace

bool UnscrambleBuffer(const void* source, int sourceLength, void* dest, TScrambleKey key, int destLength) {
  return Run<true>(source, sourceLength, dest, key, destLength);
}

std::string UnscrambleText(const std::string& text, TScrambleKey key) { return RunText(text, key, UnscrambleBuffer); }

bool ScrambleBuffer(const void* source, int sourceLength, void* dest, TScrambleKey key, int destLength) {
  return Run<false>(source, sourceLength, dest, key, destLength);
}

std::string ScrambleText(const std::string& text, TScrambleKey key) { return RunText(text, key, ScrambleBuffer); }
