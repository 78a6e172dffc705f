// Lookup-table remaps, colour balance, inversion, channel swap, histogram,
// equalisation, stretch and channel separation, each against a per-pixel
// reference written from its definition or an invariant.
#include "imaging/tone.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "image/dibitmap.h"
#include "imaging/row_job.h"
#include "platform/messages.h"
#include "platform/progress.h"
#include "test_support.h"
#include "tone_test_support.h"

namespace {

using namespace tone_test;

ToneTable RandomTable(uint32_t seed) {
  std::mt19937 random(seed);
  ToneTable t;
  for (uint8_t& v : t) v = static_cast<uint8_t>(random());
  return t;
}

// Which bytes of a pixel a channel number selects (24 bits: red is byte 2).
bool ByteInChannel(int bits, int byte, int channel) {
  if (bits == 24 && channel >= 1 && channel <= 3) return byte == 3 - channel;
  if (bits == 32 && channel >= 1 && channel <= 4) return byte == channel - 1;
  return true;
}

TEST(ToneRemapTest, EachChannelGoesThroughTheTable) {
  const ToneTable table = RandomTable(7);
  for (Kind kind : {kGray, kPalette, kRGB, kCMYK}) {
    for (int channel : {0, 1, 2, 3, 4, 9}) {
      CDIBitmap image;
      MakeRandom(image, kind, 13, 5, 100 + channel);
      const std::vector<uint8_t> before = Pixels(image);
      ASSERT_EQ(GL_RemapBitmapIntensity(image, table, channel), 1);
      const std::vector<uint8_t> after = Pixels(image);
      const int bpp = kind.bits / 8;
      for (size_t i = 0; i < before.size(); ++i) {
        const bool mapped = ByteInChannel(kind.bits, static_cast<int>(i % bpp), channel);
        ASSERT_EQ(after[i], mapped ? table[before[i]] : before[i])
            << kind.name << " channel " << channel << " byte " << i;
      }
    }
  }
}

TEST(ToneRemapTest, IdentityTableChangesNothing) {
  for (Kind kind : {kGray, kRGB, kCMYK}) {
    CDIBitmap image;
    MakeRandom(image, kind, 31, 7, 3);
    const std::vector<uint8_t> before = Pixels(image);
    ASSERT_EQ(GL_RemapBitmapIntensity(image, GL_IdentityTable(), 0), 1);
    EXPECT_EQ(Pixels(image), before) << kind.name;
  }
}

TEST(ToneRemapTest, SelectionLimitsTheChange) {
  CDIBitmap image;
  MakeRandom(image, kRGB, 10, 4, 11);
  const std::vector<uint8_t> before = Pixels(image);
  SelectLeftHalf(image);
  ToneTable plusOne;
  for (int v = 0; v < 256; ++v) plusOne[v] = static_cast<uint8_t>(v + 1);
  ASSERT_EQ(GL_RemapBitmapIntensity(image, plusOne, 0), 1);
  const std::vector<uint8_t> after = Pixels(image);
  const size_t rowBytes = 30;
  for (size_t i = 0; i < before.size(); ++i) {
    const bool inside = (i % rowBytes) / 3 < 5;
    EXPECT_EQ(after[i], inside ? uint8_t(before[i] + 1) : before[i]) << i;
  }
}

// Every refused call shows its own message and leaves the image alone.
TEST(ToneRefusalTest, WrongBitCountsAreRefusedWithTheirMessage) {
  struct Case {
    const char* what;
    Kind kind;
    int (*call)(CDIBitmap&);
    const char* message;
  };
  const Case cases[] = {
      {"remap", kMono, [](CDIBitmap& b) { return GL_RemapBitmapIntensity(b, GL_IdentityTable(), 0); },
       "GL_RemapBitmapIntensity :: pdbmDest cannot  be a 16bit or  below 8 bit gray image"},
      {"intensity table", kMono, [](CDIBitmap& b) { return GL_ChangeIntensity(b, GL_IdentityTable()); },
       "GL_ChangeIntensity :: pdbmDest Should be a 24bit a 8 bit gray image"},
      {"intensity amount", kMono, [](CDIBitmap& b) { return GL_ChangeIntensity(b, 100); },
       "GL_ChangeIntensity :: pdbmDest Should be a 24bit a 8 bit gray image"},
      {"hsl gray", kGray, [](CDIBitmap& b) { return GL_ChangeHSL(b, 10, 0, 0); },
       "GL_ChangeHSL ::pdbmDest Should be a 24bit image"},
      {"hsl cmyk", kCMYK, [](CDIBitmap& b) { return GL_ChangeHSL(b, 10, 0, 0); },
       "GL_ChangeHSL ::pdbmDest Should be a 24bit image"},
      {"saturation", kCMYK, [](CDIBitmap& b) { return GL_ChangeSaturation(b, 250); },
       "GL_ChangeSaturation :: pdbmDest Should be a 24bit image"},
      {"balance", kMono, [](CDIBitmap& b) { return GL_ColorBalance(b, 10, 0, 0); },
       "GL_ColorBalance :: pdbmDest cannot  be a 16bit or  below 8 bit gray image"},
      {"table set", kMono,
       [](CDIBitmap& b) {
         ToneTableSet set;
         set.inUse[0] = true;
         return GL_ApplyToneTables(b, set);
       },
       "GL_RemapBitmapIntensity :: pdbmDest cannot  be a 16bit or  below 8 bit gray image"},
  };
  for (const Case& c : cases) {
    platform::RecordingMessageSink sink;
    CDIBitmap image;
    MakeRandom(image, c.kind, 9, 3, 5);
    const std::vector<uint8_t> before = Pixels(image);
    EXPECT_EQ(c.call(image), 0) << c.what;
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{c.message}) << c.what;
    EXPECT_EQ(Pixels(image), before) << c.what;
  }
}

