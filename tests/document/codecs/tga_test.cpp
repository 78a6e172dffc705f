// TGA reader and writer. Pixels are checked against what ImageMagick and
// Pillow decode from the same file. For 5-5-5 pixels and map entries the
// two programs widen each channel to the full range while we take the
// channel times 8: there the check is that our value is the oracle's top
// five bits with the low three clear.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "document/codecs/tga.h"
#include "image/color_convert.h"
#include "image/dibitmap.h"
#include "platform/messages.h"
#include "codec_test_support.h"
#include "test_support.h"

namespace {

using namespace testing_support;
using namespace codec_test;

enum Oracle : unsigned { kMagick = 1, kPillow = 2, kFiveBit = 4 };

// ImageMagick reads the rows in file order and keeps the descriptor's
// origin as the image's orientation; -auto-orient applies it.
std::string MagickRGB(const std::string& file) { return MagickDecode(file, "-auto-orient"); }

const Sample kSamples[] = {
    // Written by ImageMagick (make_samples.sh).
    {"tga/im_rgb24.tga", kMagick | kPillow},
    {"tga/im_rgb24_rle.tga", kMagick | kPillow},
    {"tga/im_rgb24_tl.tga", kMagick | kPillow},
    {"tga/im_rgb24_rle_tl.tga", kMagick | kPillow},
    {"tga/im_rgba32.tga", kMagick | kPillow},
    {"tga/im_rgba32_rle.tga", kMagick | kPillow},
    {"tga/im_pal8.tga", kMagick | kPillow},
    {"tga/im_pal8_rle.tga", kMagick | kPillow},
    {"tga/im_pal8_rle_tl.tga", kMagick | kPillow},
    {"tga/im_gray8.tga", kMagick | kPillow},
    {"tga/im_gray8_rle.tga", kMagick | kPillow},
    // Written by Pillow.
    {"tga/pil_rgb24.tga", kMagick | kPillow},
    {"tga/pil_rgb24_rle.tga", kMagick | kPillow},
    {"tga/pil_rgb24_tl.tga", kMagick | kPillow},
    {"tga/pil_rgb24_rle_tl.tga", kMagick | kPillow},
    {"tga/pil_rgba32.tga", kMagick | kPillow},
    {"tga/pil_rgba32_rle.tga", kMagick | kPillow},
    {"tga/pil_rgba32_tl.tga", kMagick | kPillow},
    {"tga/pil_rgba32_rle_tl.tga", kMagick | kPillow},
    {"tga/pil_l8.tga", kMagick | kPillow},
    {"tga/pil_l8_rle.tga", kMagick | kPillow},
    {"tga/pil_l8_tl.tga", kMagick | kPillow},
    {"tga/pil_l8_rle_tl.tga", kMagick | kPillow},
    {"tga/pil_la16.tga", kPillow},
    {"tga/pil_la16_rle.tga", kPillow},
    {"tga/pil_la16_tl.tga", kPillow},
    {"tga/pil_la16_rle_tl.tga", kPillow},
    {"tga/pil_p8.tga", kMagick | kPillow},
    {"tga/pil_p8_rle.tga", kMagick | kPillow},
    {"tga/pil_p8_tl.tga", kMagick | kPillow},
    {"tga/pil_p8_rle_tl.tga", kMagick | kPillow},
    {"tga/pil_p8_13_rle.tga", kMagick | kPillow},
    {"tga/pil_1.tga", kPillow},
    {"tga/pil_1_13_tl.tga", kPillow},
    // Built by make_samples.sh: 5-5-5 pixels and map entries, a map from
    // entry 16, a 300-entry map with 16-bit indices, packets across rows,
    // right-to-left rows, an unused map in a gray file.
    {"tga/py_rgb16.tga", kMagick | kPillow | kFiveBit},
    {"tga/py_rgb16_rle.tga", kMagick | kFiveBit},
    {"tga/py_pal8_first16.tga", kMagick | kFiveBit},
    {"tga/py_map300_idx16_rle.tga", 0},  // neither reads 16-bit indices: see below
    {"tga/py_rgb24_rle_cross.tga", kMagick | kPillow},
    {"tga/py_rgb24_rtl.tga", kPillow},
    {"tga/py_gray8_unused_map.tga", kPillow},  // ImageMagick applies the map
    // Truevision's test suite and the image-rs encoder sample.
    {"third_party/image-rs/tga/testsuite/cbw8.tga", kMagick | kPillow},
    {"third_party/image-rs/tga/testsuite/ccm8.tga", kMagick | kFiveBit},
    {"third_party/image-rs/tga/testsuite/ctc24.tga", kMagick | kPillow},
    {"third_party/image-rs/tga/testsuite/ubw8.tga", kMagick | kPillow},
    {"third_party/image-rs/tga/testsuite/ucm8.tga", kMagick | kFiveBit},
    {"third_party/image-rs/tga/testsuite/utc16.tga", kMagick | kFiveBit},
    {"third_party/image-rs/tga/testsuite/utc24.tga", kMagick | kPillow},
    {"third_party/image-rs/tga/testsuite/utc32.tga", kMagick | kPillow},
    {"third_party/image-rs/tga/testsuite/b5-attrib.tga", kMagick | kFiveBit},
    {"third_party/image-rs/tga/testsuite/b5-noattrib.tga", kMagick | kFiveBit},
    {"third_party/image-rs/tga/testsuite/b5-cmap.tga", kMagick | kFiveBit},
    {"third_party/image-rs/tga/testsuite/b5-unused-cmap.tga", 0},  // both apply the map: see below
    {"third_party/image-rs/tga/testsuite/cmap_offset.tga", kMagick | kPillow},
    {"third_party/image-rs/tga/testsuite/bottom_left.tga", kMagick},  // Pillow 9.4 overruns these four
    {"third_party/image-rs/tga/testsuite/top_left.tga", kMagick},
    {"third_party/image-rs/tga/testsuite/bottom_right.tga", kMagick},
    {"third_party/image-rs/tga/testsuite/top_right.tga", kMagick},
    {"third_party/image-rs/tga/encoding/black_white.tga", kMagick | kPillow},
    // Pillow's test images.
    {"third_party/pillow/tga/200x32_p_bl_raw_origin.tga", kMagick | kPillow},
    {"third_party/pillow/tga/cross_scan_line.tga", kMagick | kPillow},
    {"third_party/pillow/tga/la.tga", kPillow},
    {"third_party/pillow/tga/p_16.tga", kMagick | kFiveBit},
    {"third_party/pillow/tga/rgb32rle.tga", kMagick | kPillow},
    {"third_party/pillow/tga/rgb32rle_bottom_right.tga", kPillow},
    {"third_party/pillow/tga/rgb32rle_top_right.tga", kPillow},
    {"third_party/pillow/tga/rgba16.tga", kMagick | kFiveBit},
    {"third_party/pillow/tga/tga_id_field.tga", kMagick | kPillow},
    {"third_party/pillow/tga/common/1x1_l_bl_raw.tga", kMagick | kPillow},
    {"third_party/pillow/tga/common/1x1_l_bl_rle.tga", kMagick | kPillow},
    {"third_party/pillow/tga/common/1x1_l_tl_raw.tga", kMagick | kPillow},
    {"third_party/pillow/tga/common/1x1_l_tl_rle.tga", kMagick | kPillow},
    {"third_party/pillow/tga/common/200x32_l_bl_raw.tga", kMagick | kPillow},
    {"third_party/pillow/tga/common/200x32_l_bl_rle.tga", kMagick | kPillow},
    {"third_party/pillow/tga/common/200x32_l_tl_raw.tga", kMagick | kPillow},
    {"third_party/pillow/tga/common/200x32_l_tl_rle.tga", kMagick | kPillow},
    {"third_party/pillow/tga/common/200x32_la_bl_raw.tga", kPillow},
    {"third_party/pillow/tga/common/200x32_la_bl_rle.tga", kPillow},
    {"third_party/pillow/tga/common/200x32_la_tl_raw.tga", kPillow},
    {"third_party/pillow/tga/common/200x32_la_tl_rle.tga", kPillow},
    {"third_party/pillow/tga/common/200x32_p_bl_raw.tga", kMagick | kPillow},
    {"third_party/pillow/tga/common/200x32_p_bl_rle.tga", kMagick | kPillow},
    {"third_party/pillow/tga/common/200x32_p_tl_raw.tga", kMagick | kPillow},
    {"third_party/pillow/tga/common/200x32_p_tl_rle.tga", kMagick | kPillow},
    {"third_party/pillow/tga/common/200x32_rgb_bl_raw.tga", kMagick | kPillow},
    {"third_party/pillow/tga/common/200x32_rgb_bl_rle.tga", kMagick | kPillow},
    {"third_party/pillow/tga/common/200x32_rgb_tl_raw.tga", kMagick | kPillow},
    {"third_party/pillow/tga/common/200x32_rgb_tl_rle.tga", kMagick | kPillow},
    {"third_party/pillow/tga/common/200x32_rgba_bl_raw.tga", kMagick | kPillow},
    {"third_party/pillow/tga/common/200x32_rgba_bl_rle.tga", kMagick | kPillow},
    {"third_party/pillow/tga/common/200x32_rgba_tl_raw.tga", kMagick | kPillow},
    {"third_party/pillow/tga/common/200x32_rgba_tl_rle.tga", kMagick | kPillow},
};

std::string OracleRGB(Oracle oracle, const std::string& file) {
  if (oracle == kMagick) return MagickRGB(file);
  // Every sample Pillow checks is decoded on first use, in one run.
  static std::map<std::string, std::string> decoded;
  return PillowCached(decoded, FilesWith(kSamples, kPillow), file);
}

// 5-5-5 channels: ours must be the oracle's top five bits, times 8.
std::string FiveBit(std::string rgb) {
  for (char& c : rgb) c = char(uint8_t(c) & 0xF8);
  return rgb;
}

class TgaSample : public testing::TestWithParam<Sample> {};

// Reads the sample and compares with every oracle; writes it with our
// writer, uncompressed and RLE, reads that back (rows and table must be
// identical) and lets ImageMagick decode our files too.
TEST_P(TgaSample, ReadsLikeOraclesAndRoundTrips) {
  const std::string file = DataPath(GetParam().path);
  platform::RecordingMessageSink sink;
  CDIBitmap image;
  ASSERT_EQ(TGARead(file, image), 1);
  EXPECT_TRUE(sink.Texts().empty());
  const std::string ours = ImageRGB(image);
  ASSERT_EQ(ours.size(), size_t(image.GetWidth()) * image.GetHeight() * 3);
  const bool fiveBit = GetParam().oracles & kFiveBit;
  if (fiveBit) {
    EXPECT_TRUE(FiveBit(ours) == ours);
  }
  for (Oracle oracle : {kMagick, kPillow}) {
    if (!(GetParam().oracles & oracle)) continue;
    SCOPED_TRACE(testing::Message() << "oracle " << oracle);
    const std::string theirs = OracleRGB(oracle, file);
    EXPECT_TRUE((fiveBit ? FiveBit(theirs) : theirs) == ours);
  }

  TempDir dir;
  for (int compression : {0, 1}) {
    SCOPED_TRACE(testing::Message() << "written with compression " << compression);
    const std::string copy = dir.File("copy" + std::to_string(compression) + ".tga");
    ASSERT_EQ(TGAWrite(copy, image, compression, 0), 1);
    CDIBitmap back;
    ASSERT_EQ(TGARead(copy, back), 1);
    ASSERT_EQ(back.GetBitCount(), image.GetBitCount() == 1 ? 8 : image.GetBitCount());
    ASSERT_EQ(back.GetWidth(), image.GetWidth());
    ASSERT_EQ(back.GetHeight(), image.GetHeight());
    EXPECT_EQ(back.IsGray(), image.IsGray());
    EXPECT_TRUE(ImageRGB(back) == ours);
    if (image.GetBitCount() == 8) {
      ASSERT_NO_FATAL_FAILURE(ExpectSameBitmap(image, back));
    }
    EXPECT_TRUE(MagickRGB(copy) == ours);
  }
}

INSTANTIATE_TEST_SUITE_P(Files, TgaSample, testing::ValuesIn(kSamples), [](const auto& info) {
  return TestNameOf(std::filesystem::path(info.param.path).stem().string(), info.index);
});

TEST(TgaSamples, EveryCommittedSampleIsChecked) { ExpectEveryFileListed(ListedPaths(kSamples), "tga", {".tga"}); }

// Where ImageMagick and Pillow misread a file (an unused colour map in a
// true-colour file, 16-bit indices into a long map), the picture is known
// otherwise: Truevision's b5 files hold one picture in three layouts, and
// the long-map sample's pixel (x, y) is map entry (11 x + 29 y) mod 300,
// entry i being blue 7 i, green 3 i, red i (mod 256).
TEST(TgaRead, FilesThePeersMisreadGiveTheKnownPicture) {
  CDIBitmap reference;
  ASSERT_EQ(TGARead(DataPath("third_party/image-rs/tga/testsuite/b5-noattrib.tga"), reference), 1);
  for (const char* other : {"b5-unused-cmap", "b5-attrib"}) {
    SCOPED_TRACE(other);
    CDIBitmap image;
    ASSERT_EQ(TGARead(DataPath(std::string("third_party/image-rs/tga/testsuite/") + other + ".tga"), image), 1);
    EXPECT_TRUE(ImageRGB(image) == ImageRGB(reference));
  }

  CDIBitmap image;
  ASSERT_EQ(TGARead(DataPath("tga/py_map300_idx16_rle.tga"), image), 1);
  ASSERT_EQ(image.GetBitCount(), 24);
  for (int y = 0; y < image.GetHeight(); ++y)
    for (int x = 0; x < image.GetWidth(); ++x) {
      const uint32_t i = (11 * x + 29 * y) % 300;
      EXPECT_EQ(image.GetPixel(y, x), ((i * 7 % 256) << 16) | ((i * 3 % 256) << 8) | (i % 256)) << x << "," << y;
    }
}

// Damaged or unsupported files fail with their message (or silently for an
// image type we do not read) and leave the caller's image as it was.
TEST(TgaRead, DamagedFilesFailWithTheirMessage) {
  const std::string kHeader = "TGACODE: Error reading header information!\n";
  const std::string kData = "TGACODE: Error reading image data!\n";
  const std::map<std::string, std::string> kBad = {
      {"tga/bad/header_cut.tga", kHeader},
      {"tga/bad/id_cut.tga", kHeader},
      {"tga/bad/map_cut.tga", kHeader},
      {"tga/bad/truncated_rgb24.tga", kData},
      {"tga/bad/truncated_pal8_rle.tga", kData},
      {"tga/bad/truncated_rgb16_rle.tga", kData},
      {"tga/bad/type_32.tga", ""},
      {"tga/bad/gray_depth_24.tga", "TGACODE: Unsupported pixel depth 24 for image type 3\n"},
      {"tga/bad/rgb_depth_12.tga", "TGACODE: Unsupported pixel depth 12 for image type 2\n"},
      {"tga/bad/map_entry_12.tga", "TGACODE: Unsupported colour map entry size 12\n"},
      {"tga/bad/mapped_without_map.tga", "TGACODE: Colour-mapped image without a colour map\n"},
      {"tga/bad/zero_width.tga", "TGACODE: Invalid image size 0 x 11\n"},
      {"tga/bad/huge_size.tga", "TGACODE: Image too large (60000 x 60000)\n"},
      {"tga/bad/no_such_file.tga", "TGACODE: Cannot open input file " + DataPath("tga/bad/no_such_file.tga")},
      {"third_party/pillow/tga/p_8.tga", kHeader},
      {"third_party/pillow/tga/cross_scan_line_truncated.tga", kData},
  };
  for (const auto& [path, message] : kBad) {
    SCOPED_TRACE(path);
    EXPECT_EQ(FailedReadTexts(TGARead, DataPath(path)), TextsOrNone(message));
  }
}

// A final packet longer than what is left of the image is cut at the image
// end; the bytes after it are ignored.
TEST(TgaRead, PacketPastTheImageEndIsCut) {
  platform::RecordingMessageSink sink;
  CDIBitmap image;
  ASSERT_EQ(TGARead(DataPath("tga/bad/rle_past_end.tga"), image), 1);
  EXPECT_TRUE(sink.Texts().empty());
  ASSERT_EQ(image.GetWidth(), 4);
  ASSERT_EQ(image.GetHeight(), 2);
  // Raw pixels (blue, green, red) 1,2,3 / 4,5,6 / 7,8,9, then the run 10,20,30.
  const Bytes top = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 20, 30};
  const Bytes bottom = {10, 20, 30, 10, 20, 30, 10, 20, 30, 10, 20, 30};
  Bytes row(12);
  image.GetRow(row.data(), 0);
  EXPECT_EQ(row, top);
  image.GetRow(row.data(), 1);
  EXPECT_EQ(row, bottom);
}

