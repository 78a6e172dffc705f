// The 3x3 convolution engine, its fixed kernels, the edge kernels, edge
// enhancement and emboss; and the row-window engine every neighbourhood
// filter runs on.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "imaging/filters.h"
#include "imaging/row_job.h"
#include "imaging/vector_loop.h"

// Leaf loops over row bytes: vectorised whatever the build's optimisation
// level, with an AVX2 copy picked at load time on processors that have it
// (integer arithmetic only, so both copies give the same bytes).

namespace filters_detail {

int FilterBytesPerPixel(const CDIBitmap& image, bool anyEightBit) {
  if (!image.IsAllocated() || image.GetWidth() < 1 || image.GetHeight() < 1) return 0;
  switch (image.GetBitCount()) {
    case 8: return (image.IsGray() || anyEightBit) ? 1 : 0;
    case 24: return 3;
    case 32: return 4;
    default: return 0;
  }
}

namespace {

// Copies image row r into a padded ring row: `pad` pixels each side
// repeating the edge pixel, or filled with `border` when border >= 0.
void LoadPaddedRow(const CDIBitmap& image, int r, int bpp, int pad, int border, uint8_t* dst) {
  const int width = image.GetWidth();
  const uint8_t* src = image.RowPointer(r);
  std::memcpy(dst + static_cast<size_t>(pad) * bpp, src, static_cast<size_t>(width) * bpp);
  if (pad == 0) return;
  if (border >= 0) {
    std::memset(dst, border, static_cast<size_t>(pad) * bpp);
    std::memset(dst + static_cast<size_t>(pad + width) * bpp, border, static_cast<size_t>(pad) * bpp);
    return;
  }
  const uint8_t* first = src;
  const uint8_t* last = src + static_cast<size_t>(width - 1) * bpp;
  for (int i = 0; i < pad; ++i) {
    std::memcpy(dst + static_cast<size_t>(i) * bpp, first, bpp);
    std::memcpy(dst + static_cast<size_t>(pad + width + i) * bpp, last, bpp);
  }
}

}  // namespace

int RunWindowFilter(CDIBitmap& image, int bpp, int s, bool interior, int border, int64_t costPerByte,
                    const std::function<std::unique_ptr<WindowKernel>()>& make) {
  const int width = image.GetWidth();
  const int height = image.GetHeight();
  const size_t rowBytes = static_cast<size_t>(width) * bpp;
  const size_t paddedBytes = static_cast<size_t>(width + 2 * s) * bpp;
  const int firstRow = interior ? s : 0;
  const int endRow = interior ? height - s : height;
  const int firstCol = interior ? s : 0;
  const int endCol = interior ? width - s : width;
  if (firstRow >= endRow || firstCol >= endCol) return 1;

  image.Lock();
  CRowJob job(image, height);
  bool cancelled = false;
  // Rows that another band reads are written only after all bands finish.
  struct Deferred {
    int y;
    std::vector<uint8_t> row;
  };
  std::vector<std::vector<Deferred>> deferredByBand(2);

  auto band = [&](int first, int last) {
    std::vector<Deferred>& deferred = deferredByBand[first == 0 ? 0 : 1];
    const bool alone = first == 0 && last == height;
    const int ringSize = 2 * s + 2;
    std::vector<uint8_t> ring(static_cast<size_t>(ringSize) * paddedBytes);
    std::vector<int> ringRow(static_cast<size_t>(ringSize), -1);
    std::vector<uint8_t> borderRow;
    if (border >= 0) borderRow.assign(paddedBytes, static_cast<uint8_t>(border));
    std::vector<const uint8_t*> window(static_cast<size_t>(2 * s + 1));
    std::vector<uint8_t> out(rowBytes);
    std::unique_ptr<WindowKernel> kernel = make();
    auto rowAt = [&](int r) -> const uint8_t* {
      if (r < 0 || r >= height) {
        if (border >= 0) return borderRow.data() + static_cast<size_t>(s) * bpp;
        r = r < 0 ? 0 : height - 1;
      }
      const int slot = r % ringSize;
      uint8_t* dst = ring.data() + static_cast<size_t>(slot) * paddedBytes;
      if (ringRow[static_cast<size_t>(slot)] != r) {
        LoadPaddedRow(image, r, bpp, s, border, dst);
        ringRow[static_cast<size_t>(slot)] = r;
      }
      return dst + static_cast<size_t>(s) * bpp;
    };
    bool fresh = true;
    const int begin = std::max(first, firstRow);
    const int end = std::min(last, endRow);
    for (int y = begin; y < end; ++y) {
      const uint8_t* leaving = rowAt(y - s - 1);
      for (int k = 0; k <= 2 * s; ++k) window[static_cast<size_t>(k)] = rowAt(y - s + k);
      std::memcpy(out.data(), window[static_cast<size_t>(s)], rowBytes);
      kernel->Row(WindowRows{window.data(), leaving, out.data(), y, firstCol, endCol, fresh});
      fresh = false;
      if (!alone && ((first > 0 && y <= first + s) || (last < height && y >= last - s - 1))) {
        deferred.push_back(Deferred{y, out});
      } else {
        image.PutRow(out.data(), y);
      }
      if (job.Reporting() && !job.Step(y)) {
        cancelled = true;
        return;
      }
    }
  };
  GL_ParallelRows(height, static_cast<int64_t>(rowBytes) * std::max<int64_t>(1, costPerByte),
                  [&](int first, int last) { band(first, last); });
  if (!cancelled)
    for (const auto& list : deferredByBand)
      for (const Deferred& d : list) image.PutRow(d.row.data(), d.y);
  image.Unlock();
  return cancelled ? kResultCancelled : 1;
}

}  // namespace filters_detail