TEST(ToneIntensityTest, TableFormReadsInksAsLightValues) {
  const ToneTable table = RandomTable(21);
  for (Kind kind : {kGray, kRGB, kCMYK}) {
    CDIBitmap image;
    MakeRandom(image, kind, 11, 3, 22);
    const std::vector<uint8_t> before = Pixels(image);
    ASSERT_EQ(GL_ChangeIntensity(image, table), 1);
    const std::vector<uint8_t> after = Pixels(image);
    for (size_t i = 0; i < before.size(); ++i) {
      const int expected = kind.bits == 32 ? 255 - table[255 - before[i]] : table[before[i]];
      ASSERT_EQ(after[i], expected) << kind.name << " byte " << i;
    }
  }
}

TEST(ToneIntensityTest, AmountFormOnGrayFollowsTheFormula) {
  for (int amount : {-1000, -100, 0, 37, 100, 1000}) {
    CDIBitmap image;
    image.Create(256, 1, 8, 1);
    for (int v = 0; v < 256; ++v) image.RowPointer(0)[v] = static_cast<uint8_t>(v);
    ASSERT_EQ(GL_ChangeIntensity(image, amount), 1);
    for (int v = 0; v < 256; ++v) {
      const float x = std::clamp(v * 0.003921569f + amount * 0.001f, 0.0f, 1.0f);
      ASSERT_EQ(image.RowPointer(0)[v], static_cast<int>(255.0f * x)) << amount << " at " << v;
    }
  }
}