// Files of many packets of every length, runs and raw, crossing row ends
// and larger than the reader's buffer, 8 (gray) and 24 bits: the pixels are
// those the packets spell out, top row first (descriptor 0x20).
TEST(TgaRead, ManyPacketsAcrossRowsAndBuffers) {
  uint32_t seed = 2024;
  auto next = [&seed] { return seed = seed * 1103515245u + 12345u, seed >> 16; };
  for (const int bytes : {1, 3}) {
    SCOPED_TRACE(bytes);
    const int w = 997, h = 300;
    Bytes file = {0, 0, uint8_t(bytes == 1 ? 11 : 10), 0, 0, 0, 0, 0, 0, 0, 0, 0,
                  uint8_t(w), uint8_t(w >> 8), uint8_t(h), uint8_t(h >> 8), uint8_t(8 * bytes), 0x20};
    Bytes pixels;
    const size_t total = size_t(w) * h * bytes;
    while (pixels.size() < total) {
      // Mostly short packets, some of full length.
      const int count = next() % 4 == 0 ? 1 + int(next() % 128) : 1 + int(next() % 3);
      const bool run = next() % 2;
      file.push_back(uint8_t((run ? 0x80 : 0) | (count - 1)));
      Bytes pixel(bytes);
      for (int i = 0; i < count; ++i) {
        if (i == 0 || !run) {
          for (auto& v : pixel) v = uint8_t(next());
          if (!run || i == 0) file.insert(file.end(), pixel.begin(), pixel.end());
        }
        pixels.insert(pixels.end(), pixel.begin(), pixel.end());
      }
    }
    pixels.resize(total);
    TempDir dir;
    WriteBytes(dir.File("many.tga"), file);
    CDIBitmap image;
    platform::RecordingMessageSink sink;
    ASSERT_EQ(TGARead(dir.File("many.tga"), image), 1);
    EXPECT_TRUE(sink.Texts().empty());
    ASSERT_EQ(image.GetBitCount(), 8 * bytes);
    Bytes row(size_t(w) * bytes);
    for (int y = 0; y < h; ++y) {
      image.GetRow(row.data(), y);
      ASSERT_TRUE(std::equal(row.begin(), row.end(), pixels.begin() + size_t(y) * row.size())) << "row " << y;
    }
  }
}