using filters_detail::WindowKernel;
using filters_detail::WindowRows;

namespace {

// Sums of a kernel whose weighted sums stay within +-2^20 x 255 are mapped
// to bytes through a table indexed by the sum; heavier kernels divide.
constexpr int64_t kTableSpan = int64_t{1} << 21;

struct PreparedKernel {
  int32_t weights[9];
  int64_t divisor;
  int64_t offset;
  bool table;           // sums fit the lookup table
  bool small;           // and 16-bit arithmetic
  int64_t minSum;       // the table's first sum
  std::vector<uint8_t> lut;
};

uint8_t ClampByte(int64_t v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }

PreparedKernel Prepare(const ConvolutionKernel& k) {
  PreparedKernel p;
  std::copy(k.weights, k.weights + 9, p.weights);
  p.divisor = k.divisor == 0 ? 1 : k.divisor;
  p.offset = k.offset;
  int64_t neg = 0, pos = 0;
  for (int32_t w : k.weights) (w < 0 ? neg : pos) += int64_t{w} * 255;
  p.table = pos - neg < kTableSpan;
  p.small = pos <= INT16_MAX && neg >= INT16_MIN;
  p.minSum = neg;
  if (p.table) {
    p.lut.resize(static_cast<size_t>(pos - neg + 1));
    for (int64_t sum = neg; sum <= pos; ++sum) p.lut[static_cast<size_t>(sum - neg)] = ClampByte(sum / p.divisor + p.offset);
  }
  return p;
}

// acc[i] += w x src[i] over n bytes.
template <typename Acc>
VIVID_VECTOR_LOOP void MultiplyAdd(Acc* __restrict acc, const uint8_t* __restrict src, Acc w, int n) {
  for (int i = 0; i < n; ++i) acc[i] = static_cast<Acc>(acc[i] + w * static_cast<Acc>(src[i]));
}

template <typename Acc>
VIVID_VECTOR_LOOP void Lookup(uint8_t* __restrict out, const Acc* __restrict acc, const uint8_t* __restrict lut,
                              int32_t first, int n) {
  for (int i = 0; i < n; ++i) out[i] = lut[acc[i] - first];
}

class ConvolveKernel final : public WindowKernel {
 public:
  ConvolveKernel(const PreparedKernel& k, int bpp) : k_(k), bpp_(bpp) {}

  void Row(const WindowRows& w) override {
    const int begin = w.x0 * bpp_;
    const int n = (w.x1 - w.x0) * bpp_;
    if (k_.table) {
      if (k_.small) TableRow(w, begin, n, acc16_);
      else TableRow(w, begin, n, acc32_);
      return;
    }
    for (int i = 0; i < n; ++i) {
      int64_t sum = 0;
      for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) sum += int64_t{k_.weights[r * 3 + c]} * w.rows[r][begin + i + (c - 1) * bpp_];
      w.out[begin + i] = ClampByte(sum / k_.divisor + k_.offset);
    }
  }

 private:
  template <typename Acc>
  void TableRow(const WindowRows& w, int begin, int n, std::vector<Acc>& acc) {
    acc.assign(static_cast<size_t>(n), 0);
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 3; ++c) {
        const int32_t weight = k_.weights[r * 3 + c];
        if (weight != 0) MultiplyAdd<Acc>(acc.data(), w.rows[r] + begin + (c - 1) * bpp_, static_cast<Acc>(weight), n);
      }
    Lookup<Acc>(w.out + begin, acc.data(), k_.lut.data(), static_cast<int32_t>(k_.minSum), n);
  }

  const PreparedKernel& k_;
  int bpp_;
  std::vector<int16_t> acc16_;
  std::vector<int32_t> acc32_;
};