TEST(ToneBalanceTest, OffsetsAreClampedPerChannel) {
  struct Case {
    int r, g, b;
  };
  for (Case c : {Case{10, 0, 0}, Case{-255, 40, 255}, Case{0, -7, 3}}) {
    for (Kind kind : {kRGB, kCMYK}) {
      CDIBitmap image;
      MakeRandom(image, kind, 9, 4, 31);
      const std::vector<uint8_t> before = Pixels(image);
      ASSERT_EQ(GL_ColorBalance(image, c.r, c.g, c.b), 1);
      const std::vector<uint8_t> after = Pixels(image);
      for (size_t i = 0; i < before.size(); ++i) {
        int expected;
        if (kind.bits == 24) {
          const int offsets[3] = {c.b, c.g, c.r};
          expected = std::clamp(before[i] + offsets[i % 3], 0, 255);
        } else {
          const int offsets[4] = {-c.r, -c.g, -c.b, 0};
          expected = std::clamp(before[i] + offsets[i % 4], 0, 255);
        }
        ASSERT_EQ(after[i], expected) << kind.name << " " << i;
      }
    }
  }
  // Red 250 + 10 saturates at 255; cyan 5 - 10 stops at 0.
  CDIBitmap rgb, cmyk;
  rgb.Create(1, 1, 24, 0);
  rgb.RowPointer(0)[2] = 250;
  GL_ColorBalance(rgb, 10, 0, 0);
  EXPECT_EQ(rgb.RowPointer(0)[2], 255);
  cmyk.Create(1, 1, 32, 1);
  cmyk.RowPointer(0)[0] = 5;
  GL_ColorBalance(cmyk, 10, 0, 0);
  EXPECT_EQ(cmyk.RowPointer(0)[0], 0);
  // Gray images are accepted and unchanged.
  CDIBitmap gray;
  MakeRandom(gray, kGray, 5, 5, 1);
  const std::vector<uint8_t> before = Pixels(gray);
  EXPECT_EQ(GL_ColorBalance(gray, 50, 50, 50), 1);
  EXPECT_EQ(Pixels(gray), before);
}

TEST(ToneInvertTest, EveryByteIsComplementedAndTwiceRestores) {
  for (Kind kind : {kMono, kGray, kRGB, kCMYK}) {
    CDIBitmap image;
    MakeRandom(image, kind, 17, 3, 41);
    const std::vector<uint8_t> before = Pixels(image);
    ASSERT_EQ(GL_InvertBitmap(image), 1);
    const std::vector<uint8_t> after = Pixels(image);
    for (size_t i = 0; i < before.size(); ++i) ASSERT_EQ(after[i], 255 - before[i]) << kind.name;
    GL_InvertBitmap(image);
    EXPECT_EQ(Pixels(image), before) << kind.name;
  }
}

TEST(ToneInvertTest, PaletteImageInvertsItsTableOnce) {
  for (int height : {1, 2, 7}) {
    CDIBitmap image;
    MakeRandom(image, kPalette, 5, height, 43);
    const std::vector<uint8_t> pixels = Pixels(image);
    const std::vector<uint8_t> table = ColorTable(image);
    ASSERT_EQ(GL_InvertBitmap(image), 1);
    EXPECT_EQ(Pixels(image), pixels) << "indices are kept";
    const std::vector<uint8_t> inverted = ColorTable(image);
    for (size_t i = 0; i < table.size(); ++i)
      ASSERT_EQ(inverted[i], i % 4 == 3 ? table[i] : 255 - table[i]) << height << " rows, byte " << i;
    GL_InvertBitmap(image);
    EXPECT_EQ(ColorTable(image), table);
  }
}

// ImageMagick's negate as an independent oracle on a 24-bit picture.
TEST(ToneInvertTest, AgreesWithImageMagickNegate) {
  testing_support::TempDir dir;
  CDIBitmap image;
  MakeRandom(image, kRGB, 23, 9, 47);
  const int w = image.GetWidth(), h = image.GetHeight();
  // Binary PPM: red, green, blue per pixel.
  std::string ppm = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int c = 2; c >= 0; --c) ppm.push_back(static_cast<char>(image.RowPointer(y)[3 * x + c]));
  testing_support::WriteBytes(dir.File("in.ppm"), std::vector<uint8_t>(ppm.begin(), ppm.end()));
  const auto run = testing_support::RunCommand(std::string(testing_support::kImageMagick) + " " +
                                               dir.File("in.ppm") + " -negate " + dir.File("out.ppm"));
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const std::vector<uint8_t> out = testing_support::ReadBytes(dir.File("out.ppm"));
  ASSERT_GE(out.size(), size_t(w) * h * 3);
  const uint8_t* magick = out.data() + out.size() - size_t(w) * h * 3;
  GL_InvertBitmap(image);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < 3; ++c)
        ASSERT_EQ(image.RowPointer(y)[3 * x + 2 - c], magick[(size_t(y) * w + x) * 3 + c]) << x << "," << y;
}

