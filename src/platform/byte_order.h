// 16- and 32-bit integers at any byte address, in a fixed byte order:
// little-endian for the formats of the Windows family (BMP, packed DIBs,
// region data, PCX, TGA, GIF, curve files), big-endian for ICC profiles and
// Photo CD tables. The host's own byte order and alignment play no part.
#pragma once

#include <cstdint>

namespace platform {

// p[0] + 256 p[1].
inline uint16_t LoadLE16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

// p[0] + 2^8 p[1] + 2^16 p[2] + 2^24 p[3].
inline uint32_t LoadLE32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

// 256 p[0] + p[1].
inline uint16_t LoadBE16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

// 2^24 p[0] + 2^16 p[1] + 2^8 p[2] + p[3].
inline uint32_t LoadBE32(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | uint32_t{p[3]};
}

// The low 16 bits of v, low byte first; the higher bits are dropped.
inline void StoreLE16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

// v, low byte first.
inline void StoreLE32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

}  // namespace platform