// The file our writer must produce: 18-byte header (type, map, size, depth,
// descriptor 0x20), the map as blue, green, red, then the rows top first.
Bytes ExpectedFile(int type, int w, int h, int depth, const Bytes& mapBgr, const Bytes& data) {
  const int entries = static_cast<int>(mapBgr.size() / 3);
  Bytes f = {0, uint8_t(entries ? 1 : 0), uint8_t(type), 0, 0, uint8_t(entries), uint8_t(entries >> 8),
             uint8_t(entries ? 24 : 0), 0, 0, 0, 0, uint8_t(w), uint8_t(w >> 8), uint8_t(h), uint8_t(h >> 8),
             uint8_t(depth), 0x20};
  f.insert(f.end(), mapBgr.begin(), mapBgr.end());
  f.insert(f.end(), data.begin(), data.end());
  return f;
}

Bytes Repeat(const Bytes& pixel, int n) {
  Bytes out;
  for (int i = 0; i < n; ++i) out.insert(out.end(), pixel.begin(), pixel.end());
  return out;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// Byte layout of every kind we write, and the packet rules: groups of 8 or
// more equal pixels are runs, smaller groups raw packets of equal pixels,
// at most 128 pixels a packet, never across rows.
TEST(TgaWrite, WritesTheExactLayout) {
  const Bytes a = {9, 8, 7}, b = {1, 2, 3}, c = {4, 5, 6}, d = {200, 100, 0};
  // 24-bit rows (blue, green, red), top first.
  const std::vector<Bytes> rgbRows = {
      Concat({Repeat(a, 10), b, c, d}),  // run of 10, three raw packets of one
      Concat({Repeat(b, 5), Repeat(c, 8)}),  // raw packet of 5 equal pixels, run of 8
  };
  const Bytes rgbRle = Concat({{0x89}, a, {0}, b, {0}, c, {0}, d, {4}, Repeat(b, 5), {0x87}, c});
  // 130 equal indices then one other: a run of 128, a raw packet of 2, one of 1.
  const Bytes indexRow = Concat({Bytes(130, 5), {6}});
  const Bytes indexRle = Concat({{0xFF, 5}, {1, 5, 5}, {0, 6}});

  struct Case {
    const char* name;
    int bits, options, compression;
    std::vector<Bytes> rows;  // packed image rows, top first
    Bytes expected;
  };
  Bytes palette(256 * 4, 0), paletteBgr;
  for (int i = 0; i < 256; ++i) {
    palette[4 * i] = uint8_t(i), palette[4 * i + 1] = uint8_t(255 - i), palette[4 * i + 2] = uint8_t(i * 3);
    paletteBgr.insert(paletteBgr.end(), {uint8_t(i), uint8_t(255 - i), uint8_t(i * 3)});
  }
  const Case kCases[] = {
      {"24-bit raw", 24, 0, 0, rgbRows, ExpectedFile(2, 13, 2, 24, {}, Concat({rgbRows[0], rgbRows[1]}))},
      {"24-bit RLE", 24, 0, 1, rgbRows, ExpectedFile(10, 13, 2, 24, {}, rgbRle)},
      {"8-bit gray raw", 8, 1, 0, {indexRow}, ExpectedFile(3, 131, 1, 8, {}, indexRow)},
      {"8-bit gray RLE: type 11, no map", 8, 1, 1, {indexRow}, ExpectedFile(11, 131, 1, 8, {}, indexRle)},
      {"8-bit palette raw", 8, 2, 0, {indexRow}, ExpectedFile(1, 131, 1, 8, paletteBgr, indexRow)},
      {"8-bit palette RLE", 8, 2, 1, {indexRow}, ExpectedFile(9, 131, 1, 8, paletteBgr, indexRle)},
      // 1 bit: colour-mapped, the two table entries, one index byte a pixel.
      {"1-bit raw", 1, 0, 0, {{0xA0, 0x80}}, ExpectedFile(1, 9, 1, 8, {0, 0, 0, 255, 255, 255}, {1, 0, 1, 0, 0, 0, 0, 0, 1})},
      {"1-bit RLE", 1, 0, 1, {{0x00, 0x00}}, ExpectedFile(9, 9, 1, 8, {0, 0, 0, 255, 255, 255}, {0x88, 0})},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    const int width = c.bits == 1 ? 9 : static_cast<int>(c.rows[0].size()) / (c.bits / 8);
    CDIBitmap image;
    ASSERT_EQ(image.Create(width, static_cast<int>(c.rows.size()), c.bits, c.options), 1);
    if (c.bits == 8 && c.options == 2) image.SetColorTable(palette.data(), 256);
    for (size_t y = 0; y < c.rows.size(); ++y) image.PutRow(c.rows[y].data(), static_cast<int>(y));
    TempDir dir;
    platform::RecordingMessageSink sink;
    ASSERT_EQ(TGAWrite(dir.File("out.tga"), image, c.compression, 0), 1);
    EXPECT_EQ(ReadBytes(dir.File("out.tga")), c.expected);
    EXPECT_TRUE(sink.Texts().empty());
  }
}

// A CMYK image is written as 24-bit RGB through the colour-mode conversion;
// ImageMagick and Pillow decode our files of every kind to our pixels.
TEST(TgaWrite, CmykAndOtherKindsDecodeInOtherPrograms) {
  TempDir dir;
  CDIBitmap cmyk;
  ASSERT_EQ(cmyk.Create(5, 3, 32, 3), 1);
  const Bytes cmykRow = {0, 0, 0, 0, 255, 0, 0, 0, 0, 255, 0, 0, 10, 20, 30, 40, 0, 0, 0, 255};
  for (int y = 0; y < 3; ++y) cmyk.PutRow(cmykRow.data(), y);
  std::string expected;
  for (int y = 0; y < 3; ++y)
    for (size_t x = 0; x < cmykRow.size(); x += 4) {
      uint8_t r, g, b;
      GL_CMYKToRGB(&cmykRow[x], r, g, b);
      expected += {char(r), char(g), char(b)};
    }
  std::vector<std::string> files, wanted;
  for (int compression : {0, 1}) {
    const std::string file = dir.File("cmyk" + std::to_string(compression) + ".tga");
    ASSERT_EQ(TGAWrite(file, cmyk, compression, 0), 1);
    CDIBitmap back;
    ASSERT_EQ(TGARead(file, back), 1);
    EXPECT_EQ(back.GetBitCount(), 24);
    EXPECT_TRUE(ImageRGB(back) == expected);
    files.push_back(file), wanted.push_back(expected);
  }
  // A 1-bit image with a coloured table, and the committed samples of
  // other kinds, written both ways.
  CDIBitmap mono;
  ASSERT_EQ(mono.Create(11, 2, 1, 2), 1);
  const Bytes monoTable = {40, 80, 120, 0, 250, 200, 150, 0}, monoRow = {0xB5, 0x40};
  mono.SetColorTable(monoTable.data(), 2);
  mono.PutRow(monoRow.data(), 0), mono.PutRow(monoRow.data(), 1);
  for (int compression : {0, 1}) {
    const std::string file = dir.File("mono" + std::to_string(compression) + ".tga");
    ASSERT_EQ(TGAWrite(file, mono, compression, 0), 1);
    files.push_back(file), wanted.push_back(ImageRGB(mono));
  }
  for (const char* sample : {"tga/im_pal8.tga", "tga/pil_l8_tl.tga", "tga/im_rgb24_rle.tga"}) {
    CDIBitmap image;
    ASSERT_EQ(TGARead(DataPath(sample), image), 1);
    for (int compression : {0, 1}) {
      const std::string file = dir.File(std::filesystem::path(sample).stem().string() + std::to_string(compression) + ".tga");
      ASSERT_EQ(TGAWrite(file, image, compression, 0), 1);
      files.push_back(file), wanted.push_back(ImageRGB(image));
    }
  }
  const std::vector<std::string> pillow = PillowBatch(files);
  for (size_t i = 0; i < files.size(); ++i) {
    SCOPED_TRACE(files[i]);
    EXPECT_TRUE(pillow[i] == wanted[i]);
    EXPECT_TRUE(MagickRGB(files[i]) == wanted[i]);
  }
}

// Long rows of runs and single pixels, raw and run-length coded, 8 and 24
// bits: Pillow decodes what we wrote to our pixels.
TEST(TgaWrite, LongRowsOfRunsDecodeInPillow) {
  TempDir dir;
  std::vector<std::string> files;
  std::vector<std::string> expected;
  uint32_t seed = 99;
  auto next = [&seed] { return seed = seed * 1103515245u + 12345u, seed >> 16; };
  for (const auto& [bits, options] : {std::pair{24, 0}, std::pair{8, 1}}) {
    CDIBitmap image;
    ASSERT_EQ(image.Create(997, 5, bits, options), 1);
    const int bytes = bits / 8;
    Bytes row(size_t(997) * bytes);
    for (int y = 0; y < 5; ++y) {
      for (size_t x = 0; x < 997;) {
        const size_t length = std::min<size_t>(997 - x, 1 + next() % (y % 2 ? 3 : 200));
        Bytes pixel(bytes);
        for (auto& b : pixel) b = uint8_t(next());
        for (size_t i = 0; i < length; ++i, ++x) std::copy(pixel.begin(), pixel.end(), row.begin() + x * bytes);
      }
      image.PutRow(row.data(), y);
    }
    for (int compression : {0, 1}) {
      files.push_back(dir.File(std::to_string(bits) + "_" + std::to_string(compression) + ".tga"));
      ASSERT_EQ(TGAWrite(files.back(), image, compression, 0), 1);
      expected.push_back(ImageRGB(image));
    }
  }
  const std::vector<std::string> decoded = PillowBatch(files);
  for (size_t i = 0; i < files.size(); ++i) EXPECT_TRUE(decoded[i] == expected[i]) << files[i];
}

TEST(TgaWrite, ReportsWriteFailures) {
  CDIBitmap image;
  ASSERT_EQ(image.Create(64, 64, 24, 0), 1);
  // Every writing path: raw rows straight from the bitmap, raw rows built
  // in a buffer (CMYK), and run-length packets; large enough to need more
  // than one write.
  for (const auto& [width, bits, options, compression] :
       {std::tuple{64, 24, 0, 1}, std::tuple{3000, 24, 0, 0}, std::tuple{3000, 8, 1, 0}, std::tuple{3000, 32, 3, 0},
        std::tuple{3000, 8, 1, 1}}) {
    SCOPED_TRACE(std::to_string(bits) + " bits, compression " + std::to_string(compression));
    CDIBitmap big;
    ASSERT_EQ(big.Create(width, 200, bits, options), 1);
    platform::RecordingMessageSink sink;
    EXPECT_EQ(TGAWrite("/dev/full", big, compression, 0), 0);
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{"TGACODE: Error writing header information!\n"});
  }
  {
    platform::RecordingMessageSink sink;
    EXPECT_EQ(TGAWrite("/nonexistent-folder/x.tga", image, 0, 0), 0);
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{"TGACODE: Cannot open Output file /nonexistent-folder/x.tga"});
  }
}

