// The printer stream decoders (print/stream_decoder.h) under the names the
// print tests use, and random dot planes with their expectations.
#pragma once

#include <initializer_list>
#include <random>
#include <string>
#include <vector>

#include "print/stream_decoder.h"

namespace streamcheck {
using print::DecodeEpson;
using print::DecodeRtl;
using print::DotBitmap;
using print::EpsonDecode;
using print::RtlDecode;
using print::UnpackTiff;
}  // namespace streamcheck

// Random dot planes and expectations shared by the stream tests.

namespace streamtest {

using Bytes = std::vector<uint8_t>;

// Four planes (cyan, magenta, yellow, black) of rows x width dot bytes. Dots
// are 255 (printed) or one of the values just below (not printed).
struct Planes {
  int width = 0, rows = 0;
  Bytes plane[4];

  Planes(int w, int h, std::mt19937& rng, int density = 50) : width(w), rows(h) {
    const uint8_t blanks[] = {0, 1, 128, 254};
    for (auto& p : plane) {
      p.resize(static_cast<size_t>(w) * h);
      for (auto& d : p) d = static_cast<int>(rng() % 100) < density ? 255 : blanks[rng() % 4];
    }
  }
  const uint8_t* Row(int c, int y) const { return plane[c].data() + static_cast<size_t>(y) * width; }
};

// Compares a decoded bitmap with a plane placed at (top, left): every dot
// of the plane at its place, and no other dot anywhere.
inline std::string CompareBitmap(const streamcheck::DotBitmap& bitmap, const Planes& planes, int c,
                                 long top, long left) {
  long expected = 0;
  for (int y = 0; y < planes.rows; ++y)
    for (int x = 0; x < planes.width; ++x) {
      const bool want = planes.Row(c, y)[x] == 255;
      expected += want;
      if (bitmap.Get(top + y, left + x) != want)
        return "plane " + std::to_string(c) + " differs at row " + std::to_string(y) + " dot " +
               std::to_string(x);
    }
  if (bitmap.Count() != expected)
    return "plane " + std::to_string(c) + " has " + std::to_string(bitmap.Count() - expected) +
           " dots outside the image";
  return {};
}

inline Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

inline Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

}  // namespace streamtest
