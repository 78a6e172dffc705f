// The font size rule of the text rasteriser.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/text_rasterizer.h"

namespace {

TEST(FontSpecTest, PixelSizeIsPointsTimesDpiOver72RoundedHalfAway) {
  const struct {
    double size;
    bool points;
    double dpi;
    int pixels;
  } cases[] = {
      {24, false, 300, 24},  // pixels ignore the resolution
      {12, true, 72, 12},    {12, true, 144, 24},   {10, true, 96, 13},  // 13.33
      {9, true, 100, 13},    // 12.5 rounds up
      {1, true, 36, 1},      // 0.5 rounds up to the smallest size
      {0.2, false, 72, 1},   // a positive size draws at least one pixel
      {0, false, 72, 0},     {-5, true, 72, 0},     {std::numeric_limits<double>::quiet_NaN(), false, 72, 0},
      {1e9, false, 72, 65536},
  };
  for (const auto& c : cases) {
    platform::FontSpec font;
    font.size = c.size;
    font.sizeInPoints = c.points;
    font.dpi = c.dpi;
    EXPECT_EQ(font.PixelSize(), c.pixels) << c.size << (c.points ? " pt at " : " px at ") << c.dpi;
  }
}

}  // namespace
