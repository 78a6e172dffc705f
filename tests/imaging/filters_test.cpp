// Neighbourhood filters against small per-pixel reference implementations
// written from their definitions, plus invariants (uniform images, masks,
// thread count, cancel).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "image/dibitmap.h"
#include "image/services.h"
#include "imaging/filters.h"
#include "editing/operation_table.h"
#include "imaging/row_job.h"
#include "platform/messages.h"
#include "platform/progress.h"
#include "platform/region.h"
#include "test_support.h"

namespace {

// A plain copy of a bitmap's channel bytes with edge-clamped reads.
struct Ref {
  int w = 0, h = 0, bpp = 0;
  std::vector<int> v;
  int& at(int x, int y, int c) { return v[(static_cast<size_t>(y) * w + x) * bpp + c]; }
  int get(int x, int y, int c) const {
    x = std::clamp(x, 0, w - 1);
    y = std::clamp(y, 0, h - 1);
    return v[(static_cast<size_t>(y) * w + x) * bpp + c];
  }
};

Ref Read(const CDIBitmap& b) {
  Ref r{b.GetWidth(), b.GetHeight(), b.GetBitCount() / 8, {}};
  for (int y = 0; y < r.h; ++y)
    for (int i = 0; i < r.w * r.bpp; ++i) r.v.push_back(b.RowPointer(y)[i]);
  return r;
}

// 8 = gray, 24 = RGB, 32 = CMYK.
void MakeRandom(CDIBitmap& b, int w, int h, int bits, uint32_t seed) {
  b.Create(w, h, bits, bits == 8 ? 1 : bits == 32 ? 3 : 0);
  std::mt19937 rng(seed);
  for (int y = 0; y < h; ++y)
    for (int i = 0; i < b.GetRowBytes(); ++i) b.RowPointer(y)[i] = static_cast<uint8_t>(rng());
}

int Clamp255(int64_t v) { return static_cast<int>(std::clamp<int64_t>(v, 0, 255)); }

// Applies `pixel(src, x, y, c)` to every channel byte.
Ref Map(const Ref& src, const std::function<int(const Ref&, int, int, int)>& pixel) {
  Ref out = src;
  for (int y = 0; y < src.h; ++y)
    for (int x = 0; x < src.w; ++x)
      for (int c = 0; c < src.bpp; ++c) out.at(x, y, c) = pixel(src, x, y, c);
  return out;
}

Ref RefConvolve(const Ref& src, const ConvolutionKernel& k) {
  return Map(src, [&](const Ref& s, int x, int y, int c) {
    int64_t sum = 0;
    for (int j = 0; j < 9; ++j) sum += int64_t{k.weights[j]} * s.get(x + j % 3 - 1, y + j / 3 - 1, c);
    return Clamp255(sum / k.divisor + k.offset);
  });
}

// The window's values sorted, or summed, the brute-force way.
std::vector<int> Window(const Ref& s, int x, int y, int c, int r) {
  std::vector<int> v;
  for (int dy = -r; dy <= r; ++dy)
    for (int dx = -r; dx <= r; ++dx) v.push_back(s.get(x + dx, y + dy, c));
  std::sort(v.begin(), v.end());
  return v;
}

int WindowAverage(const Ref& s, int x, int y, int c, int r) {
  int64_t sum = 0;
  for (int v : Window(s, x, y, c, r)) sum += v;
  return static_cast<int>(sum / ((2 * r + 1) * (2 * r + 1)));
}

bool Inside(const Ref& s, int x, int y, int r) { return x >= r && y >= r && x < s.w - r && y < s.h - r; }

int Despeckle(const Ref& s, int x, int y, int c, int r) {
  const int dirs[4][2] = {{1, 0}, {0, 1}, {1, 1}, {-1, 1}};
  int lo = 0, hi = 255;
  for (auto& d : dirs) {
    std::vector<int> line;
    for (int t = -r; t <= r; ++t) line.push_back(s.get(x + t * d[0], y + t * d[1], c));
    int maximin = 0, minimax = 255;
    for (int j = 0; j <= r; ++j) {
      const auto first = line.begin() + j, last = line.begin() + j + r + 1;
      maximin = std::max(maximin, *std::min_element(first, last));
      minimax = std::min(minimax, *std::max_element(first, last));
    }
    lo = std::max(lo, maximin);
    hi = std::min(hi, minimax);
  }
  return (lo + hi) / 2;
}

void ExpectSame(const Ref& want, const CDIBitmap& got, const std::string& what) {
  const Ref g = Read(got);
  ASSERT_EQ(want.v.size(), g.v.size()) << what;
  for (size_t i = 0; i < want.v.size(); ++i)
    if (want.v[i] != g.v[i]) {
      const size_t pixel = i / want.bpp;
      FAIL() << what << ": pixel (" << pixel % want.w << ", " << pixel / want.w << ") channel " << i % want.bpp
             << " is " << g.v[i] << ", expected " << want.v[i];
    }
}

ConvolutionKernel Kernel(int divisor, int offset, std::vector<int> w) {
  ConvolutionKernel k;
  k.divisor = divisor;
  k.offset = offset;
  std::copy(w.begin(), w.end(), k.weights);
  return k;
}

struct Sizes {
  int w, h;
};
constexpr Sizes kShapes[] = {{1, 1}, {1, 7}, {9, 1}, {2, 3}, {7, 5}, {13, 11}};
constexpr int kKinds[] = {8, 24, 32};

TEST(FilterConvolve, EveryKernelMatchesTheWeightedSum) {
  struct Case {
    const char* name;
    std::function<int(CDIBitmap&)> run;
    ConvolutionKernel kernel;
  };
  std::vector<Case> cases = {
      {"smooth", GL_SmoothBitmap, Kernel(36, 0, {1, 4, 1, 4, 16, 4, 1, 4, 1})},
      {"blur", GL_BlurBitmap, Kernel(24, 0, {1, 2, 1, 2, 12, 2, 1, 2, 1})},
      {"blur more", GL_BlurMoreBitmap, Kernel(14, 0, {1, 2, 1, 2, 2, 2, 1, 2, 1})},
      {"sharpen", GL_SharpenBitmap, Kernel(7, 0, {-1, -2, -1, -2, 19, -2, -1, -2, -1})},
      {"sharpen more", GL_SharpenMoreBitmap, Kernel(1, 0, {-1, -1, -1, -1, 9, -1, -1, -1, -1})},
      {"laplacian 3", [](CDIBitmap& b) { return GL_EdgeFilter(b, 18); }, Kernel(1, 0, {1, -2, 1, -2, 4, -2, 1, -2, 1})},
      {"shift diagonal", [](CDIBitmap& b) { return GL_EdgeFilter(b, 26); }, Kernel(1, 0, {-1, 0, 0, 0, 1, 0, 0, 0, 0})},
      {"line right to left", [](CDIBitmap& b) { return GL_EdgeFilter(b, 32); },
       Kernel(1, 0, {2, -1, -1, -1, 2, -1, -1, -1, 2})},
      {"sobel top", [](CDIBitmap& b) { return GL_EdgeFilter(b, 36); }, Kernel(1, 0, {-1, 0, 1, -2, 0, 2, -1, 0, 1})},
      {"prewitt south-west", [](CDIBitmap& b) { return GL_EdgeFilter(b, 42); },
       Kernel(1, 0, {1, 1, 1, -1, -2, 1, -1, -1, 1})},
      {"emboss north-east 64", [](CDIBitmap& b) { return GL_Emboss(b, 1, 64); },
       Kernel(1, 64, {0, 0, 1, 0, 0, 0, -1, 0, 0})},
      {"negative divisor", [](CDIBitmap& b) { return GL_Convolve3x3(b, Kernel(-3, 200, {1, 0, -5, 0, 1, 0, 2, 0, 1})); },
       Kernel(-3, 200, {1, 0, -5, 0, 1, 0, 2, 0, 1})},
      {"huge weights", [](CDIBitmap& b) { return GL_Convolve3x3(b, Kernel(1000003, 7, {2000000, -1, 0, 0, 5, 0, 0, 0, 1})); },
       Kernel(1000003, 7, {2000000, -1, 0, 0, 5, 0, 0, 0, 1})},
  };
  for (const Case& k : cases)
    for (int bits : kKinds)
      for (const Sizes& s : kShapes) {
        CDIBitmap b;
        MakeRandom(b, s.w, s.h, bits, 17u * s.w + s.h);
        const Ref want = RefConvolve(Read(b), k.kernel);
        EXPECT_EQ(k.run(b), 1);
        ExpectSame(want, b, std::string(k.name) + " " + std::to_string(bits) + " bits " + std::to_string(s.w) + "x" +
                                std::to_string(s.h));
      }
}

TEST(FilterConvolve, UniformImages) {
  // Normalised kernels keep a flat image, edge kernels (weights summing to 0)
  // make it 0, emboss makes it the offset.
  const std::vector<std::pair<std::function<int(CDIBitmap&)>, int>> cases = {
      {GL_BlurBitmap, 90}, {GL_BlurMoreBitmap, 90}, {GL_SharpenBitmap, 90}, {GL_SharpenMoreBitmap, 90},
      {GL_SmoothBitmap, 90}, {[](CDIBitmap& b) { return GL_Emboss(b, 5, 77); }, 77}};
  std::vector<std::pair<std::function<int(CDIBitmap&)>, int>> all = cases;
  for (int mode : {16, 17, 18, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43, 44})
    all.push_back({[mode](CDIBitmap& b) { return GL_EdgeFilter(b, mode); }, 0});
  for (auto& [run, expected] : all) {
    CDIBitmap b;
    b.Create(6, 4, 24, 0);
    GL_FillBitmap(b, 0x5A5A5A);
    run(b);
    EXPECT_EQ(b.GetPixel(2, 3), uint32_t(expected) * 0x010101u);
  }
}

TEST(FilterConvolve, EdgeModeTablesAndUnusedModes) {
  EXPECT_EQ(GL_EdgeFilterMode(EdgeCommand::Laplacian, 2), 18);
  EXPECT_EQ(GL_EdgeFilterMode(EdgeCommand::Sobel, 3), 36);
  EXPECT_EQ(GL_EdgeFilterMode(EdgeCommand::Prewitt, 7), 44);
  EXPECT_EQ(GL_EdgeFilterMode(EdgeCommand::LineSegment, 0), 29);
  EXPECT_EQ(GL_EdgeFilterMode(EdgeCommand::ShiftDifference, 0), 26);
  EXPECT_EQ(GL_EdgeFilterMode(EdgeCommand::ShiftDifference, 3), -1);
  CDIBitmap b;
  MakeRandom(b, 5, 5, 24, 3);
  const Ref before = Read(b);
  for (int mode : {-1, 15, 19, 25, 45}) {
    EXPECT_EQ(GL_EdgeFilter(b, mode), 1);
    ExpectSame(before, b, "mode " + std::to_string(mode));
  }
}

TEST(FilterConvolve, SharpenSpotClampsAt255) {
  CDIBitmap b;
  b.Create(3, 3, 8, 1);
  GL_FillBitmapIndex(b, 100);
  b.SetPixel(1, 1, 200);
  GL_SharpenBitmap(b);
  EXPECT_EQ(b.GetPixel(1, 1), 255u);  // (19 x 200 - 12 x 100) / 7 = 371
}

TEST(FilterConvolve, PaletteAndOneBitAreLeftAlone) {
  for (int bits : {1, 8}) {
    CDIBitmap b;
    b.Create(8, 8, bits, 0);
    b.SetPixel(3, 3, 1);
    const std::vector<uint8_t> before(b.GetPixels(), b.GetPixels() + b.GetStride() * 8);
    EXPECT_EQ(GL_BlurBitmap(b), 1);
    EXPECT_EQ(GL_MedianFilter(b, 1, 0), 1);
    EXPECT_EQ(GL_Posterize(b, 2), 1);
    EXPECT_EQ(std::vector<uint8_t>(b.GetPixels(), b.GetPixels() + b.GetStride() * 8), before);
  }
}

TEST(FilterEdgeEnhance, AddsTheLaplacianScaledByAmount) {
  for (int amount : {0, 127, 255}) {
    CDIBitmap b;
    MakeRandom(b, 9, 6, 24, amount);
    const Ref in = Read(b);
    const Ref edge = RefConvolve(in, Kernel(1, 0, {-1, -1, -1, -1, 8, -1, -1, -1, -1}));
    Ref want = in;
    for (size_t i = 0; i < want.v.size(); ++i) want.v[i] = std::min(255, (edge.v[i] * amount + in.v[i] * 255) / 255);
    GL_EdgeEnhance(b, 0, amount);
    ExpectSame(want, b, "amount " + std::to_string(amount));
  }
}

// ------------------------------------------------------------ windows

struct WindowFilter {
  const char* name;
  std::function<int(CDIBitmap&, int, int)> run;
  std::function<int(const Ref&, int, int, int, int)> pixel;
};

std::vector<WindowFilter> WindowFilters() {
  return {
      {"average", GL_AverageFilter, WindowAverage},
      {"median", GL_MedianFilter,
       [](const Ref& s, int x, int y, int c, int r) {
         const std::vector<int> v = Window(s, x, y, c, r);
         return v[v.size() / 2];
       }},
      {"minimum", GL_MinimumFilter, [](const Ref& s, int x, int y, int c, int r) { return Window(s, x, y, c, r).front(); }},
      {"maximum", GL_MaximumFilter, [](const Ref& s, int x, int y, int c, int r) { return Window(s, x, y, c, r).back(); }},
      {"despeckle", GL_Despeckle, Despeckle},
      {"unsharp 180/6", [](CDIBitmap& b, int r, int in) { return GL_UnsharpMask(b, 180, r, 6, in); },
       [](const Ref& s, int x, int y, int c, int r) {
         bool change = false;
         for (int k = 0; k < s.bpp; ++k) change |= std::abs(s.get(x, y, k) - WindowAverage(s, x, y, k, r)) > 6;
         const int v = s.get(x, y, c);
         return change ? Clamp255(v + (v - WindowAverage(s, x, y, c, r)) * 180 / 100) : v;
       }},
  };
}

TEST(FilterWindow, MatchesBruteForceOnRandomImages) {
  std::mt19937 rng(2024);
  for (const WindowFilter& f : WindowFilters())
    for (int trial = 0; trial < 40; ++trial) {
      const int w = 1 + rng() % 14, h = 1 + rng() % 12, r = 1 + rng() % 4;
      const int bits = kKinds[rng() % 3];
      const int interior = trial % 3 == 0;
      CDIBitmap b;
      MakeRandom(b, w, h, bits, rng());
      // Few distinct levels make ties, where rank filters go wrong first.
      if (trial % 2)
        for (int y = 0; y < h; ++y)
          for (int i = 0; i < b.GetRowBytes(); ++i) b.RowPointer(y)[i] &= 0xE0;
      const Ref in = Read(b);
      const Ref want = Map(in, [&](const Ref& s, int x, int y, int c) {
        return (interior && !Inside(s, x, y, r)) ? s.get(x, y, c) : f.pixel(s, x, y, c, r);
      });
      EXPECT_EQ(f.run(b, r, interior), 1);
      ExpectSame(want, b,
                 std::string(f.name) + " " + std::to_string(w) + "x" + std::to_string(h) + "x" + std::to_string(bits) +
                     " r" + std::to_string(r) + (interior ? " interior" : ""));
    }
}

TEST(FilterWindow, RadiusZeroAndTooLarge) {
  for (const WindowFilter& f : WindowFilters()) {
    CDIBitmap b;
    MakeRandom(b, 6, 6, 24, 5);
    const Ref before = Read(b);
    EXPECT_EQ(f.run(b, 0, 0), 1) << f.name;
    EXPECT_EQ(f.run(b, kMaxFilterRadius + 1, 0), 0) << f.name;
    ExpectSame(before, b, f.name);
  }
}

TEST(FilterWindow, MedianRemovesASingleSpot) {
  CDIBitmap b;
  b.Create(5, 5, 8, 1);
  b.SetPixel(2, 2, 255);
  GL_MedianFilter(b, 1, 0);
  EXPECT_EQ(b.GetPixel(2, 2), 0u);
}

TEST(FilterWindow, DespeckleKeepsLinesAndHalvesSpecks) {
  CDIBitmap b;
  b.Create(9, 9, 8, 1);
  for (int x = 0; x < 9; ++x) b.SetPixel(x, x, 200);  // a diagonal line
  b.SetPixel(1, 6, 100);                              // a speck
  GL_Despeckle(b, 2, 0);
  for (int x = 0; x < 9; ++x) EXPECT_EQ(b.GetPixel(x, x), 200u);
  EXPECT_EQ(b.GetPixel(1, 6), 50u);
}

// --------------------------------------------------------------- misc

TEST(FilterMosaic, BlockAveragesWithRepeatedEdges) {
  for (int n : {2, 3, 5, 20})
    for (int interior : {0, 1})
      for (int bits : kKinds) {
        CDIBitmap b;
        MakeRandom(b, 11, 7, bits, n * 31 + bits);
        const Ref in = Read(b);
        const int o = interior ? n : 0;
        const Ref want = Map(in, [&](const Ref& s, int x, int y, int c) {
          if (x < o || y < o) return s.get(x, y, c);
          const int bx = o + (x - o) / n * n, by = o + (y - o) / n * n;
          int sum = 0;
          for (int j = 0; j < n; ++j)
            for (int i = 0; i < n; ++i) sum += s.get(bx + i, by + j, c);
          return sum / (n * n);
        });
        GL_Mosaic(b, n, interior);
        ExpectSame(want, b, "mosaic " + std::to_string(n) + (interior ? " interior" : ""));
      }
}

TEST(FilterTables, PosterizeAndSolarize) {
  CDIBitmap b;
  b.Create(256, 1, 8, 1);
  for (int i = 0; i < 256; ++i) b.RowPointer(0)[i] = static_cast<uint8_t>(i);
  CDIBitmap p;
  p.CopyFrom(b);
  GL_Posterize(p, 2);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(p.GetPixel(0, i), i < 128 ? 0u : 255u) << i;
  for (int levels : {3, 7, 64}) {
    p.CopyFrom(b);
    GL_Posterize(p, levels);
    for (int i = 0; i < 256; ++i) {
      const int want = std::min(255, int(std::trunc(i * (levels - 1) * 0.003921569 + 0.5)) * 255 / (levels - 1));
      EXPECT_EQ(p.GetPixel(0, i), uint32_t(want)) << levels << " levels, " << i;
    }
  }
  for (int t : {0, 100, 128, 255}) {
    p.CopyFrom(b);
    GL_Solarize(p, t);
    for (int i = 0; i < 256; ++i) EXPECT_EQ(p.GetPixel(0, i), uint32_t((i < 128 ? i : 255 - i) * t / 128)) << t;
  }
  p.CopyFrom(b);
  GL_Solarize(p, 128);
  EXPECT_EQ(p.GetPixel(0, 200), 55u);
  EXPECT_EQ(p.GetPixel(0, 100), 100u);
  p.CopyFrom(b);
  EXPECT_EQ(GL_Posterize(p, 1), 1);  // would divide by zero: unchanged
  EXPECT_EQ(p.GetPixel(0, 77), 77u);
}

TEST(FilterNoise, FollowsTheGeneratorAndCarriesItsState) {
  for (int bits : kKinds)
    for (int amount : {1, 350, 1000}) {
      CDIBitmap a, b;
      MakeRandom(a, 7, 5, bits, 9);
      MakeRandom(b, 3, 4, bits, 10);
      uint32_t state = 12345;
      auto expect = [&](const Ref& in) {
        Ref out = in;
        for (int y = 0; y < in.h; ++y)
          for (int x = 0; x < in.w; ++x) {
            state = state * 214013u + 2531011u;
            const int r = int((state >> 16) & 0x7FFF & 255) * 2 - 255;
            for (int c = 0; c < in.bpp; ++c) out.at(x, y, c) = Clamp255((r * amount + in.get(x, y, c) * 1000) / 1000);
          }
        return out;
      };
      const Ref wantA = expect(Read(a));
      const Ref wantB = expect(Read(b));
      GL_SeedNoise(12345);
      GL_AddNoise(a, 0, amount);
      GL_AddNoise(b, 0, amount);
      ExpectSame(wantA, a, "first call");
      ExpectSame(wantB, b, "second call");
    }
  CDIBitmap c;
  MakeRandom(c, 5, 5, 24, 1);
  const Ref before = Read(c);
  GL_AddNoise(c, 0, 0);
  ExpectSame(before, c, "amount 0");
}

// The structuring elements, independently: rows top, middle, bottom.
const char* const kElementRows[5] = {"111111111", "000111000", "010010010", "010111010", "101010101"};

TEST(FilterMorphology, ElementsStartAndBorder) {
  for (int element = 0; element < 5; ++element)
    for (bool dilate : {true, false})
      for (auto [start, border] : {std::pair{0, 0}, std::pair{255, 255}, std::pair{255, 0}, std::pair{40, 200}})
        for (int bits : kKinds) {
          CDIBitmap b;
          MakeRandom(b, 8, 6, bits, element * 7 + start + border);
          const Ref in = Read(b);
          const Ref want = Map(in, [&](const Ref& s, int x, int y, int c) {
            int v = start;
            for (int j = 0; j < 9; ++j) {
              if (kElementRows[element][j] != '1') continue;
              const int xx = x + j % 3 - 1, yy = y + j / 3 - 1;
              const int cell = (xx < 0 || yy < 0 || xx >= s.w || yy >= s.h) ? border : s.get(xx, yy, c);
              v = dilate ? std::max(v, cell) : std::min(v, cell);
            }
            return v;
          });
          (dilate ? GL_Dilate : GL_Erode)(b, start, border, element);
          ExpectSame(want, b, std::string(dilate ? "dilate" : "erode") + " element " + std::to_string(element));
        }
}

TEST(FilterMorphology, HorizontalErosionOfLines) {
  CDIBitmap b;
  b.Create(9, 9, 8, 1);
  for (int i = 1; i < 8; ++i) {
    b.SetPixel(i, 2, 255);  // vertical line in column 2
    b.SetPixel(6, i, 255);  // horizontal line in row 6
  }
  GL_Erode(b, 255, 0, 1);
  for (int i = 0; i < 9; ++i) EXPECT_EQ(b.GetPixel(i, 2), i == 6 ? 255u : 0u) << i;
  for (int i = 0; i < 9; ++i) EXPECT_EQ(b.GetPixel(6, i), i >= 2 && i <= 6 ? 255u : 0u) << i;
}

TEST(FilterGaussian, SeparableFixedPointBlur) {
  for (double sigma : {0.5, 1.3, 2.0}) {
    // Weights from the definition, computed here again.
    const int r = int(std::ceil(3 * sigma));
    std::vector<double> g;
    double total = 0;
    for (int k = -r; k <= r; ++k) total += g.emplace_back(std::exp(-k * k / (2 * sigma * sigma)));
    std::vector<int64_t> w;
    int64_t others = 0;
    for (int k = -r; k <= r; ++k) {
      w.push_back(k == 0 ? 0 : std::llround(65536 * g[k + r] / total));
      others += w.back();
    }
    w[r] = 65536 - others;
    for (int bits : kKinds) {
      CDIBitmap b;
      MakeRandom(b, 10, 8, bits, 77);
      const Ref in = Read(b);
      const Ref h = Map(in, [&](const Ref& s, int x, int y, int c) {
        int64_t sum = 0;
        for (int k = -r; k <= r; ++k) sum += w[k + r] * s.get(x + k, y, c);
        return int((sum + 128) >> 8);
      });
      const Ref want = Map(h, [&](const Ref& s, int x, int y, int c) {
        int64_t sum = 0;
        for (int k = -r; k <= r; ++k) sum += w[k + r] * s.get(x, y + k, c);
        return int((sum + (1 << 23)) >> 24);
      });
      EXPECT_EQ(GL_GaussianBlur(b, sigma), 1);
      ExpectSame(want, b, "sigma " + std::to_string(sigma));
    }
  }
  CDIBitmap flat;
  flat.Create(12, 12, 24, 0);
  GL_FillBitmap(flat, 0xC8C8C8);
  GL_GaussianBlur(flat, 3.7);
  EXPECT_EQ(flat.GetPixel(5, 0), 0xC8C8C8u);
}

TEST(FilterGaussian, RadiusLimits) {
  // The weights sum to exactly 65536, are symmetric and span ceil(3 sigma)
  // pixels each side.
  for (double sigma : {0.1, 0.37, 1.0, 4.2, 10.0, 100.0}) {
    const std::vector<uint32_t> w = GL_GaussianWeights(sigma);
    const size_t r = static_cast<size_t>(std::ceil(3 * sigma));
    ASSERT_EQ(w.size(), 2 * r + 1) << sigma;
    uint64_t total = 0;
    for (size_t k = 0; k < w.size(); ++k) {
      total += w[k];
      EXPECT_EQ(w[k], w[w.size() - 1 - k]) << sigma;
    }
    EXPECT_EQ(total, 65536u) << sigma;
  }
  // Sigma 0.1: the neighbours' weights round to 0, so nothing moves.
  EXPECT_EQ(GL_GaussianWeights(0.1), (std::vector<uint32_t>{0, 65536, 0}));
  for (double sigma : {0.0, 0.099, -2.0, std::nan("")}) EXPECT_TRUE(GL_GaussianWeights(sigma).empty()) << sigma;

  for (double sigma : {0.0, 0.05, 0.1, -1.0}) {
    CDIBitmap b;
    MakeRandom(b, 9, 7, 24, 21);
    const Ref before = Read(b);
    EXPECT_EQ(GL_GaussianBlur(b, sigma), 1) << sigma;
    ExpectSame(before, b, "sigma " + std::to_string(sigma));
  }
  platform::RecordingMessageSink messages;
  CDIBitmap b;
  MakeRandom(b, 9, 7, 24, 22);
  const Ref before = Read(b);
  EXPECT_EQ(GL_GaussianBlur(b, 100.5), 0);
  ExpectSame(before, b, "sigma 100.5");
  ASSERT_EQ(messages.Texts().size(), 1u);
  EXPECT_EQ(messages.Texts()[0], "GL_GaussianBlur :: radius too large");
}

// ------------------------------------------------------ engine checks

// Every filter, for the checks that apply to all.
std::vector<std::pair<std::string, std::function<int(CDIBitmap&)>>> AllFilters() {
  return {
      {"blur", GL_BlurBitmap},
      {"prewitt", [](CDIBitmap& b) { return GL_EdgeFilter(b, 40); }},
      {"edge enhance", [](CDIBitmap& b) { return GL_EdgeEnhance(b, 0, 200); }},
      {"average", [](CDIBitmap& b) { return GL_AverageFilter(b, 3, 0); }},
      {"median", [](CDIBitmap& b) { return GL_MedianFilter(b, 2, 0); }},
      {"minimum", [](CDIBitmap& b) { return GL_MinimumFilter(b, 2, 1); }},
      {"maximum", [](CDIBitmap& b) { return GL_MaximumFilter(b, 3, 0); }},
      {"despeckle", [](CDIBitmap& b) { return GL_Despeckle(b, 2, 0); }},
      {"unsharp", [](CDIBitmap& b) { return GL_UnsharpMask(b, 250, 2, 2, 0); }},
      {"gaussian", [](CDIBitmap& b) { return GL_GaussianBlur(b, 1.5); }},
      {"noise", [](CDIBitmap& b) { GL_SeedNoise(5); return GL_AddNoise(b, 0, 500); }},
      {"mosaic", [](CDIBitmap& b) { return GL_Mosaic(b, 7, 0); }},
      {"solarize", [](CDIBitmap& b) { return GL_Solarize(b, 128); }},
      {"dilate", [](CDIBitmap& b) { return GL_Dilate(b, 0, 0, 3); }},
      {"erode", [](CDIBitmap& b) { return GL_Erode(b, 255, 0, 4); }},
  };
}

TEST(FilterEngine, TwoThreadsGiveTheOneThreadResult) {
  const int saved = GL_GetThreadCount();
  for (auto& [name, run] : AllFilters()) {
    CDIBitmap one, two;
    MakeRandom(one, 700, 530, 24, 99);  // above the two-thread threshold
    two.CopyFrom(one);
    GL_SetThreadCount(1);
    run(one);
    GL_SetThreadCount(2);
    run(two);
    ExpectSame(Read(one), two, name);
  }
  GL_SetThreadCount(saved);
}

TEST(FilterEngine, SelectionLimitsTheChange) {
  for (int bits : kKinds) {
    for (auto& [name, run] : AllFilters()) {
      CDIBitmap whole, masked;
      MakeRandom(whole, 23, 17, bits, 4);
      masked.CopyFrom(whole);
      const Ref in = Read(whole);
      const std::vector<platform::Rect> rects = {{3, 2, 12, 9}, {15, 10, 23, 17}};
      const platform::Region region = platform::Region::FromRects(rects);
      masked.SetMaskRgn(&region);
      run(whole);
      run(masked);
      const Ref all = Read(whole);
      Ref want = in;
      for (const platform::Rect& r : rects)
        for (int y = r.top; y < r.bottom; ++y)
          for (int x = r.left; x < r.right; ++x)
            for (int c = 0; c < want.bpp; ++c) want.at(x, y, c) = all.get(x, y, c);
      ExpectSame(want, masked, name + " " + std::to_string(bits) + "-bit");
    }
  }
}

TEST(FilterEngine, CancelRestoresTheImage) {
  for (auto& [name, run] : AllFilters()) {
    CDIBitmap b;
    MakeRandom(b, 20, 20, 24, 8);
    const Ref before = Read(b);
    ProgressEnable(true);
    platform::RequestCancel();
    const int result = run(b);
    platform::ResetCancel();
    ProgressEnable(false);
    EXPECT_EQ(result, kResultCancelled) << name;
    ExpectSame(before, b, name);
  }
}

// ------------------------------------------------------- named operations

TEST(FilterOperations, DialogConversions) {
  struct Case {
    std::string text;
    std::function<Ref(const Ref&)> expect;
  };
  auto conv = [](ConvolutionKernel k) { return [k](const Ref& in) { return RefConvolve(in, k); }; };
  const std::vector<Case> cases = {
      {"emboss:50,East", conv(Kernel(1, 64, {0, 0, 0, -1, 0, 1, 0, 0, 0}))},
      {"emboss", conv(Kernel(1, 64, {0, 1, 0, 0, 0, 0, 0, -1, 0}))},
      {"sobel:2", conv(Kernel(1, 0, {1, 0, -1, 2, 0, -2, 1, 0, -1}))},
      {"shift-difference:Vertical", conv(Kernel(1, 0, {0, 0, 0, -1, 1, 0, 0, 0, 0}))},
      {"edge-enhance:10",
       [](const Ref& in) {
         const Ref e = RefConvolve(in, Kernel(1, 0, {-1, -1, -1, -1, 8, -1, -1, -1, -1}));
         Ref out = in;
         for (size_t i = 0; i < out.v.size(); ++i) out.v[i] = std::min(255, (e.v[i] * 25 + in.v[i] * 255) / 255);
         return out;
       }},
      {"median:0", [](const Ref& in) { return in; }},
      {"gaussian-blur:0", [](const Ref& in) { return in; }},
  };
  for (const Case& c : cases) {
    std::string error;
    const auto parsed = ParseOperation(c.text, error);
    ASSERT_TRUE(parsed) << c.text << ": " << error;
    CDIBitmap b;
    MakeRandom(b, 8, 8, 24, 12);
    const Ref want = c.expect(Read(b));
    EXPECT_EQ(parsed->def->apply(b, parsed->args), 1) << c.text;
    ExpectSame(want, b, c.text);
  }
  for (const char* bad : {"median:11", "average:51", "mosaic:1", "posterize:65", "laplacian:3", "unsharp-mask:0",
                          "gaussian-blur:10.5", "erosion:5", "emboss:50,8"}) {
    std::string error;
    EXPECT_FALSE(ParseOperation(bad, error)) << bad;
  }
}

}  // namespace

