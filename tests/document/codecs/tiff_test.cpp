// TIFF reader and writer. Pixels are checked against what ImageMagick and
// Pillow decode from the same file; colour tables and tags against the
// level and colour-map formulas applied to the file's own values. Where the
// two programs disagree (16-bit samples and colour maps: ImageMagick takes
// v x 255 / 65535 truncated like us, Pillow the high byte), only the one
// that agrees with the formula is asked. YCbCr conversions may differ from
// ImageMagick's by one level (rounding of the coefficients).
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "document/codecs/tiff.h"
#include "image/dibitmap.h"
#include "codec_test_support.h"
#include "platform/messages.h"
#include "test_support.h"

namespace {

using namespace testing_support;
using namespace codec_test;

enum Oracle : unsigned { kMagick = 1, kPillow = 2, kNear = 4 };  // kNear: levels may differ by 1

// Top-down pixels: R, G, B bytes through the colour table for 24 bits or
// fewer; the raw C, M, Y, K bytes for 32 bits.
std::string ImagePixels(const CDIBitmap& image) {
  std::string out;
  if (image.GetBitCount() == 32) {
    for (int y = 0; y < image.GetHeight(); ++y)
      out.append(reinterpret_cast<const char*>(image.RowPointer(y)), size_t(image.GetWidth()) * 4);
    return out;
  }
  return ImageRGB(image);
}

// ImageMagick's decode of the first image, alpha dropped: RGB, or CMYK bytes.
std::string MagickPixels(const std::string& file, bool cmyk) {
  return MagickDecode(file + "[0]", "-alpha off", cmyk ? "cmyk" : "rgb");
}

// Pillow's decodes: CMYK images as their raw bytes, everything else
// converted to RGB (alpha dropped).
constexpr char kPillowPixels[] = "(im if im.mode == \"CMYK\" else im.convert(\"RGB\")).tobytes()";

// Tag values as Pillow reads them: "tag=v1,v2,..." per line for the tags asked.
std::map<int, std::vector<long>> PillowTags(const std::string& file) {
  const auto result = RunCommand(std::string(kPython) +
                                 " -c 'import sys; from PIL import Image\n"
                                 "im = Image.open(sys.argv[1])\n"
                                 "for t, v in im.tag_v2.items():\n"
                                 "  v = v if isinstance(v, tuple) else (v,)\n"
                                 "  if all(isinstance(x, int) for x in v): print(t, *v)' " +
                                 ShellQuote(file));
  std::map<int, std::vector<long>> tags;
  std::istringstream lines(result.out);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    int tag = 0;
    fields >> tag;
    long v = 0;
    while (fields >> v) tags[tag].push_back(v);
  }
  return tags;
}

