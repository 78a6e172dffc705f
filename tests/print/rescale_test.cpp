// The band rescaler against a plain reference written from the definition of
// the four methods, and the gray and invert steps.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "image/dibitmap.h"
#include "print/rescale.h"

namespace {

using Row = std::vector<uint8_t>;  // BGR bytes
using Picture = std::vector<Row>;

// The source index of destination index i and its fraction, in 32-bit float.
struct MapEntry {
  int index;
  float fraction;
};
MapEntry MapIndex(int i, int dest, int source) {
  const float s = static_cast<float>(dest) / static_cast<float>(source);
  const float q = static_cast<float>(i) / s;
  const float whole = std::trunc(q);
  return {std::min(static_cast<int>(whole), source - 1), q - whole};
}
// Where destination index i's reduction run ends (exclusive).
int RunEnd(int i, int dest, int source) {
  if (i + 1 >= dest) return source;
  return std::max(MapIndex(i + 1, dest, source).index, MapIndex(i, dest, source).index + 1);
}
uint8_t Lerp(uint8_t a, uint8_t b, float f) {
  return static_cast<uint8_t>(static_cast<float>(a) * (1.0f - f) + static_cast<float>(b) * f + 0.5f);
}

// One row scaled across: averaged runs when reducing, interpolated when enlarging.
Row ScaleAcross(const Row& in, int sw, int dw) {
  Row out(static_cast<size_t>(dw) * 3);
  const bool reduce = static_cast<float>(dw) / static_cast<float>(sw) < 1.0f;
  for (int i = 0; i < dw; ++i) {
    const MapEntry m = MapIndex(i, dw, sw);
    for (int ch = 0; ch < 3; ++ch) {
      if (reduce) {
        const int end = RunEnd(i, dw, sw);
        unsigned sum = 0;
        for (int c = m.index; c < end; ++c) sum += in[3 * c + ch];
        out[3 * i + ch] = static_cast<uint8_t>(sum / static_cast<unsigned>(end - m.index));
      } else {
        const int next = std::min(m.index + 1, sw - 1);
        out[3 * i + ch] = Lerp(in[3 * m.index + ch], in[3 * next + ch], m.fraction);
      }
    }
  }
  return out;
}

// The whole destination picture by the definition.
Picture Reference(const Picture& src, int dw, int dh) {
  const int sh = static_cast<int>(src.size()), sw = static_cast<int>(src[0].size() / 3);
  const bool reduceX = static_cast<float>(dw) / static_cast<float>(sw) < 1.0f;
  const bool reduceY = static_cast<float>(dh) / static_cast<float>(sh) < 1.0f;
  Picture out(static_cast<size_t>(dh));
  for (int j = 0; j < dh; ++j) {
    const MapEntry m = MapIndex(j, dh, sh);
    if (reduceY) {
      const int end = RunEnd(j, dh, sh);
      const unsigned rows = static_cast<unsigned>(end - m.index);
      if (reduceX) {  // block average
        Row row(static_cast<size_t>(dw) * 3);
        for (int i = 0; i < dw; ++i) {
          const int c0 = MapIndex(i, dw, sw).index, c1 = RunEnd(i, dw, sw);
          for (int ch = 0; ch < 3; ++ch) {
            unsigned long sum = 0;
            for (int y = m.index; y < end; ++y)
              for (int c = c0; c < c1; ++c) sum += src[y][3 * c + ch];
            row[3 * i + ch] = static_cast<uint8_t>(sum / (rows * static_cast<unsigned>(c1 - c0)));
          }
        }
        out[j] = row;
      } else {  // average the rows per source column, then enlarge across
        Row averaged(static_cast<size_t>(sw) * 3);
        for (size_t k = 0; k < averaged.size(); ++k) {
          unsigned sum = 0;
          for (int y = m.index; y < end; ++y) sum += src[y][k];
          averaged[k] = static_cast<uint8_t>(sum / rows);
        }
        out[j] = ScaleAcross(averaged, sw, dw);
      }
    } else {  // scale the two neighbouring rows across, then interpolate down
      const Row a = ScaleAcross(src[m.index], sw, dw);
      const Row b = ScaleAcross(src[std::min(m.index + 1, sh - 1)], sw, dw);
      Row row(a.size());
      for (size_t k = 0; k < a.size(); ++k) row[k] = Lerp(a[k], b[k], m.fraction);
      out[j] = row;
    }
  }
  return out;
}

Picture RandomPicture(int w, int h, uint32_t seed) {
  std::mt19937 rng(seed);
  Picture p(static_cast<size_t>(h), Row(static_cast<size_t>(w) * 3));
  for (auto& row : p)
    for (auto& v : row) v = static_cast<uint8_t>(rng());
  return p;
}

void Load(CDIBitmap& bitmap, const Picture& p) {
  ASSERT_TRUE(bitmap.Create(static_cast<int>(p[0].size() / 3), static_cast<int>(p.size()), 24, 0));
  for (size_t y = 0; y < p.size(); ++y) std::copy(p[y].begin(), p[y].end(), bitmap.RowPointer(static_cast<int>(y)));
}

struct Case {
  int sw, sh, dw, dh;
  print::RescaleMethod method;
};

class RescaleMethods : public ::testing::TestWithParam<Case> {};

// Every destination row, produced in runs of rows with a visible column
// window, equals the reference; rows past the end repeat the last row.
TEST_P(RescaleMethods, MatchesTheDefinitionForAnyWindowAndRowRun) {
  const Case c = GetParam();
  const Picture src = RandomPicture(c.sw, c.sh, static_cast<uint32_t>(c.sw * 131 + c.dh));
  CDIBitmap source;
  Load(source, src);
  const Picture expected = Reference(src, c.dw, c.dh);

  struct Window {
    int left, width, firstRow, rows;
  };
  const Window windows[] = {{0, c.dw, 0, c.dh},
                            {c.dw / 3, c.dw - c.dw / 3, c.dh / 4, c.dh / 2},
                            {1, std::max(1, c.dw / 2), c.dh - 3, 5}};
  for (const Window& w : windows) {
    print::Rescaler rescaler;
    ASSERT_EQ(rescaler.Init(source, {0, 0, c.sw, c.sh}, c.dw, c.dh, w.left, w.width), 1);
    EXPECT_EQ(rescaler.Method(), c.method);
    CDIBitmap band;
    ASSERT_TRUE(band.Create(w.width, w.rows, 24, 0));
    ASSERT_EQ(rescaler.RescaleRows(w.firstRow, w.rows, band), 1);
    for (int j = 0; j < w.rows; ++j) {
      const int y = std::min(w.firstRow + j, c.dh - 1);
      const uint8_t* got = band.RowPointer(j);
      for (int x = 0; x < w.width * 3; ++x)
        ASSERT_EQ(got[x], expected[y][3 * w.left + x])
            << "window " << w.left << "+" << w.width << " dest row " << y << " byte " << x;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    AllFour, RescaleMethods,
    ::testing::Values(Case{97, 61, 40, 23, print::RescaleMethod::ReduceBoth},
                      Case{64, 64, 32, 16, print::RescaleMethod::ReduceBoth},
                      Case{97, 13, 40, 53, print::RescaleMethod::ReduceXEnlargeY},
                      Case{11, 90, 47, 31, print::RescaleMethod::ReduceYEnlargeX},
                      Case{13, 9, 50, 37, print::RescaleMethod::EnlargeBoth},
                      Case{20, 20, 20, 20, print::RescaleMethod::EnlargeBoth},
                      Case{3, 2, 301, 245, print::RescaleMethod::EnlargeBoth}));

// A reduction by two in both directions is the plain 2 x 2 block average
// (integer division), worked out by hand.
TEST(Rescale, HalvingAveragesTwoByTwoBlocks) {
  const Picture src = {{10, 20, 30, 11, 21, 31, 0, 0, 0, 255, 255, 255},
                       {13, 23, 33, 14, 24, 34, 255, 255, 255, 255, 255, 255}};
  CDIBitmap source, band;
  Load(source, src);
  print::Rescaler rescaler;
  ASSERT_EQ(rescaler.Init(source, {0, 0, 4, 2}, 2, 1, 0, 2), 1);
  ASSERT_TRUE(band.Create(2, 1, 24, 0));
  ASSERT_EQ(rescaler.RescaleRows(0, 1, band), 1);
  const uint8_t* row = band.RowPointer(0);
  EXPECT_EQ(row[0], (10 + 11 + 13 + 14) / 4);
  EXPECT_EQ(row[1], (20 + 21 + 23 + 24) / 4);
  EXPECT_EQ(row[2], (30 + 31 + 33 + 34) / 4);
  EXPECT_EQ(row[3], 255 * 3 / 4);
}

// A source rectangle prints only that part, and other pixel kinds are read
// as their RGB colours.
TEST(Rescale, SourceRectangleAndGrayImages) {
  CDIBitmap gray;
  ASSERT_TRUE(gray.Create(8, 6, 8, 1));  // 8-bit gray ramp table
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 8; ++x) gray.RowPointer(y)[x] = static_cast<uint8_t>(y * 40 + x);
  print::Rescaler rescaler;
  ASSERT_EQ(rescaler.Init(gray, {2, 1, 6, 5}, 4, 4, 0, 4), 1);  // 4 x 4 at scale 1
  CDIBitmap band;
  ASSERT_TRUE(band.Create(4, 4, 24, 0));
  ASSERT_EQ(rescaler.RescaleRows(0, 4, band), 1);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x)
      for (int ch = 0; ch < 3; ++ch) EXPECT_EQ(band.RowPointer(y)[3 * x + ch], (y + 1) * 40 + x + 2);
}

TEST(Rescale, RefusesEmptyOrOutsideWindows) {
  CDIBitmap source, band;
  ASSERT_TRUE(source.Create(4, 4, 24, 0));
  print::Rescaler rescaler;
  EXPECT_EQ(rescaler.Init(source, {0, 0, 0, 4}, 10, 10, 0, 10), -11);
  EXPECT_EQ(rescaler.Init(source, {0, 0, 4, 4}, 0, 10, 0, 1), -11);
  EXPECT_EQ(rescaler.Init(source, {0, 0, 4, 4}, 10, 10, 5, 6), -13);
  EXPECT_EQ(rescaler.Init(source, {0, 0, 4, 4}, 10, 10, 0, 10), 1);
  ASSERT_TRUE(band.Create(9, 2, 24, 0));
  EXPECT_EQ(rescaler.RescaleRows(0, 2, band), -13);  // narrower than the window
}

TEST(Rescale, GrayUsesTheLuminanceFormulaAndInvertComplementsEveryByte) {
  const Picture src = RandomPicture(17, 3, 7);
  CDIBitmap band;
  Load(band, src);
  print::GrayBand(band, 17, 2);  // the third row stays as it was
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 17; ++x) {
      const int b = src[y][3 * x], g = src[y][3 * x + 1], r = src[y][3 * x + 2];
      const int expected = y < 2 ? (306 * r + 601 * g + 117 * b + 512) / 1024 : -1;
      for (int ch = 0; ch < 3; ++ch)
        EXPECT_EQ(band.RowPointer(y)[3 * x + ch], expected >= 0 ? expected : src[y][3 * x + ch]);
    }
  Load(band, src);
  print::InvertBand(band, 17, 3);
  for (int y = 0; y < 3; ++y)
    for (int k = 0; k < 17 * 3; ++k) EXPECT_EQ(band.RowPointer(y)[k], 255 - src[y][k]);
}

}  // namespace