// ------------------------------------------------------- ImageMagick

namespace {

void WritePGM(const std::string& path, const CDIBitmap& b) {
  std::string head = "P5\n" + std::to_string(b.GetWidth()) + " " + std::to_string(b.GetHeight()) + "\n255\n";
  std::vector<uint8_t> bytes(head.begin(), head.end());
  for (int y = 0; y < b.GetHeight(); ++y) bytes.insert(bytes.end(), b.RowPointer(y), b.RowPointer(y) + b.GetWidth());
  testing_support::WriteBytes(path, bytes);
}

// The pixels of a binary 8-bit PGM with a plain "P5\nW H\n255\n" header.
std::vector<uint8_t> ReadPGMPixels(const std::string& path, size_t count) {
  const std::vector<uint8_t> bytes = testing_support::ReadBytes(path);
  return bytes.size() >= count ? std::vector<uint8_t>(bytes.end() - static_cast<std::ptrdiff_t>(count), bytes.end())
                               : std::vector<uint8_t>{};
}

TEST(FilterImageMagick, RankFiltersMatchStatistic) {
  struct Case {
    const char* statistic;
    int (*run)(CDIBitmap&, int, int);
  };
  const Case cases[] = {{"Median", GL_MedianFilter}, {"Minimum", GL_MinimumFilter}, {"Maximum", GL_MaximumFilter}};
  testing_support::TempDir dir;
  for (const Case& c : cases)
    for (int radius : {1, 3}) {
      CDIBitmap b;
      MakeRandom(b, 37, 23, 8, radius * 5 + c.statistic[1]);
      WritePGM(dir.File("in.pgm"), b);
      const std::string side = std::to_string(2 * radius + 1);
      const auto result = testing_support::RunCommand(
          std::string(testing_support::kImageMagick) + " " + testing_support::ShellQuote(dir.File("in.pgm")) +
          " -virtual-pixel edge -statistic " + c.statistic + " " + side + "x" + side + " -depth 8 " +
          testing_support::ShellQuote(dir.File("out.pgm")));
      ASSERT_EQ(result.exitCode, 0) << result.err;
      const std::vector<uint8_t> want = ReadPGMPixels(dir.File("out.pgm"), 37 * 23);
      ASSERT_EQ(want.size(), size_t{37 * 23});
      c.run(b, radius, 0);
      for (int y = 0; y < 23; ++y)
        for (int x = 0; x < 37; ++x)
          ASSERT_EQ(b.RowPointer(y)[x], want[static_cast<size_t>(y) * 37 + x])
              << c.statistic << " radius " << radius << " at " << x << ", " << y;
    }
}

}  // namespace