const Sample kSamples[] = {
    // Written by ImageMagick and Pillow (make_samples.sh).
    {"tiff/im_rgb8_none.tif", kMagick | kPillow},
    {"tiff/im_rgb8_packbits.tif", kMagick | kPillow},
    {"tiff/im_rgb8_lzw.tif", kMagick | kPillow},
    {"tiff/im_rgb8_zip.tif", kMagick | kPillow},
    {"tiff/im_rgb8_jpeg.tif", kMagick},
    {"tiff/im_rgb8_planar.tif", kMagick | kPillow},
    {"tiff/im_rgb8_tiled.tif", kMagick | kPillow},
    {"tiff/im_rgb8_tiled_planar.tif", kMagick | kPillow},
    {"tiff/im_rgb16.tif", kMagick},
    {"tiff/im_rgb16_msb.tif", kMagick},
    {"tiff/im_rgb16_planar.tif", kMagick},
    {"tiff/im_rgba8.tif", kMagick | kPillow},
    {"tiff/im_gray8.tif", kMagick | kPillow},
    {"tiff/im_gray8_miniswhite.tif", kMagick | kPillow},
    {"tiff/im_gray4.tif", kMagick},
    {"tiff/im_gray2.tif", kMagick},
    {"tiff/im_gray16.tif", kMagick},
    {"tiff/im_gray8_tiled.tif", kMagick | kPillow},
    {"tiff/im_bw1_none.tif", kMagick | kPillow},
    {"tiff/im_bw1_packbits.tif", kMagick | kPillow},
    {"tiff/im_bw1_fax3.tif", kMagick | kPillow},
    {"tiff/im_bw1_fax4.tif", kMagick | kPillow},
    {"tiff/im_bw1_minisblack.tif", kMagick | kPillow},
    {"tiff/im_pal8.tif", kMagick},
    {"tiff/im_pal4.tif", kMagick | kPillow},
    {"tiff/im_cmyk8.tif", kMagick | kPillow},
    {"tiff/im_cmyk16.tif", kMagick},
    {"tiff/im_cmyk8_planar.tif", kMagick | kPillow},
    {"tiff/pil_rgb8.tif", kMagick | kPillow},
    {"tiff/pil_rgb8_lzw.tif", kMagick | kPillow},
    {"tiff/pil_rgb8_deflate.tif", kMagick | kPillow},
    {"tiff/pil_rgb8_packbits.tif", kMagick | kPillow},
    {"tiff/pil_rgb8_jpeg.tif", kMagick},
    {"tiff/pil_l8.tif", kMagick | kPillow},
    {"tiff/pil_1.tif", kMagick | kPillow},
    {"tiff/pil_1_g3.tif", kMagick | kPillow},
    {"tiff/pil_1_g4.tif", kMagick | kPillow},
    {"tiff/pil_p8.tif", kMagick},
    {"tiff/pil_cmyk8.tif", kMagick | kPillow},
    {"tiff/pil_ycbcr8.tif", kMagick | kNear},  // Pillow does not read it
    {"tiff/pil_rgba8.tif", kMagick | kPillow},
    {"tiff/pil_i16.tif", kMagick},
    {"tiff/py_gray2_miniswhite.tif", kPillow},  // ImageMagick ignores min-is-white at 2 bits
    // libtiff's test images.
    {"third_party/libtiff-test-images/minisblack-1c-8b.tiff", kMagick | kPillow},
    {"third_party/libtiff-test-images/minisblack-1c-16b.tiff", kMagick},
    {"third_party/libtiff-test-images/miniswhite-1c-1b.tiff", kMagick | kPillow},
    {"third_party/libtiff-test-images/palette-1c-1b.tiff", kMagick | kPillow},
    {"third_party/libtiff-test-images/palette-1c-4b.tiff", kMagick},
    {"third_party/libtiff-test-images/palette-1c-8b.tiff", kMagick},
    {"third_party/libtiff-test-images/rgb-3c-8b.tiff", kMagick | kPillow},
    {"third_party/libtiff-test-images/rgb-3c-16b.tiff", kMagick},
    {"third_party/libtiff-test-images/quad-lzw-compat.tiff", kMagick | kPillow},
    {"third_party/libtiff-test-images/quad-tile.jpg.tiff", kMagick},
    // Pillow's test images.
    {"third_party/pillow/tiff/hopper.tif", kMagick | kPillow},
    {"third_party/pillow/tiff/hopper_lzw.tif", kMagick | kPillow},
    {"third_party/pillow/tiff/hopper_g4.tif", kMagick | kPillow},
    {"third_party/pillow/tiff/hopper_g4_500.tif", kMagick | kPillow},
    {"third_party/pillow/tiff/hopper_gray_4bpp.tif", kMagick | kPillow},
    {"third_party/pillow/tiff/hopper_bigtiff.tif", kMagick | kPillow},
    {"third_party/pillow/tiff/hopper_jpg.tif", kMagick},
    {"third_party/pillow/tiff/g4-fillorder-test.tif", kMagick | kPillow},
    {"third_party/pillow/tiff/pport_g4.tif", kMagick | kPillow},
    {"third_party/pillow/tiff/copyleft.tiff", kMagick | kPillow},
    {"third_party/pillow/tiff/16bit.cropped.tif", kMagick},
    {"third_party/pillow/tiff/16bit.MM.cropped.tif", kMagick},
    {"third_party/pillow/tiff/16bit.deflate.tif", kMagick},
    {"third_party/pillow/tiff/tiff_16bit_RGB.tiff", kMagick},
    {"third_party/pillow/tiff/tiff_strip_planar_lzw.tiff", kMagick | kPillow},
    {"third_party/pillow/tiff/tiff_tiled_planar_lzw.tiff", kMagick | kPillow},
    {"third_party/pillow/tiff/tiff_strip_planar_16bit_RGB.tiff", kMagick},
    {"third_party/pillow/tiff/tiff_tiled_planar_16bit_RGB.tiff", kMagick},
    {"third_party/pillow/tiff/tiff_strip_ycbcr_jpeg_2x2_sampling.tif", kMagick},
    {"third_party/pillow/tiff/tiff_strip_ycbcr_jpeg_1x1_sampling.tif", kMagick},
    {"third_party/pillow/tiff/tiff_tiled_ycbcr_jpeg_2x2_sampling.tif", kMagick},
    {"third_party/pillow/tiff/tiff_tiled_ycbcr_jpeg_1x1_sampling.tif", kMagick},
    {"third_party/pillow/tiff/tiff_strip_cmyk_jpeg.tif", kMagick | kPillow},
    {"third_party/pillow/tiff/tiff_tiled_cmyk_jpeg.tif", kPillow},  // ImageMagick loses the first tiles
    {"third_party/pillow/tiff/multipage.tiff", kMagick | kPillow},
    // image-rs test images.
    {"third_party/image-rs/tiff/testsuite/planar.tiff", kMagick | kPillow},
    {"third_party/image-rs/tiff/testsuite/l1.tiff", kMagick | kPillow},
    {"third_party/image-rs/tiff/testsuite/fax4.tiff", kMagick | kPillow},
};

