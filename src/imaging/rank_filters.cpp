// Square-window rank and mean filters (average, median, minimum, maximum),
// the unsharp mask's window average, and the despeckle pseudo-median.
//
// All run on the row-window engine (filters_detail::RunWindowFilter), which
// hands each kernel the 2s + 1 input rows of an output row with the edges
// already repeated. Costs per pixel: average O(1) (running column sums and a
// running row sum), median O(s) (Huang's running histogram with the median
// tracked from pixel to pixel), minimum and maximum O(s) in byte-wide vector
// operations (separable passes), despeckle O(s) the same way.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/filters.h"
#include "imaging/row_job.h"
#include "imaging/vector_loop.h"
#include "platform/messages.h"

// Leaf loops over row bytes: vectorised whatever the build's optimisation
// level, with an AVX2 copy picked at load time on processors that have it
// (integer arithmetic only, so both copies give the same bytes).

using filters_detail::WindowKernel;
using filters_detail::WindowRows;

namespace {

VIVID_VECTOR_LOOP void MinInto(uint8_t* __restrict dst, const uint8_t* __restrict a, int n) {
  for (int i = 0; i < n; ++i) dst[i] = a[i] < dst[i] ? a[i] : dst[i];
}
VIVID_VECTOR_LOOP void MaxInto(uint8_t* __restrict dst, const uint8_t* __restrict a, int n) {
  for (int i = 0; i < n; ++i) dst[i] = a[i] > dst[i] ? a[i] : dst[i];
}
VIVID_VECTOR_LOOP void MinOf(uint8_t* __restrict dst, const uint8_t* a, const uint8_t* b, int n) {
  for (int i = 0; i < n; ++i) dst[i] = a[i] < b[i] ? a[i] : b[i];
}
VIVID_VECTOR_LOOP void MaxOf(uint8_t* __restrict dst, const uint8_t* a, const uint8_t* b, int n) {
  for (int i = 0; i < n; ++i) dst[i] = a[i] > b[i] ? a[i] : b[i];
}
VIVID_VECTOR_LOOP void AddRow(uint32_t* __restrict sum, const uint8_t* __restrict a, int n) {
  for (int i = 0; i < n; ++i) sum[i] += a[i];
}
VIVID_VECTOR_LOOP void SlideRow(uint32_t* __restrict sum, const uint8_t* __restrict in, const uint8_t* __restrict out,
                                int n) {
  for (int i = 0; i < n; ++i) sum[i] += static_cast<uint32_t>(in[i]) - out[i];
}
VIVID_VECTOR_LOOP void Halve(uint8_t* __restrict dst, const uint8_t* a, const uint8_t* b, int n) {
  for (int i = 0; i < n; ++i) dst[i] = static_cast<uint8_t>((a[i] + b[i]) >> 1);
}

bool RadiusAllowed(int radius, const char* name) {
  if (radius <= kMaxFilterRadius) return true;
  platform::ShowMessage(std::string(name) + " :: radius too large");
  return false;
}

// floor(sum / n) as (sum x magic) >> shift, exact for every sum up to 255 n.
struct Divider {
  uint64_t magic;
  int shift;
  explicit Divider(uint64_t n) {
    auto bits = [](uint64_t v) {
      int b = 0;
      while (v) ++b, v >>= 1;
      return b;
    };
    shift = bits(255 * n) + bits(n);
    magic = ((uint64_t{1} << shift) + n - 1) / n;
  }
  uint32_t operator()(uint64_t sum) const { return static_cast<uint32_t>((sum * magic) >> shift); }
};

// Window average; with amount >= 0 the unsharp mask built on it.
template <int BPP>
class AverageKernel final : public WindowKernel {
 public:
  AverageKernel(int s, int width, int amount, int threshold)
      : s_(s), amount_(amount), threshold_(threshold), divide_(static_cast<uint64_t>(2 * s + 1) * (2 * s + 1)) {
    columns_.resize(static_cast<size_t>(width + 2 * s) * BPP);
  }

