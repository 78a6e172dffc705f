// Unsharp mask, add noise, mosaic, posterize, solarize, grey-level dilation
// and erosion, and the Gaussian blur.
#include <algorithm>
#include <cmath>
#include <cstring>
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

namespace filters_detail {

int ApplyByteTable(CDIBitmap& image, const uint8_t* table) {
  const int bpp = FilterBytesPerPixel(image);
  if (bpp == 0) return 1;
  const int height = image.GetHeight();
  const size_t rowBytes = static_cast<size_t>(image.GetWidth()) * bpp;
  CRowJob job(image, height);
  bool cancelled = false;
  GL_ParallelRows(height, static_cast<int64_t>(rowBytes), [&](int first, int last) {
    std::vector<uint8_t> row(rowBytes);
    for (int y = first; y < last; ++y) {
      const uint8_t* src = image.RowPointer(y);
      for (size_t i = 0; i < rowBytes; ++i) row[i] = table[src[i]];
      image.PutRow(row.data(), y);
      if (job.Reporting() && !job.Step(y)) {
        cancelled = true;
        return;
      }
    }
  });
  return cancelled ? kResultCancelled : 1;
}

}  // namespace filters_detail

int GL_UnsharpMask(CDIBitmap& bitmap, int amount, int radius, int threshold, int interior) {
  if (radius <= 0) return 1;
  if (radius > kMaxFilterRadius) {
    platform::ShowMessage("GL_UnsharpMask :: radius too large");
    return 0;
  }
  return filters_detail::RunAverage(bitmap, radius, interior != 0, std::max(amount, 0), threshold);
}

// ---------------------------------------------------------------- noise

namespace {

constexpr uint32_t kNoiseMultiplier = 214013;
constexpr uint32_t kNoiseIncrement = 2531011;
uint32_t g_noiseState = 1;

// The generator's state after `steps` more draws from `state`.
uint32_t AdvanceNoise(uint32_t state, uint64_t steps) {
  uint32_t mul = kNoiseMultiplier, add = kNoiseIncrement;  // one step: x -> mul x + add
  uint32_t accMul = 1, accAdd = 0;
  while (steps) {
    if (steps & 1) {
      accMul *= mul;
      accAdd = accAdd * mul + add;
    }
    add = add * mul + add;
    mul *= mul;
    steps >>= 1;
  }
  return state * accMul + accAdd;
}

// table[(n AND 255) x 256 + v]: the noisy value of byte v for draw n.
std::vector<uint8_t> NoiseTable(int amount) {
  std::vector<uint8_t> table(256 * 256);
  for (int n = 0; n < 256; ++n) {
    const int r = n * 2 - 255;
    for (int v = 0; v < 256; ++v) {
      const int value = (r * amount + v * 1000) / 1000;
      table[static_cast<size_t>(n * 256 + v)] = static_cast<uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
    }
  }
  return table;
}

template <int BPP>
void NoiseRow(const uint8_t* src, uint8_t* dst, int width, const uint8_t* table, uint32_t& state) {
  for (int x = 0; x < width; ++x) {
    state = state * kNoiseMultiplier + kNoiseIncrement;
    const uint8_t* t = table + ((state >> 16) & 255) * 256;
    for (int c = 0; c < BPP; ++c) dst[x * BPP + c] = t[src[x * BPP + c]];
  }
}

}  // namespace

void GL_SeedNoise(uint32_t seed) { g_noiseState = seed; }

int GL_AddNoise(CDIBitmap& bitmap, int /*reserved*/, int amount) {
  const int bpp = filters_detail::FilterBytesPerPixel(bitmap);
  amount = std::clamp(amount, 0, 1000);
  if (bpp == 0 || amount == 0) return 1;
  const int width = bitmap.GetWidth();
  const int height = bitmap.GetHeight();
  const size_t rowBytes = static_cast<size_t>(width) * bpp;
  const uint32_t start = g_noiseState;
  const std::vector<uint8_t> table = NoiseTable(amount);
  CRowJob job(bitmap, height);
  bool cancelled = false;
  GL_ParallelRows(height, static_cast<int64_t>(rowBytes) * 4, [&](int first, int last) {
    uint32_t state = AdvanceNoise(start, static_cast<uint64_t>(first) * width);
    std::vector<uint8_t> row(rowBytes);
    for (int y = first; y < last; ++y) {
      const uint8_t* src = bitmap.RowPointer(y);
      switch (bpp) {
        case 1: NoiseRow<1>(src, row.data(), width, table.data(), state); break;
        case 3: NoiseRow<3>(src, row.data(), width, table.data(), state); break;
        default: NoiseRow<4>(src, row.data(), width, table.data(), state); break;
      }
      bitmap.PutRow(row.data(), y);
      if (job.Reporting() && !job.Step(y)) {
        cancelled = true;
        return;
      }
    }
  });
  if (cancelled) return kResultCancelled;
  g_noiseState = AdvanceNoise(start, static_cast<uint64_t>(width) * height);
  return 1;
}

