// Helpers shared by the tone tests: random pictures of each pixel kind and
// raw pixel snapshots taken straight from the pixel block.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "image/dibitmap.h"
#include "platform/region.h"

namespace tone_test {

struct Kind {
  int bits;
  int options;
  const char* name;
};
inline constexpr Kind kGray{8, 1, "gray"};
inline constexpr Kind kPalette{8, 0, "palette"};
inline constexpr Kind kRGB{24, 0, "rgb"};
inline constexpr Kind kCMYK{32, 1, "cmyk"};
inline constexpr Kind kMono{1, 0, "mono"};

// A bitmap of the kind with random bytes in every pixel (and a random colour
// table for the palette kind).
inline void MakeRandom(CDIBitmap& image, Kind kind, int width, int height, uint32_t seed) {
  image.Create(width, height, kind.bits, kind.options);
  std::mt19937 random(seed);
  for (int y = 0; y < height; ++y) {
    uint8_t* row = image.RowPointer(y);
    for (int i = 0; i < image.GetRowBytes(); ++i) row[i] = static_cast<uint8_t>(random());
  }
  if (kind.bits == 8 && !(kind.options & 1)) {
    uint8_t table[256 * 4];
    for (int i = 0; i < 256 * 4; ++i) table[i] = (i % 4 == 3) ? 0 : static_cast<uint8_t>(random());
    image.SetColorTable(table, 256);
  }
}

// The packed pixel bytes of every row, top row first.
inline std::vector<uint8_t> Pixels(const CDIBitmap& image) {
  std::vector<uint8_t> out;
  for (int y = 0; y < image.GetHeight(); ++y) {
    const uint8_t* row = image.RowPointer(y);
    out.insert(out.end(), row, row + image.GetRowBytes());
  }
  return out;
}

inline std::vector<uint8_t> ColorTable(const CDIBitmap& image) {
  std::vector<uint8_t> out(static_cast<size_t>(image.GetPaletteSize()) * 4);
  if (!out.empty()) image.GetColorTable(out.data(), image.GetPaletteSize());
  return out;
}

// Selects the left half of the image (columns 0 .. width/2 - 1).
inline void SelectLeftHalf(CDIBitmap& image) {
  const platform::Rect rect{0, 0, image.GetWidth() / 2, image.GetHeight()};
  const platform::Region region = platform::Region::FromRects({&rect, 1});
  image.SetMaskRgn(&region);
}

}  // namespace tone_test
