// Rotation by any angle and shear (see geometry.h).
//
// Both resample along one axis at a time with two taps: a pixel p and its
// neighbour p + 1 weighted w8 / 256. Positions are fixed point with 32
// fraction bits in 64-bit integers, so the result is the same on every
// machine and with one or two threads.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "image/dibitmap.h"
#include "imaging/geometry.h"
#include "imaging/geometry_support.h"
#include "imaging/row_job.h"
#include "platform/messages.h"
#include "platform/progress.h"

namespace {

using geometry_detail::Replace;
using geometry_detail::Valid;

constexpr double kRadiansPerHundredth = 0.00017453292519943277;
constexpr double kFixedOne = 4294967296.0;  // 2^32
// Results longer than this along one axis are refused before allocating.
constexpr double kMaxExtent = 1073741824.0;  // 2^30


int NormalizeAngle(int angle) {
  int a = angle % 36000;
  return a < 0 ? a + 36000 : a;
}

inline int64_t ToFixed(double v) { return static_cast<int64_t>(std::floor(v * kFixedOne + 0.5)); }

// A fixed-point position split into pixel and weight in 256ths.
struct Tap {
  int64_t p;
  int w8;
};

inline Tap Split(int64_t position) {
  Tap t{position >> 32, static_cast<int>(((static_cast<uint64_t>(position) & 0xFFFFFFFFu) + (1u << 23)) >> 24)};
  if (t.w8 == 256) {
    ++t.p;
    t.w8 = 0;
  }
  return t;
}

// Which of the three sampling rules applies to the image.
enum class Rule { Blend, Pick, Bit };

Rule RuleOf(const CDIBitmap& image) {
  if (image.GetBitCount() == 1) return Rule::Bit;
  if (image.GetBitCount() == 8 && !image.IsGray()) return Rule::Pick;
  return Rule::Blend;
}

// One result pixel from the line of n pixels at origin + i * step (bytes),
// at position p + w8 / 256. Outside the line the pixels are zero; with
// edgeCopy a position within one pixel outside takes the edge pixel. `out`
// must start zero.
template <int Bpp, Rule kRule>
inline void Sample(const uint8_t* origin, int64_t step, int64_t n, Tap t, bool edgeCopy, uint8_t* out) {
  static constexpr uint8_t kZero[4] = {0, 0, 0, 0};
  const uint8_t* a;
  const uint8_t* b;
  // Wholly outside: the result is new and already zero there.
  if (t.p < -1 || t.p >= n) return;
  if (t.p >= 0 && t.p + 1 < n) {
    a = origin + t.p * step;
    b = a + step;
  } else {
    a = t.p >= 0 && t.p < n ? origin + t.p * step : kZero;
    b = t.p + 1 >= 0 && t.p + 1 < n ? origin + (t.p + 1) * step : kZero;
    if (edgeCopy && t.w8 != 0) {
      if (t.p == -1)
        a = b;
      else if (t.p == n - 1)
        b = a;
    }
  }
  if constexpr (kRule == Rule::Pick) {
    out[0] = (edgeCopy && t.p == -1 && t.w8 != 0) ? b[0] : a[0];
  } else {
    const int w8 = t.w8;
    for (int c = 0; c < Bpp; ++c) out[c] = static_cast<uint8_t>((a[c] * (256 - w8) + b[c] * w8 + 128) >> 8);
  }
}

inline int GetBit(const uint8_t* row, int64_t x) { return (row[x >> 3] >> (7 - (x & 7))) & 1; }

inline void PutBit(uint8_t* row, int64_t x, int bit) {
  if (bit) row[x >> 3] |= static_cast<uint8_t>(0x80u >> (x & 7));
}

// 1-bit pick: the pixel at p of a line; `bitOf(i)` reads position i.
template <typename BitOf>
inline int SampleBit(BitOf bitOf, int64_t n, Tap t, bool edgeCopy) {
  if (t.p >= 0 && t.p < n) return bitOf(t.p);
  if (edgeCopy && t.p == -1 && t.w8 != 0) return bitOf(0);
  return 0;
}

// Runs body(first, last) over [0, rows): on two threads when progress is
// off, else row by row with progress base + span * row / rows. False when
// cancelled.
template <typename Body>
bool RunRows(int rows, int64_t bytesPerRow, int base, int span, Body&& body) {
  if (!ProgressEnabled()) {
    GL_ParallelRows(rows, bytesPerRow, [&body](int first, int last) { body(first, last); });
    return true;
  }
  for (int y = 0; y < rows; ++y) {
    body(y, y + 1);
    if (ProgressStep(base + static_cast<int>(int64_t{span} * y / rows)) == kProgressCancelled) return false;
  }
  return true;
}

// Along rows: out row y of `dst` samples row y of `src` at position(y, x).
// Position is a callable giving the fixed-point position of result column x.
template <int Bpp, Rule kRule, typename Position>
void AlongRows(const CDIBitmap& src, CDIBitmap& dst, int first, int last, bool edgeCopy, Position position) {
  const int n = src.GetWidth();
  const int width = dst.GetWidth();
  for (int y = first; y < last; ++y) {
    const uint8_t* in = src.RowPointer(y);
    uint8_t* out = dst.RowPointer(y);
    if constexpr (kRule == Rule::Bit) {
      auto bitOf = [in](int64_t i) { return GetBit(in, i); };
      for (int x = 0; x < width; ++x) PutBit(out, x, SampleBit(bitOf, n, Split(position(y, x)), edgeCopy));
    } else {
      for (int x = 0; x < width; ++x, out += Bpp) Sample<Bpp, kRule>(in, Bpp, n, Split(position(y, x)), edgeCopy, out);
    }
  }
}

// Along columns: pixel (x, y) of `dst` samples column x of `src` at
// position(y, x) (a row position).
template <int Bpp, Rule kRule, typename Position>
void AlongColumns(const CDIBitmap& src, CDIBitmap& dst, int first, int last, bool edgeCopy, Position position) {
  const int n = src.GetHeight();
  const int width = dst.GetWidth();
  const uint8_t* top = src.RowPointer(0);
  const int64_t down = -static_cast<int64_t>(src.GetStride());
  for (int y = first; y < last; ++y) {
    uint8_t* out = dst.RowPointer(y);
    if constexpr (kRule == Rule::Bit) {
      for (int x = 0; x < width; ++x) {
        auto bitOf = [top, down, x](int64_t i) { return GetBit(top + i * down, x); };
        PutBit(out, x, SampleBit(bitOf, n, Split(position(y, x)), edgeCopy));
      }
    } else {
      for (int x = 0; x < width; ++x, out += Bpp)
        Sample<Bpp, kRule>(top + static_cast<int64_t>(x) * Bpp, down, n, Split(position(y, x)), edgeCopy, out);
    }
  }
}

// Dispatches once per call on the pixel kind.
template <bool kRows, typename Position>
void Resample(const CDIBitmap& src, CDIBitmap& dst, int first, int last, bool edgeCopy, Position position) {
  auto run = [&]<int Bpp, Rule kRule>() {
    if constexpr (kRows)
      AlongRows<Bpp, kRule>(src, dst, first, last, edgeCopy, position);
    else
      AlongColumns<Bpp, kRule>(src, dst, first, last, edgeCopy, position);
  };
  switch (RuleOf(src)) {
    case Rule::Bit: run.template operator()<1, Rule::Bit>(); break;
    case Rule::Pick: run.template operator()<1, Rule::Pick>(); break;
    case Rule::Blend:
      switch (src.GetBitCount()) {
        case 8: run.template operator()<1, Rule::Blend>(); break;
        case 24: run.template operator()<3, Rule::Blend>(); break;
        default: run.template operator()<4, Rule::Blend>(); break;
      }
      break;
  }
}

// The result size of rotating a w x h image by `a` radians (see geometry.h).
void RotatedSize(int w, int h, double a, int& width, int& height) {
  const int cx = w / 2;
  const int cy = h / 2;
  const int corners[4][2] = {{0, 0}, {w - 1, 0}, {0, h - 1}, {w - 1, h - 1}};
  int minX = 0, maxX = 0, minY = 0, maxY = 0;
  for (int i = 0; i < 4; ++i) {
    int x = corners[i][0];
    int y = corners[i][1];
    GL_RotatePoint(x, y, cx, cy, a);
    if (i == 0 || x < minX) minX = x;
    if (i == 0 || x > maxX) maxX = x;
    if (i == 0 || y < minY) minY = y;
    if (i == 0 || y > maxY) maxY = y;
  }
  width = maxX - minX + 1;
  height = maxY - minY + 1;
}

}  // namespace

