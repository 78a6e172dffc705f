// Separable resizing and nearest-pixel scaling (see geometry.h).
//
// The column pass and the row pass run fused, one result row at a time: the
// column pass makes the one intermediate row the row pass needs, in a buffer
// of the band's own, so no w x H intermediate image is stored. The values are
// exactly those of the two passes run one after the other; progress runs
// once over the result rows.
#include <algorithm>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "image/dibitmap.h"
#include "imaging/geometry.h"
#include "imaging/geometry_support.h"
#include "imaging/row_job.h"
#include "platform/messages.h"
#include "platform/progress.h"

namespace {

using geometry_detail::Valid;

inline int GetBit(const uint8_t* row, int64_t x) { return (row[x >> 3] >> (7 - (x & 7))) & 1; }

// Exact division of a sum of n values of 255 or less by n, for every n an
// image side can have (the source is not bound by the size dialogs' 32767):
// q = (sum * m) >> 40 with m = ceil(2^40 / n) exceeds sum / n by
// sum * (m * n - 2^40) / (n * 2^40) < sum / 2^40 < 1, so it is sum / n or
// one more. Up to kNarrowCount values sum * n stays below 2^40, which makes
// q exact, and the sums fit 32 bits; beyond it the sums are 64-bit and one
// comparison takes the excess back (255 times a side of more than 16843009
// pixels passes 32 bits).
constexpr int kDivShift = 40;
constexpr int kNarrowCount = 32767;
inline uint64_t DivisorMultiplier(int n) { return ((uint64_t{1} << kDivShift) + n - 1) / static_cast<uint64_t>(n); }
inline uint8_t DivideSum(uint32_t sum, uint64_t m, int) { return static_cast<uint8_t>((sum * m) >> kDivShift); }
inline uint8_t DivideSum(uint64_t sum, uint64_t m, int n) {
  uint64_t q = static_cast<uint64_t>((static_cast<unsigned __int128>(sum) * m) >> kDivShift);
  q -= q * static_cast<uint64_t>(n) > sum;
  return static_cast<uint8_t>(q);
}

// How one axis of `from` positions maps onto `to` positions.
struct AxisMap {
  enum Kind { Copy, Shrink, Enlarge } kind = Copy;
  std::vector<int> first;       // Shrink: start; Enlarge: i0
  std::vector<int> count;       // Shrink: covered positions
  std::vector<uint64_t> divide; // Shrink: DivisorMultiplier(count)
  int maxCount = 0;             // Shrink: the largest count
  std::vector<int> second;      // Enlarge: i1
  std::vector<float> fraction;  // Enlarge: f
  // Enlarge: the positions before the first whose i1 is the last source
  // position (a four-byte load there would pass the end of a 3-byte row).
  int vectorEnd = 0;
};

AxisMap MapAxis(int from, int to) {
  AxisMap map;
  if (from == to) return map;
  const float r = static_cast<float>(from) / static_cast<float>(to);
  map.first.resize(static_cast<size_t>(to));
  if (to < from) {
    map.kind = AxisMap::Shrink;
    map.count.resize(static_cast<size_t>(to));
    map.divide.resize(static_cast<size_t>(to));
    for (int i = 0; i < to; ++i) {
      const int start = std::min(static_cast<int>(static_cast<float>(i) * r), from - 1);
      const int end = std::min(static_cast<int>(static_cast<float>(i + 1) * r), from);
      // Float rounding may not leave a whole position between the two ends.
      const int n = std::max(end - start, 1);
      map.first[static_cast<size_t>(i)] = start;
      map.count[static_cast<size_t>(i)] = n;
      map.divide[static_cast<size_t>(i)] = DivisorMultiplier(n);
      map.maxCount = std::max(map.maxCount, n);
    }
  } else {
    map.kind = AxisMap::Enlarge;
    map.second.resize(static_cast<size_t>(to));
    map.fraction.resize(static_cast<size_t>(to));
    for (int i = 0; i < to; ++i) {
      const float s = static_cast<float>(i) * r;
      const int i0 = std::min(static_cast<int>(s), from - 1);
      map.first[static_cast<size_t>(i)] = i0;
      map.second[static_cast<size_t>(i)] = std::min(i0 + 1, from - 1);
      map.fraction[static_cast<size_t>(i)] = s - static_cast<float>(i0);
      if (map.second[static_cast<size_t>(i)] < from - 1) map.vectorEnd = i + 1;
    }
  }
  return map;
}

// v0 * (1 - f) + v1 * f + 0.5, truncated. Equal values come back unchanged
// (the float error stays far below 0.5), so no separate copy is needed.
inline uint8_t Lerp(int v0, int v1, float f) {
  return static_cast<uint8_t>(static_cast<float>(v0) * (1.0f - f) + static_cast<float>(v1) * f + 0.5f);
}

// out[i] = Lerp(a[i], b[i], f) for `count` bytes. The SSE2 form does the
// same single-precision operations in the same order, four at a time.
void LerpRow(const uint8_t* a, const uint8_t* b, float f, uint8_t* out, int count) {
  int i = 0;
#if defined(__SSE2__)
  const __m128 g4 = _mm_set1_ps(1.0f - f);
  const __m128 f4 = _mm_set1_ps(f);
  const __m128 half = _mm_set1_ps(0.5f);
  const __m128i zero = _mm_setzero_si128();
  auto lerp4 = [&](__m128i va, __m128i vb) {
    const __m128 x = _mm_add_ps(_mm_mul_ps(_mm_cvtepi32_ps(va), g4), _mm_mul_ps(_mm_cvtepi32_ps(vb), f4));
    return _mm_cvttps_epi32(_mm_add_ps(x, half));
  };
  for (; i + 16 <= count; i += 16) {
    const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i));
    const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i));
    const __m128i alo = _mm_unpacklo_epi8(va, zero), ahi = _mm_unpackhi_epi8(va, zero);
    const __m128i blo = _mm_unpacklo_epi8(vb, zero), bhi = _mm_unpackhi_epi8(vb, zero);
    const __m128i r0 = lerp4(_mm_unpacklo_epi16(alo, zero), _mm_unpacklo_epi16(blo, zero));
    const __m128i r1 = lerp4(_mm_unpackhi_epi16(alo, zero), _mm_unpackhi_epi16(blo, zero));
    const __m128i r2 = lerp4(_mm_unpacklo_epi16(ahi, zero), _mm_unpacklo_epi16(bhi, zero));
    const __m128i r3 = lerp4(_mm_unpackhi_epi16(ahi, zero), _mm_unpackhi_epi16(bhi, zero));
    const __m128i packed = _mm_packus_epi16(_mm_packs_epi32(r0, r1), _mm_packs_epi32(r2, r3));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), packed);
  }
