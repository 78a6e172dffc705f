// The adjustment dialogs' tables, the table-set applier and the named tone
// operations of the command line.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "image/dibitmap.h"
#include "editing/operation_table.h"
#include "imaging/tone.h"
#include "platform/messages.h"
#include "test_support.h"
#include "tone_test_support.h"

namespace {

using namespace tone_test;

// Brightness/contrast written out step by step from the dialog's definition.
ToneTable ReferenceBrightnessContrast(int brightness, int contrast) {
  double b = brightness * 1.275, c = contrast * 1.275, d = 255 - 2 * c;
  int inLow, inHigh, outLow, outHigh;
  if (d >= 0.5 || d <= -0.5) {
    double slope = 255 / d, offset = b - slope * c, top = slope * 255 + offset;
    inLow = offset >= 0 ? 0 : int(-offset / slope);
    outLow = offset >= 0 ? int(offset) : 0;
    inHigh = top >= 255 ? int((255 - offset) / slope) : 255;
    outHigh = top >= 255 ? 255 : int(top);
  } else {
    inLow = int(c), inHigh = inLow + 1, outLow = 0, outHigh = 255;
  }
  ToneTable t;
  for (int v = 0; v < 256; ++v) {
    int out = outHigh;
    if (v < inLow) out = outLow;
    else if (v <= inHigh)
      out = inHigh - inLow <= 0 ? outLow : outLow + int(double(v - inLow) / (inHigh - inLow) * (outHigh - outLow));
    t[v] = static_cast<uint8_t>(out);
  }
  return t;
}

TEST(ToneTablesTest, BrightnessContrastFollowsTheDialog) {
  EXPECT_EQ(GL_BrightnessContrastTable(0, 0), GL_IdentityTable());
  for (int brightness : {-100, -37, 0, 55, 100}) {
    // Contrast at its maximum is a step between 127 and 128.
    const ToneTable step = GL_BrightnessContrastTable(brightness, 100);
    for (int v = 0; v < 256; ++v) ASSERT_EQ(step[v], v < 128 ? 0 : 255) << brightness << " at " << v;
  }
  for (int brightness = -100; brightness <= 100; brightness += 7)
    for (int contrast = -100; contrast <= 100; contrast += 3) {
      const ToneTable t = GL_BrightnessContrastTable(brightness, contrast);
      ASSERT_EQ(t, ReferenceBrightnessContrast(brightness, contrast)) << brightness << "," << contrast;
      ASSERT_TRUE(std::is_sorted(t.begin(), t.end())) << "a tone table never reverses the order";
    }
}

TEST(ToneTablesTest, ThresholdLevelsAndBalanceOffsets) {
  const ToneTable threshold = GL_ThresholdTable(128);
  for (int v = 0; v < 256; ++v) EXPECT_EQ(threshold[v], v < 128 ? 0 : 255);

  EXPECT_EQ(GL_LevelsTable(0, 255, 1.0, 0, 255), GL_IdentityTable());
  const ToneTable inverted = GL_LevelsTable(0, 255, 1.0, 255, 0);
  for (int v = 0; v < 256; ++v) EXPECT_EQ(inverted[v], 255 - v);
  const ToneTable clip = GL_LevelsTable(50, 100, 1.0, 0, 255);
  EXPECT_EQ(clip[50], 0);
  EXPECT_EQ(clip[75], 128);  // halfway, rounded
  EXPECT_EQ(clip[100], 255);
  EXPECT_EQ(clip[20], 0);
  EXPECT_EQ(clip[200], 255);
  const ToneTable gamma = GL_LevelsTable(0, 255, 2.0, 0, 255);
  EXPECT_EQ(gamma[64], static_cast<int>(std::sqrt(64 / 255.0) * 255 + 0.5));

  struct Case {
    int r, g, b, dr, dg, db;
  };
  for (Case c : {Case{100, 0, 0, 100, -50, -50}, Case{-1, -1, -1, -1, -1, -1}, Case{-100, 100, 31, -165, 135, 31},
                 Case{0, 0, 0, 0, 0, 0}}) {
    const std::array<int, 3> d = GL_ColorBalanceOffsets(c.r, c.g, c.b);
    EXPECT_EQ(d, (std::array<int, 3>{c.dr, c.dg, c.db})) << c.r << "," << c.g << "," << c.b;
  }
}

ToneTableSet RandomSet(uint32_t seed, std::array<bool, 5> inUse) {
  std::mt19937 random(seed);
  ToneTableSet set;
  set.inUse = inUse;
  for (ToneTable& t : set.tables)
    for (uint8_t& v : t) v = static_cast<uint8_t>(random());
  return set;
}

// The one-pass applier gives what the channel tables applied one after the
// other (highest channel first, the all-channel table last) give.
TEST(ToneTableSetTest, OnePassEqualsChannelByChannel) {
  const std::array<bool, 5> uses[] = {
      {true, false, false, false, false}, {true, true, false, true, true}, {false, true, true, true, true},
      {false, false, false, false, false}};
  for (Kind kind : {kGray, kRGB, kCMYK}) {
    for (const auto& use : uses) {
      const ToneTableSet set = RandomSet(5, use);
      CDIBitmap a, b;
      MakeRandom(a, kind, 17, 5, 6);
      MakeRandom(b, kind, 17, 5, 6);
      ASSERT_EQ(GL_ApplyToneTables(a, set), 1);
      const int channels = kind.bits == 8 ? 0 : kind.bits == 24 ? 3 : 4;
      for (int c = channels; c >= 0; --c)
        if (set.inUse[c]) GL_RemapBitmapIntensity(b, set.tables[c], c);
      EXPECT_EQ(Pixels(a), Pixels(b)) << kind.name;
    }
  }
}

TEST(ToneTableSetTest, PaletteImagesChangeTheirColoursNotTheirIndices) {
  const ToneTableSet set = RandomSet(8, {true, true, true, true, false});
  CDIBitmap image;
  MakeRandom(image, kPalette, 8, 3, 9);
  const std::vector<uint8_t> indices = Pixels(image);
  const std::vector<uint8_t> table = ColorTable(image);
  ASSERT_EQ(GL_ApplyToneTables(image, set), 1);
  EXPECT_EQ(Pixels(image), indices);
  const std::vector<uint8_t> changed = ColorTable(image);
  for (size_t i = 0; i < table.size(); i += 4) {
    EXPECT_EQ(changed[i + 2], set.tables[0][set.tables[1][table[i + 2]]]);
    EXPECT_EQ(changed[i + 1], set.tables[0][set.tables[2][table[i + 1]]]);
    EXPECT_EQ(changed[i], set.tables[0][set.tables[3][table[i]]]);
  }
}

int Apply(CDIBitmap& image, const std::string& text) {
  std::string error;
  const auto op = ParseOperation(text, error);
  EXPECT_TRUE(op) << error;
  return op ? op->def->apply(image, op->args) : -1;
}

TEST(ToneOperationsTest, NamedOperationsConvertTheDialogValues) {
  CDIBitmap image, expected;
  MakeRandom(image, kRGB, 12, 4, 10);
  MakeRandom(expected, kRGB, 12, 4, 10);
  EXPECT_EQ(Apply(image, "brightness-contrast:20,-30"), 1);
  GL_RemapBitmapIntensity(expected, ReferenceBrightnessContrast(20, -30), 0);
  EXPECT_EQ(Pixels(image), Pixels(expected));

  EXPECT_EQ(Apply(image, "hue-saturation:0,0,0"), 1);
  EXPECT_EQ(Pixels(image), Pixels(expected)) << "all zero does nothing";
  EXPECT_EQ(Apply(image, "hue-saturation:30,10,-5"), 1);
  GL_ChangeHSL(expected, 30, 100, -50);
  EXPECT_EQ(Pixels(image), Pixels(expected));

  EXPECT_EQ(Apply(image, "color-balance:100,0,0"), 1);
  GL_ColorBalance(expected, 100, -50, -50);
  EXPECT_EQ(Pixels(image), Pixels(expected));

  EXPECT_EQ(Apply(image, "threshold"), 1);
  for (uint8_t v : Pixels(image)) ASSERT_TRUE(v == 0 || v == 255);

  std::string error;
  EXPECT_FALSE(ParseOperation("brightness-contrast:101,0", error));
  EXPECT_FALSE(ParseOperation("threshold:0", error));
  for (const char* name : {"equalize", "stretch-intensity", "invert-color", "invert-bgr"})
    EXPECT_TRUE(ParseOperation(name, error)) << name;
}

// A curve file of an RGB image: header text, 4 tables (composite, red,
// green, blue), then 17 point records per channel.
std::vector<uint8_t> CurveFile(const ToneTableSet& set, int channels) {
  std::string text = "vividrome Curve file 0100       ";
  std::vector<uint8_t> bytes(text.begin(), text.end());
  auto put32 = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  put32(channels);
  for (int c = 0; c < channels; ++c) bytes.insert(bytes.end(), set.tables[c].begin(), set.tables[c].end());
  put32(17);
  for (int c = 0; c < channels; ++c) {
    put32(1);
    put32(0);
    for (int p = 0; p < 17; ++p) put32(0), put32(0), put32(0);
  }
  return bytes;
}

TEST(ToneOperationsTest, CurvesFileTablesApplyPerChannel) {
  testing_support::TempDir dir;
  const ToneTableSet set = RandomSet(12, {true, true, true, true, false});
  const std::string path = dir.File("rgb.crb");
  testing_support::WriteBytes(path, CurveFile(set, 4));
  ASSERT_EQ(testing_support::ReadBytes(path).size(), 1912u);
  CDIBitmap image;
  MakeRandom(image, kRGB, 9, 3, 13);
  const std::vector<uint8_t> before = Pixels(image);
  EXPECT_EQ(Apply(image, "curves:" + path), 1);
  const std::vector<uint8_t> after = Pixels(image);
  for (size_t i = 0; i < before.size(); ++i) {
    const int channel = 3 - static_cast<int>(i % 3);  // blue, green, red bytes
    ASSERT_EQ(after[i], set.tables[0][set.tables[channel][before[i]]]) << i;
  }

  platform::RecordingMessageSink sink;
  EXPECT_EQ(Apply(image, "curves:" + dir.File("missing.crb")), 0);
  EXPECT_EQ(sink.Texts().size(), 1u);
  testing_support::WriteBytes(dir.File("short.crb"), std::vector<uint8_t>(40, 0));
  EXPECT_EQ(Apply(image, "curves:" + dir.File("short.crb")), 0);
  EXPECT_EQ(Pixels(image), after) << "a bad file changes nothing";
}

}  // namespace
