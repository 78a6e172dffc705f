// CMYK separation: band loading (order, bottom-up, mirrored rows with the
// merge of dark pairs), the curve method, and the grid method against a
// lookup written here from its definition.
#include "print/separation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "image/dibitmap.h"
#include "platform/progress.h"

namespace {

struct Planes {
  Planes(int width, int rows) {
    for (int p = 0; p < 4; ++p) {
      storage[p].assign(static_cast<size_t>(width) * rows, 0xEE);
      pointers[p] = storage[p].data();
    }
  }
  std::vector<uint8_t> storage[4];
  uint8_t* pointers[4];
};

// A 24-bit band whose pixel (x, y) is given as red, green, blue.
std::unique_ptr<CDIBitmap> MakeBand(int width, int height, const std::vector<std::array<uint8_t, 3>>& rgb) {
  auto band = std::make_unique<CDIBitmap>();
  EXPECT_EQ(band->Create(width, height, 24, 0), 1);
  for (int y = 0; y < height; ++y) {
    uint8_t* row = band->RowPointer(y);
    for (int x = 0; x < width; ++x) {
      const auto& p = rgb[static_cast<size_t>(y) * width + x];
      row[3 * x] = p[2], row[3 * x + 1] = p[1], row[3 * x + 2] = p[0];
    }
  }
  return band;
}

std::vector<std::array<uint8_t, 3>> RandomPixels(std::mt19937& rng, size_t count) {
  std::vector<std::array<uint8_t, 3>> out(count);
  for (auto& p : out)
    for (auto& c : p) c = static_cast<uint8_t>(rng() & 255);
  return out;
}

// The grid lookup from its definition.
void ReferenceGridLookup(const uint8_t* grid, const uint8_t rgb[3], uint8_t cmyk[4]) {
  int index[3];
  float f[3];
  for (int c = 0; c < 3; ++c) {
    float x = static_cast<float>(rgb[c]) * 0.05490196f;
    if (x < 0.0f) x = 0.0f;
    if (x > 14.0f) x = 14.0f;
    index[c] = std::min(static_cast<int>(x), 13);
    f[c] = x - static_cast<float>(index[c]);
  }
  for (int ink = 0; ink < 4; ++ink) {
    float sum = 0.0f;
    for (int a = 0; a < 2; ++a)
      for (int b = 0; b < 2; ++b)
        for (int c = 0; c < 2; ++c) {
          const float wr = a ? f[0] : 1.0f - f[0];
          const float wg = b ? f[1] : 1.0f - f[1];
          const float wb = c ? f[2] : 1.0f - f[2];
          const int at = (index[0] + a) * 900 + (index[1] + b) * 60 + (index[2] + c) * 4 + ink;
          sum = sum + (wr * wg) * wb * static_cast<float>(grid[at]);
        }
    cmyk[ink] = static_cast<uint8_t>(static_cast<int>(sum + 0.5f));
  }
}

// A grid from a converter that is easy to check: C, M, Y from a hash of the
// colour, K from red alone.
std::unique_ptr<print::SeparationGrid> HashGrid() {
  auto grid = std::make_unique<print::SeparationGrid>();
  print::BuildSeparationGrid(
      *grid,
      [](const uint8_t rgb[3], uint8_t cmyk[4]) {
        const unsigned h = rgb[0] * 31u + rgb[1] * 17u + rgb[2] * 7u;
        cmyk[0] = static_cast<uint8_t>(h), cmyk[1] = static_cast<uint8_t>(h >> 3);
        cmyk[2] = static_cast<uint8_t>(255 - rgb[2]), cmyk[3] = rgb[0];
      },
      [](const uint8_t cmyk[4], uint8_t rgb[3]) {
        rgb[0] = cmyk[0], rgb[1] = static_cast<uint8_t>(cmyk[1] + cmyk[2]), rgb[2] = cmyk[3];
      });
  return grid;
}

TEST(SeparateBand, CurveMethodWithIdentityCurves) {
  // White takes no ink; black takes full C, M, Y and no black.
  const auto band = MakeBand(2, 1, {{255, 255, 255}, {0, 0, 0}});
  Planes planes(2, 1);
  ASSERT_EQ(print::SeparateBand(*band, planes.pointers, 2, 1, false, false, print::SeparationCurves(), nullptr), 1);
  for (int p = 0; p < 4; ++p) EXPECT_EQ(planes.storage[p][0], 0) << p;
  for (int p = 0; p < 3; ++p) EXPECT_EQ(planes.storage[p][1], 255) << p;
  EXPECT_EQ(planes.storage[3][1], 0);
}

TEST(SeparateBand, CurveMethodWithEditedCurves) {
  std::mt19937 rng(21);
  print::SeparationCurves curves;
  for (auto& table : curves.table)
    for (auto& entry : table) entry = static_cast<uint8_t>(rng());
  const int width = 9, rows = 5;
  const auto pixels = RandomPixels(rng, width * rows);
  const auto band = MakeBand(width, rows, pixels);
  Planes planes(width, rows);
  ASSERT_EQ(print::SeparateBand(*band, planes.pointers, width, rows, false, false, curves, nullptr), 1);
  for (int i = 0; i < width * rows; ++i) {
    const auto& p = pixels[i];
    EXPECT_EQ(planes.storage[0][i], curves.table[0][255 - p[0]]);
    EXPECT_EQ(planes.storage[1][i], curves.table[1][255 - p[1]]);
    EXPECT_EQ(planes.storage[2][i], curves.table[2][255 - p[2]]);
    EXPECT_EQ(planes.storage[3][i], curves.table[3][0]);  // a uniform black tint
  }
}

TEST(LoadBandPlanes, RowOrderAndMirroring) {
  std::mt19937 rng(4);
  const int width = 7, rows = 4;
  // Values 128..255 never merge, so mirroring shows alone.
  auto pixels = RandomPixels(rng, width * rows);
  for (auto& p : pixels)
    for (auto& c : p) c |= 0x80;
  // The band is one row taller than what is loaded: bottom-up starts at
  // row rows - 1, not at the bitmap's last row.
  pixels.resize(static_cast<size_t>(width) * (rows + 1), {1, 2, 3});
  const auto band = MakeBand(width, rows + 1, pixels);
  for (int bottomUp = 0; bottomUp < 2; ++bottomUp)
    for (int flip = 0; flip < 2; ++flip) {
      Planes planes(width, rows);
      ASSERT_EQ(print::LoadBandPlanes(*band, planes.pointers, width, rows, bottomUp, flip), 1);
      for (int y = 0; y < rows; ++y)
        for (int x = 0; x < width; ++x) {
          const int sy = bottomUp ? rows - 1 - y : y, sx = flip ? width - 1 - x : x;
          const auto& p = pixels[sy * width + sx];
          const size_t at = static_cast<size_t>(y) * width + x;
          ASSERT_EQ(planes.storage[0][at], p[2]) << bottomUp << flip << " " << x << "," << y;  // blue
          ASSERT_EQ(planes.storage[1][at], p[1]);                                               // green
          ASSERT_EQ(planes.storage[2][at], p[0]);                                               // red
        }
      EXPECT_EQ(planes.storage[3][0], 0xEE) << "plane 3 is not loaded";
    }
}

TEST(LoadBandPlanes, FlipMergesDarkPairs) {
  struct Case {
    uint8_t left, right;           // source columns 0 and 1 (mirrored: output 1 and 0)
    uint8_t evenOut[2], oddOut[2];  // output columns 0, 1
  };
  const Case cases[] = {
      {100, 100, {0, 200}, {200, 0}},  // both dark: merged
      {127, 1, {0, 128}, {128, 0}},    // the limits of 1..127
      {128, 100, {100, 128}, {100, 128}},
      {0, 100, {100, 0}, {100, 0}},
  };
  for (const Case& c : cases) {
    // Three rows: even, odd, even; every channel holds the same pair.
    std::vector<std::array<uint8_t, 3>> pixels;
    for (int y = 0; y < 3; ++y) {
      pixels.push_back({c.left, c.left, c.left});
      pixels.push_back({c.right, c.right, c.right});
    }
    const auto band = MakeBand(2, 3, pixels);
    Planes planes(2, 3);
    ASSERT_EQ(print::LoadBandPlanes(*band, planes.pointers, 2, 3, false, true), 1);
    for (int p = 0; p < 3; ++p)
      for (int y = 0; y < 3; ++y) {
        const uint8_t* expected = y % 2 == 0 ? c.evenOut : c.oddOut;
        EXPECT_EQ(planes.storage[p][y * 2], expected[0]) << int(c.left) << "," << int(c.right) << " row " << y;
        EXPECT_EQ(planes.storage[p][y * 2 + 1], expected[1]) << int(c.left) << "," << int(c.right) << " row " << y;
      }
  }
  // An odd width leaves the last column unpaired.
  const auto odd = MakeBand(3, 1, {{50, 50, 50}, {60, 60, 60}, {70, 70, 70}});
  Planes planes(3, 1);
  ASSERT_EQ(print::LoadBandPlanes(*odd, planes.pointers, 3, 1, false, true), 1);
  EXPECT_EQ(planes.storage[0], (std::vector<uint8_t>{0, 130, 50}));
}

TEST(SeparationGrid, BuildPlacesConverterOutputAtGridPoints) {
  const auto grid = HashGrid();
  for (int i : {0, 1, 7, 14})
    for (int j : {0, 5, 14})
      for (int k : {0, 13, 14}) {
        const uint8_t* point = grid->cmyk + i * 900 + j * 60 + k * 4;
        const unsigned h = 18 * i * 31u + 18 * j * 17u + 18 * k * 7u;
        EXPECT_EQ(point[0], static_cast<uint8_t>(h));
        EXPECT_EQ(point[2], 255 - 18 * k);
        EXPECT_EQ(point[3], 18 * i);
      }
  // Reverse grid, black fastest: (c, m, y, k) = (2, 3, 4, 5).
  const uint8_t* rgb = grid->rgb + (((2 * 15 + 3) * 15 + 4) * 15 + 5) * 3;
  EXPECT_EQ(rgb[0], 36);
  EXPECT_EQ(rgb[1], 54 + 72);
  EXPECT_EQ(rgb[2], 90);
}

TEST(SeparationGrid, LookupMatchesDefinition) {
  const auto grid = HashGrid();
  std::mt19937 rng(9);
  std::vector<std::array<uint8_t, 3>> colours;
  // Every value on each axis, with the others random, then random colours.
  for (int v = 0; v < 256; ++v)
    for (int axis = 0; axis < 3; ++axis) {
      std::array<uint8_t, 3> c = {static_cast<uint8_t>(rng()), static_cast<uint8_t>(rng()), static_cast<uint8_t>(rng())};
      c[axis] = static_cast<uint8_t>(v);
      colours.push_back(c);
    }
  for (int n = 0; n < 20000; ++n)
    colours.push_back({static_cast<uint8_t>(rng()), static_cast<uint8_t>(rng()), static_cast<uint8_t>(rng())});
  for (const auto& c : colours) {
    uint8_t expected[4], got[4];
    ReferenceGridLookup(grid->cmyk, c.data(), expected);
    print::GridToCMYK(*grid, c.data(), got);
    ASSERT_TRUE(std::equal(got, got + 4, expected)) << int(c[0]) << "," << int(c[1]) << "," << int(c[2]);
  }
  // 255 uses the last cell with f = 1: exactly the values at index 14.
  const uint8_t white[3] = {255, 255, 255};
  uint8_t got[4];
  print::GridToCMYK(*grid, white, got);
  EXPECT_TRUE(std::equal(got, got + 4, grid->cmyk + 14 * 900 + 14 * 60 + 14 * 4));
  const uint8_t mixed[3] = {255, 0, 36};
  print::GridToCMYK(*grid, mixed, got);
  EXPECT_EQ(got[3], 252);  // K is red's grid value, linear along blue: 18 * 14
}

TEST(SeparateBand, GridMethodConvertsEveryPixel) {
  const auto grid = HashGrid();
  std::mt19937 rng(13);
  const int width = 11, rows = 6;
  const auto pixels = RandomPixels(rng, width * rows);
  const auto band = MakeBand(width, rows, pixels);
  Planes planes(width, rows);
  ASSERT_EQ(print::SeparateBand(*band, planes.pointers, width, rows, true, false, print::SeparationCurves(), grid.get()),
            1);
  for (int y = 0; y < rows; ++y)
    for (int x = 0; x < width; ++x) {
      uint8_t expected[4];
      ReferenceGridLookup(grid->cmyk, pixels[(rows - 1 - y) * width + x].data(), expected);
      for (int ink = 0; ink < 4; ++ink) EXPECT_EQ(planes.storage[ink][y * width + x], expected[ink]);
    }
}

TEST(SeparateBand, RefusesBadArgumentsAndStopsOnCancel) {
  const auto band = MakeBand(4, 3, std::vector<std::array<uint8_t, 3>>(12, {255, 255, 255}));
  Planes planes(5, 4);
  const print::SeparationCurves curves;
  EXPECT_EQ(print::SeparateBand(*band, planes.pointers, 5, 3, false, false, curves, nullptr), -13);  // too wide
  EXPECT_EQ(print::SeparateBand(*band, planes.pointers, 4, 4, false, false, curves, nullptr), -13);  // too many rows
  EXPECT_EQ(print::LoadBandPlanes(*band, planes.pointers, 0, 3, false, false), -13);
  CDIBitmap gray;
  ASSERT_EQ(gray.Create(4, 3, 8, 1), 1);
  EXPECT_EQ(print::LoadBandPlanes(gray, planes.pointers, 4, 3, false, false), -13);

  int pumped = 0;
  print::SetPrintPump([&] {
    if (++pumped == 2) platform::RequestCancel();
  });
  const int result = print::SeparateBand(*band, planes.pointers, 4, 3, false, false, curves, nullptr);
  print::SetPrintPump(nullptr);
  platform::ResetCancel();
  EXPECT_EQ(result, -29);
  EXPECT_EQ(pumped, 2);
  // Rows 0 and 1 were converted (white: no cyan); row 2 was never loaded.
  EXPECT_EQ(planes.storage[0][0], 0);
  EXPECT_EQ(planes.storage[0][4], 0);
  EXPECT_EQ(planes.storage[0][8], 0xEE);
}

}  // namespace
