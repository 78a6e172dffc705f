// RGB <-> CMYK conversion through profiles: lut evaluation on synthetic
// tables whose results follow from the definition, the Lab encoding against
// the CIE formulas, and whole conversions against LittleCMS.
#include <gtest/gtest.h>
#include <lcms2.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>

#include "color/color_converter.h"
#include "color/color_settings.h"
#include "icc_profile_writer.h"
#include "image/color_convert.h"
#include "test_support.h"

namespace {

using color::ColorConverter;
using color::ColorProfile;
using color::LutEvaluator;
using testing_support::DataPath;

// A function that is multilinear in each input (degree at most 1 per
// variable) and different in every variable, so multilinear interpolation
// reproduces it exactly and a swapped axis or stride shows.
double Multilinear(const double* x, int inputs, int output) {
  double value = 1000.0 + 3000.0 * output;
  const double weights[4] = {20000.0, 9000.0, 4000.0, 1600.0};
  for (int i = 0; i < inputs; ++i) value += weights[i] * x[i] * (i == output ? 0.5 : 1.0);
  double product = 1.0;
  for (int i = 0; i < inputs; ++i) product *= x[i];
  return value + 6400.0 * product;
}

color::IccLut MakeLut(int inputs, int outputs, int grid, bool reverseFirstInput) {
  color::IccLut lut;
  lut.is16 = true;
  lut.inputChannels = inputs;
  lut.outputChannels = outputs;
  lut.gridPoints = grid;
  lut.matrix = {65536, 0, 0, 0, 65536, 0, 0, 0, 65536};
  lut.inputEntries = 2;
  lut.outputEntries = 2;
  lut.inputTables = icc_test::Ramps(inputs, 2, 65535);
  if (reverseFirstInput) lut.inputTables[0] = 65535, lut.inputTables[1] = 0;
  lut.outputTables = icc_test::Ramps(outputs, 2, 65535);
  // Grid nodes, the first input varying slowest.
  int nodes = 1;
  for (int i = 0; i < inputs; ++i) nodes *= grid;
  for (int node = 0; node < nodes; ++node) {
    double x[4];
    int rest = node;
    for (int i = inputs - 1; i >= 0; --i) {
      x[i] = double(rest % grid) / (grid - 1);
      rest /= grid;
    }
    for (int o = 0; o < outputs; ++o) lut.clut.push_back(uint16_t(std::lround(Multilinear(x, inputs, o))));
  }
  return lut;
}

TEST(IccLutEvaluation, MultilinearInterpolationIsExactForMultilinearGrids) {
  std::mt19937 random(7);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int inputs : {3, 4}) {
    for (bool reverse : {false, true}) {
      // Grid nodes at multiples of 1/4 hold integers: the sampled function
      // is exact there, and multilinear in between.
      const LutEvaluator lut(MakeLut(inputs, 3, 5, reverse), false);
      for (int sample = 0; sample < 200; ++sample) {
        double in[4], x[4], out[3];
        for (int i = 0; i < inputs; ++i) in[i] = x[i] = unit(random);
        if (reverse) x[0] = 1.0 - x[0];
        lut.Evaluate(in, out);
        for (int o = 0; o < 3; ++o)
          ASSERT_NEAR(out[o] * 65535.0, Multilinear(x, inputs, o), 1e-6)
              << inputs << " inputs, reverse " << reverse << ", output " << o;
      }
    }
  }
}

TEST(IccLutEvaluation, MatrixAppliesOnlyToXyzInput) {
  color::IccLut lut = MakeLut(3, 3, 2, false);
  // An identity grid (output = input), and a matrix that swaps X and Z and
  // halves Y.
  lut.clut.clear();
  for (int node = 0; node < 8; ++node)
    for (int o = 0; o < 3; ++o) lut.clut.push_back(((node >> (2 - o)) & 1) ? 65535 : 0);
  lut.matrix = {0, 0, 65536, 0, 32768, 0, 65536, 0, 0};
  const double in[3] = {0.25, 0.5, 0.75};
  double out[3];
  LutEvaluator(lut, true).Evaluate(in, out);
  EXPECT_NEAR(out[0], 0.75, 1e-12);
  EXPECT_NEAR(out[1], 0.25, 1e-12);
  EXPECT_NEAR(out[2], 0.25, 1e-12);
  LutEvaluator(lut, false).Evaluate(in, out);
  EXPECT_NEAR(out[0], 0.25, 1e-12);
  EXPECT_NEAR(out[1], 0.5, 1e-12);
  EXPECT_NEAR(out[2], 0.75, 1e-12);
}