TEST(ToneSwapTest, RedAndBlueExchangeInPixelsAndPaletteTables) {
  CDIBitmap rgb;
  MakeRandom(rgb, kRGB, 7, 3, 51);
  const std::vector<uint8_t> before = Pixels(rgb);
  ASSERT_EQ(GL_SwapRedBlue(rgb), 1);
  const std::vector<uint8_t> after = Pixels(rgb);
  for (size_t i = 0; i < before.size(); i += 3) {
    EXPECT_EQ(after[i], before[i + 2]);
    EXPECT_EQ(after[i + 1], before[i + 1]);
    EXPECT_EQ(after[i + 2], before[i]);
  }
  CDIBitmap palette;
  MakeRandom(palette, kPalette, 4, 4, 52);
  const std::vector<uint8_t> table = ColorTable(palette);
  const std::vector<uint8_t> indices = Pixels(palette);
  ASSERT_EQ(GL_SwapRedBlue(palette), 1);
  const std::vector<uint8_t> swapped = ColorTable(palette);
  for (size_t i = 0; i < table.size(); i += 4) {
    EXPECT_EQ(swapped[i], table[i + 2]);
    EXPECT_EQ(swapped[i + 2], table[i]);
  }
  EXPECT_EQ(Pixels(palette), indices);
  for (Kind kind : {kGray, kCMYK, kMono}) {
    CDIBitmap image;
    MakeRandom(image, kind, 6, 2, 53);
    const std::vector<uint8_t> pixels = Pixels(image);
    const std::vector<uint8_t> t = ColorTable(image);
    EXPECT_EQ(GL_SwapRedBlue(image), 1);
    EXPECT_EQ(Pixels(image), pixels) << kind.name;
    EXPECT_EQ(ColorTable(image), t) << kind.name;
  }
}

// Reference histogram from the definition, pixel by pixel through GetPixel
// and the colour table.
Histogram ReferenceHistogram(const CDIBitmap& image, int channel) {
  Histogram h{};
  for (int y = 0; y < image.GetHeight(); ++y)
    for (int x = 0; x < image.GetWidth(); ++x) {
      if (image.HasMask() && !image.MaskBit(y, x)) continue;
      const uint32_t p = image.GetPixel(y, x);
      int r, g, b;
      switch (image.GetBitCount()) {
        case 1:
          ++h[p];
          continue;
        case 8:
          if (image.IsGray()) {
            ++h[p];
            continue;
          }
          {
            const uint8_t* e = image.GetColorTablePointer() + 4 * p;
            b = e[0], g = e[1], r = e[2];
          }
          break;
        case 24:  // raw value: byte0 << 16 | byte1 << 8 | byte2 = blue, green, red
          b = p >> 16, g = (p >> 8) & 0xFF, r = p & 0xFF;
          break;
        default: {
          const int ink[4] = {int(p >> 24), int(p >> 16 & 0xFF), int(p >> 8 & 0xFF), int(p & 0xFF)};
          if (channel >= 1 && channel <= 4) {
            ++h[ink[channel - 1]];
          } else if (channel == -1) {
            r = std::max(0, 255 - ink[0] - ink[3]);
            g = std::max(0, 255 - ink[1] - ink[3]);
            b = std::max(0, 255 - ink[2] - ink[3]);
            ++h[(306 * r + 601 * g + 117 * b + 512) / 1024];
          } else {
            for (int i : ink) ++h[i];
          }
          continue;
        }
      }
      if (channel == 1) ++h[r];
      else if (channel == 2) ++h[g];
      else if (channel == 3) ++h[b];
      else if (channel == -1) ++h[(306 * r + 601 * g + 117 * b + 512) / 1024];
      else ++h[r], ++h[g], ++h[b];
    }
  return h;
}