bool IsCmyk(const std::string& file) {
  CDIBitmap image;
  platform::RecordingMessageSink sink;
  return TIFRead(file, image) && image.GetBitCount() == 32;
}

std::string OraclePixels(Oracle oracle, const std::string& file) {
  if (oracle == kMagick) return MagickPixels(file, IsCmyk(file));
  // Every sample Pillow checks is decoded on first use, in one run.
  static std::map<std::string, std::string> decoded;
  return PillowCached(decoded, FilesWith(kSamples, kPillow), file, kPillowPixels);
}

class TifSample : public testing::TestWithParam<Sample> {};

// Reads the sample, compares with every oracle, writes it with our writer
// (uncompressed), reads that back (kind, rows and table identical) and lets
// ImageMagick decode our file too.
TEST_P(TifSample, ReadsLikeOraclesAndRoundTrips) {
  const std::string file = DataPath(GetParam().path);
  platform::RecordingMessageSink sink;
  CDIBitmap image;
  ASSERT_EQ(TIFRead(file, image), 1) << (sink.Texts().empty() ? "" : sink.Texts()[0]);
  EXPECT_TRUE(sink.Texts().empty());
  const std::string ours = ImagePixels(image);
  for (Oracle oracle : {kMagick, kPillow}) {
    if (!(GetParam().oracles & oracle)) continue;
    SCOPED_TRACE(testing::Message() << (oracle == kMagick ? "ImageMagick" : "Pillow"));
    const std::string theirs = OraclePixels(oracle, file);
    ASSERT_EQ(theirs.size(), ours.size());
    const auto diff = std::mismatch(theirs.begin(), theirs.end(), ours.begin(), [&](char a, char b) {
      return GetParam().oracles & kNear ? std::abs(int(uint8_t(a)) - int(uint8_t(b))) <= 1 : a == b;
    });
    EXPECT_TRUE(diff.first == theirs.end()) << "first difference at byte " << (diff.first - theirs.begin()) << ": "
                                            << int(uint8_t(*diff.first)) << " expected, "
                                            << int(uint8_t(*diff.second)) << " read";
  }

  TempDir dir;
  const std::string copy = dir.File("copy.tif");
  ASSERT_EQ(TIFWrite(copy, image, kTifNone), 1);
  CDIBitmap back;
  ASSERT_EQ(TIFRead(copy, back), 1);
  ASSERT_NO_FATAL_FAILURE(ExpectSameBitmap(image, back));
  EXPECT_TRUE(MagickPixels(copy, image.GetBitCount() == 32) == ours);
}