// CIE L*a*b* from X / Xn, Y / Yn, Z / Zn, written from the CIE definition.
void CieLab(const double t[3], double lab[3]) {
  double f[3];
  for (int i = 0; i < 3; ++i) f[i] = t[i] > 0.008856 ? std::cbrt(t[i]) : 7.787 * t[i] + 16.0 / 116.0;
  lab[0] = 116.0 * f[1] - 16.0;
  lab[1] = 500.0 * (f[0] - f[1]);
  lab[2] = 200.0 * (f[1] - f[2]);
}

TEST(IccPcsEncoding, LabVersion2EncodingFollowsCieLab) {
  const int32_t samples[][3] = {{65536, 65536, 65536}, {0, 0, 0},         {20000, 30000, 5000},
                                {300, 500, 200},       {80000, 70000, 9000}, {4000, 65536, 60000}};
  for (const auto& xyz : samples) {
    const double t[3] = {xyz[0] / 65536.0, xyz[1] / 65536.0, xyz[2] / 65536.0};
    double lab[3], encoded16[3], encoded8[3];
    CieLab(t, lab);
    color::EncodePcs(xyz, color::kSpaceLab, true, encoded16);
    color::EncodePcs(xyz, color::kSpaceLab, false, encoded8);
    const double expected16[3] = {std::clamp(lab[0] * 652.80, 0.0, 65280.0),
                                  std::clamp(lab[1] * 256.0 + 32768.0, 0.0, 65535.0),
                                  std::clamp(lab[2] * 256.0 + 32768.0, 0.0, 65535.0)};
    const double expected8[3] = {std::clamp(lab[0] * 2.55, 0.0, 255.0), std::clamp(lab[1] + 128.0, 0.0, 255.0),
                                 std::clamp(lab[2] + 128.0, 0.0, 255.0)};
    for (int i = 0; i < 3; ++i) {
      // The integer constants 510328 / 65536 and 9039 / 65536 differ from
      // 7.787 and 16 / 116 by less than one code.
      EXPECT_NEAR(encoded16[i] * 65535.0, expected16[i], 1.0) << xyz[0] << " " << xyz[1] << " " << xyz[2];
      EXPECT_NEAR(encoded8[i] * 255.0, expected8[i], 0.51) << xyz[0] << " " << xyz[1] << " " << xyz[2];
    }
    // Decoding gives the same colour back.
    double back[3];
    color::DecodePcs(encoded16, color::kSpaceLab, true, back);
    if (lab[0] > 0 && lab[0] < 100) {
      for (int i = 0; i < 3; ++i) EXPECT_NEAR(back[i], t[i], 2e-4);
    }
  }
}

// --- Agreement with LittleCMS -------------------------------------------

// A profile pair and the bounds of its disagreement with LittleCMS: mean and
// worst absolute difference per channel, RGB->CMYK and CMYK->RGB.
struct Pair {
  const char* input;
  const char* output;
  double meanCmyk;
  int worstCmyk;
  double meanRgb;
  int worstRgb;
};

std::string ProfilePath(const char* name) {
  return name[0] == '/' ? std::string(name) : DataPath(name);
}

struct Stats {
  double sum[4] = {};
  int worst[4] = {};
  long count = 0;
  void Add(const uint8_t* ours, const uint8_t* theirs, int channels) {
    for (int c = 0; c < channels; ++c) {
      const int difference = std::abs(int(ours[c]) - int(theirs[c]));
      sum[c] += difference;
      worst[c] = std::max(worst[c], difference);
    }
    ++count;
  }
  std::string Text(int channels) const {
    std::string text;
    char buffer[64];
    for (int c = 0; c < channels; ++c) {
      std::snprintf(buffer, sizeof buffer, " %c mean %.3f worst %d", "CMYK"[c], sum[c] / count, worst[c]);
      text += buffer;
    }
    return text;
  }
};

// Measured (NOOPTIMIZE) for the Lab pairs: RGB->CMYK means 0.12..0.56, worst
// 2..7 (the truncation of o x 255 / 65535 makes ours about half a level
// lower on average); CMYK->RGB means 0.02..0.20, worst 1..5. The XYZ pair
// has a 5-point grid, where our trilinear interpolation and LittleCMS's
// tetrahedral one part: means up to 4.2, worst 16 (CMYK), 2.4 and 34 (RGB);
// evaluated tetrahedrally the same grid agrees within one level.
const Pair kPairs[] = {
    {"third_party/debian/argyll-ref/sRGB.icm", "third_party/lcms2-testbed/test1.icc", 0.75, 9, 0.35, 7},
    {"/usr/share/color/icc/ghostscript/srgb.icc", "third_party/lcms2-testbed/test2.icc", 0.75, 9, 0.35, 7},
    {"third_party/exiftool/ICC_Profile.icc", "/usr/share/color/icc/ghostscript/default_cmyk.icc", 0.75, 9, 0.35, 7},
    // PCS XYZ, lut16 both ways, no intent-1 tables (B2A0 / A2B0 serve).
    {"third_party/debian/argyll-ref/ClayRGB1998.icm", "/usr/share/color/icc/ghostscript/ps_cmyk.icc", 4.5, 18, 2.6, 37},
};

