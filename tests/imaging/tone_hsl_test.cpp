// HSL adjustments (hue/saturation/lightness, saturation, the lightness form of
// GL_ChangeIntensity) against a straightforward single-precision reference
// written from the HSL definitions, plus the fixed cases a user can check by
// eye.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "image/dibitmap.h"
#include "imaging/tone.h"
#include "tone_test_support.h"

namespace {

using namespace tone_test;

struct Hsl {
  float h, s, l;
  bool gray;
};

Hsl RefToHsl(int R, int G, int B) {
  float r = R * 0.003921569f, g = G * 0.003921569f, b = B * 0.003921569f;
  float mx = std::max({r, g, b}), mn = std::min({r, g, b});
  Hsl c{-1.0f, 0.0f, (mx + mn) * 0.5f, mx == mn};
  if (c.gray) return c;
  float d = mx - mn;
  c.s = c.l < 0.5f ? d / (mx + mn) : d / (2.0f - mx - mn);
  if (r == mx) c.h = (g - b) / d;
  else if (g == mx) c.h = (b - r) / d + 2.0f;
  else c.h = (r - g) / d + 4.0f;
  c.h *= 60.0f;
  if (c.h < 0) c.h += 360.0f;
  return c;
}

int RefHueToRgb(float m1, float m2, float h) {
  if (h < 0) h += 360.0f;
  if (h > 360.0f) h -= 360.0f;
  float v = h < 60.0f ? m1 + (m2 - m1) * h / 60.0f
            : h < 180.0f ? m2
            : h < 240.0f ? m1 + (m2 - m1) * (240.0f - h) / 60.0f
                         : m1;
  return static_cast<int>(std::clamp(v * 255.0f, 0.0f, 255.0f));
}

// Blue, green, red of (h, s, l), or of gray l.
void RefFromHsl(float h, float s, float l, bool gray, uint8_t* bgr) {
  if (gray) {
    bgr[0] = bgr[1] = bgr[2] = static_cast<uint8_t>(l * 255.0f);
    return;
  }
  float m2 = l <= 0.5f ? l * (1.0f + s) : l + s - l * s;
  float m1 = 2.0f * l - m2;
  bgr[2] = static_cast<uint8_t>(RefHueToRgb(m1, m2, h + 120.0f));
  bgr[1] = static_cast<uint8_t>(RefHueToRgb(m1, m2, h));
  bgr[0] = static_cast<uint8_t>(RefHueToRgb(m1, m2, h - 120.0f));
}

float Clamp01(float v) { return std::clamp(v, 0.0f, 1.0f); }

void RefChangeHsl(uint8_t* bgr, int hue, int sat, int light) {
  Hsl c = RefToHsl(bgr[2], bgr[1], bgr[0]);
  float l = Clamp01(c.l + light * 0.001f);
  float h = c.h + hue;
  if (h < 0) h += 360.0f;
  if (h > 360.0f) h -= 360.0f;
  RefFromHsl(h, Clamp01(c.s + sat * 0.001f), l, c.gray, bgr);
}

// Random colours plus 64 gray levels in the first row.
void MakeColours(CDIBitmap& image) {
  MakeRandom(image, kRGB, 67, 12, 5);  // 67: eight-pixel blocks and a rest
  for (int x = 0; x < 64; ++x) {
    const uint8_t v = static_cast<uint8_t>(x * 4 + 1);
    std::fill_n(image.RowPointer(0) + 3 * x, 3, v);
  }
}

TEST(ToneHSLTest, ChangeHSLMatchesTheReference) {
  struct Case {
    int hue, saturation, lightness;
  };
  for (Case c : {Case{0, 0, 0}, Case{180, 0, 0}, Case{-180, 500, 0}, Case{33, -1000, 250}, Case{-90, 200, -600},
                 Case{120, 1000, 1000}}) {
    CDIBitmap image;
    MakeColours(image);
    std::vector<uint8_t> expected = Pixels(image);
    for (size_t i = 0; i < expected.size(); i += 3) RefChangeHsl(&expected[i], c.hue, c.saturation, c.lightness);
    ASSERT_EQ(GL_ChangeHSL(image, c.hue, c.saturation, c.lightness), 1);
    EXPECT_EQ(Pixels(image), expected) << c.hue << "," << c.saturation << "," << c.lightness;
  }
}

// A wide sample of the colour cube (every channel in steps of 3) through
// each of the three changes.
TEST(ToneHSLTest, ColourCubeMatchesTheReference) {
  CDIBitmap cube;
  cube.Create(86 * 86, 86, 24, 0);
  for (int r = 0; r < 86; ++r)
    for (int g = 0; g < 86; ++g)
      for (int b = 0; b < 86; ++b) {
        uint8_t* p = cube.RowPointer(r) + 3 * (g * 86 + b);
        p[0] = static_cast<uint8_t>(3 * b), p[1] = static_cast<uint8_t>(3 * g), p[2] = static_cast<uint8_t>(3 * r);
      }
  const std::vector<uint8_t> source = Pixels(cube);
  std::vector<uint8_t> expected = source;
  for (size_t i = 0; i < expected.size(); i += 3) RefChangeHsl(&expected[i], -70, 350, 120);
  CDIBitmap image;
  image.CopyFrom(cube);
  GL_ChangeHSL(image, -70, 350, 120);
  EXPECT_TRUE(Pixels(image) == expected) << "hue/saturation/lightness";

  expected = source;
  for (size_t i = 0; i < expected.size(); i += 3) {
    const Hsl c = RefToHsl(expected[i + 2], expected[i + 1], expected[i]);
    if (!c.gray) RefFromHsl(c.h, Clamp01(c.s - 0.25f), c.l, false, &expected[i]);
  }
  image.CopyFrom(cube);
  GL_ChangeSaturation(image, -250);
  EXPECT_TRUE(Pixels(image) == expected) << "saturation";

  expected = source;
  for (size_t i = 0; i < expected.size(); i += 3) {
    const Hsl c = RefToHsl(expected[i + 2], expected[i + 1], expected[i]);
    RefFromHsl(c.h, c.s, Clamp01(c.l - 0.1f), c.gray, &expected[i]);
  }
  image.CopyFrom(cube);
  GL_ChangeIntensity(image, -100);
  EXPECT_TRUE(Pixels(image) == expected) << "lightness";
}

TEST(ToneHSLTest, HalfTurnMakesRedCyanAndGrayOnlyFollowsLightness) {
  CDIBitmap image;
  image.Create(2, 1, 24, 0);
  uint8_t* row = image.RowPointer(0);
  row[2] = 255;                     // pure red
  row[3] = row[4] = row[5] = 100;   // gray 100
  GL_ChangeHSL(image, 180, 0, 0);
  EXPECT_EQ(image.GetPixelColor(0, 0), 0xFFFF00u) << "cyan: red 0, green 255, blue 255";
  EXPECT_EQ(image.GetPixelColor(0, 1), 0x646464u);
  GL_ChangeHSL(image, 90, 300, 200);
  const int gray = static_cast<int>(Clamp01(100 * 0.003921569f + 0.2f) * 255.0f);
  EXPECT_EQ(image.RowPointer(0)[3], gray);
  EXPECT_EQ(image.RowPointer(0)[4], gray);
  EXPECT_EQ(image.RowPointer(0)[5], gray);
}

TEST(ToneHSLTest, SaturationKeepsGrayAndFollowsTheReference) {
  for (int amount : {-250, 250, 1000}) {
    CDIBitmap image;
    MakeColours(image);
    std::vector<uint8_t> expected = Pixels(image);
    for (size_t i = 0; i < expected.size(); i += 3) {
      uint8_t* p = &expected[i];
      const Hsl c = RefToHsl(p[2], p[1], p[0]);
      if (!c.gray) RefFromHsl(c.h, Clamp01(c.s + amount * 0.001f), c.l, false, p);
    }
    ASSERT_EQ(GL_ChangeSaturation(image, amount), 1);
    const std::vector<uint8_t> after = Pixels(image);
    EXPECT_EQ(after, expected) << amount;
    for (int x = 0; x < 64; ++x) EXPECT_EQ(image.RowPointer(0)[3 * x], x * 4 + 1) << "gray kept";
  }
}

TEST(ToneHSLTest, LightnessFormOfChangeIntensity) {
  for (int amount : {-100, 100}) {
    CDIBitmap image;
    MakeColours(image);
    std::vector<uint8_t> expected = Pixels(image);
    for (size_t i = 0; i < expected.size(); i += 3) {
      uint8_t* p = &expected[i];
      const Hsl c = RefToHsl(p[2], p[1], p[0]);
      RefFromHsl(c.h, c.s, Clamp01(c.l + amount * 0.001f), c.gray, p);
    }
    ASSERT_EQ(GL_ChangeIntensity(image, amount), 1);
    EXPECT_EQ(Pixels(image), expected) << amount;
  }
  // CMYK goes through RGB (R = 255 - C - K, clamped; back C = 255 - R,
  // K = 0) and the same change.
  CDIBitmap cmyk;
  MakeRandom(cmyk, kCMYK, 16, 3, 9);
  std::vector<uint8_t> expected = Pixels(cmyk);
  for (size_t i = 0; i < expected.size(); i += 4) {
    uint8_t* p = &expected[i];
    uint8_t bgr[3] = {static_cast<uint8_t>(std::max(0, 255 - p[2] - p[3])),
                      static_cast<uint8_t>(std::max(0, 255 - p[1] - p[3])),
                      static_cast<uint8_t>(std::max(0, 255 - p[0] - p[3]))};
    const Hsl c = RefToHsl(bgr[2], bgr[1], bgr[0]);
    RefFromHsl(c.h, c.s, Clamp01(c.l + 0.1f), c.gray, bgr);
    p[0] = 255 - bgr[2];
    p[1] = 255 - bgr[1];
    p[2] = 255 - bgr[0];
    p[3] = 0;
  }
  ASSERT_EQ(GL_ChangeIntensity(cmyk, 100), 1);
  EXPECT_EQ(Pixels(cmyk), expected);
}

}  // namespace