// A bottom-left file holds the picture's rows from the bottom up.
TEST(TifRead, BottomLeftFilesAreFilledFromTheBottom) {
  CDIBitmap image;
  ASSERT_EQ(TIFRead(DataPath("tiff/im_rgb8_bottomleft.tif"), image), 1);
  const std::string stored = MagickPixels(DataPath("tiff/im_rgb8_none.tif"), false);
  const size_t rowBytes = size_t(image.GetWidth()) * 3;
  std::string flipped;
  for (int y = image.GetHeight() - 1; y >= 0; --y) flipped += stored.substr(y * rowBytes, rowBytes);
  EXPECT_TRUE(ImagePixels(image) == flipped);
}

// Files with one row per strip (what libtiff and our writer give wide
// images) are read row by row straight into the bitmap: every kind and odd
// widths, against ImageMagick's decode of the same file.
TEST(TifRead, OneRowStripsOfEveryKind) {
  TempDir dir;
  struct Case {
    const char* name;
    int width;
    const char* options;  // ImageMagick options for the file
  };
  const Case kCases[] = {
      {"rgb", 4, "-type TrueColor"},
      {"rgb", 13, "-type TrueColor"},
      {"rgb", 101, "-type TrueColor -compress lzw"},
      {"gray", 13, "-type Grayscale"},
      {"gray", 101, "-type Grayscale"},
      {"bw_minisblack", 13, "-type Bilevel -define tiff:photometric=min-is-black"},
      {"bw_miniswhite", 101, "-type Bilevel -define tiff:photometric=min-is-white"},
      {"cmyk", 13, "-colorspace CMYK"},
  };
  for (const Case& c : kCases) {
    const std::string name = std::string(c.name) + "_" + std::to_string(c.width);
    SCOPED_TRACE(name);
    const std::string file = dir.File(name + ".tif");
    const CommandResult made = RunCommand(std::string(kImageMagick) + " -size " + std::to_string(c.width) +
                                          "x9 plasma:fractal -seed 7 " + c.options +
                                          " -define tiff:rows-per-strip=1 -depth 8 " + ShellQuote(file));
    ASSERT_EQ(made.exitCode, 0) << made.err;
    const std::map<int, std::vector<long>> tags = PillowTags(file);
    ASSERT_TRUE(tags.count(278));
    ASSERT_EQ(tags.at(278), std::vector<long>{1});
    CDIBitmap image;
    ASSERT_EQ(TIFRead(file, image), 1);
    ASSERT_EQ(image.GetWidth(), c.width);
    EXPECT_TRUE(ImagePixels(image) == MagickPixels(file, image.GetBitCount() == 32));
  }
}

// YCbCr files convert with the coefficients of their own YCbCrCoefficients
// tag. The expectation is the YCbCr to RGB conversion of the stored samples
// (reference black and white at their defaults), worked out by Python from
// the file's tags and bytes. ImageMagick keeps the BT.601 weights whatever
// the tag says, so on this BT.709 file it differs by up to 40 levels.
TEST(TifRead, YCbCrUsesTheFilesCoefficients) {
  const std::string file = DataPath("third_party/image-rs/tiff/testsuite/ycbcr_lzw_bt709.tif");
  const std::string script =
      "import sys\n"
      "from PIL import Image\n"
      "f = sys.argv[1]\n"
      "t = Image.open(f).tag_v2\n"
      "assert t[259] == 1 and t[262] == 6 and tuple(t[530]) == (1, 1) and 532 not in t\n"
      "lr, lg, lb = t[529]\n"
      "w, h = t[256], t[257]\n"
      "data = open(f, 'rb').read()[t[273][0]:]\n"
      "out = bytearray()\n"
      "for i in range(w * h):\n"
      "    y, cb, cr = data[3 * i], data[3 * i + 1] - 128, data[3 * i + 2] - 128\n"
      "    r = y + cr * (2 - 2 * lr)\n"
      "    b = y + cb * (2 - 2 * lb)\n"
      "    g = (y - lb * b - lr * r) / lg\n"
      "    out += bytes(max(0, min(255, int(v + 0.5) if v > 0 else 0)) for v in (r, g, b))\n"
      "sys.stdout.write(out.hex())\n";
  TempDir dir;
  const std::string scriptPath = dir.File("ycbcr.py");
  WriteBytes(scriptPath, Bytes(script.begin(), script.end()));
  const CommandResult expected = RunCommand(std::string(kPython) + " " + ShellQuote(scriptPath) + " " + ShellQuote(file));
  ASSERT_EQ(expected.exitCode, 0) << expected.err;
  CDIBitmap image;
  ASSERT_EQ(TIFRead(file, image), 1);
  const Bytes ours = ImageRGB<Bytes>(image);
  ASSERT_EQ(ours.size() * 2, expected.out.size());
  int worst = 0;
  for (size_t i = 0; i < ours.size(); ++i) {
    const int want = std::stoi(expected.out.substr(2 * i, 2), nullptr, 16);
    worst = std::max(worst, std::abs(want - ours[i]));
  }
  EXPECT_LE(worst, 1);
}

