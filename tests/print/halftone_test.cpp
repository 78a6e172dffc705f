// Halftoning against a plain reference written from the pixel rule and the
// cell path (int arithmetic, C++ division, no tables), plus the invariants:
// blank planes stay blank, full planes become all dots, mid gray about half
// dots, and a page halftoned in bands equals the page halftoned whole.
#include "print/halftone.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "platform/progress.h"

namespace {

constexpr int kA[8] = {7, 3, 5, 1, 7, 3, 5, 1};
constexpr int kB[8] = {7, 1, 5, 3, 7, 1, 5, 3};
constexpr int kDx[8] = {1, 1, 0, -1, -1, -1, 0, 1};
constexpr int kDy[8] = {0, -1, -1, -1, 0, 1, 1, 1};

// Buffers as DitherPlane sees them: (H + 2) rows of W, row 0 = band row -1.
struct RefBuffers {
  std::vector<int> errors;
  std::vector<int> states;
};

void RefPixel(std::vector<uint8_t>& plane, RefBuffers& b, int W, int H, int x, int y, const int* w) {
  int T = 0, pull = 0, bias = 0;
  int e[8], s[8];
  for (int k = 0; k < 8; ++k) {
    const int nx = x + kDx[k], ny = y + kDy[k];
    bool taken;
    if (nx < 0 || nx >= W) {
      e[k] = 0, s[k] = 1, taken = true;
    } else if (ny >= 0 && ny < H) {
      e[k] = b.errors[(ny + 1) * W + nx], s[k] = b.states[(ny + 1) * W + nx], taken = s[k] != 0;
    } else if (ny == -1) {
      e[k] = b.errors[nx], s[k] = b.states[nx], taken = true;
    } else {
      e[k] = b.errors[(H + 1) * W + nx], s[k] = 0, taken = false;
    }
    if (taken) T += w[k];
  }
  // States of 32 or more arise only from arbitrary buffers (a processed
  // pixel's down neighbour is never taken): they pull nothing.
  for (int k = 0; k < 8; ++k) {
    if (s[k] != 0 && s[k] < 32 && e[k] != 0) pull += e[k] * w[k] / (32 - s[k]);
  }
  // T = 32 with an unprocessed neighbour happens only when the carried row
  // holds a state of 0: no bias then rather than a division by zero.
  for (int k = 0; k < 8; ++k) {
    if (s[k] == 0 && e[k] != 0 && T < 32) bias -= e[k] * w[k] / (32 - T);
  }
  const int v = plane[y * W + x];
  int error;
  if (v > 0 && v * 128 + bias + pull > 0) {
    plane[y * W + x] = 255;
    error = v * 128 + pull - 32640;
  } else {
    plane[y * W + x] = 0;
    error = v * 128 + pull;
  }
  b.errors[(y + 1) * W + x] = std::clamp(error, -32768, 32767);
  b.states[(y + 1) * W + x] = T;
}

void RefDitherPlane(std::vector<uint8_t>& plane, RefBuffers& b, int pageTop, int W, int H) {
  auto visit = [&](int x, int y, const int* w) {
    if (x >= 0 && x < W && y >= 0 && y < H) RefPixel(plane, b, W, H, x, y, w);
  };
  for (int r = 0; r < H; r += 2) {
    const bool odd = ((pageTop + r) / 2) % 2 == 1;
    if (!odd) {
      for (int c = 0; c < W; c += 2) {
        visit(c, r, kA), visit(c, r + 1, kA), visit(c + 1, r, kA), visit(c + 1, r + 1, kA);
      }
    } else {
      const int W2 = W % 2 == 0 ? W : W + 1;
      for (int c = W2 - 1; c >= 0; c -= 2) {
        visit(c, r, kB), visit(c, r + 1, kB), visit(c - 1, r, kB), visit(c - 1, r + 1, kB);
      }
    }
  }
}

// The band step for one plane: buffer rows 2..H+1 from plane rows 1..H
// (unprocessed), rows 0..1 from the carried block, carried block from rows
// H..H+1 afterwards. `plane` has H + 1 rows.
struct RefCarried {
  std::vector<int> errors, states;  // 2 x W
};

void RefDitherBandPlane(std::vector<uint8_t>& plane, RefCarried& carried, int pageTop, int W, int H) {
  RefBuffers b;
  b.errors.assign((H + 2) * W, 0);
  b.states.assign((H + 2) * W, 0);
  for (int i = 0; i < 2 * W; ++i) b.errors[i] = carried.errors[i], b.states[i] = carried.states[i];
  for (int row = 1; row <= H; ++row)
    for (int x = 0; x < W; ++x) b.errors[(row + 1) * W + x] = plane[row * W + x];
  RefDitherPlane(plane, b, pageTop, W, H);
  for (int i = 0; i < 2 * W; ++i) carried.errors[i] = b.errors[H * W + i], carried.states[i] = b.states[H * W + i];
}

std::vector<uint8_t> RandomBytes(std::mt19937& rng, size_t count, int low = 0, int high = 255) {
  std::uniform_int_distribution<int> value(low, high);
  std::vector<uint8_t> out(count);
  for (auto& b : out) b = static_cast<uint8_t>(value(rng));
  return out;
}

// Halftones a page of `height` rows (the buffer holds height + 1 rows, the
// last one the row below the page) with DitherBand in bands of `band` rows.
std::vector<uint8_t> DitherPageInBands(const std::vector<uint8_t>& page, int width, int height, int pageTop,
                                       int band) {
  print::HalftoneState state;
  EXPECT_EQ(state.Allocate(width, band), 1);
  std::vector<uint8_t> out(static_cast<size_t>(width) * height);
  std::vector<uint8_t> planes[4];
  for (int top = 0; top < height; top += band) {
    const int rows = std::min(band, height - top);
    uint8_t* pointers[4];
    for (int p = 0; p < 4; ++p) {
      planes[p].assign(page.begin() + static_cast<ptrdiff_t>(top) * width,
                       page.begin() + static_cast<ptrdiff_t>(top + rows + 1) * width);
      pointers[p] = planes[p].data();
    }
    EXPECT_EQ(print::DitherBand(state, pointers, pageTop + top, width, rows), 1);
    for (int p = 1; p < 4; ++p) EXPECT_EQ(planes[p], planes[0]) << "planes are halftoned alike";
    std::copy(planes[0].begin(), planes[0].begin() + static_cast<ptrdiff_t>(rows) * width,
              out.begin() + static_cast<ptrdiff_t>(top) * width);
  }
  return out;
}

TEST(DitherPlane, MatchesReferenceOnRandomBuffers) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> error(-32768, 32767);
  std::uniform_int_distribution<int> state(0, 31);
  struct Size {
    int width, height, pageTop;
  };
  const Size sizes[] = {{1, 1, 0},  {1, 5, 3},   {2, 2, 0},   {3, 1, 1},   {5, 7, 2},
                        {8, 8, 5},  {17, 13, 6}, {64, 31, 0}, {33, 40, 7}, {100, 3, 240}};
  for (const Size& size : sizes) {
    for (int trial = 0; trial < 6; ++trial) {
      const int W = size.width, H = size.height;
      std::vector<uint8_t> plane = RandomBytes(rng, static_cast<size_t>(W) * H);
      std::vector<int16_t> errors((H + 2) * W);
      std::vector<uint8_t> states((H + 2) * W);
      // Trials 0..2: states as the band step leaves them (row 0 processed,
      // the rest unprocessed); 3..5: arbitrary states and errors everywhere.
      for (size_t i = 0; i < errors.size(); ++i) {
        const bool carriedRow = i < static_cast<size_t>(W);
        errors[i] = static_cast<int16_t>(trial < 3 && !carriedRow ? rng() % 256 : error(rng));
        states[i] = static_cast<uint8_t>(trial < 3 && !carriedRow ? 0 : state(rng));
      }
      RefBuffers ref{std::vector<int>(errors.begin(), errors.end()), std::vector<int>(states.begin(), states.end())};
      std::vector<uint8_t> refPlane = plane;
      RefDitherPlane(refPlane, ref, size.pageTop, W, H);
      print::DitherPlane(plane.data(), errors.data(), states.data(), size.pageTop, W, H);
      SCOPED_TRACE(testing::Message() << W << " x " << H << " top " << size.pageTop << " trial " << trial);
      EXPECT_EQ(plane, refPlane);
      EXPECT_EQ(std::vector<int>(errors.begin(), errors.end()), ref.errors);
      EXPECT_EQ(std::vector<int>(states.begin(), states.end()), ref.states);
    }
  }
}