ConvolutionKernel MakeKernel(int32_t divisor, int32_t offset, std::initializer_list<int32_t> weights) {
  ConvolutionKernel k;
  k.divisor = divisor;
  k.offset = offset;
  std::copy(weights.begin(), weights.end(), k.weights);
  return k;
}

struct EdgeMode {
  int mode;
  int32_t weights[9];
};

constexpr EdgeMode kEdgeModes[] = {
    {16, {-1, -1, -1, -1, 8, -1, -1, -1, -1}},  // Laplacian "Filter 1"
    {17, {0, -1, 0, -1, 4, -1, 0, -1, 0}},      // Laplacian "Filter 2"
    {18, {1, -2, 1, -2, 4, -2, 1, -2, 1}},      // Laplacian "Filter 3"
    {26, {-1, 0, 0, 0, 1, 0, 0, 0, 0}},         // shift and difference "Diagonal"
    {27, {0, -1, 0, 0, 1, 0, 0, 0, 0}},         // "Horizontal"
    {28, {0, 0, 0, -1, 1, 0, 0, 0, 0}},         // "Vertical"
    {29, {-1, -1, -1, 2, 2, 2, -1, -1, -1}},    // line segment "Horizontal"
    {30, {-1, 2, -1, -1, 2, -1, -1, 2, -1}},    // "Vertical"
    {31, {-1, -1, 2, -1, 2, -1, 2, -1, -1}},    // "Left to Right"
    {32, {2, -1, -1, -1, 2, -1, -1, -1, 2}},    // "Right to Left"
    {33, {1, 2, 1, 0, 0, 0, -1, -2, -1}},       // Sobel "Up"
    {34, {-1, -2, -1, 0, 0, 0, 1, 2, 1}},       // "Down"
    {35, {1, 0, -1, 2, 0, -2, 1, 0, -1}},       // "Left"
    {36, {-1, 0, 1, -2, 0, 2, -1, 0, 1}},       // "Top"
    {37, {-1, -1, -1, 1, -2, 1, 1, 1, 1}},      // Prewitt "North"
    {38, {1, -1, -1, 1, -2, -1, 1, 1, 1}},      // "North-East"
    {39, {1, 1, -1, 1, -2, -1, 1, 1, -1}},      // "East"
    {40, {1, 1, 1, 1, -2, -1, 1, -1, -1}},      // "South-East"
    {41, {1, 1, 1, 1, -2, 1, -1, -1, -1}},      // "South"
    {42, {1, 1, 1, -1, -2, 1, -1, -1, 1}},      // "South-West"
    {43, {-1, 1, 1, -1, -2, 1, -1, 1, 1}},      // "West"
    {44, {-1, -1, 1, -1, -2, 1, 1, 1, 1}},      // "North-West"
};

const EdgeMode* FindEdgeMode(int mode) {
  for (const EdgeMode& m : kEdgeModes)
    if (m.mode == mode) return &m;
  return nullptr;
}

constexpr int32_t kEmbossWeights[8][9] = {
    {0, 1, 0, 0, 0, 0, 0, -1, 0},   // North
    {0, 0, 1, 0, 0, 0, -1, 0, 0},   // North-East
    {0, 0, 0, -1, 0, 1, 0, 0, 0},   // East
    {-1, 0, 0, 0, 0, 0, 0, 0, 1},   // South-East
    {0, -1, 0, 0, 0, 0, 0, 1, 0},   // South
    {0, 0, -1, 0, 0, 0, 1, 0, 0},   // South-West
    {0, 0, 0, 1, 0, -1, 0, 0, 0},   // West
    {1, 0, 0, 0, 0, 0, 0, 0, -1},   // North-West
};

// Edge enhancement: the mode-16 Laplacian of the row, added with the amount.
class EdgeEnhanceKernel final : public WindowKernel {
 public:
  EdgeEnhanceKernel(const PreparedKernel& k, int bpp, const uint8_t* add) : conv_(k, bpp), add_(add), bpp_(bpp) {}

