// Bit-field pixels of 16- and 32-bit device-independent bitmaps, shared by
// the packed-DIB import and the BMP reader.
#pragma once

#include <array>
#include <cstdint>

#include "platform/byte_order.h"

// One channel of a bit-field pixel: the bits under the mask are reduced to
// at most their top 8 and widened to 8 bits by bit replication (n-bit v
// gives v repeated from the top: 5-bit 0b10110 -> 0b10110101), so the
// channel maximum maps to 255 and zero to 0. An empty mask reads 0.
struct DIBChannel {
  uint32_t mask = 0;
  int shift = 0;
  std::array<uint8_t, 256> widen{};
};

DIBChannel MakeDIBChannel(uint32_t mask);

struct DIBBitFields {
  DIBChannel red, green, blue;
};

// A 16- or 32-bit little-endian bit-field row to blue, green, red triples.
template <int Bytes>
void DIBBitFieldRow(const uint8_t* src, uint8_t* dst, int width, const DIBBitFields& f) {
  static_assert(Bytes == 2 || Bytes == 4);
  for (int x = 0; x < width; ++x, src += Bytes, dst += 3) {
    const uint32_t v = Bytes == 2 ? platform::LoadLE16(src) : platform::LoadLE32(src);
    dst[0] = f.blue.widen[(v & f.blue.mask) >> f.blue.shift];
    dst[1] = f.green.widen[(v & f.green.mask) >> f.green.shift];
    dst[2] = f.red.widen[(v & f.red.mask) >> f.red.shift];
  }
}