TEST(ToneHistogramTest, CountsSelectedPixelsPerChannel) {
  for (Kind kind : {kMono, kGray, kPalette, kRGB, kCMYK}) {
    for (bool selection : {false, true}) {
      CDIBitmap image;
      MakeRandom(image, kind, 21, 6, 61);
      if (selection) SelectLeftHalf(image);
      for (int channel : {-1, 0, 1, 2, 3, 4}) {
        Histogram h;
        ASSERT_EQ(GL_GetHistogram(image, h, channel), 1);
        EXPECT_EQ(h, ReferenceHistogram(image, channel)) << kind.name << " channel " << channel;
      }
    }
  }
  // Channel 0 on RGB counts three values per selected pixel.
  CDIBitmap image;
  MakeRandom(image, kRGB, 20, 5, 62);
  SelectLeftHalf(image);
  Histogram h;
  GL_GetHistogram(image, h, 0);
  uint64_t total = 0;
  for (uint32_t c : h) total += c;
  EXPECT_EQ(total, 3u * 10 * 5);
}

// Reference equalisation of one 24-bit pixel, from the YIQ formulas.
void EqualizePixel(const ToneTable& t, uint8_t* bgr) {
  const int r = bgr[2], g = bgr[1], b = bgr[0];
  const int y = (306 * r + 601 * g + 117 * b + 512) / 1024;
  const int i = (610 * r - 281 * g - 330 * b + 512) / 1024;
  const int q = (216 * r - 536 * g + 319 * b + 512) / 1024;
  const int y2 = t[y];
  bgr[2] = static_cast<uint8_t>(std::clamp((1024 * y2 + 979 * i + 636 * q + 512) / 1024, 0, 255));
  bgr[1] = static_cast<uint8_t>(std::clamp((1024 * y2 - 280 * i - 663 * q + 512) / 1024, 0, 255));
  bgr[0] = static_cast<uint8_t>(std::clamp((1024 * y2 + 2 * (871 * q - 565 * i) + 512) / 1024, 0, 255));
}

TEST(ToneEqualizeTest, MatchesTheCumulativeLuminanceTable) {
  for (Kind kind : {kGray, kRGB}) {
    CDIBitmap image;
    MakeRandom(image, kind, 259, 61, 71);
    const std::vector<uint8_t> before = Pixels(image);
    const Histogram h = ReferenceHistogram(image, -1);
    const double n = 259.0 * 61.0;
    ToneTable table;
    double sum = 0;
    for (int i = 0; i < 256; ++i) {
      sum += h[i];
      table[i] = static_cast<uint8_t>(static_cast<int>(sum * 255.0 / n + 0.5));
    }
    ASSERT_EQ(GL_EqualizeBitmap(image), 1);
    std::vector<uint8_t> expected = before;
    if (kind.bits == 8)
      for (uint8_t& v : expected) v = table[v];
    else
      for (size_t i = 0; i < expected.size(); i += 3) EqualizePixel(table, &expected[i]);
    EXPECT_EQ(Pixels(image), expected) << kind.name;
  }
}

// With a selection the table comes from the selected pixels alone, and only
// they change.
TEST(ToneEqualizeTest, SelectionGivesTheTableAndTakesTheChange) {
  CDIBitmap image;
  MakeRandom(image, kRGB, 40, 9, 73);
  const std::vector<uint8_t> before = Pixels(image);
  SelectLeftHalf(image);
  const Histogram h = ReferenceHistogram(image, -1);
  ToneTable table;
  double sum = 0;
  for (int i = 0; i < 256; ++i) {
    sum += h[i];
    table[i] = static_cast<uint8_t>(static_cast<int>(sum * 255.0 / (20.0 * 9.0) + 0.5));
  }
  std::vector<uint8_t> expected = before;
  for (size_t i = 0; i < expected.size(); i += 3)
    if ((i % 120) / 3 < 20) EqualizePixel(table, &expected[i]);
  ASSERT_EQ(GL_EqualizeBitmap(image), 1);
  EXPECT_EQ(Pixels(image), expected);
}