void GL_RotatePoint(int& x, int& y, int cx, int cy, double angle) {
  const double c = std::cos(angle);
  const double s = std::sin(angle);
  const double nx = (1 - c) * cx + cy * s + x * c - y * s;
  const double ny = cy - (cy * c + cx * s) + y * c + x * s;
  x = static_cast<int>(std::floor(nx + 0.5));
  y = static_cast<int>(std::floor(ny + 0.5));
}

int GL_RotateBitmap(CDIBitmap& image, int angle, int expand, int edgeCopy) {
  if (!Valid(image)) return 0;
  int hundredths = NormalizeAngle(angle);
  int quarters = 0;
  if (hundredths > 31500) {
    hundredths -= 36000;
  } else if (hundredths > 4500) {
    quarters = (hundredths + 4499) / 9000;  // 4501..13500 -> 1, .. 22501..31500 -> 3
    hundredths -= quarters * 9000;
  }
  // The quarter turns come first, on a copy, so the image stays as it was
  // until the result is complete.
  CDIBitmap turned;
  const CDIBitmap* source = &image;
  if (quarters) {
    if (!turned.CopyFrom(image)) return 0;
    const int r = quarters == 1 ? GL_Rotate90(turned) : quarters == 2 ? GL_Rotate180(turned) : GL_Rotate270(turned);
    if (r != 1) return r;
    source = &turned;
  }
  const double a = hundredths * kRadiansPerHundredth;
  const int w = source->GetWidth();
  const int h = source->GetHeight();
  int width = image.GetWidth();
  int height = image.GetHeight();
  if (expand) RotatedSize(w, h, a, width, height);

  const double c = std::cos(a);
  const double s = std::sin(a);
  const double q = 1 / c;
  const double t = s / c;
  const double cxs = (w - 1) / 2.0;
  const double cys = (h - 1) / 2.0;
  const double cxt = (width - 1) / 2.0;
  const double cyt = (height - 1) / 2.0;
  const bool edges = edgeCopy != 0;

  // Pass 1: along the rows into a width x h image.
  CDIBitmap middle;
  if (!middle.CreateCompatible(*source, width, h)) return 0;
  const int64_t stepX = ToFixed(q);
  std::vector<int64_t> rowOffset(static_cast<size_t>(h));
  for (int y = 0; y < h; ++y) rowOffset[static_cast<size_t>(y)] = ToFixed((cxs - cxt * q) + t * (y - cys));
  if (ProgressEnabled()) ProgressBegin(0, 100);
  bool done = RunRows(h, middle.GetRowBytes(), 0, 50, [&](int first, int last) {
    Resample<true>(*source, middle, first, last, edges,
                   [&](int y, int x) { return rowOffset[static_cast<size_t>(y)] + x * stepX; });
  });
  if (!done) return kResultCancelled;
  if (quarters) turned.Free();

  // Pass 2: along the columns into the result.
  CDIBitmap result;
  if (!result.CreateCompatible(image, width, height)) return 0;
  const int64_t stepY = ToFixed(c);
  std::vector<int64_t> columnOffset(static_cast<size_t>(width));
  for (int x = 0; x < width; ++x) columnOffset[static_cast<size_t>(x)] = ToFixed((cys - c * cyt) - s * (x - cxt));
  done = RunRows(height, result.GetRowBytes(), 50, 50, [&](int first, int last) {
    Resample<false>(middle, result, first, last, edges,
                    [&](int y, int x) { return columnOffset[static_cast<size_t>(x)] + y * stepY; });
  });
  if (!done) return kResultCancelled;
  Replace(image, result);
  return 1;
}