  void Row(const WindowRows& w) override {
    const int s = s_;
    // Column sums over padded columns x0 - s .. x1 + s - 1.
    const int lo = (w.x0 - s) * BPP;
    const int n = (w.x1 - w.x0 + 2 * s) * BPP;
    uint32_t* col = columns_.data() + (w.x0) * BPP;  // columns_[0] is padded column -s
    if (w.fresh) {
      std::fill(col, col + n, 0u);
      for (int k = 0; k <= 2 * s; ++k) AddRow(col, w.rows[k] + lo, n);
    } else {
      SlideRow(col, w.rows[2 * s] + lo, w.leaving + lo, n);
    }
    // col[j] is the column sum of padded column x0 - s + j / BPP.
    avg_.resize(static_cast<size_t>(w.x1 - w.x0) * BPP);
    for (int c = 0; c < BPP; ++c) {
      uint64_t sum = 0;
      for (int j = 0; j <= 2 * s; ++j) sum += col[j * BPP + c];
      avg_[static_cast<size_t>(c)] = static_cast<uint8_t>(divide_(sum));
      for (int x = 1; x < w.x1 - w.x0; ++x) {
        sum += col[(x + 2 * s) * BPP + c];
        sum -= col[(x - 1) * BPP + c];
        avg_[static_cast<size_t>(x * BPP + c)] = static_cast<uint8_t>(divide_(sum));
      }
    }
    uint8_t* out = w.out + w.x0 * BPP;
    const int count = w.x1 - w.x0;
    if (amount_ < 0) {
      std::memcpy(out, avg_.data(), static_cast<size_t>(count) * BPP);
      return;
    }
    for (int x = 0; x < count; ++x) {
      uint8_t* p = out + x * BPP;
      const uint8_t* a = avg_.data() + x * BPP;
      bool change = false;
      for (int c = 0; c < BPP; ++c) change |= std::abs(p[c] - a[c]) > threshold_;
      if (!change) continue;
      for (int c = 0; c < BPP; ++c) {
        const int v = p[c] + (p[c] - a[c]) * amount_ / 100;
        p[c] = static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
      }
    }
  }

 private:
  int s_, amount_, threshold_;
  Divider divide_;
  std::vector<uint32_t> columns_;
  std::vector<uint8_t> avg_;
};

// Median by Huang's running histogram, one histogram per channel.
template <int BPP>
class MedianKernel final : public WindowKernel {
 public:
  explicit MedianKernel(int s) : s_(s) {}

  void Row(const WindowRows& w) override {
    const int s = s_;
    const uint32_t half = static_cast<uint32_t>((2 * s + 1) * (2 * s + 1)) / 2;
    // Per channel: the window's histogram, the median, and how many window
    // values lie below it.
    uint32_t hist[BPP][256] = {};
    int med[BPP];
    uint32_t below[BPP];
    for (int k = 0; k <= 2 * s; ++k)
      for (int dx = -s; dx <= s; ++dx)
        for (int c = 0; c < BPP; ++c) ++hist[c][w.rows[k][(w.x0 + dx) * BPP + c]];
    for (int c = 0; c < BPP; ++c) {
      med[c] = 0;
      below[c] = 0;
      while (below[c] + hist[c][med[c]] <= half) below[c] += hist[c][med[c]++];
      w.out[w.x0 * BPP + c] = static_cast<uint8_t>(med[c]);
    }
    for (int x = w.x0 + 1; x < w.x1; ++x) {
      const int leave = (x - s - 1) * BPP;
      const int enter = (x + s) * BPP;
      for (int k = 0; k <= 2 * s; ++k) {
        const uint8_t* row = w.rows[k];
        for (int c = 0; c < BPP; ++c) {
          const uint8_t out = row[leave + c];
          const uint8_t in = row[enter + c];
          --hist[c][out];
          ++hist[c][in];
          below[c] += static_cast<uint32_t>(in < med[c]) - static_cast<uint32_t>(out < med[c]);
        }
      }
      for (int c = 0; c < BPP; ++c) {
        int m = med[c];
        uint32_t b = below[c];
        const uint32_t* h = hist[c];
        while (b > half) b -= h[--m];
        while (b + h[m] <= half) b += h[m++];
        med[c] = m;
        below[c] = b;
        w.out[x * BPP + c] = static_cast<uint8_t>(m);
      }
    }
  }

