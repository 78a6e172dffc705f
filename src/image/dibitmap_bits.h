// Bit helpers shared by the CDIBitmap source files. A 1-bit row holds its
// leftmost pixel in the most significant bit of its first byte.
#pragma once

#include <cstdint>

// The bit of pixel x (0 or 1).
inline int DIBGetBit(const uint8_t* row, int x) { return (row[x >> 3] >> (7 - (x & 7))) & 1; }

// Sets the bit of pixel x when value is non-zero, clears it otherwise.
inline void DIBSetBit(uint8_t* row, int x, int value) {
  const uint8_t bit = static_cast<uint8_t>(0x80u >> (x & 7));
  if (value)
    row[x >> 3] |= bit;
  else
    row[x >> 3] &= static_cast<uint8_t>(~bit);
}

// The bit counts a CDIBitmap can hold.
inline bool DIBValidBitCount(int bits) { return bits == 1 || bits == 8 || bits == 24 || bits == 32; }

// Copies `count` bits from src (starting at bit srcBit) to dst (starting at
// bit dstBit), most significant bit first; the other bits of dst keep their
// values.
void DIBCopyBits(uint8_t* dst, int64_t dstBit, const uint8_t* src, int64_t srcBit, int count);