INSTANTIATE_TEST_SUITE_P(Files, TifSample, testing::ValuesIn(kSamples), [](const auto& info) {
  return TestNameOf(std::filesystem::path(info.param.path).stem().string(), info.index);
});

TEST(TifSamples, EveryCommittedSampleIsChecked) {
  std::set<std::string> listed = ListedPaths(kSamples);
  // Samples whose colour tables are checked by their own tests below.
  listed.insert("tiff/py_gray4_max10.tif");
  listed.insert("tiff/py_pal8_cmap8.tif");
  listed.insert("tiff/im_rgb8_bottomleft.tif");
  ExpectEveryFileListed(listed, "tiff", {".tif"});
}

// The image kind follows the photometric interpretation and bit depth.
TEST(TifRead, KindsFollowPhotometricAndDepth) {
  struct Case {
    const char* path;
    int bits;
    const char* kind;
    int rampType;  // GetGrayRampType of the table, -1: not checked
  };
  const Case kCases[] = {
      {"tiff/im_gray8.tif", 8, "GRAY", 1},       {"tiff/im_gray8_miniswhite.tif", 8, "GRAY", 2},
      {"tiff/im_gray16.tif", 8, "GRAY", 1},      {"tiff/im_pal8.tif", 8, "INDEX", -1},
      {"tiff/im_bw1_fax4.tif", 1, "INDEX", -1},  {"tiff/im_rgb16.tif", 24, "RGB", -1},
      {"tiff/im_cmyk8.tif", 32, "CMYK", -1},     {"tiff/pil_ycbcr8.tif", 24, "RGB", -1},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.path);
    CDIBitmap image;
    ASSERT_EQ(TIFRead(DataPath(c.path), image), 1);
    EXPECT_EQ(image.GetBitCount(), c.bits);
    EXPECT_STREQ(image.GetKindName(), c.kind);
    if (c.rampType >= 0) { EXPECT_EQ(image.GetGrayRampType(), c.rampType); }
  }
}

// Gray levels over a narrowed sample range, and a colour map of 8-bit
// values, follow their formulas; the pixels stay the raw samples.
TEST(TifRead, GrayLevelsAndEightBitColourMaps) {
  {
    // 4-bit samples (2i mod 11, 2i+1 mod 11) with MaxSampleValue 10.
    CDIBitmap image;
    ASSERT_EQ(TIFRead(DataPath("tiff/py_gray4_max10.tif"), image), 1);
    const Bytes table = ColorTable(image);
    for (int i = 0; i < 16; ++i) {
      const int level = i <= 10 ? i * 255 / 10 : i;
      EXPECT_EQ(table[i * 4], level) << i;
      EXPECT_EQ(table[i * 4 + 2], level) << i;
    }
    for (int x = 0; x < 8; ++x) EXPECT_EQ(image.GetPixel(1, x), uint32_t((8 + x) % 11)) << x;
  }
  {
    // Red i, green 255 - i, blue 7i mod 256, all below 256: taken as 8-bit values.
    CDIBitmap image;
    ASSERT_EQ(TIFRead(DataPath("tiff/py_pal8_cmap8.tif"), image), 1);
    const Bytes table = ColorTable(image);
    for (int i = 0; i < 256; ++i) {
      EXPECT_EQ(table[i * 4 + 2], i);
      EXPECT_EQ(table[i * 4 + 1], 255 - i);
      EXPECT_EQ(table[i * 4], (i * 7) % 256);
    }
    EXPECT_EQ(image.GetPixel(1, 3), 19u);
  }
  {
    // A 16-bit colour map: v x 255 / 65535, truncated (v from Pillow's tag 320).
    CDIBitmap image;
    const std::string file = DataPath("tiff/im_pal8.tif");
    ASSERT_EQ(TIFRead(file, image), 1);
    const std::vector<long> map = PillowTags(file)[320];
    ASSERT_EQ(map.size(), 768u);
    const Bytes table = ColorTable(image);
    for (int i = 0; i < 256; ++i) {
      EXPECT_EQ(table[i * 4 + 2], map[i] * 255 / 65535);
      EXPECT_EQ(table[i * 4 + 1], map[256 + i] * 255 / 65535);
      EXPECT_EQ(table[i * 4], map[512 + i] * 255 / 65535);
    }
  }
}