class IccLittleCmsAgreement : public ::testing::TestWithParam<std::tuple<int, int>> {};

TEST_P(IccLittleCmsAgreement, RgbToCmykAndBack) {
  const Pair& pair = kPairs[std::get<0>(GetParam())];
  const int intent = std::get<1>(GetParam());
  const std::string inputPath = ProfilePath(pair.input), outputPath = ProfilePath(pair.output);
  if (!std::filesystem::exists(inputPath) || !std::filesystem::exists(outputPath))
    GTEST_SKIP() << "profiles not installed";
  ColorConverter converter;
  std::string error;
  ASSERT_TRUE(converter.Build(inputPath, outputPath, intent, &error)) << error;

  cmsHPROFILE in = cmsOpenProfileFromFile(inputPath.c_str(), "r");
  cmsHPROFILE out = cmsOpenProfileFromFile(outputPath.c_str(), "r");
  ASSERT_TRUE(in && out);
  cmsHTRANSFORM forward = cmsCreateTransform(in, TYPE_RGB_8, out, TYPE_CMYK_8, intent, cmsFLAGS_NOOPTIMIZE);
  cmsHTRANSFORM backward = cmsCreateTransform(out, TYPE_CMYK_8, in, TYPE_RGB_8, intent, cmsFLAGS_NOOPTIMIZE);
  ASSERT_TRUE(forward && backward);

  std::vector<std::array<uint8_t, 3>> rgbSamples;
  for (int r = 0; r <= 255; r += 15)
    for (int g = 0; g <= 255; g += 15)
      for (int b = 0; b <= 255; b += 15) rgbSamples.push_back({uint8_t(r), uint8_t(g), uint8_t(b)});
  std::mt19937 random(1234);
  for (int i = 0; i < 2000; ++i)
    rgbSamples.push_back({uint8_t(random()), uint8_t(random()), uint8_t(random())});
  Stats toCmyk;
  for (const auto& rgb : rgbSamples) {
    uint8_t ours[4], theirs[4];
    converter.RgbToCmyk(rgb.data(), ours);
    cmsDoTransform(forward, rgb.data(), theirs, 1);
    toCmyk.Add(ours, theirs, 4);
  }

  std::vector<std::array<uint8_t, 4>> cmykSamples;
  for (int c = 0; c <= 255; c += 51)
    for (int m = 0; m <= 255; m += 51)
      for (int y = 0; y <= 255; y += 51)
        for (int k = 0; k <= 255; k += 51) cmykSamples.push_back({uint8_t(c), uint8_t(m), uint8_t(y), uint8_t(k)});
  for (int i = 0; i < 2000; ++i)
    cmykSamples.push_back({uint8_t(random()), uint8_t(random()), uint8_t(random()), uint8_t(random())});
  Stats toRgb;
  for (const auto& cmyk : cmykSamples) {
    uint8_t ours[3], theirs[3];
    converter.CmykToRgb(cmyk.data(), ours);
    cmsDoTransform(backward, cmyk.data(), theirs, 1);
    toRgb.Add(ours, theirs, 3);
  }
  cmsDeleteTransform(forward);
  cmsDeleteTransform(backward);
  cmsCloseProfile(in);
  cmsCloseProfile(out);

  std::printf("[agreement] %s -> %s intent %d: RGB->CMYK%s\n", pair.input, pair.output, intent,
              toCmyk.Text(4).c_str());
  std::string rgbText = toRgb.Text(3);
  for (const char* from : {" C ", " M ", " Y "}) {
    const size_t at = rgbText.find(from);
    if (at != std::string::npos) rgbText[at + 1] = "RGB"[from[1] == 'C' ? 0 : from[1] == 'M' ? 1 : 2];
  }
  std::printf("[agreement] %s <- %s intent %d: CMYK->RGB%s\n", pair.input, pair.output, intent, rgbText.c_str());
  for (int c = 0; c < 4; ++c) {
    EXPECT_LE(toCmyk.sum[c] / toCmyk.count, pair.meanCmyk) << "RGB->CMYK channel " << c;
    EXPECT_LE(toCmyk.worst[c], pair.worstCmyk) << "RGB->CMYK channel " << c;
  }
  for (int c = 0; c < 3; ++c) {
    EXPECT_LE(toRgb.sum[c] / toRgb.count, pair.meanRgb) << "CMYK->RGB channel " << c;
    EXPECT_LE(toRgb.worst[c], pair.worstRgb) << "CMYK->RGB channel " << c;
  }
}