// ---------------------------------------------------------------- mosaic

int GL_Mosaic(CDIBitmap& bitmap, int size, int interior) {
  const int bpp = filters_detail::FilterBytesPerPixel(bitmap);
  if (bpp == 0 || size < 2) return 1;
  if (size > 65536) {
    platform::ShowMessage("GL_Mosaic :: size too large");
    return 0;
  }
  const int n = size;
  const int width = bitmap.GetWidth();
  const int height = bitmap.GetHeight();
  const int origin = interior ? n : 0;
  if (origin >= width || origin >= height) return 1;
  const size_t rowBytes = static_cast<size_t>(width) * bpp;
  const uint64_t cells = static_cast<uint64_t>(n) * n;
  CRowJob job(bitmap, height);
  std::vector<uint64_t> columns(rowBytes);
  std::vector<uint8_t> blocks(rowBytes), row(rowBytes);
  for (int by = origin; by < height; by += n) {
    const int rows = std::min(n, height - by);
    std::fill(columns.begin(), columns.end(), 0);
    for (int r = 0; r < rows; ++r) {
      const uint8_t* src = bitmap.RowPointer(by + r);
      // The last row stands in for the rows beyond the bottom edge.
      const uint64_t weight = (r == rows - 1) ? static_cast<uint64_t>(n - rows + 1) : 1;
      for (size_t i = 0; i < rowBytes; ++i) columns[i] += weight * src[i];
    }
    for (int bx = origin; bx < width; bx += n) {
      const int cols = std::min(n, width - bx);
      for (int c = 0; c < bpp; ++c) {
        uint64_t sum = 0;
        for (int x = bx; x < bx + cols; ++x) sum += columns[static_cast<size_t>(x) * bpp + c];
        sum += static_cast<uint64_t>(n - cols) * columns[static_cast<size_t>(width - 1) * bpp + c];
        const uint8_t value = static_cast<uint8_t>(sum / cells);
        for (int x = bx; x < bx + cols; ++x) blocks[static_cast<size_t>(x) * bpp + c] = value;
      }
    }
    for (int r = 0; r < rows; ++r) {
      const int y = by + r;
      std::memcpy(row.data(), bitmap.RowPointer(y), rowBytes);
      std::memcpy(row.data() + static_cast<size_t>(origin) * bpp, blocks.data() + static_cast<size_t>(origin) * bpp,
                  rowBytes - static_cast<size_t>(origin) * bpp);
      bitmap.PutRow(row.data(), y);
      if (job.Reporting() && !job.Step(y)) return kResultCancelled;
    }
  }
  return 1;
}

// ------------------------------------------------------- tables by byte

int GL_Posterize(CDIBitmap& bitmap, int levels) {
  if (levels < 2) return 1;
  uint8_t table[256];
  const int steps = levels - 1;
  for (int i = 0; i < 256; ++i) {
    const int64_t level = static_cast<int64_t>(std::trunc(i * steps * 0.003921569 + 0.5));
    table[i] = static_cast<uint8_t>(std::min<int64_t>(255, level * 255 / steps));
  }
  return filters_detail::ApplyByteTable(bitmap, table);
}

int GL_Solarize(CDIBitmap& bitmap, int t) {
  uint8_t table[256];
  for (int i = 0; i < 256; ++i) {
    const int64_t v = (i < 128 ? int64_t{i} : int64_t{255 - i}) * t / 128;
    table[i] = static_cast<uint8_t>(std::clamp<int64_t>(v, 0, 255));
  }
  return filters_detail::ApplyByteTable(bitmap, table);
}