// Orientations 3, 4, 7 and 8 put the first stored row at the bottom; the
// others keep it at the top; nothing is mirrored or turned. Pillow decodes
// the stored rows as they are.
TEST(TifRead, OrientationFlipsOnlyBottomUpFiles) {
  std::vector<std::string> files;
  for (int o = 1; o <= 8; ++o)
    files.push_back(DataPath("third_party/pillow/tiff/g4_orientation_" + std::to_string(o) + ".tif"));
  std::vector<std::string> stored;
  for (const std::string& file : files) stored.push_back(MagickPixels(file, false));
  for (int o = 1; o <= 8; ++o) {
    SCOPED_TRACE(testing::Message() << "orientation " << o);
    CDIBitmap image;
    ASSERT_EQ(TIFRead(files[o - 1], image), 1);
    const size_t rowBytes = size_t(image.GetWidth()) * 3;
    std::string expected = stored[o - 1];
    ASSERT_EQ(expected.size(), rowBytes * image.GetHeight());
    if (o == 3 || o == 4 || o == 7 || o == 8) {
      std::string flipped;
      for (int y = image.GetHeight() - 1; y >= 0; --y) flipped += expected.substr(y * rowBytes, rowBytes);
      expected = flipped;
    }
    EXPECT_TRUE(ImagePixels(image) == expected);
  }
}

struct BadFile {
  const char* path;
  const char* message;  // exact text, or a part of libtiff's text when `part`
  bool part;
};

// Damaged or unsupported files fail with one message and leave the
// caller's image as it was.
TEST(TifRead, DamagedFilesFailWithTheirMessage) {
  const BadFile kBad[] = {
      {"tiff/bad/bits_3.tif", "Sorry, can not handle 3-bit pictures", false},
      {"tiff/bad/channels_2.tif", "Sorry, can not handle 2-channel images", false},
      {"tiff/bad/lab.tif", "Not Supported PhotometricInterpretation", false},
      {"tiff/bad/rgb_4bit.tif", "Can not handle format", false},
      {"tiff/bad/tile_width_12.tif", "Can not handle format", false},
      {"tiff/bad/huge.tif", "Sorry, can not handle 100000 x 100000 pictures", false},
      {"tiff/bad/huge_tile.tif", "No space for tile buffer", false},
      {"tiff/bad/strip_cut.tif", "TIFFFillStrip: Read error on strip 0; got 6 bytes, expected 16", true},
      {"tiff/bad/strip_offset.tif", "TIFFFillStrip: Read error on strip 0", true},
      {"tiff/bad/lzw_garbage.tif", "Using code not yet in table", true},
      // Found by the fuzzer: a 126 MB strip in a 146-byte file (clearing the
      // strip buffer before reading took seconds; now it is not cleared).
      {"tiff/bad/fuzz_timeout_1.tif", "TIFFFillStrip: Read error on strip 0", true},
      {"third_party/libtiff-test-images/logluv-3c-16b.tiff", "Not Supported PhotometricInterpretation", false},
      {"third_party/libtiff-test-images/minisblack-2c-8b-alpha.tiff", "Sorry, can not handle 2-channel images", false},
      {"third_party/pillow/tiff/12bit.cropped.tif", "Sorry, can not handle 12-bit pictures", false},
      {"third_party/pillow/tiff/10ct_32bit_128.tiff", "Sorry, can not handle 32-bit pictures", false},
      {"third_party/pillow/tiff/hopper.Lab.tif", "Not Supported PhotometricInterpretation", false},
  };
  for (const BadFile& bad : kBad) {
    SCOPED_TRACE(bad.path);
    const std::vector<std::string> texts = FailedReadTexts(TIFRead, DataPath(bad.path));
    ASSERT_EQ(texts.size(), 1u);
    if (bad.part) {
      EXPECT_NE(texts[0].find(bad.message), std::string::npos) << texts[0];
    } else {
      EXPECT_EQ(texts[0], bad.message);
    }
  }
  // Files libtiff cannot open at all.
  for (const char* path : {"tiff/bad/not_tiff.tif", "tiff/bad/header_only.tif", "tiff/bad/zero_width.tif", "tiff/bad/ycbcr_sub3.tif"}) {
    SCOPED_TRACE(path);
    platform::RecordingMessageSink sink;
    CDIBitmap image;
    EXPECT_EQ(TIFRead(DataPath(path), image), 0);
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{"error opening TIFF file " + DataPath(path)});
  }
}