#endif
  for (; i < count; ++i) out[i] = Lerp(a[i], b[i], f);
}

// Per-band working storage.
struct Scratch {
  std::vector<uint8_t> row;
  std::vector<uint32_t> sums;      // up to kNarrowCount rows
  std::vector<uint64_t> wideSums;  // more rows
};

// The mean of n source rows from `start` into `out`, with Sum-typed sums.
template <typename Sum>
void ShrinkColumns(const CDIBitmap& src, int start, int n, uint64_t m, int rowBytes, Sum* sums, uint8_t* out) {
  const uint8_t* in = src.RowPointer(start);
  for (int i = 0; i < rowBytes; ++i) sums[i] = in[i];
  for (int k = 1; k < n; ++k) {
    in = src.RowPointer(start + k);
    for (int i = 0; i < rowBytes; ++i) sums[i] += in[i];
  }
  for (int i = 0; i < rowBytes; ++i) out[i] = DivideSum(sums[i], m, n);
}

// The column pass for result row y of a channel image: a pointer to the
// intermediate row (w x C bytes), either a source row or `scratch.row`.
const uint8_t* ColumnPass(const CDIBitmap& src, const AxisMap& map, int y, int rowBytes, Scratch& scratch) {
  switch (map.kind) {
    case AxisMap::Copy:
      return src.RowPointer(y);
    case AxisMap::Shrink: {
      const int start = map.first[static_cast<size_t>(y)];
      const int n = map.count[static_cast<size_t>(y)];
      const uint64_t m = map.divide[static_cast<size_t>(y)];
      uint8_t* out = scratch.row.data();
      if (n <= kNarrowCount) {
        ShrinkColumns(src, start, n, m, rowBytes, scratch.sums.data(), out);
      } else {
        scratch.wideSums.resize(static_cast<size_t>(rowBytes));
        ShrinkColumns(src, start, n, m, rowBytes, scratch.wideSums.data(), out);
      }
      return out;
    }
    case AxisMap::Enlarge: {
      const uint8_t* a = src.RowPointer(map.first[static_cast<size_t>(y)]);
      const uint8_t* b = src.RowPointer(map.second[static_cast<size_t>(y)]);
      const float f = map.fraction[static_cast<size_t>(y)];
      uint8_t* out = scratch.row.data();
      LerpRow(a, b, f, out, rowBytes);
      return out;
    }
  }
  return nullptr;
}