TEST(DitherBand, MatchesReferenceBandByBand) {
  std::mt19937 rng(11);
  struct Case {
    int width, band, height, pageTop;
  };
  const Case cases[] = {{1, 4, 9, 0},    {7, 6, 20, 1},   {10, 24, 50, 0}, {31, 10, 35, 3},
                        {64, 16, 64, 2}, {9, 7, 30, 1},   {20, 5, 23, 0},  {13, 25, 60, 4}};
  for (const Case& c : cases) {
    const int W = c.width;
    const std::vector<uint8_t> page = RandomBytes(rng, static_cast<size_t>(W) * (c.height + 1));
    std::vector<uint8_t> expected(static_cast<size_t>(W) * c.height);
    RefCarried carried{std::vector<int>(2 * W, 0), std::vector<int>(2 * W, 4)};
    for (int top = 0; top < c.height; top += c.band) {
      const int rows = std::min(c.band, c.height - top);
      std::vector<uint8_t> plane(page.begin() + top * W, page.begin() + (top + rows + 1) * W);
      RefDitherBandPlane(plane, carried, c.pageTop + top, W, rows);
      std::copy(plane.begin(), plane.begin() + rows * W, expected.begin() + top * W);
    }
    SCOPED_TRACE(testing::Message() << W << " wide, bands of " << c.band << ", " << c.height << " rows");
    EXPECT_EQ(DitherPageInBands(page, W, c.height, c.pageTop, c.band), expected);
  }
}