// A selection region reaching past the image counts only the pixels inside
// it: the top level still reaches white.
TEST(ToneEqualizeTest, SelectionBeyondTheImageStillReachesWhite) {
  CDIBitmap gray;
  gray.Create(8, 8, 8, 1);
  for (int y = 0; y < 8; ++y) std::fill_n(gray.RowPointer(y), 8, uint8_t{90});
  const platform::Rect wide{0, 0, 64, 64};
  const platform::Region region = platform::Region::FromRects({&wide, 1});
  gray.SetMaskRgn(&region);
  ASSERT_EQ(GL_EqualizeBitmap(gray), 1);
  EXPECT_EQ(gray.GetPixel(7, 7), 255u);
}

TEST(ToneEqualizeTest, SingleLuminanceGoesToWhiteAndOtherKindsAreKept) {
  CDIBitmap gray;
  gray.Create(8, 8, 8, 1);
  for (int y = 0; y < 8; ++y) std::fill_n(gray.RowPointer(y), 8, uint8_t{77});
  GL_EqualizeBitmap(gray);
  EXPECT_EQ(gray.GetPixel(3, 3), 255u);
  for (Kind kind : {kPalette, kCMYK, kMono}) {
    CDIBitmap image;
    MakeRandom(image, kind, 6, 6, 72);
    const std::vector<uint8_t> before = Pixels(image);
    EXPECT_EQ(GL_EqualizeBitmap(image), 1);
    EXPECT_EQ(Pixels(image), before) << kind.name;
  }
}

TEST(ToneStretchTest, SpanIsStretchedToFullRange) {
  CDIBitmap image;
  image.Create(51, 1, 8, 1);
  for (int x = 0; x < 51; ++x) image.RowPointer(0)[x] = static_cast<uint8_t>(50 + x);
  ASSERT_EQ(GL_StretchIntensity(image), 1);
  for (int x = 0; x < 51; ++x)
    EXPECT_EQ(image.RowPointer(0)[x], static_cast<int>(x * (255.0 / 50) + 0.5)) << x;
  EXPECT_EQ(image.RowPointer(0)[0], 0);
  EXPECT_EQ(image.RowPointer(0)[50], 255);
}

TEST(ToneStretchTest, AllChannelsShareOneTable) {
  for (Kind kind : {kRGB, kCMYK}) {
    CDIBitmap image;
    MakeRandom(image, kind, 13, 4, 81);
    // Squeeze the values into 30..200 so that the stretch has work to do.
    for (int y = 0; y < 4; ++y)
      for (int i = 0; i < image.GetRowBytes(); ++i)
        image.RowPointer(y)[i] = static_cast<uint8_t>(30 + image.RowPointer(y)[i] * 170 / 255);
    const std::vector<uint8_t> before = Pixels(image);
    const int lo = *std::min_element(before.begin(), before.end());
    const int hi = *std::max_element(before.begin(), before.end());
    ASSERT_EQ(GL_StretchIntensity(image), 1);
    const std::vector<uint8_t> after = Pixels(image);
    for (size_t i = 0; i < before.size(); ++i)
      ASSERT_EQ(after[i], static_cast<int>((before[i] - lo) * (255.0 / (hi - lo)) + 0.5)) << kind.name;
  }
}