// The means of the row pass, with Sum-typed sums.
template <int C, typename Sum>
void ShrinkRow(const uint8_t* in, uint8_t* out, const AxisMap& map, int width) {
  for (int x = 0; x < width; ++x, out += C) {
    const uint8_t* p = in + static_cast<int64_t>(map.first[static_cast<size_t>(x)]) * C;
    const int n = map.count[static_cast<size_t>(x)];
    Sum sum[C];
    for (int c = 0; c < C; ++c) sum[c] = p[c];
    for (int k = 1; k < n; ++k) {
      p += C;
      for (int c = 0; c < C; ++c) sum[c] += p[c];
    }
    const uint64_t m = map.divide[static_cast<size_t>(x)];
    for (int c = 0; c < C; ++c) out[c] = DivideSum(sum[c], m, n);
  }
}

// The row pass of a channel image with C channels.
template <int C>
void RowPass(const uint8_t* in, uint8_t* out, const AxisMap& map, int width) {
  switch (map.kind) {
    case AxisMap::Copy:
      std::memcpy(out, in, static_cast<size_t>(width) * C);
      break;
    case AxisMap::Shrink:
      if (map.maxCount <= kNarrowCount)
        ShrinkRow<C, uint32_t>(in, out, map, width);
      else
        ShrinkRow<C, uint64_t>(in, out, map, width);
      break;
    case AxisMap::Enlarge: {
      int x = 0;
#if defined(__SSE2__)
      if constexpr (C >= 3) {
        // One pixel's channels in the lanes of one vector. Each load takes
        // four bytes, so for three channels it stops before the pixel whose
        // neighbour would be the last one of the row.
        const __m128i zero = _mm_setzero_si128();
        const __m128 half = _mm_set1_ps(0.5f);
        const int fast = C == 4 ? width : map.vectorEnd;
        for (; x < fast; ++x, out += C) {
          const size_t i0 = static_cast<size_t>(map.first[static_cast<size_t>(x)]) * C;
          const size_t i1 = static_cast<size_t>(map.second[static_cast<size_t>(x)]) * C;
          const float f = map.fraction[static_cast<size_t>(x)];
          uint32_t ra, rb;
          std::memcpy(&ra, in + i0, 4);
          std::memcpy(&rb, in + i1, 4);
          const __m128i va = _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(ra)), zero), zero);
          const __m128i vb = _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(rb)), zero), zero);
          const __m128 v = _mm_add_ps(_mm_mul_ps(_mm_cvtepi32_ps(va), _mm_set1_ps(1.0f - f)),
                                      _mm_mul_ps(_mm_cvtepi32_ps(vb), _mm_set1_ps(f)));
          const __m128i r = _mm_cvttps_epi32(_mm_add_ps(v, half));
          const __m128i packed = _mm_packus_epi16(_mm_packs_epi32(r, zero), zero);
          const uint32_t value = static_cast<uint32_t>(_mm_cvtsi128_si32(packed));
          std::memcpy(out, &value, C);
        }
      }
#endif
      for (; x < width; ++x, out += C) {
        const uint8_t* a = in + static_cast<int64_t>(map.first[static_cast<size_t>(x)]) * C;
        const uint8_t* b = in + static_cast<int64_t>(map.second[static_cast<size_t>(x)]) * C;
        const float f = map.fraction[static_cast<size_t>(x)];
        for (int c = 0; c < C; ++c) out[c] = Lerp(a[c], b[c], f);
      }
      break;
    }
  }
}

