// The information header of a device-independent bitmap, shared by the
// packed-DIB import, the BMP reader and the clipboard checks of the
// document. It only reads the fields; each caller applies its own rules of
// what it accepts and reports.
//
// Two layouts exist, told apart by the 32-bit size field at offset 0:
// - size 12, the core header (OS/2 1.x): unsigned 16-bit width, height,
//   planes and bit count at offsets 4, 6, 8 and 10; no other field.
// - any other size, the information header (40 bytes, and its longer forms
//   of 52, 56, 64, 108 and 124 bytes, which begin the same way): signed
//   32-bit width at 4 and height at 8 (a negative height marks top-down
//   rows), 16-bit planes at 12 and bit count at 14, then 32-bit compression
//   (16), image size (20), horizontal and vertical pixels per metre (24,
//   28) and colours used (32). The red, green and blue bit-field masks stand
//   at 40, 44 and 48: inside a header of 52 bytes or more, and right after a
//   40-byte header whose compression is kBiBitFields.
// All values are little-endian.
#pragma once

#include <array>
#include <cstdint>
#include <span>

inline constexpr uint32_t kCoreHeaderSize = 12;

// Compression field values.
enum DIBCompression : uint32_t { kBiRgb = 0, kBiRle8 = 1, kBiRle4 = 2, kBiBitFields = 3 };

struct DIBInfoHeader {
  uint32_t size = 0;  // the size field: kCoreHeaderSize or the information header's size
  int64_t width = 0;
  int64_t height = 0;  // negative: rows stored top-down
  int planes = 0;
  int bitCount = 0;
  uint32_t compression = kBiRgb;
  uint32_t imageSize = 0;
  int32_t xPelsPerMeter = 0;
  int32_t yPelsPerMeter = 0;
  uint32_t colorsUsed = 0;
  std::array<uint32_t, 3> masks{};  // red, green, blue
};

// Reads the header at the start of `bytes` as laid out above. A field is
// read only when `bytes` holds all of it and is 0 otherwise (the masks all
// three or none; in the core layout they and the fields after the bit count
// are always 0). Nothing is checked: a caller that needs the whole header
// compares bytes.size() with the size field itself, and one that looks only
// at the first fields may pass a block cut short.
DIBInfoHeader ReadDIBInfoHeader(std::span<const uint8_t> bytes);