  void Row(const WindowRows& w) override {
    edge_.assign(w.out, w.out + static_cast<size_t>(w.x1) * bpp_);
    WindowRows e = w;
    e.out = edge_.data();
    conv_.Row(e);
    for (int i = w.x0 * bpp_; i < w.x1 * bpp_; ++i) {
      const int v = w.out[i] + add_[edge_[static_cast<size_t>(i)]];
      w.out[i] = static_cast<uint8_t>(v > 255 ? 255 : v);
    }
  }

 private:
  ConvolveKernel conv_;
  const uint8_t* add_;
  int bpp_;
  std::vector<uint8_t> edge_;
};

}  // namespace

int GL_Convolve3x3(CDIBitmap& bitmap, const ConvolutionKernel& kernel) {
  const int bpp = filters_detail::FilterBytesPerPixel(bitmap);
  if (bpp == 0) return 1;
  const PreparedKernel prepared = Prepare(kernel);
  return filters_detail::RunWindowFilter(bitmap, bpp, 1, false, -1, 4,
                                         [&] { return std::make_unique<ConvolveKernel>(prepared, bpp); });
}

int GL_SmoothBitmap(CDIBitmap& bitmap) { return GL_Convolve3x3(bitmap, MakeKernel(36, 0, {1, 4, 1, 4, 16, 4, 1, 4, 1})); }
int GL_BlurBitmap(CDIBitmap& bitmap) { return GL_Convolve3x3(bitmap, MakeKernel(24, 0, {1, 2, 1, 2, 12, 2, 1, 2, 1})); }
int GL_BlurMoreBitmap(CDIBitmap& bitmap) { return GL_Convolve3x3(bitmap, MakeKernel(14, 0, {1, 2, 1, 2, 2, 2, 1, 2, 1})); }
int GL_SharpenBitmap(CDIBitmap& bitmap) {
  return GL_Convolve3x3(bitmap, MakeKernel(7, 0, {-1, -2, -1, -2, 19, -2, -1, -2, -1}));
}
int GL_SharpenMoreBitmap(CDIBitmap& bitmap) {
  return GL_Convolve3x3(bitmap, MakeKernel(1, 0, {-1, -1, -1, -1, 9, -1, -1, -1, -1}));
}

int GL_EdgeFilter(CDIBitmap& bitmap, int mode) {
  const EdgeMode* m = FindEdgeMode(mode);
  if (!m) return 1;
  ConvolutionKernel k;
  std::copy(m->weights, m->weights + 9, k.weights);
  return GL_Convolve3x3(bitmap, k);
}

int GL_EdgeFilterMode(EdgeCommand command, int entry) {
  static constexpr int kLaplacian[] = {16, 17, 18};
  static constexpr int kSobel[] = {33, 34, 35, 36};
  static constexpr int kPrewitt[] = {37, 38, 39, 40, 41, 42, 43, 44};
  static constexpr int kLineSegment[] = {29, 30, 31, 32};
  static constexpr int kShiftDifference[] = {26, 27, 28};
  auto pick = [entry](const auto& table) {
    return entry >= 0 && entry < static_cast<int>(std::size(table)) ? table[entry] : -1;
  };
  switch (command) {
    case EdgeCommand::Laplacian: return pick(kLaplacian);
    case EdgeCommand::Sobel: return pick(kSobel);
    case EdgeCommand::Prewitt: return pick(kPrewitt);
    case EdgeCommand::LineSegment: return pick(kLineSegment);
    case EdgeCommand::ShiftDifference: return pick(kShiftDifference);
  }
  return -1;
}

int GL_EdgeEnhance(CDIBitmap& bitmap, int /*reserved*/, int amount) {
  const int bpp = filters_detail::FilterBytesPerPixel(bitmap);
  if (bpp == 0) return 1;
  amount = std::clamp(amount, 0, 255);
  // (edge x amount + input x 255) / 255 = input + edge x amount / 255.
  uint8_t add[256];
  for (int e = 0; e < 256; ++e) add[e] = static_cast<uint8_t>(e * amount / 255);
  ConvolutionKernel k;
  std::copy(FindEdgeMode(16)->weights, FindEdgeMode(16)->weights + 9, k.weights);
  const PreparedKernel prepared = Prepare(k);
  return filters_detail::RunWindowFilter(bitmap, bpp, 1, false, -1, 5,
                                         [&] { return std::make_unique<EdgeEnhanceKernel>(prepared, bpp, add); });
}

int GL_Emboss(CDIBitmap& bitmap, int direction, int offset) {
  if (direction < 0 || direction > 7) return 1;
  ConvolutionKernel k;
  k.offset = offset;
  std::copy(kEmbossWeights[direction], kEmbossWeights[direction] + 9, k.weights);
  return GL_Convolve3x3(bitmap, k);
}