TEST(DitherBand, UniformPlanes) {
  struct Case {
    int value;
    double minDots, maxDots;  // fraction of pixels with a dot
  };
  // 0 never gets a dot; 255 always; 128 about half (128/255 of full ink).
  const Case cases[] = {{0, 0.0, 0.0}, {255, 1.0, 1.0}, {128, 0.48, 0.52}, {64, 0.23, 0.27}};
  const int W = 97, H = 60;
  for (const Case& c : cases) {
    print::HalftoneState state;
    ASSERT_EQ(state.Allocate(W, H), 1);
    std::vector<uint8_t> planes[4];
    uint8_t* pointers[4];
    for (int p = 0; p < 4; ++p) {
      planes[p].assign(static_cast<size_t>(W) * (H + 1), static_cast<uint8_t>(c.value));
      pointers[p] = planes[p].data();
    }
    ASSERT_EQ(print::DitherBand(state, pointers, 0, W, H), 1);
    size_t dots = 0;
    for (int i = 0; i < W * H; ++i) {
      ASSERT_TRUE(planes[0][i] == 0 || planes[0][i] == 255);
      dots += planes[0][i] == 255;
    }
    const double fraction = static_cast<double>(dots) / (W * H);
    EXPECT_GE(fraction, c.minDots) << c.value;
    EXPECT_LE(fraction, c.maxDots) << c.value;
    if (c.value == 0) {
      EXPECT_TRUE(std::all_of(state.errors.begin(), state.errors.end(), [](int16_t e) { return e == 0; }));
      EXPECT_TRUE(std::all_of(state.carriedErrors[0].begin(), state.carriedErrors[0].end(),
                              [](int16_t e) { return e == 0; }));
    }
  }
}

TEST(DitherBand, BandsEqualTheWholePage) {
  std::mt19937 rng(3);
  struct Case {
    int width, height, pageTop, band;
  };
  // Even band heights (the print loop's 240 and its lowered heights); the
  // last band may be odd, as may the page top.
  const Case cases[] = {{301, 1000, 0, 240}, {300, 1001, 0, 240}, {129, 333, 5, 24}, {2, 100, 1, 2}, {1, 51, 0, 10}};
  for (const Case& c : cases) {
    std::vector<uint8_t> page = RandomBytes(rng, static_cast<size_t>(c.width) * (c.height + 1));
    // A smooth ramp on the left half shows seams better than noise.
    for (int y = 0; y <= c.height; ++y)
      for (int x = 0; x < c.width / 2; ++x) page[y * c.width + x] = static_cast<uint8_t>((x + y) % 256);
    SCOPED_TRACE(testing::Message() << c.width << " x " << c.height << " bands of " << c.band);
    EXPECT_EQ(DitherPageInBands(page, c.width, c.height, c.pageTop, c.band),
              DitherPageInBands(page, c.width, c.height, c.pageTop, c.height));
  }
}

// A low flat tint in the first band drives the unsaturated error below
// -32768 (the reference above saturates like the definition's int16 store);
// a wrapped error would show up as a large positive one.
TEST(DitherBand, ErrorsSaturateInsteadOfWrapping) {
  const int W = 200, H = 40;
  std::mt19937 rng(5);
  std::vector<uint8_t> page = RandomBytes(rng, static_cast<size_t>(W) * (H + 1), 20, 29);
  print::HalftoneState state;
  ASSERT_EQ(state.Allocate(W, H), 1);
  std::vector<uint8_t> planes[4];
  uint8_t* pointers[4];
  for (int p = 0; p < 4; ++p) planes[p] = page, pointers[p] = planes[p].data();
  ASSERT_EQ(print::DitherBand(state, pointers, 0, W, H), 1);
  const auto [low, high] = std::minmax_element(state.errors.begin(), state.errors.begin() + (H + 1) * W);
  EXPECT_EQ(*low, -32768);
  // Positive errors come only from pixels without a dot: at most -bias.
  EXPECT_LE(*high, 255);
  std::vector<uint8_t> expected = page;
  RefCarried carried{std::vector<int>(2 * W, 0), std::vector<int>(2 * W, 4)};
  RefDitherBandPlane(expected, carried, 0, W, H);
  EXPECT_TRUE(std::equal(planes[0].begin(), planes[0].begin() + W * H, expected.begin()));
}

TEST(DitherBand, RefusesBadArgumentsAndStopsOnCancel) {
  print::HalftoneState state;
  ASSERT_EQ(state.Allocate(8, 4), 1);
  std::vector<uint8_t> planes[4];
  uint8_t* pointers[4];
  for (int p = 0; p < 4; ++p) {
    planes[p].assign(8 * 5, 100);
    pointers[p] = planes[p].data();
  }
  EXPECT_EQ(print::DitherBand(state, pointers, 0, 9, 4), -13);  // width differs from the state's
  EXPECT_EQ(print::DitherBand(state, pointers, 0, 8, 5), -13);  // more rows than the band height
  EXPECT_EQ(print::DitherBand(state, pointers, 0, 8, 0), -13);
  EXPECT_EQ(state.Allocate(0, 4), -13);
  platform::RequestCancel();
  const int result = print::DitherBand(state, pointers, 0, 8, 4);
  platform::ResetCancel();
  EXPECT_EQ(result, -29);
}

}  // namespace