// -------------------------------------------------- dilation and erosion

namespace {

VIVID_VECTOR_LOOP void MaxInto(uint8_t* __restrict dst, const uint8_t* __restrict a, int n) {
  for (int i = 0; i < n; ++i) dst[i] = a[i] > dst[i] ? a[i] : dst[i];
}
VIVID_VECTOR_LOOP void MinInto(uint8_t* __restrict dst, const uint8_t* __restrict a, int n) {
  for (int i = 0; i < n; ++i) dst[i] = a[i] < dst[i] ? a[i] : dst[i];
}

constexpr uint8_t kElements[5][9] = {
    {1, 1, 1, 1, 1, 1, 1, 1, 1},  // Omnidirectional
    {0, 0, 0, 1, 1, 1, 0, 0, 0},  // Horizontal
    {0, 1, 0, 0, 1, 0, 0, 1, 0},  // Vertical
    {0, 1, 0, 1, 1, 1, 0, 1, 0},  // Cross
    {1, 0, 1, 0, 1, 0, 1, 0, 1},  // Diagonal (both diagonals)
};

template <bool DILATE>
class MorphologyKernel final : public WindowKernel {
 public:
  MorphologyKernel(const uint8_t* element, uint8_t start, int bpp) : element_(element), start_(start), bpp_(bpp) {}

  void Row(const WindowRows& w) override {
    const int n = (w.x1 - w.x0) * bpp_;
    uint8_t* out = w.out + w.x0 * bpp_;
    std::memset(out, start_, static_cast<size_t>(n));
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 3; ++c) {
        if (!element_[r * 3 + c]) continue;
        const uint8_t* src = w.rows[r] + (w.x0 + c - 1) * bpp_;
        if constexpr (DILATE) MaxInto(out, src, n);
        else MinInto(out, src, n);
      }
  }

 private:
  const uint8_t* element_;
  uint8_t start_;
  int bpp_;
};

template <bool DILATE>
int Morphology(CDIBitmap& bitmap, int start, int border, int element) {
  const int bpp = filters_detail::FilterBytesPerPixel(bitmap, true);
  if (bpp == 0) return 1;
  const uint8_t* cells = kElements[(element >= 0 && element < 5) ? element : 0];
  const uint8_t first = static_cast<uint8_t>(std::clamp(start, 0, 255));
  return filters_detail::RunWindowFilter(bitmap, bpp, 1, false, std::clamp(border, 0, 255), 2, [&] {
    return std::make_unique<MorphologyKernel<DILATE>>(cells, first, bpp);
  });
}

}  // namespace

int GL_Dilate(CDIBitmap& bitmap, int start, int border, int element) {
  return Morphology<true>(bitmap, start, border, element);
}

int GL_Erode(CDIBitmap& bitmap, int start, int border, int element) {
  return Morphology<false>(bitmap, start, border, element);
}

// --------------------------------------------------------- Gaussian blur

std::vector<uint32_t> GL_GaussianWeights(double radius) {
  if (!(radius >= 0.1) || radius > 100) return {};
  const int r = static_cast<int>(std::ceil(3 * radius));
  std::vector<double> g(static_cast<size_t>(2 * r + 1));
  double total = 0;
  for (int k = -r; k <= r; ++k) total += g[static_cast<size_t>(k + r)] = std::exp(-double(k) * k / (2 * radius * radius));
  std::vector<uint32_t> w(g.size());
  uint32_t others = 0;
  for (int k = -r; k <= r; ++k) {
    if (k == 0) continue;
    w[static_cast<size_t>(k + r)] = static_cast<uint32_t>(std::lround(65536 * g[static_cast<size_t>(k + r)] / total));
    others += w[static_cast<size_t>(k + r)];
  }
  w[static_cast<size_t>(r)] = 65536 - others;
  return w;
}