// Every file of the fuzzer's finds and of Pillow's crash collection either
// reads or fails with exactly one message; none crashes or hangs.
TEST(TifRead, HostileFilesNeverCrash) {
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(DataPath("third_party/pillow/tiff")))
    files.push_back(entry.path());
  for (const auto& entry : std::filesystem::directory_iterator(DataPath("tiff/bad"))) files.push_back(entry.path());
  for (const std::string& file : files) {
    SCOPED_TRACE(file);
    platform::RecordingMessageSink sink;
    CDIBitmap image;
    const int result = TIFRead(file, image);
    EXPECT_EQ(sink.Texts().size(), result ? 0u : 1u);
    if (result) { EXPECT_TRUE(image.IsAllocated()); }
  }
}

// A test image of each kind with a deterministic pattern.
void FillPattern(CDIBitmap& image) {
  for (int y = 0; y < image.GetHeight(); ++y) {
    Bytes row(image.GetStride());
    for (size_t i = 0; i < row.size(); ++i) row[i] = uint8_t(i * 7 + y * 13 + (i * y) % 5);
    image.PutRow(row.data(), y);
  }
}

// The tags and pixels of the files we write, read back by Pillow and
// ImageMagick.
TEST(TifWrite, TagsAndPixelsFollowTheImageKind) {
  struct Case {
    const char* name;
    int width, bits, options;
    int table;  // 0 kind's own table, 1 descending gray ramp, 2 colours
    int photometric, samples, bitsPerSample;
  };
  const Case kCases[] = {
      {"1-bit", 37, 1, 2, 0, 3, 1, 1},
      {"gray ascending", 37, 8, 1, 0, 1, 1, 8},
      {"gray descending", 37, 8, 1, 1, 0, 1, 8},
      {"palette", 37, 8, 2, 2, 3, 1, 8},
      {"RGB 100 wide", 100, 24, 0, 0, 2, 3, 8},
      {"CMYK", 37, 32, 3, 0, 5, 4, 8},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    CDIBitmap image;
    ASSERT_EQ(image.Create(c.width, 30, c.bits, c.options), 1);
    FillPattern(image);
    Bytes table(image.GetPaletteSize() * 4);
    if (c.table) {
      for (int i = 0; i < 256; ++i) {
        const uint8_t v = uint8_t(255 - i);
        const uint8_t entry[4] = {c.table == 1 ? v : uint8_t(i * 3), c.table == 1 ? v : uint8_t(i * 5),
                                  c.table == 1 ? v : uint8_t(i), 0};
        std::memcpy(&table[i * 4], entry, 4);
      }
      image.SetColorTable(table.data(), 256);
    }
    table = ColorTable(image);
    TempDir dir;
    const std::string file = dir.File("out.tif");
    platform::RecordingMessageSink sink;
    ASSERT_EQ(TIFWrite(file, image, kTifPackBits), 1);
    EXPECT_TRUE(sink.Texts().empty());

    auto tags = PillowTags(file);
    EXPECT_EQ(tags[259], std::vector<long>{32773});
    EXPECT_EQ(tags[262], std::vector<long>{c.photometric});
    EXPECT_EQ(tags[277], std::vector<long>{c.samples});
    EXPECT_EQ(tags[258], std::vector<long>(c.samples, c.bitsPerSample));
    EXPECT_EQ(tags[278], std::vector<long>{std::max(1, 8192 / ((c.width * c.bits + 7) / 8))});
    EXPECT_EQ(tags[274], std::vector<long>{1});
    EXPECT_EQ(tags[284], std::vector<long>{1});
    EXPECT_EQ(tags[280], std::vector<long>(c.samples, 0));
    EXPECT_EQ(tags[281], std::vector<long>(c.samples, 255));
    if (c.photometric == 3) {
      const int entries = image.GetPaletteSize();
      std::vector<long> map;
      for (int channel : {2, 1, 0})
        for (int i = 0; i < entries; ++i) map.push_back(table[i * 4 + channel] * 65535 / 255);
      EXPECT_EQ(tags[320], map);
    }
    EXPECT_TRUE(MagickPixels(file, c.bits == 32) == ImagePixels(image));
  }
}

