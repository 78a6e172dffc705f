// BMP reader and writer. Pixels are checked against what ImageMagick and
// Pillow decode from the same file, or against a small reference decoder
// written here from the bit-field formula where those programs disagree
// with each other (16-bit channels: ImageMagick widens 5- and 6-bit values
// by bit replication, Pillow by truncating v * 255 / max; we replicate).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "document/codecs/bmp.h"
#include "image/dibitmap.h"
#include "codec_test_support.h"
#include "platform/messages.h"
#include "test_support.h"

namespace {

using namespace testing_support;
using namespace codec_test;

enum Oracle : unsigned { kMagick = 1, kPillow = 2, kReference = 4 };

uint32_t Le(const Bytes& b, size_t at, int n) {
  uint32_t v = 0;
  for (int i = n - 1; i >= 0; --i) v = (v << 8) | b.at(at + i);
  return v;
}

std::string MagickRGB(const std::string& file) { return MagickDecode(file); }

// Widens an n-bit channel value to 8 bits by repeating its bits from the top.
uint32_t Replicate(uint32_t v, int n) {
  if (n == 0) return 0;
  uint64_t acc = 0;
  int have = 0;
  while (have < 8) acc = (acc << n) | v, have += n;
  return static_cast<uint32_t>(acc >> (have - 8)) & 0xFF;
}

// Reference decoder for uncompressed Windows-header files: indexed (1, 2, 4,
// 8 bits) and bit-field (16, 32 bits) pixels.
std::string ReferenceRGB(const std::string& file) {
  const Bytes b = ReadBytes(file);
  const uint32_t offset = Le(b, 10, 4), headerSize = Le(b, 14, 4);
  const int w = static_cast<int32_t>(Le(b, 18, 4)), rawH = static_cast<int32_t>(Le(b, 22, 4));
  const int bits = Le(b, 28, 2), h = std::abs(rawH);
  const uint32_t compression = Le(b, 30, 4), used = Le(b, 46, 4);
  std::array<uint32_t, 3> masks = bits == 16 ? std::array<uint32_t, 3>{0x7C00, 0x3E0, 0x1F}
                                             : std::array<uint32_t, 3>{0xFF0000, 0xFF00, 0xFF};
  if (compression == 3) masks = {Le(b, 54, 4), Le(b, 58, 4), Le(b, 62, 4)};
  const size_t stride = (static_cast<size_t>(w) * bits + 31) / 32 * 4;
  const uint32_t entries = bits <= 8 ? std::min<uint32_t>(used ? used : 1u << bits, 1u << bits) : 0;
  std::string out;
  for (int y = 0; y < h; ++y) {
    const size_t row = offset + stride * (rawH < 0 ? y : h - 1 - y);
    for (int x = 0; x < w; ++x) {
      if (bits <= 8) {
        const size_t bit = static_cast<size_t>(x) * bits;
        const uint32_t index = (b.at(row + bit / 8) >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
        const size_t e = 14 + headerSize + 4 * index;
        if (index < entries) out += {char(b.at(e + 2)), char(b.at(e + 1)), char(b.at(e))};
        else out += std::string(3, '\0');
        continue;
      }
      const uint32_t v = Le(b, row + static_cast<size_t>(x) * (bits / 8), bits / 8);
      for (uint32_t m : masks) {
        const int low = m ? __builtin_ctz(m) : 0;
        const int n = m ? 32 - __builtin_clz(m >> low) : 0;
        out += char(n > 8 ? ((v & m) >> low) >> (n - 8) : Replicate((v & m) >> low, n));
      }
    }
  }
  return out;
}

const Sample kSamples[] = {
    // Written by ImageMagick and Pillow (make_samples.sh).
    {"bmp/im_rgb24_v5.bmp", kMagick | kPillow},
    {"bmp/im_rgb24_v3.bmp", kMagick | kPillow},
    {"bmp/im_rgb24_os2.bmp", kMagick | kPillow},
    {"bmp/im_pal8_v3.bmp", kMagick | kPillow | kReference},
    {"bmp/im_pal8_rle8.bmp", kMagick | kPillow},
    {"bmp/im_pal8_rle8_13.bmp", kMagick | kPillow},
    {"bmp/im_pal8_os2.bmp", kMagick | kPillow},
    {"bmp/im_gray8_v3.bmp", kMagick | kPillow},
    {"bmp/im_pal4_v3.bmp", kMagick | kPillow | kReference},
    {"bmp/im_pal4_os2.bmp", kMagick | kPillow},
    {"bmp/im_pal1_v3.bmp", kMagick | kPillow | kReference},
    {"bmp/im_pal1_os2.bmp", kMagick | kPillow},
    {"bmp/im_rgb16_565.bmp", kMagick | kReference},
    {"bmp/im_rgb16_555.bmp", kMagick | kReference},
    {"bmp/im_argb16_1555.bmp", kMagick | kReference},
    {"bmp/im_argb16_4444.bmp", kReference},  // ImageMagick widens 4 bits to 0xF0, not 0xFF
    {"bmp/im_rgba32_v5.bmp", kMagick | kPillow | kReference},
    {"bmp/pil_rgb24.bmp", kMagick | kPillow},
    {"bmp/pil_rgb24_13.bmp", kMagick | kPillow},
    {"bmp/pil_l8.bmp", kMagick | kPillow},
    {"bmp/pil_p8.bmp", kMagick | kPillow},
    {"bmp/pil_1.bmp", kMagick | kPillow},
    {"bmp/pil_1_13.bmp", kMagick | kPillow},
    {"bmp/pil_rgba32.bmp", kMagick | kPillow | kReference},  // BGRA with sizes filled in: read as RGB
    // Built by make_samples.sh; Pillow 9 misreads RLE4 absolute runs and lacks 56-byte headers.
    {"bmp/py_pal4_rle4.bmp", kMagick},
    {"bmp/py_rgb24_topdown.bmp", kMagick | kPillow},
    {"bmp/py_rgb32_v3_fields.bmp", kMagick | kReference},
    // BMP Suite, good files.
    {"third_party/bmpsuite-2.8/g/pal1.bmp", kMagick | kPillow},
    {"third_party/bmpsuite-2.8/g/pal4.bmp", kMagick | kPillow},
    {"third_party/bmpsuite-2.8/g/pal4rle.bmp", kMagick},
    {"third_party/bmpsuite-2.8/g/pal8-0.bmp", kMagick | kPillow},
    {"third_party/bmpsuite-2.8/g/pal8.bmp", kMagick | kPillow},
    {"third_party/bmpsuite-2.8/g/pal8os2.bmp", kMagick | kPillow},
    {"third_party/bmpsuite-2.8/g/pal8rle.bmp", kMagick | kPillow},
    {"third_party/bmpsuite-2.8/g/pal8topdown.bmp", kMagick | kPillow},
    {"third_party/bmpsuite-2.8/g/pal8v4.bmp", kMagick | kPillow},
    {"third_party/bmpsuite-2.8/g/pal8v5.bmp", kMagick | kPillow},
    {"third_party/bmpsuite-2.8/g/pal8w126.bmp", kMagick | kPillow},
    {"third_party/bmpsuite-2.8/g/rgb16.bmp", kMagick | kReference},
    {"third_party/bmpsuite-2.8/g/rgb16-565.bmp", kMagick | kReference},
    {"third_party/bmpsuite-2.8/g/rgb16-565pal.bmp", kMagick | kReference},
    {"third_party/bmpsuite-2.8/g/rgb24.bmp", kMagick | kPillow},
    {"third_party/bmpsuite-2.8/g/rgb24pal.bmp", kMagick | kPillow},
    {"third_party/bmpsuite-2.8/g/rgb32.bmp", kMagick | kPillow},
    {"third_party/bmpsuite-2.8/g/rgb32bf.bmp", kMagick | kReference},
    {"third_party/bmpsuite-2.8/g/rgb32bfdef.bmp", kMagick | kPillow},
    // BMP Suite, questionable files we read: deltas, cut-off RLE (rest index 0),
    // one-entry and overlapping tables, V2/V3 headers, odd masks.
    {"third_party/bmpsuite-2.8/q/pal1p1.bmp", kMagick | kPillow},
    {"third_party/bmpsuite-2.8/q/pal2.bmp", kReference},
    {"third_party/bmpsuite-2.8/q/pal2color.bmp", kReference},
    {"third_party/bmpsuite-2.8/q/pal4rletrns.bmp", kMagick},
    {"third_party/bmpsuite-2.8/q/pal4rlecut.bmp", kMagick},
    {"third_party/bmpsuite-2.8/q/pal8rletrns.bmp", kMagick},
    {"third_party/bmpsuite-2.8/q/pal8rlecut.bmp", kMagick},
    {"third_party/bmpsuite-2.8/q/pal8offs.bmp", kMagick | kPillow},
    {"third_party/bmpsuite-2.8/q/pal8os2sp.bmp", kMagick | kPillow},
    {"third_party/bmpsuite-2.8/q/pal8os2v2.bmp", kPillow},  // ImageMagick takes 3-byte entries here
    {"third_party/bmpsuite-2.8/q/rgb16-231.bmp", kReference},
    {"third_party/bmpsuite-2.8/q/rgba16-4444.bmp", kReference},
    {"third_party/bmpsuite-2.8/q/rgba16-5551.bmp", kMagick | kReference},
    {"third_party/bmpsuite-2.8/q/rgb32-111110.bmp", kReference},
    {"third_party/bmpsuite-2.8/q/rgba32-1010102.bmp", kReference},
    {"third_party/bmpsuite-2.8/q/rgb32-xbgr.bmp", kMagick | kPillow},
    {"third_party/bmpsuite-2.8/q/rgb32fakealpha.bmp", kMagick | kPillow},
    {"third_party/bmpsuite-2.8/q/rgb32h52.bmp", kMagick | kReference},
    {"third_party/bmpsuite-2.8/q/rgba32h56.bmp", kMagick | kReference},
    {"third_party/bmpsuite-2.8/b/rletopdown.bmp", kMagick},
    {"third_party/bmpsuite-2.8/b/rgb16-880.bmp", kReference},
    // Pillow's test images.
    {"third_party/pillow/bmp-other/hopper.bmp", kMagick | kPillow},
    {"third_party/pillow/bmp-other/hopper_rle8.bmp", kMagick | kPillow},
    {"third_party/pillow/bmp-other/hopper_rle8_grayscale.bmp", kMagick | kPillow},
    {"third_party/pillow/bmp-other/hopper_rle8_row_overflow.bmp", kMagick | kPillow},
    {"third_party/pillow/bmp-other/rgb32bf-rgba.bmp", kMagick | kPillow},
};

std::string OracleRGB(Oracle oracle, const std::string& file) {
  switch (oracle) {
    case kMagick: return MagickRGB(file);
    case kReference: return ReferenceRGB(file);
    case kPillow: {
      // Every sample Pillow checks is decoded on first use, in one run.
      static std::map<std::string, std::string> decoded;
      return PillowCached(decoded, FilesWith(kSamples, kPillow), file);
    }
  }
  return {};
}

class BmpSample : public testing::TestWithParam<Sample> {};

// Reads the sample, compares with every oracle, writes it with our writer,
// reads that back (rows and table must be identical) and lets ImageMagick
// decode our file too.
TEST_P(BmpSample, ReadsLikeOraclesAndRoundTrips) {
  const std::string file = DataPath(GetParam().path);
  platform::RecordingMessageSink sink;
  CDIBitmap image;
  ASSERT_EQ(BMPRead(file, image), 1);
  EXPECT_TRUE(sink.Texts().empty());
  const std::string ours = ImageRGB(image);
  ASSERT_EQ(ours.size(), size_t(image.GetWidth()) * image.GetHeight() * 3);
  for (Oracle oracle : {kMagick, kPillow, kReference}) {
    if (!(GetParam().oracles & oracle)) continue;
    SCOPED_TRACE(testing::Message() << "oracle " << oracle);
    EXPECT_TRUE(OracleRGB(oracle, file) == ours);
  }

  TempDir dir;
  const std::string copy = dir.File("copy.bmp");
  ASSERT_EQ(BMPWrite(copy, image), 1);
  CDIBitmap back;
  ASSERT_EQ(BMPRead(copy, back), 1);
  ASSERT_NO_FATAL_FAILURE(ExpectSameBitmap(image, back));
  EXPECT_TRUE(MagickRGB(copy) == ours);
}

INSTANTIATE_TEST_SUITE_P(Files, BmpSample, testing::ValuesIn(kSamples), [](const auto& info) {
  return TestNameOf(std::filesystem::path(info.param.path).stem().string(), info.index);
});

TEST(BmpSamples, EveryCommittedSampleIsChecked) { ExpectEveryFileListed(ListedPaths(kSamples), "bmp", {".bmp"}); }

// Damaged or unsupported files fail with their message (or silently when
// the file is not a bitmap at all) and leave the caller's image as it was.
TEST(BmpRead, DamagedFilesFailWithTheirMessage) {
  const std::map<std::string, std::string> kBad = {
      {"bmp/bad/truncated_rgb24.bmp", "BMPREAD: Error reading BMP 24 uncompressed\n"},
      {"bmp/bad/truncated_rgb24_os2.bmp", "BMPREAD: Error reading BMP OS2 1.0 24  uncompressed\n"},
      {"bmp/bad/truncated_rgb24_os2v2.bmp", "BMPREAD: Error reading BMP OS2 2.0  24 uncompressed\n"},
      {"bmp/bad/truncated_pal8.bmp", "BMPREAD: Error reading BMP 8 uncompressed\n"},
      {"bmp/bad/truncated_pal4.bmp", "BMPREAD: Error reading BMP 4 uncompressed\n"},
      {"bmp/bad/truncated_pal1_os2.bmp", "BMPREAD: Error reading BMP OS2 1.0 1  uncompressed\n"},
      {"bmp/bad/truncated_rgb16.bmp", "BMPREAD: Error reading BMP 16 uncompressed\n"},
      {"bmp/bad/truncated_rgb32.bmp", "BMPREAD: Error reading BMP 32 uncompressed\n"},
      {"bmp/bad/table_past_end.bmp", "BMPREAD: Colour table past the end of the file\n"},
      {"bmp/bad/offset_past_end.bmp", "BMPREAD: Pixel data offset past the end of the file\n"},
      {"bmp/bad/huge_size.bmp", "BMPREAD: Image too large (100000 x 100000)\n"},
      {"bmp/bad/zero_width.bmp", "BMPREAD: Invalid image size 0 x 11\n"},
      {"bmp/bad/negative_width.bmp", "BMPREAD: Invalid image size -37 x 11\n"},
      {"bmp/bad/zero_height.bmp", "BMPREAD: Invalid image size 37 x 0\n"},
      {"bmp/bad/bit_count_7.bmp", "BMPREAD: Unsupported bit count 7\n"},
      {"bmp/bad/jpeg_payload.bmp", "BMPREAD: Unsupported compression 4 with 24 bits per pixel\n"},
      {"bmp/bad/rle8_in_24bit.bmp", "BMPREAD: Unsupported compression 1 with 24 bits per pixel\n"},
      {"bmp/bad/header_cut.bmp", ""},
      {"bmp/bad/header_size_20.bmp", ""},
      {"bmp/bad/not_bm.bmp", ""},
      {"third_party/bmpsuite-2.8/b/badbitcount.bmp", "BMPREAD: Unsupported bit count 30000\n"},
      {"third_party/bmpsuite-2.8/b/badwidth.bmp", "BMPREAD: Invalid image size -127 x 64\n"},
      {"third_party/bmpsuite-2.8/b/reallybig.bmp", "BMPREAD: Image too large (3000000 x 2000000)\n"},
      {"third_party/bmpsuite-2.8/b/shortfile.bmp", "BMPREAD: Error reading BMP 1 uncompressed\n"},
      {"third_party/bmpsuite-2.8/b/badheadersize.bmp", ""},
      {"third_party/bmpsuite-2.8/q/rgb24jpeg.bmp", "BMPREAD: Unsupported compression 4 with 0 bits per pixel\n"},
      {"third_party/bmpsuite-2.8/q/rgb24png.bmp", "BMPREAD: Unsupported compression 5 with 0 bits per pixel\n"},
      {"third_party/bmpsuite-2.8/q/rgb24rle24.bmp", "BMPREAD: Unsupported compression 4 with 24 bits per pixel\n"},
      {"third_party/bmpsuite-2.8/q/pal1huffmsb.bmp", "BMPREAD: Unsupported compression 3 with 1 bits per pixel\n"},
      {"third_party/bmpsuite-2.8/q/rgba32abf.bmp", "BMPREAD: Unsupported compression 6 with 32 bits per pixel\n"},
      {"third_party/pillow/bmp-other/l2rgb_read.bmp", "BMPREAD: Colour table past the end of the file\n"},
  };
  for (const auto& [path, message] : kBad) {
    SCOPED_TRACE(path);
    EXPECT_EQ(FailedReadTexts(BMPRead, DataPath(path)), TextsOrNone(message));
  }
}

// Files with hostile but readable content: success, nothing written outside
// the image. Rows (top first) follow from the codes by hand.
TEST(BmpRead, HostileRleStaysInsideTheImage) {
  struct Case {
    const char* path;
    std::vector<Bytes> rows;
  };
  const Case kCases[] = {
      // Bottom row: run of 255 x 7; middle: absolute run 1..9 cut to 5; then a
      // delta far past the top and bytes after it that must be ignored.
      {"bmp/bad/rle8_hostile.bmp", {{0, 0, 0, 0, 0}, {1, 2, 3, 4, 5}, {7, 7, 7, 7, 7}}},
      // Data ends inside an absolute run on the second row.
      {"bmp/bad/rle8_cut.bmp", {{0, 0, 0, 0, 0}, {1, 2, 0, 0, 0}, {4, 4, 4, 4, 4}}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.path);
    platform::RecordingMessageSink sink;
    CDIBitmap image;
    ASSERT_EQ(BMPRead(DataPath(c.path), image), 1);
    EXPECT_TRUE(sink.Texts().empty());
    ASSERT_EQ(image.GetHeight(), 3);
    for (int y = 0; y < 3; ++y) {
      Bytes row(5);
      image.GetRow(row.data(), y);
      EXPECT_EQ(row, c.rows[y]) << "row " << y;
    }
  }
  // BMP Suite's broken RLE files, and others with inconsistent fields, read without harm.
  for (const char* name : {"badrle", "badrlebis", "badrleter", "badrle4", "badrle4bis", "badrle4ter", "badplanes",
                           "badpalettesize", "badbitssize", "pal8badindex", "baddens1", "badfilesize"}) {
    SCOPED_TRACE(name);
    platform::RecordingMessageSink sink;
    CDIBitmap image;
    EXPECT_EQ(BMPRead(DataPath(std::string("third_party/bmpsuite-2.8/b/") + name + ".bmp"), image), 1);
    EXPECT_EQ(image.GetWidth(), 127);
  }
}

// A file as our writer lays it out: 14-byte file header, 40-byte header with
// every optional field 0, the table, whole padded rows from the bottom up.
Bytes ExpectedFile(int w, int h, int bits, const Bytes& table, const std::vector<Bytes>& rowsTopDown) {
  const uint32_t stride = (w * bits + 31) / 32 * 4;
  const uint32_t offset = 54 + table.size();
  Bytes f(offset + stride * h, 0);
  auto put = [&](size_t at, uint32_t v, int n) {
    for (int i = 0; i < n; ++i) f[at + i] = uint8_t(v >> (8 * i));
  };
  f[0] = 'B', f[1] = 'M';
  put(2, f.size(), 4), put(10, offset, 4), put(14, 40, 4), put(18, w, 4), put(22, h, 4), put(26, 1, 2);
  put(28, bits, 2);
  std::copy(table.begin(), table.end(), f.begin() + 54);
  for (int y = 0; y < h; ++y)
    std::copy(rowsTopDown[y].begin(), rowsTopDown[y].end(), f.begin() + offset + stride * (h - 1 - y));
  return f;
}

TEST(BmpWrite, WritesTheExactLayout) {
  struct Case {
    const char* name;
    int width, height, bits, options;
    std::vector<Bytes> rows;  // packed, top first
  };
  const Case kCases[] = {
      {"24-bit 3x2: 9 bytes + 3 pad per row, 78 bytes", 3, 2, 24, 0,
       {{1, 2, 3, 4, 5, 6, 7, 8, 9}, {10, 11, 12, 13, 14, 15, 16, 17, 18}}},
      {"1-bit 10x2", 10, 2, 1, 2, {{0xA5, 0xC0}, {0x3C, 0x40}}},
      {"8-bit 5x1", 5, 1, 8, 2, {{0, 1, 2, 254, 255}}},
      {"32-bit CMYK 2x2", 2, 2, 32, 3, {{1, 2, 3, 4, 5, 6, 7, 8}, {9, 10, 11, 12, 13, 14, 15, 16}}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    CDIBitmap image;
    ASSERT_EQ(image.Create(c.width, c.height, c.bits, c.options), 1);
    const int entries = image.GetPaletteSize();
    Bytes table(entries * 4);
    for (size_t i = 0; i < table.size(); ++i) table[i] = (i % 4 == 3) ? 0 : uint8_t(i * 7 + 1);
    if (entries) image.SetColorTable(table.data(), entries);
    for (int y = 0; y < c.height; ++y) image.PutRow(c.rows[y].data(), y);

    TempDir dir;
    platform::RecordingMessageSink sink;
    ASSERT_EQ(BMPWrite(dir.File("out.bmp"), image), 1);
    EXPECT_EQ(ReadBytes(dir.File("out.bmp")), ExpectedFile(c.width, c.height, c.bits, table, c.rows));

    // Reading it back gives the same kind and pixels (32 bits: CMYK again).
    CDIBitmap back;
    ASSERT_EQ(BMPRead(dir.File("out.bmp"), back), 1);
    EXPECT_EQ(back.GetColorType(), image.GetColorType());
    for (int y = 0; y < c.height; ++y) {
      Bytes row(c.rows[y].size());
      back.GetRow(row.data(), y);
      EXPECT_EQ(row, c.rows[y]);
    }
    EXPECT_TRUE(sink.Texts().empty());
  }
}

// 32-bit files without our writer's all-zero fields are BGRX from other
// programs: read as 24-bit RGB with alpha dropped, as Pillow decodes them.
TEST(BmpRead, ThirtyTwoBitFilesOfOtherWritersAreRgb) {
  TempDir dir;
  const std::string file = dir.File("bgra.bmp");
  ASSERT_EQ(RunCommand(std::string(kPython) +
                       " -c 'import sys; from PIL import Image; im = Image.new(\"RGBA\", (5, 3), (10, 20, 30, 40)); "
                       "im.putpixel((4, 0), (250, 1, 2, 0)); im.save(sys.argv[1])' " + ShellQuote(file))
                .exitCode,
            0);
  const Bytes original = ReadBytes(file);
  // Only a file with image size and both resolutions 0 is one of ours.
  for (auto [from, to] : {std::pair{34, 38}, std::pair{38, 46}}) {
    SCOPED_TRACE(testing::Message() << "zeroed bytes " << from << ".." << to);
    Bytes bytes = original;
    std::fill(bytes.begin() + from, bytes.begin() + to, 0);
    WriteBytes(file, bytes);
    CDIBitmap image;
    ASSERT_EQ(BMPRead(file, image), 1);
    EXPECT_EQ(image.GetBitCount(), 24);
    EXPECT_EQ(ImageRGB(image), PillowBatch({file})[0]);
  }
}

TEST(BmpWrite, ReportsWriteFailures) {
  CDIBitmap image;
  ASSERT_EQ(image.Create(64, 64, 24, 0), 1);
  {
    platform::RecordingMessageSink sink;
    EXPECT_EQ(BMPWrite("/dev/full", image), 0);
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{"fwrite error\nGiving up"});
  }
  {
    platform::RecordingMessageSink sink;
    EXPECT_EQ(BMPWrite("/nonexistent-folder/x.bmp", image), 0);
    EXPECT_TRUE(sink.Texts().empty());
  }
  {
    // 14 + 40 + 8 + 2^17 x 32769 bytes do not fit the 32-bit size field:
    // refused before a file exists. The pixels are never touched, so the
    // 4 GiB block costs address space only.
    CDIBitmap huge;
    ASSERT_EQ(huge.Create(1 << 20, 32769, 1, 2), 1);
    TempDir dir;
    platform::RecordingMessageSink sink;
    EXPECT_EQ(BMPWrite(dir.File("huge.bmp"), huge), 0);
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{"BMPWRITE: Image too large for BMP (1048576 x 32769)\n"});
    EXPECT_FALSE(std::filesystem::exists(dir.File("huge.bmp")));
  }
}

}  // namespace