// One level everywhere has no range to stretch: the image is kept, whether
// the level is black or not (the formula would divide by zero).
TEST(ToneStretchTest, SingleLevelAndPaletteImagesAreKept) {
  for (int level : {0, 1, 128, 255}) {
    CDIBitmap image;
    image.Create(5, 5, 24, 0);
    for (int y = 0; y < 5; ++y) std::fill_n(image.RowPointer(y), 15, static_cast<uint8_t>(level));
    const std::vector<uint8_t> before = Pixels(image);
    EXPECT_EQ(GL_StretchIntensity(image), 1);
    EXPECT_EQ(Pixels(image), before) << level;
  }
  CDIBitmap palette;
  MakeRandom(palette, kPalette, 6, 6, 82);
  const std::vector<uint8_t> before = Pixels(palette);
  EXPECT_EQ(GL_StretchIntensity(palette), 1);
  EXPECT_EQ(Pixels(palette), before);
}

TEST(ToneSeparateTest, EachChannelBecomesAGrayImage) {
  struct Case {
    Kind kind;
    int mode;
    std::vector<int> bytes;  // source byte of each target
  };
  for (const Case& c : {Case{kRGB, 0, {2, 1, 0}}, Case{kCMYK, 1, {0, 1, 2, 3}}}) {
    CDIBitmap source;
    MakeRandom(source, c.kind, 9, 4, 91);
    CDIBitmap planes[4];
    CDIBitmap* targets[4] = {&planes[0], &planes[1], &planes[2], &planes[3]};
    ASSERT_EQ(GL_SeparateChannels(source, targets, c.mode), 1);
    const int bpp = c.kind.bits / 8;
    for (size_t t = 0; t < c.bytes.size(); ++t) {
      ASSERT_EQ(planes[t].GetBitCount(), 8);
      ASSERT_TRUE(planes[t].IsGray());
      for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 9; ++x)
          ASSERT_EQ(planes[t].RowPointer(y)[x], source.RowPointer(y)[x * bpp + c.bytes[t]]);
    }
  }
  CDIBitmap rgb, planes[4];
  CDIBitmap* targets[4] = {&planes[0], &planes[1], &planes[2], &planes[3]};
  MakeRandom(rgb, kRGB, 3, 3, 92);
  EXPECT_EQ(GL_SeparateChannels(rgb, targets, 1), 0) << "a 24-bit source does not fit mode 1";
  EXPECT_FALSE(planes[0].IsAllocated());
}

// Two threads give exactly what one gives, on an image large enough to be
// split into bands.
TEST(ToneThreadsTest, ResultsDoNotDependOnTheThreadCount) {
  const int saved = GL_GetThreadCount();
  struct Op {
    const char* name;
    int (*run)(CDIBitmap&);
  };
  const Op ops[] = {
      {"remap", [](CDIBitmap& b) { return GL_RemapBitmapIntensity(b, RandomTable(3), 0); }},
      {"hsl", [](CDIBitmap& b) { return GL_ChangeHSL(b, 40, 200, -100); }},
      {"equalize", [](CDIBitmap& b) { return GL_EqualizeBitmap(b); }},
      {"invert", [](CDIBitmap& b) { return GL_InvertBitmap(b); }},
  };
  for (const Op& op : ops) {
    std::vector<uint8_t> results[2];
    for (int threads : {1, 2}) {
      GL_SetThreadCount(threads);
      CDIBitmap image;
      MakeRandom(image, kRGB, 700, 600, 101);
      ASSERT_EQ(op.run(image), 1);
      results[threads - 1] = Pixels(image);
    }
    EXPECT_TRUE(results[0] == results[1]) << op.name;
  }
  GL_SetThreadCount(saved);
}

TEST(ToneProgressTest, CancelRestoresTheImage) {
  CDIBitmap image;
  MakeRandom(image, kRGB, 40, 30, 111);
  const std::vector<uint8_t> before = Pixels(image);
  ProgressEnable(true);
  platform::RequestCancel();
  EXPECT_EQ(GL_ChangeHSL(image, 90, 0, 0), kResultCancelled);
  EXPECT_EQ(GL_InvertBitmap(image), kResultCancelled);
  platform::ResetCancel();
  ProgressEnable(false);
  EXPECT_EQ(Pixels(image), before);
}

}  // namespace