// 1-bit and palette images: every position takes one source position.
void PickRow(int bits, const uint8_t* in, uint8_t* out, const AxisMap& map, int width) {
  if (map.kind == AxisMap::Copy) {
    std::memcpy(out, in, static_cast<size_t>((int64_t{bits} * width + 7) / 8));
    return;
  }
  const int* pick = map.first.data();
  if (bits == 8) {
    for (int x = 0; x < width; ++x) out[x] = in[pick[x]];
    return;
  }
  std::memset(out, 0, static_cast<size_t>((width + 7) / 8));
  for (int x = 0; x < width; ++x)
    if (GetBit(in, pick[x])) out[x >> 3] |= static_cast<uint8_t>(0x80u >> (x & 7));
}

}  // namespace

int GL_ResizeBitmap(CDIBitmap& image, int width, int height) {
  if (!Valid(image)) return 0;
  const int w = image.GetWidth();
  const int h = image.GetHeight();
  CDIBitmap result;
  if (!result.CreateCompatible(image, width, height)) return 0;
  const AxisMap columns = MapAxis(h, height);
  const AxisMap rows = MapAxis(w, width);
  const int bits = image.GetBitCount();
  const bool pick = bits == 1 || (bits == 8 && !image.IsGray());
  const int channels = bits / 8;
  const int rowBytes = w * channels;

  auto band = [&](int first, int last) {
    Scratch scratch;
    if (!pick) {
      scratch.row.resize(static_cast<size_t>(rowBytes));
      if (columns.kind == AxisMap::Shrink) scratch.sums.resize(static_cast<size_t>(rowBytes));
    }
    for (int y = first; y < last; ++y) {
      uint8_t* out = result.RowPointer(y);
      if (pick) {
        const int sy = columns.kind == AxisMap::Copy ? y : columns.first[static_cast<size_t>(y)];
        PickRow(bits, image.RowPointer(sy), out, rows, width);
        continue;
      }
      const uint8_t* in = ColumnPass(image, columns, y, rowBytes, scratch);
      switch (channels) {
        case 1: RowPass<1>(in, out, rows, width); break;
        case 3: RowPass<3>(in, out, rows, width); break;
        default: RowPass<4>(in, out, rows, width); break;
      }
    }
  };

  const int64_t work = std::max<int64_t>(rowBytes, result.GetRowBytes());
  if (!ProgressEnabled()) {
    GL_ParallelRows(height, work, [&band](int first, int last) { band(first, last); });
  } else {
    ProgressBegin(0, 100);
    for (int y = 0; y < height; ++y) {
      band(y, y + 1);
      if (!GL_RowProgress(y, height)) return kResultCancelled;
    }
  }
  const int xr = image.GetXResolution();
  const int yr = image.GetYResolution();
  image.Attach(result);
  image.SetResolution(xr, yr);
  return 1;
}

int GL_ScaleNearest(const CDIBitmap& source, CDIBitmap& target) {
  if (!Valid(source) || !target.IsAllocated()) return 0;
  const int bits = source.GetBitCount();
  if (target.GetBitCount() != bits) {
    platform::ShowMessage("GL_ScaleNearest ::pdbmDest Should have the bit count of pdbmSrc");
    return 0;
  }
  const int w = source.GetWidth();
  const int h = source.GetHeight();
  const int width = target.GetWidth();
  const int height = target.GetHeight();
  AxisMap map;
  map.kind = AxisMap::Enlarge;  // any kind but Copy: PickRow then reads `first`
  map.first.resize(static_cast<size_t>(width));
  for (int x = 0; x < width; ++x)
    map.first[static_cast<size_t>(x)] = static_cast<int>(std::min<int64_t>(int64_t{x} * w / width, w - 1));
  const int channels = bits / 8;
  const size_t rowBytes = static_cast<size_t>(target.GetRowBytes());
  std::vector<uint8_t> row(rowBytes + 4);
  int last = -1;
  target.Lock();
  for (int y = 0; y < height; ++y) {
    const int sy = static_cast<int>(int64_t{y} * h / height);
    // A source row is read only when the source row changes.
    if (sy != last) {
      const uint8_t* in = source.RowPointer(sy);
      uint8_t* out = row.data();
      if (bits <= 8) {
        PickRow(bits, in, out, map, width);
      } else {
        const int* pick = map.first.data();
        for (int x = 0; x < width; ++x, out += channels)
          std::memcpy(out, in + static_cast<int64_t>(pick[x]) * channels, static_cast<size_t>(channels));
      }
      last = sy;
    }
    target.PutRow(row.data(), y);
  }
  target.Unlock();
  return 1;
}
