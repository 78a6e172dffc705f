// Halftoning against a plain reference written from the pixel rule and the
// cell path (int arithmetic, C++ division, no tables), plus the invariants:
// blank planes stay blank, full planes become all dots, mid gray about half
// dots, a page halftoned in bands equals the page halftoned whole, and one
// thread gives the same planes and carried blocks as two.
#include "print/halftone.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "image/threads.h"
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

// Buffers laid out as the band step leaves them in the steady state (carried
// row state 13, the rest unprocessed), with errors over the whole int16
// range, and then states broken at random places: a state left in an
// unprocessed row, a carried state other than 13, a processed-looking state
// in the row below. Every cell next to such a state must follow the generic
// rule, and the cells after it must pick up the path again.
TEST(DitherPlane, MatchesReferenceWhereTheStatePatternBreaks) {
  std::mt19937 rng(19);
  std::uniform_int_distribution<int> error(-32768, 32767);
  const uint8_t breakers[] = {0, 1, 4, 12, 13, 16, 19, 24, 31, 200};
  struct Size {
    int width, height;
  };
  const Size sizes[] = {{6, 4}, {7, 5}, {8, 6}, {9, 2}, {40, 12}, {41, 13}, {64, 9}, {77, 20}};
  for (const Size& size : sizes) {
    for (int pageTop = 0; pageTop < 4; ++pageTop) {
      for (int breaks : {0, 1, 3, 12}) {
        const int W = size.width, H = size.height;
        std::vector<uint8_t> plane = RandomBytes(rng, static_cast<size_t>(W) * H);
        std::vector<int16_t> errors((H + 2) * W);
        std::vector<uint8_t> states((H + 2) * W, 0);
        for (auto& e : errors) e = static_cast<int16_t>(error(rng));
        std::fill(states.begin(), states.begin() + W, 13);
        for (int b = 0; b < breaks; ++b)
          states[rng() % states.size()] = breakers[rng() % std::size(breakers)];
        RefBuffers ref{std::vector<int>(errors.begin(), errors.end()), std::vector<int>(states.begin(), states.end())};
        std::vector<uint8_t> refPlane = plane;
        RefDitherPlane(refPlane, ref, pageTop, W, H);
        print::DitherPlane(plane.data(), errors.data(), states.data(), pageTop, W, H);
        SCOPED_TRACE(testing::Message() << W << " x " << H << " top " << pageTop << " breaks " << breaks);
        EXPECT_EQ(plane, refPlane);
        EXPECT_EQ(std::vector<int>(errors.begin(), errors.end()), ref.errors);
        EXPECT_EQ(std::vector<int>(states.begin(), states.end()), ref.states);
      }
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

// Four different planes per band, halftoned with one thread and with two:
// each plane must match the reference band by band (so no plane is mixed up
// with another or halftoned with another plane's buffers), and the two runs
// must agree in every dot and every carried error and state. The bands are
// large enough for the second thread.
TEST(DitherBand, OneThreadEqualsTwo) {
  std::mt19937 rng(23);
  struct Case {
    int width, band, height, pageTop;
  };
  const Case cases[] = {{517, 130, 391, 0}, {600, 120, 300, 3}, {1024, 64, 129, 1}};
  const int saved = GL_GetThreadCount();
  for (const Case& c : cases) {
    const int W = c.width;
    std::vector<uint8_t> pages[4];
    for (auto& page : pages) page = RandomBytes(rng, static_cast<size_t>(W) * (c.height + 1));
    // A ramp in part of one plane and a flat tint in another, beside noise.
    for (int y = 0; y <= c.height; ++y)
      for (int x = 0; x < W / 3; ++x) pages[1][y * W + x] = static_cast<uint8_t>((x + 2 * y) % 256);
    std::fill(pages[3].begin(), pages[3].begin() + static_cast<ptrdiff_t>(W) * c.height / 2, 40);

    std::vector<uint8_t> expected[4];
    for (int p = 0; p < 4; ++p) {
      expected[p].assign(static_cast<size_t>(W) * c.height, 0);
      RefCarried carried{std::vector<int>(2 * W, 0), std::vector<int>(2 * W, 4)};
      for (int top = 0; top < c.height; top += c.band) {
        const int rows = std::min(c.band, c.height - top);
        std::vector<uint8_t> plane(pages[p].begin() + top * W, pages[p].begin() + (top + rows + 1) * W);
        RefDitherBandPlane(plane, carried, c.pageTop + top, W, rows);
        std::copy(plane.begin(), plane.begin() + rows * W, expected[p].begin() + top * W);
      }
    }

    struct Run {
      std::vector<uint8_t> out[4];
      print::HalftoneState state;
    } runs[2];
    for (int threads = 1; threads <= 2; ++threads) {
      GL_SetThreadCount(threads);
      Run& run = runs[threads - 1];
      ASSERT_EQ(run.state.Allocate(W, c.band), 1);
      for (auto& out : run.out) out.assign(static_cast<size_t>(W) * c.height, 0);
      for (int top = 0; top < c.height; top += c.band) {
        const int rows = std::min(c.band, c.height - top);
        std::vector<uint8_t> planes[4];
        uint8_t* pointers[4];
        for (int p = 0; p < 4; ++p) {
          planes[p].assign(pages[p].begin() + top * W, pages[p].begin() + (top + rows + 1) * W);
          pointers[p] = planes[p].data();
        }
        ASSERT_EQ(print::DitherBand(run.state, pointers, c.pageTop + top, W, rows), 1);
        for (int p = 0; p < 4; ++p) {
          EXPECT_TRUE(std::equal(planes[p].begin() + rows * W, planes[p].end(), pages[p].begin() + (top + rows) * W))
              << "the row below the band is read only";
          std::copy(planes[p].begin(), planes[p].begin() + rows * W, run.out[p].begin() + top * W);
        }
      }
    }
    GL_SetThreadCount(saved);
    SCOPED_TRACE(testing::Message() << W << " wide, bands of " << c.band << ", " << c.height << " rows");
    for (int p = 0; p < 4; ++p) {
      SCOPED_TRACE(testing::Message() << "plane " << p);
      EXPECT_EQ(runs[0].out[p], expected[p]);
      EXPECT_EQ(runs[1].out[p], runs[0].out[p]);
      EXPECT_EQ(runs[1].state.carriedErrors[p], runs[0].state.carriedErrors[p]);
      EXPECT_EQ(runs[1].state.carriedStates[p], runs[0].state.carriedStates[p]);
    }
  }
  GL_SetThreadCount(saved);
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

// A band large enough for two threads stops on cancel too, and leaves no
// thread behind: the same state halftones the next band normally.
TEST(DitherBand, StopsOnCancelWithEitherThreadCount) {
  const int W = 700, H = 100;
  const int saved = GL_GetThreadCount();
  for (int threads = 1; threads <= 2; ++threads) {
    GL_SetThreadCount(threads);
    print::HalftoneState state;
    ASSERT_EQ(state.Allocate(W, H), 1);
    std::vector<uint8_t> planes[4];
    uint8_t* pointers[4];
    for (int p = 0; p < 4; ++p) {
      planes[p].assign(static_cast<size_t>(W) * (H + 1), 255);
      pointers[p] = planes[p].data();
    }
    platform::RequestCancel();
    const int result = print::DitherBand(state, pointers, 0, W, H);
    platform::ResetCancel();
    EXPECT_EQ(result, -29) << threads;
    state.ResetPage();
    ASSERT_EQ(print::DitherBand(state, pointers, 0, W, H), 1) << threads;
    for (int p = 0; p < 4; ++p)
      EXPECT_TRUE(std::all_of(planes[p].begin(), planes[p].begin() + W * H, [](uint8_t b) { return b == 255; }));
  }
  GL_SetThreadCount(saved);
}

}  // namespace