 private:
  int s_;
};

// Minimum (MAX = false) or maximum: the rows' extreme, then along the row.
template <bool MAX>
class ExtremeKernel final : public WindowKernel {
 public:
  ExtremeKernel(int s, int bpp) : s_(s), bpp_(bpp) {}

  void Row(const WindowRows& w) override {
    const int s = s_, bpp = bpp_;
    const int lo = (w.x0 - s) * bpp;
    const int n = (w.x1 - w.x0 + 2 * s) * bpp;
    column_.assign(w.rows[0] + lo, w.rows[0] + lo + n);
    for (int k = 1; k <= 2 * s; ++k) {
      if constexpr (MAX) MaxInto(column_.data(), w.rows[k] + lo, n);
      else MinInto(column_.data(), w.rows[k] + lo, n);
    }
    const int m = (w.x1 - w.x0) * bpp;
    uint8_t* out = w.out + w.x0 * bpp;
    std::memcpy(out, column_.data(), static_cast<size_t>(m));
    for (int d = 1; d <= 2 * s; ++d) {
      if constexpr (MAX) MaxInto(out, column_.data() + d * bpp, m);
      else MinInto(out, column_.data() + d * bpp, m);
    }
  }

 private:
  int s_, bpp_;
  std::vector<uint8_t> column_;
};

// Despeckle: see GL_Despeckle. Works through each row in chunks of bytes so
// the per-run partial results stay in the first-level cache.
class DespeckleKernel final : public WindowKernel {
 public:
  DespeckleKernel(int s, int bpp) : s_(s), bpp_(bpp) {
    suffixMin_.resize(static_cast<size_t>(s + 1) * kChunk);
    suffixMax_.resize(static_cast<size_t>(s + 1) * kChunk);
  }

  void Row(const WindowRows& w) override {
    const int s = s_, bpp = bpp_;
    const int begin = w.x0 * bpp, end = w.x1 * bpp;
    std::vector<const uint8_t*> line(static_cast<size_t>(2 * s + 1));
    static constexpr int kDirections[4][2] = {{1, 0}, {0, 1}, {1, 1}, {-1, 1}};
    for (int i0 = begin; i0 < end; i0 += kChunk) {
      const int n = std::min(kChunk, end - i0);
      uint8_t lo[kChunk], hi[kChunk], runMin[kChunk], runMax[kChunk], prefMin[kChunk], prefMax[kChunk];
      for (int d = 0; d < 4; ++d) {
        const int dx = kDirections[d][0], dy = kDirections[d][1];
        for (int k = 0; k <= 2 * s; ++k) {
          const int t = k - s;
          line[static_cast<size_t>(k)] = w.rows[s + t * dy] + t * dx * bpp + i0;
        }
        // Suffix extremes of line[j .. s] for j = s .. 0.
        uint8_t* sMin = suffixMin_.data();
        uint8_t* sMax = suffixMax_.data();
        std::memcpy(sMin + s * kChunk, line[static_cast<size_t>(s)], static_cast<size_t>(n));
        std::memcpy(sMax + s * kChunk, line[static_cast<size_t>(s)], static_cast<size_t>(n));
        for (int j = s - 1; j >= 0; --j) {
          MinOf(sMin + j * kChunk, sMin + (j + 1) * kChunk, line[static_cast<size_t>(j)], n);
          MaxOf(sMax + j * kChunk, sMax + (j + 1) * kChunk, line[static_cast<size_t>(j)], n);
        }
        // Run j covers line[j .. j + s]: its extreme joins the suffix of
        // [j .. s] and the prefix of [s .. j + s].
        std::memcpy(prefMin, line[static_cast<size_t>(s)], static_cast<size_t>(n));
        std::memcpy(prefMax, prefMin, static_cast<size_t>(n));
        std::memcpy(runMin, sMin, static_cast<size_t>(n));  // run 0: min(suffix 0, line[s])
        std::memcpy(runMax, sMax, static_cast<size_t>(n));
        uint8_t maximin[kChunk], minimax[kChunk];
        std::memcpy(maximin, runMin, static_cast<size_t>(n));
        std::memcpy(minimax, runMax, static_cast<size_t>(n));
        for (int j = 1; j <= s; ++j) {
          MinInto(prefMin, line[static_cast<size_t>(s + j)], n);
          MaxInto(prefMax, line[static_cast<size_t>(s + j)], n);
          MinOf(runMin, sMin + j * kChunk, prefMin, n);
          MaxOf(runMax, sMax + j * kChunk, prefMax, n);
          MaxInto(maximin, runMin, n);
          MinInto(minimax, runMax, n);
        }
        if (d == 0) {
          std::memcpy(lo, maximin, static_cast<size_t>(n));
          std::memcpy(hi, minimax, static_cast<size_t>(n));
        } else {
          MaxInto(lo, maximin, n);
          MinInto(hi, minimax, n);
        }
      }
      Halve(w.out + i0, lo, hi, n);
    }
  }