int GL_ShearBitmap(CDIBitmap& image, int angle, int vertical, int edgeCopy) {
  if (!Valid(image)) return 0;
  int hundredths = NormalizeAngle(angle) % 18000;
  if (hundredths > 9000) hundredths -= 18000;
  const double t = std::tan(hundredths * kRadiansPerHundredth);
  const int w = image.GetWidth();
  const int h = image.GetHeight();
  // The sheared axis: rows move along x (horizontal) or columns along y.
  const int lines = vertical ? w : h;
  const double slope = vertical ? -t : t;
  const double grow = std::ceil(std::fabs(slope) * (lines - 1));
  const double extent = (vertical ? h : w) + grow;
  if (!(extent <= kMaxExtent)) {
    platform::ShowMessage("cannot Create Compatible Bitmpap");
    return 0;
  }
  const int width = vertical ? w : static_cast<int>(extent);
  const int height = vertical ? static_cast<int>(extent) : h;
  CDIBitmap result;
  if (!result.CreateCompatible(image, width, height)) return 0;

  // Each line's shift d as a whole part and a weight: position i of the
  // result line samples the source line at i + p0 + w8 / 256.
  const double lowest = std::min(0.0, slope * (lines - 1));
  std::vector<Tap> shift(static_cast<size_t>(lines));
  for (int i = 0; i < lines; ++i) {
    const double f = -(slope * i - lowest);
    const double p0 = std::floor(f);
    Tap tap{static_cast<int64_t>(p0), static_cast<int>(std::floor((f - p0) * 256 + 0.5))};
    if (tap.w8 == 256) {
      ++tap.p;
      tap.w8 = 0;
    }
    shift[static_cast<size_t>(i)] = tap;
  }
  // Expressed as fixed-point positions the resampling loops take.
  auto fixed = [&shift](int line, int i) {
    const Tap& tap = shift[static_cast<size_t>(line)];
    return ((tap.p + i) << 32) + (static_cast<int64_t>(tap.w8) << 24);
  };
  const bool edges = edgeCopy != 0;
  bool done;
  if (ProgressEnabled()) ProgressBegin(0, 100);
  if (vertical) {
    done = RunRows(height, result.GetRowBytes(), 0, 100, [&](int first, int last) {
      Resample<false>(image, result, first, last, edges, [&](int y, int x) { return fixed(x, y); });
    });
  } else {
    done = RunRows(height, result.GetRowBytes(), 0, 100, [&](int first, int last) {
      Resample<true>(image, result, first, last, edges, [&](int y, int x) { return fixed(y, x); });
    });
  }
  if (!done) return kResultCancelled;
  Replace(image, result);
  return 1;
}
