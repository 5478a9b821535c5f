#pragma once
// The keyed byte-stream cipher of the mirror reply. A 16-bit register starts at Seed for
// every text; before byte i its high byte is the key byte, and afterwards it advances with
// the plain byte: R = (((plain + (R & 0xFF)) & 0xFF) * Multiplier + Increment) & 0xFFFF.
#include <cstdint>
#include <string>

struct TScrambleKey {
  std::uint16_t Multiplier = 0;
  std::uint16_t Increment = 0;
  std::uint16_t Seed = 0;
};

/// Unscrambles length bytes of source into dest. False, and nothing written, when the two
/// lengths differ. Every byte value is treated alike; lengths alone bound the texts.
bool UnscrambleBuffer(const void* source, int sourceLength, void* dest, TScrambleKey key, int destLength);
/// The unscrambled text, of the same length as the input.
std::string UnscrambleText(const std::string& text, TScrambleKey key);

/// The inverse, for publishing: UnscrambleBuffer(ScrambleBuffer(x)) == x for every x.
bool ScrambleBuffer(const void* source, int sourceLength, void* dest, TScrambleKey key, int destLength);
std::string ScrambleText(const std::string& text, TScrambleKey key);