namespace {

VIVID_VECTOR_LOOP void PairMultiplyAdd(uint32_t* __restrict acc, const uint8_t* a, const uint8_t* b, uint32_t w,
                                       int n) {
  for (int i = 0; i < n; ++i) acc[i] += w * (static_cast<uint32_t>(a[i]) + b[i]);
}
VIVID_VECTOR_LOOP void CentreMultiply(uint32_t* __restrict acc, const uint8_t* __restrict a, uint32_t w, int n) {
  for (int i = 0; i < n; ++i) acc[i] = w * a[i];
}
VIVID_VECTOR_LOOP void NarrowTo16(uint16_t* __restrict dst, const uint32_t* __restrict acc, int n) {
  for (int i = 0; i < n; ++i) dst[i] = static_cast<uint16_t>((acc[i] + 128) >> 8);
}
VIVID_VECTOR_LOOP void PairMultiplyAdd16(uint32_t* __restrict acc, const uint16_t* a, const uint16_t* b, uint32_t w,
                                         int n) {
  for (int i = 0; i < n; ++i) acc[i] += w * (static_cast<uint32_t>(a[i]) + b[i]);
}
VIVID_VECTOR_LOOP void CentreMultiply16(uint32_t* __restrict acc, const uint16_t* __restrict a, uint32_t w, int n) {
  for (int i = 0; i < n; ++i) acc[i] = w * a[i];
}
VIVID_VECTOR_LOOP void NarrowTo8(uint8_t* __restrict dst, const uint32_t* __restrict acc, int n) {
  for (int i = 0; i < n; ++i) dst[i] = static_cast<uint8_t>((acc[i] + (1u << 23)) >> 24);
}

// Horizontal pass per entering row (kept in a ring of 16-bit rows), then the
// vertical pass over the ring.
class GaussianKernel final : public WindowKernel {
 public:
  GaussianKernel(const std::vector<uint32_t>& weights, int width, int bpp)
      : w_(weights), r_(static_cast<int>(weights.size() / 2)), n_(width * bpp), bpp_(bpp) {
    ring_.resize(static_cast<size_t>(2 * r_ + 1) * n_);
    acc_.resize(static_cast<size_t>(n_));
    rows_.resize(static_cast<size_t>(2 * r_ + 1));
  }

  void Row(const WindowRows& w) override {
    const int r = r_;
    if (w.fresh) {
      for (int k = 0; k <= 2 * r; ++k) {
        rows_[static_cast<size_t>(k)] = ring_.data() + static_cast<size_t>(k) * n_;
        Horizontal(w.rows[k], rows_[static_cast<size_t>(k)]);
      }
    } else {
      std::rotate(rows_.begin(), rows_.begin() + 1, rows_.end());
      Horizontal(w.rows[2 * r], rows_[static_cast<size_t>(2 * r)]);
    }
    CentreMultiply16(acc_.data(), rows_[static_cast<size_t>(r)], w_[static_cast<size_t>(r)], n_);
    for (int k = 1; k <= r; ++k)
      PairMultiplyAdd16(acc_.data(), rows_[static_cast<size_t>(r - k)], rows_[static_cast<size_t>(r + k)],
                        w_[static_cast<size_t>(r + k)], n_);
    NarrowTo8(w.out, acc_.data(), n_);
  }

 private:
  void Horizontal(const uint8_t* src, uint16_t* dst) {
    CentreMultiply(acc_.data(), src, w_[static_cast<size_t>(r_)], n_);
    for (int k = 1; k <= r_; ++k)
      PairMultiplyAdd(acc_.data(), src - k * bpp_, src + k * bpp_, w_[static_cast<size_t>(r_ + k)], n_);
    NarrowTo16(dst, acc_.data(), n_);
  }

  const std::vector<uint32_t>& w_;
  int r_, n_, bpp_;
  std::vector<uint16_t> ring_;
  std::vector<uint32_t> acc_;
  std::vector<uint16_t*> rows_;
};

}  // namespace

int GL_GaussianBlur(CDIBitmap& bitmap, double radius) {
  if (radius > 100) {
    platform::ShowMessage("GL_GaussianBlur :: radius too large");
    return 0;
  }
  const std::vector<uint32_t> weights = GL_GaussianWeights(radius);
  const int bpp = filters_detail::FilterBytesPerPixel(bitmap);
  if (bpp == 0 || weights.size() < 3) return 1;
  const int r = static_cast<int>(weights.size() / 2);
  const int width = bitmap.GetWidth();
  return filters_detail::RunWindowFilter(bitmap, bpp, r, false, -1, 2 + r / 2, [&] {
    return std::make_unique<GaussianKernel>(weights, width, bpp);
  });
}