 private:
  static constexpr int kChunk = 256;
  int s_, bpp_;
  std::vector<uint8_t> suffixMin_, suffixMax_;
};

template <template <int> class Kernel, typename... Args>
std::unique_ptr<WindowKernel> MakeByBpp(int bpp, Args... args) {
  switch (bpp) {
    case 1: return std::make_unique<Kernel<1>>(args...);
    case 3: return std::make_unique<Kernel<3>>(args...);
    default: return std::make_unique<Kernel<4>>(args...);
  }
}

}  // namespace

namespace filters_detail {

int RunAverage(CDIBitmap& image, int s, bool interior, int amount, int threshold) {
  const int bpp = FilterBytesPerPixel(image);
  if (bpp == 0 || s <= 0) return 1;
  const int width = image.GetWidth();
  return RunWindowFilter(image, bpp, s, interior, -1, 6, [&] {
    return MakeByBpp<AverageKernel>(bpp, s, width, amount, threshold);
  });
}

}  // namespace filters_detail

int GL_AverageFilter(CDIBitmap& bitmap, int radius, int interior) {
  if (radius <= 0) return 1;
  if (!RadiusAllowed(radius, "GL_AverageFilter")) return 0;
  return filters_detail::RunAverage(bitmap, radius, interior != 0, -1, 0);
}

int GL_MedianFilter(CDIBitmap& bitmap, int radius, int interior) {
  if (radius <= 0) return 1;
  if (!RadiusAllowed(radius, "GL_MedianFilter")) return 0;
  const int bpp = filters_detail::FilterBytesPerPixel(bitmap);
  if (bpp == 0) return 1;
  return filters_detail::RunWindowFilter(bitmap, bpp, radius, interior != 0, -1, 8 * (2 * radius + 1),
                                         [&] { return MakeByBpp<MedianKernel>(bpp, radius); });
}

namespace {

template <bool MAX>
int RunExtreme(CDIBitmap& bitmap, int radius, int interior, const char* name) {
  if (radius <= 0) return 1;
  if (!RadiusAllowed(radius, name)) return 0;
  const int bpp = filters_detail::FilterBytesPerPixel(bitmap);
  if (bpp == 0) return 1;
  return filters_detail::RunWindowFilter(bitmap, bpp, radius, interior != 0, -1, 1 + radius / 4,
                                         [&] { return std::make_unique<ExtremeKernel<MAX>>(radius, bpp); });
}

}  // namespace

int GL_MinimumFilter(CDIBitmap& bitmap, int radius, int interior) {
  return RunExtreme<false>(bitmap, radius, interior, "GL_MinimumFilter");
}

int GL_MaximumFilter(CDIBitmap& bitmap, int radius, int interior) {
  return RunExtreme<true>(bitmap, radius, interior, "GL_MaximumFilter");
}

int GL_Despeckle(CDIBitmap& bitmap, int size, int interior) {
  if (size <= 0) return 1;
  if (!RadiusAllowed(size, "GL_Despeckle")) return 0;
  const int bpp = filters_detail::FilterBytesPerPixel(bitmap);
  if (bpp == 0) return 1;
  return filters_detail::RunWindowFilter(bitmap, bpp, size, interior != 0, -1, 2 * size,
                                         [&] { return std::make_unique<DespeckleKernel>(size, bpp); });
}