INSTANTIATE_TEST_SUITE_P(Pairs, IccLittleCmsAgreement,
                         ::testing::Combine(::testing::Values(0, 1, 2, 3), ::testing::Values(0, 1)));

TEST(IccColorTransform, RowFormsMatchThePixelFormsInBgrOrder) {
  ColorConverter converter;
  std::string error;
  ASSERT_TRUE(converter.Build(DataPath("third_party/debian/argyll-ref/sRGB.icm"),
                              DataPath("third_party/lcms2-testbed/test1.icc"), 0, &error))
      << error;
  std::mt19937 random(5);
  std::vector<uint8_t> bgr(3 * 300), cmyk(4 * 300), back(3 * 300);
  for (size_t i = 0; i < bgr.size(); ++i) bgr[i] = uint8_t(i < 60 ? 200 : random());  // a flat run, then noise
  converter.RGBToCMYK(bgr.data(), cmyk.data(), 300);
  converter.CMYKToRGB(cmyk.data(), back.data(), 300);
  for (int i = 0; i < 300; ++i) {
    const uint8_t rgb[3] = {bgr[3 * i + 2], bgr[3 * i + 1], bgr[3 * i]};
    uint8_t expectedCmyk[4], expectedRgb[3];
    converter.RgbToCmyk(rgb, expectedCmyk);
    ASSERT_EQ(0, std::memcmp(expectedCmyk, &cmyk[4 * i], 4)) << i;
    converter.CmykToRgb(&cmyk[4 * i], expectedRgb);
    ASSERT_EQ(back[3 * i], expectedRgb[2]) << i;
    ASSERT_EQ(back[3 * i + 1], expectedRgb[1]) << i;
    ASSERT_EQ(back[3 * i + 2], expectedRgb[0]) << i;
  }
  // White needs no ink; black is dark and inked.
  const uint8_t white[3] = {255, 255, 255}, black[3] = {0, 0, 0};
  uint8_t ink[4];
  converter.RgbToCmyk(white, ink);
  EXPECT_LE(ink[0] + ink[1] + ink[2] + ink[3], 4);
  converter.RgbToCmyk(black, ink);
  EXPECT_GT(ink[3], 128);
}

TEST(IccColorTransform, InstalledFromSettingsAndRemoved) {
  color::ColorManagementSettings settings;
  settings.enabled = true;
  settings.inputPath = DataPath("third_party/debian/argyll-ref/sRGB.icm");
  settings.separationPath = DataPath("third_party/lcms2-testbed/test2.icc");
  settings.intent = 1;
  std::string error;
  ASSERT_TRUE(color::InstallColorTransform(settings, &error)) << error;
  ASSERT_NE(GL_GetColorTransform(), nullptr);
  ColorConverter reference;
  ASSERT_TRUE(reference.Build(settings.inputPath, settings.separationPath, 1));
  const uint8_t rgb[3] = {30, 140, 220};
  uint8_t expected[4], installed[4];
  reference.RgbToCmyk(rgb, expected);
  GL_RGBToCMYK(rgb[0], rgb[1], rgb[2], installed);
  EXPECT_EQ(0, std::memcmp(expected, installed, 4));

  // Matching off: the simple formulas again.
  settings.enabled = false;
  EXPECT_TRUE(color::InstallColorTransform(settings, &error));
  EXPECT_EQ(GL_GetColorTransform(), nullptr);
  GL_RGBToCMYK(10, 20, 30, installed);
  EXPECT_EQ(installed[0], 245);
  EXPECT_EQ(installed[3], 0);

  // Profiles that cannot serve: failure with a reason, nothing installed.
  settings.enabled = true;
  settings.separationPath = DataPath("third_party/debian/argyll-ref/sRGB.icm");  // RGB, not CMYK
  error.clear();
  EXPECT_FALSE(color::InstallColorTransform(settings, &error));
  EXPECT_NE(error.find("not a CMYK profile"), std::string::npos) << error;
  EXPECT_EQ(GL_GetColorTransform(), nullptr);
  settings.inputPath = DataPath("third_party/lcms2-testbed/test1.icc");  // CMYK input
  settings.separationPath = DataPath("third_party/lcms2-testbed/test1.icc");
  EXPECT_FALSE(color::InstallColorTransform(settings, &error));
  EXPECT_EQ(GL_GetColorTransform(), nullptr);
}

}  // namespace