// The command line opens and saves TGA through the dispatch, with the
// compression option choosing the image type.
TEST(TgaCli, ConvertsToAndFromTga) {
  TempDir dir;
  const std::string bmp = dir.File("in.bmp"), tga = dir.File("out.tga"), back = dir.File("back.bmp");
  ASSERT_EQ(RunCommand(std::string(kImageMagick) + " " + ShellQuote(DataPath("tga/im_rgb24.tga")) + " BMP3:" +
                       ShellQuote(bmp)).exitCode, 0);
  for (const auto& [option, type] : {std::pair{"none", 2}, std::pair{"rle", 10}}) {
    SCOPED_TRACE(option);
    const CommandResult toTga = RunCommand(ShellQuote(CliPath()) + " convert " + ShellQuote(bmp) + " " + ShellQuote(tga) +
                                           " --tga-compression " + option);
    ASSERT_EQ(toTga.exitCode, 0) << toTga.err;
    EXPECT_EQ(ReadBytes(tga).at(2), type);
    EXPECT_TRUE(MagickRGB(tga) == MagickRGB(bmp));
    const CommandResult fromTga = RunCommand(ShellQuote(CliPath()) + " convert " + ShellQuote(tga) + " " + ShellQuote(back));
    ASSERT_EQ(fromTga.exitCode, 0) << fromTga.err;
    EXPECT_TRUE(MagickRGB(back) == MagickRGB(bmp));
  }
  const CommandResult info = RunCommand(ShellQuote(CliPath()) + " info " + ShellQuote(DataPath("tga/pil_p8_rle.tga")));
  EXPECT_EQ(info.out, "37 11 8 INDEX\n");
  const CommandResult bad = RunCommand(ShellQuote(CliPath()) + " convert " + ShellQuote(DataPath("tga/bad/truncated_rgb24.tga")) +
                                       " " + ShellQuote(back));
  EXPECT_EQ(bad.exitCode, 1);
  EXPECT_NE(bad.err.find("TGACODE: Error reading image data!"), std::string::npos);
}

}  // namespace