// Each compression of the dialog on a 1-bit image: the compression and
// option tags, and the same pixels for ImageMagick and Pillow.
TEST(TifWrite, EveryCompressionOfTheDialog) {
  struct Case {
    int index;
    long compression;
    int optionTag;
    long option;
  };
  const Case kCases[] = {{kTifNone, 1, 0, 0}, {kTifPackBits, 32773, 0, 0}, {kTifFax3, 3, 292, 1}, {kTifFax4, 4, 293, 2}};
  CDIBitmap image;
  ASSERT_EQ(image.Create(77, 41, 1, 2), 1);
  FillPattern(image);
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.compression);
    TempDir dir;
    const std::string file = dir.File("out.tif");
    ASSERT_EQ(TIFWrite(file, image, c.index), 1);
    auto tags = PillowTags(file);
    EXPECT_EQ(tags[259], std::vector<long>{c.compression});
    if (c.optionTag) { EXPECT_EQ(tags[c.optionTag], std::vector<long>{c.option}); }
    EXPECT_TRUE(MagickPixels(file, false) == ImagePixels(image));
    EXPECT_TRUE(PillowBatch({file}, kPillowPixels)[0] == ImagePixels(image));
  }
}

TEST(TifWrite, ReportsFailures) {
  CDIBitmap image;
  ASSERT_EQ(image.Create(64, 64, 24, 0), 1);
  {
    platform::RecordingMessageSink sink;
    EXPECT_EQ(TIFWrite("/nonexistent-folder/x.tif", image, kTifNone), 0);
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{"error opening TIFF file /nonexistent-folder/x.tif"});
  }
  {
    // A full disk is a failure, whichever step meets it.
    platform::RecordingMessageSink sink;
    EXPECT_EQ(TIFWrite("/dev/full", image, kTifNone), 0);
    EXPECT_EQ(sink.Texts().size(), 1u);
  }
  {
    // Fax coding takes 1-bit rows only.
    TempDir dir;
    platform::RecordingMessageSink sink;
    EXPECT_EQ(TIFWrite(dir.File("fax.tif"), image, kTifFax4), 0);
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{"failed a scanline write on row 0"});
  }
}

// The command line converts to and from TIFF with the compression option.
TEST(TifCli, ConvertsBothWays) {
  TempDir dir;
  const std::string source = DataPath("tiff/im_rgb8_lzw.tif");
  const std::string bmp = dir.File("a.bmp"), tif = dir.File("b.tif");
  auto result = RunCommand(ShellQuote(CliPath()) + " convert " + ShellQuote(source) + " " + ShellQuote(bmp));
  ASSERT_EQ(result.exitCode, 0) << result.err;
  result = RunCommand(ShellQuote(CliPath()) + " convert " + ShellQuote(bmp) + " " + ShellQuote(tif) +
                      " --tiff-compression packbits");
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(PillowTags(tif)[259], std::vector<long>{32773});
  const std::string expected = MagickPixels(source, false);
  EXPECT_TRUE(MagickPixels(bmp, false) == expected);
  EXPECT_TRUE(MagickPixels(tif, false) == expected);
  result = RunCommand(ShellQuote(CliPath()) + " info " + ShellQuote(tif));
  EXPECT_EQ(result.out, "37 19 24 RGB\n");

  result = RunCommand(ShellQuote(CliPath()) + " convert " + ShellQuote(DataPath("tiff/bad/bits_3.tif")) + " " +
                      ShellQuote(dir.File("c.bmp")));
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.err.find("Sorry, can not handle 3-bit pictures"), std::string::npos) << result.err;
}

}  // namespace
