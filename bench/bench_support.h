// The picture every benchmark works on: 6000 x 4000 with the same
// deterministic pseudo-random bytes in every run.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>

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

// A photograph-like picture for the codec benchmarks (gradients with a little
// noise, so compressors see realistic data): 24-bit or 8-bit gray.
inline void FillPhoto(CDIBitmap& image) {
  uint32_t seed = 12345;
  const int channels = image.GetBitCount() / 8;
  const int width = image.GetWidth(), height = image.GetHeight();
  for (int y = 0; y < height; ++y) {
    uint8_t* row = image.RowPointer(y);
    for (int x = 0; x < width; ++x)
      for (int c = 0; c < channels; ++c) {
        seed = seed * 1664525u + 1013904223u;
        const int base = (c == 0 ? x * 255 / width : c == 1 ? y * 255 / height : (x + y) * 255 / (width + height));
        const int v = base + static_cast<int>(seed >> 29) - 4;
        row[x * channels + c] = static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
      }
  }
}

// The 6000 x 4000 photograph-like picture, made once per bit count (24 or 8).
inline const CDIBitmap& PhotoPicture(int bits) {
  static CDIBitmap rgb, gray;
  CDIBitmap& image = bits == 24 ? rgb : gray;
  if (!image.IsAllocated()) {
    image.Create(kWidth, kHeight, bits, 1);
    FillPhoto(image);
  }
  return image;
}

// A scratch file for benchmarks that write, under $TMPDIR or /tmp.
inline std::string BenchFile(const char* name) {
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir ? dir : "/tmp") + "/" + name;
}

}  // namespace bench
