// The picture every benchmark works on: 6000 x 4000 with the same
// deterministic pseudo-random bytes in every run.
#pragma once

#include <cstdint>

#include "image/dibitmap.h"

namespace bench {

inline constexpr int kWidth = 6000;
inline constexpr int kHeight = 4000;

// Fills every pixel byte of an allocated bitmap from a fixed linear
// congruential sequence.
inline void FillNoise(CDIBitmap& image) {
  uint32_t seed = 12345;
  for (int y = 0; y < image.GetHeight(); ++y) {
    uint8_t* row = image.RowPointer(y);
    for (int i = 0; i < image.GetRowBytes(); ++i) {
      seed = seed * 1664525u + 1013904223u;
      row[i] = static_cast<uint8_t>(seed >> 24);
    }
  }
}

}  // namespace bench
