// GIF reader and writer. Pixels, indices and colour tables are checked
// against what Pillow and ImageMagick decode from the same file (the first
// frame), and hand-built files against the rows their codes spell out.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "document/codecs/gif.h"
#include "image/color_modes.h"
#include "image/dibitmap.h"
#include "codec_test_support.h"
#include "platform/messages.h"
#include "test_support.h"

namespace {

using namespace testing_support;
using codec_test::Bytes;
using codec_test::FailedReadTexts;

enum Oracle : unsigned { kMagick = 1, kPillow = 2 };

struct Sample {
  const char* path;  // under tests/data; third-party files under third_party/
  unsigned oracles;
  int bits;  // bit count the image must get
};

void PrintTo(const Sample& sample, std::ostream* os) { *os << sample.path; }

// Top-down index bytes of a 1-bit or 8-bit image (1 bit: 0 or 1).
Bytes ImageIndices(const CDIBitmap& image) {
  Bytes out, row(static_cast<size_t>(image.GetWidth()));
  for (int y = 0; y < image.GetHeight(); ++y) {
    image.GetRowBytes(row.data(), y);
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

// Top-down R, G, B bytes through the colour table.
Bytes ImageRGB(const CDIBitmap& image) { return codec_test::ImageRGB<Bytes>(image); }

// ImageMagick's decode of the first frame.
Bytes MagickRGB(const std::string& file) {
  const std::string out = codec_test::MagickDecode(file + "[0]");
  return Bytes(out.begin(), out.end());
}

// Pillow's decode of a file's first frame: size, the index bytes (mode P or
// L), the RGB bytes and the palette.
struct PillowFrame {
  bool ok = false;
  int width = 0, height = 0;
  Bytes indices, rgb, palette;
};

std::vector<PillowFrame> PillowBatch(const std::vector<std::string>& files) {
  TempDir dir;
  std::string command = std::string(kPython) +
                        " -c 'import sys; from PIL import Image\n"
                        "for i, f in enumerate(sys.argv[2:]):\n"
                        "  try:\n"
                        "    im = Image.open(f); im.load(); p = \"%s/%d.\" % (sys.argv[1], i)\n"
                        "    open(p + \"size\", \"w\").write(\"%d %d\" % im.size)\n"
                        "    open(p + \"idx\", \"wb\").write(im.tobytes() if im.mode in (\"P\", \"L\", \"1\") else b\"\")\n"
                        "    open(p + \"rgb\", \"wb\").write(im.convert(\"RGB\").tobytes())\n"
                        "    open(p + \"pal\", \"wb\").write(bytes(im.getpalette() or []) if im.mode == \"P\" else b\"\")\n"
                        "  except Exception as e: print(f, e, file=sys.stderr)' " +
                        ShellQuote(dir.Path().string());
  for (const std::string& f : files) command += " " + ShellQuote(f);
  RunCommand(command);
  std::vector<PillowFrame> out(files.size());
  for (size_t i = 0; i < files.size(); ++i) {
    const std::string p = dir.File(std::to_string(i) + ".");
    if (!std::filesystem::exists(p + "pal")) continue;
    const Bytes size = ReadBytes(p + "size");
    std::sscanf(std::string(size.begin(), size.end()).c_str(), "%d %d", &out[i].width, &out[i].height);
    out[i].indices = ReadBytes(p + "idx");
    out[i].rgb = ReadBytes(p + "rgb");
    out[i].palette = ReadBytes(p + "pal");
    out[i].ok = true;
  }
  return out;
}

const Sample kSamples[] = {
    // Written by ImageMagick and Pillow (make_samples.sh).
    {"gif/im_pal8.gif", kMagick | kPillow, 8},
    {"gif/im_pal8_interlaced.gif", kMagick | kPillow, 8},
    {"gif/im_colors2.gif", kMagick | kPillow, 1},
    {"gif/im_colors4.gif", kMagick | kPillow, 8},
    {"gif/im_colors8.gif", kMagick | kPillow, 8},
    {"gif/im_colors16.gif", kMagick | kPillow, 8},
    {"gif/im_colors32.gif", kMagick | kPillow, 8},
    {"gif/im_colors64.gif", kMagick | kPillow, 8},
    {"gif/im_colors128.gif", kMagick | kPillow, 8},
    {"gif/im_mono.gif", kMagick | kPillow, 1},
    {"gif/im_gray.gif", kMagick | kPillow, 8},
    {"gif/im_transparent.gif", kPillow, 8},
    {"gif/im_offset.gif", kPillow, 8},  // ImageMagick gives the 20 x 12 frame alone
    {"gif/im_anim.gif", kMagick | kPillow, 8},
    {"gif/pil_p.gif", kMagick | kPillow, 8},
    {"gif/pil_p6.gif", kMagick | kPillow, 8},
    {"gif/pil_l.gif", kMagick | kPillow, 8},
    {"gif/pil_1.gif", kMagick | kPillow, 8},  // Pillow writes a 256-entry gray table
    {"gif/pil_interlaced.gif", kMagick | kPillow, 8},
    {"gif/pil_not_interlaced.gif", kMagick | kPillow, 8},
    {"gif/pil_transparency.gif", kPillow, 8},
    {"gif/pil_anim.gif", kMagick | kPillow, 8},
    // Built by make_samples.sh.
    {"gif/py_local_only.gif", kMagick | kPillow, 8},
    {"gif/py_global2_local16.gif", kMagick | kPillow, 8},
    {"gif/py_no_table.gif", kPillow, 8},
    {"gif/py_global2.gif", kMagick | kPillow, 1},
    {"gif/py_deferred_clear.gif", kMagick | kPillow, 8},
    {"gif/py_interlaced10.gif", kMagick | kPillow, 8},
    {"gif/py_extensions.gif", kMagick | kPillow, 8},
    // Reaching past the screen (Pillow widens its canvas instead): pixels
    // checked in PlacesRowsByInterlaceAndOffset.
    {"gif/py_past_screen.gif", 0, 8},
    {"gif/py_past_screen_interlaced.gif", 0, 8},
    // Shared test data.
    {"third_party/debian/golang-1.19-src/image-testdata/video-001.gif", kMagick | kPillow, 8},
    {"third_party/debian/golang-1.19-src/image-testdata/video-001.interlaced.gif", kMagick | kPillow, 8},
    {"third_party/debian/golang-1.19-src/image-testdata/video-001.5bpp.gif", kMagick | kPillow, 8},
    {"third_party/debian/golang-1.19-src/image-testdata/video-005.gray.gif", kMagick | kPillow, 8},
    {"third_party/debian/golang-1.19-src/image-testdata/triangle-001.gif", kMagick | kPillow, 8},
    {"third_party/libtiff-test-images/palette-1c-8b.gif", kMagick | kPillow, 8},
    {"third_party/image-rs/gif/simple/sample_1.gif", kMagick | kPillow, 8},
    {"third_party/image-rs/gif/simple/alpha_gif_a.gif", kPillow, 1},
    {"third_party/image-rs/gif/anim/interlaced.gif", kPillow, 8},
    {"third_party/pillow/gif/hopper.gif", kMagick | kPillow, 8},
    {"third_party/pillow/gif/chi.gif", kMagick | kPillow, 8},
    {"third_party/pillow/gif/iss634.gif", kMagick | kPillow, 8},
    {"third_party/pillow/gif/text_mono.gif", kMagick | kPillow, 8},
    {"third_party/pillow/gif/test.colors.gif", kMagick | kPillow, 8},
    {"third_party/pillow/gif/hopper_zero_comment_subblocks.gif", kMagick | kPillow, 8},
    {"third_party/pillow/gif/comment_after_only_frame.gif", kPillow, 8},
    {"third_party/pillow/gif/no_palette.gif", kPillow, 8},
    {"third_party/pillow/gif/dispose_none.gif", kPillow, 1},
};

std::map<std::string, PillowFrame>& PillowDecodes() {
  static std::map<std::string, PillowFrame> decoded;
  if (decoded.empty()) {
    const std::vector<std::string> files = codec_test::FilesWith(kSamples, kPillow);
    const std::vector<PillowFrame> frames = PillowBatch(files);
    for (size_t i = 0; i < files.size(); ++i) decoded[files[i]] = frames[i];
  }
  return decoded;
}

// Our indices against Pillow's: equal, or for a 1-bit image set where
// Pillow's index is not 0.
void ExpectSameIndices(const CDIBitmap& image, const Bytes& ours, const Bytes& pillow) {
  ASSERT_EQ(pillow.size(), ours.size());
  if (image.GetBitCount() == 8) {
    EXPECT_TRUE(ours == pillow);
    return;
  }
  size_t mismatches = 0;
  for (size_t i = 0; i < ours.size(); ++i) mismatches += ours[i] != (pillow[i] != 0);
  EXPECT_EQ(mismatches, 0u);
}

class GifSample : public testing::TestWithParam<Sample> {};

// Reads the sample and compares indices, colours and table with Pillow and
// colours with ImageMagick; then writes it with our writer, reads that back
// (same indices and table) and lets both programs decode our file.
TEST_P(GifSample, ReadsLikeOraclesAndRoundTrips) {
  const std::string file = DataPath(GetParam().path);
  platform::RecordingMessageSink sink;
  CDIBitmap image;
  ASSERT_EQ(GIFRead(file, image), 1) << testing::PrintToString(sink.Texts());
  EXPECT_TRUE(sink.Texts().empty());
  EXPECT_EQ(image.GetBitCount(), GetParam().bits);
  EXPECT_EQ(image.GetColorType(), CT_PALETTE);
  const Bytes indices = ImageIndices(image);
  const Bytes rgb = ImageRGB(image);

  if (GetParam().oracles & kPillow) {
    SCOPED_TRACE("Pillow");
    const PillowFrame& pillow = PillowDecodes()[file];
    ASSERT_TRUE(pillow.ok);
    ASSERT_EQ(pillow.width, image.GetWidth());
    ASSERT_EQ(pillow.height, image.GetHeight());
    ExpectSameIndices(image, indices, pillow.indices);
    EXPECT_TRUE(pillow.rgb == rgb);
    // The table entries the file gives, in Pillow's reading.
    const int entries = std::min<int>(static_cast<int>(pillow.palette.size()) / 3, image.GetPaletteSize());
    Bytes table(static_cast<size_t>(image.GetPaletteSize()) * 4);
    image.GetColorTable(table.data(), image.GetPaletteSize());
    for (int i = 0; i < entries; ++i) {
      EXPECT_EQ(table[i * 4 + 2], pillow.palette[i * 3]) << "entry " << i;
      EXPECT_EQ(table[i * 4 + 1], pillow.palette[i * 3 + 1]) << "entry " << i;
      EXPECT_EQ(table[i * 4 + 0], pillow.palette[i * 3 + 2]) << "entry " << i;
    }
  }
  if (GetParam().oracles & kMagick) {
    SCOPED_TRACE("ImageMagick");
    EXPECT_TRUE(MagickRGB(file) == rgb);
  }

  TempDir dir;
  const std::string copy = dir.File("copy.gif");
  ASSERT_EQ(GIFWrite(copy, image), 1);
  CDIBitmap back;
  ASSERT_EQ(GIFRead(copy, back), 1);
  ASSERT_EQ(back.GetBitCount(), image.GetBitCount());
  EXPECT_TRUE(ImageIndices(back) == indices);
  EXPECT_EQ(codec_test::ColorTable(back), codec_test::ColorTable(image));
  EXPECT_TRUE(MagickRGB(copy) == rgb);
  const PillowFrame ours = PillowBatch({copy})[0];
  ASSERT_TRUE(ours.ok);
  ExpectSameIndices(image, indices, ours.indices);
}

INSTANTIATE_TEST_SUITE_P(Files, GifSample, testing::ValuesIn(kSamples), [](const auto& info) {
  return codec_test::TestNameOf(std::filesystem::path(info.param.path).stem().string(), info.index);
});

TEST(GifSamples, EveryCommittedSampleIsChecked) {
  codec_test::ExpectEveryFileListed(codec_test::ListedPaths(kSamples), "gif", {".gif"});
}

// Hand-built files whose expected pixels follow from how they were built:
// an interlaced image whose k-th stored row holds index k, and an image
// reaching past the right and bottom of the screen (stored plainly and
// interlaced), whose pixel at screen (x, y) is ((x - 3) x 16 + y - 2) mod
// 256 where it covers the screen and 0 elsewhere.
TEST(GifRead, PlacesRowsByInterlaceAndOffset) {
  CDIBitmap image;
  ASSERT_EQ(GIFRead(DataPath("gif/py_interlaced10.gif"), image), 1);
  const int kOrder[] = {0, 8, 4, 2, 6, 1, 3, 5, 7, 9};
  ASSERT_EQ(image.GetHeight(), 10);
  for (int k = 0; k < 10; ++k)
    for (int x = 0; x < 7; ++x) EXPECT_EQ(image.GetPixel(kOrder[k], x), uint32_t(k)) << "row " << kOrder[k];

  for (const char* name : {"gif/py_past_screen.gif", "gif/py_past_screen_interlaced.gif"}) {
    SCOPED_TRACE(name);
    CDIBitmap placed;
    ASSERT_EQ(GIFRead(DataPath(name), placed), 1);
    ASSERT_EQ(placed.GetWidth(), 10);
    ASSERT_EQ(placed.GetHeight(), 8);
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 10; ++x) {
        const uint32_t expected = (x >= 3 && y >= 2) ? uint32_t(((x - 3) * 16 + y - 2) % 256) : 0;
        EXPECT_EQ(placed.GetPixel(y, x), expected) << x << "," << y;
      }
  }
}

std::string Substitute(std::string text, const std::string& path) {
  const size_t at = text.find("%s");
  if (at != std::string::npos) text.replace(at, 2, path);
  return text;
}

// Damaged files fail with their one message and leave the caller's image
// as it was.
TEST(GifRead, DamagedFilesFailWithTheirText) {
  const std::map<std::string, std::string> kBad = {
      {"gif/bad/magic_cut.gif", "Error reading GIF Magic #\n%s"},
      {"gif/bad/not_gif.gif", "%s is not a valid .GIF file"},
      {"gif/bad/version_88a.gif", "Error, Unsupported GIF Version number"},
      {"gif/bad/screen_cut.gif", "Error, failed to GIF read screen descriptor.\nGiving up"},
      {"gif/bad/global_table_cut.gif", "Error reading GIF colormap"},
      {"gif/bad/no_image.gif", "Unexpected EOF in GIF."},
      {"gif/bad/extension_label_cut.gif", "Error on extension read."},
      {"gif/bad/trailer_first.gif", "Error on dimension read\nGiving up"},
      {"gif/bad/descriptor_cut.gif", "Error on dimension read\nGiving up"},
      {"gif/bad/local_table_cut.gif", "Error reading GIF colormap\nGiving up"},
      {"gif/bad/code_size_missing.gif", "Error reading GIF file\ngifScr Colormap\nGiving up"},
      {"gif/bad/code_size_0.gif", "Error reading GIF file\ngifScr Colormap\nGiving up"},
      {"gif/bad/code_size_12.gif", "Error reading GIF file\nLocalColorMap\nGiving up"},
      {"gif/bad/zero_screen.gif", "Error, invalid GIF screen size 0 x 11.\nGiving up"},
      {"gif/bad/huge_screen.gif", "Error, GIF screen too large (65535 x 65535).\nGiving up"},
      {"third_party/pillow/gif/zero_width.gif", "Error, invalid GIF screen size 0 x 32.\nGiving up"},
  };
  for (const auto& [path, text] : kBad) {
    SCOPED_TRACE(path);
    const std::string file = DataPath(path);
    EXPECT_EQ(FailedReadTexts(GIFRead, file), std::vector<std::string>{Substitute(text, file)});
  }
  EXPECT_EQ(FailedReadTexts(GIFRead, ""), std::vector<std::string>{"No Name Given"});
  EXPECT_EQ(FailedReadTexts(GIFRead, "/nonexistent/x.gif"),
            std::vector<std::string>{"Cant open GIF :\n/nonexistent/x.gif"});
}

// Damaged LZW data ends the image where the damage starts; the read
// succeeds and the rest is index 0. Rows (top first) follow from the codes
// (make_samples.sh lists them).
TEST(GifRead, DamagedDataEndsTheImageEarly) {
  struct Case {
    const char* path;
    std::vector<Bytes> rows;
  };
  const Case kCases[] = {
      {"gif/bad/code_beyond_table.gif", {{1, 2, 3, 3}, {3, 0, 0, 0}}},
      {"gif/bad/first_code_not_literal.gif", {{1, 2, 0, 0}, {0, 0, 0, 0}}},
      {"gif/bad/data_cut.gif", {{3, 1, 2, 0}, {0, 0, 0, 0}}},
      {"gif/bad/file_cut.gif", {{3, 1, 2, 1}, {0, 0, 0, 0}}},
      {"gif/bad/many_codes.gif", {{1}}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.path);
    platform::RecordingMessageSink sink;
    CDIBitmap image;
    ASSERT_EQ(GIFRead(DataPath(c.path), image), 1) << testing::PrintToString(sink.Texts());
    EXPECT_TRUE(sink.Texts().empty());
    ASSERT_EQ(image.GetHeight(), static_cast<int>(c.rows.size()));
    for (int y = 0; y < image.GetHeight(); ++y) {
      Bytes row(c.rows[y].size());
      image.GetRow(row.data(), y);
      EXPECT_EQ(row, c.rows[y]) << "row " << y;
    }
  }
}

// An odd aspect byte and an unknown extension are ignored: the read
// succeeds without a message.
TEST(GifRead, IgnoresOddAspectAndUnknownExtensions) {
  TempDir dir;
  Bytes bytes = ReadBytes(DataPath("gif/im_colors16.gif"));
  bytes[12] = 0x40;  // aspect
  WriteBytes(dir.File("aspect.gif"), bytes);
  bytes[12] = 49;
  WriteBytes(dir.File("aspect49.gif"), bytes);
  for (const std::string& file :
       {dir.File("aspect.gif"), dir.File("aspect49.gif"), DataPath("gif/py_extensions.gif")}) {
    SCOPED_TRACE(file);
    platform::RecordingMessageSink sink;
    CDIBitmap image;
    EXPECT_EQ(GIFRead(file, image), 1);
    EXPECT_TRUE(sink.Texts().empty()) << testing::PrintToString(sink.Texts());
  }
}

// An image with a 2- or 256-entry table, filled by `fill` (top-down index
// bytes).
void MakeIndexed(CDIBitmap& image, int width, int height, int bits, const std::vector<uint8_t>& indices) {
  ASSERT_EQ(image.Create(width, height, bits, 2), 1);
  Bytes table(1024);
  for (int i = 0; i < 256; ++i) table[i * 4] = uint8_t(i * 3), table[i * 4 + 1] = uint8_t(255 - i), table[i * 4 + 2] = uint8_t(i ^ 0x5A);
  image.SetColorTable(table.data(), image.GetPaletteSize());
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) image.SetPixel(y, x, indices[static_cast<size_t>(y) * width + x]);
}

Bytes Noise(size_t count, int modulo, uint32_t seed) {
  Bytes out(count);
  for (uint8_t& v : out) seed = seed * 1664525u + 1013904223u, v = uint8_t((seed >> 24) % modulo);
  return out;
}

// The header as the format lays it out for a single image with a global
// table, and LZW data that Pillow and ImageMagick decode to our pixels:
// noise (the table fills and is cleared many times) and a long run of one
// index (strings grow until the table fills at 4096 entries).
TEST(GifWrite, WritesHeaderAndDataOthersDecode) {
  struct Case {
    const char* name;
    int width, height, bits;
    Bytes indices;
  };
  const Case kCases[] = {
      {"1-bit noise", 301, 200, 1, Noise(301 * 200, 2, 7)},
      {"8-bit noise", 300, 211, 8, Noise(300 * 211, 256, 9)},
      {"8-bit, 40 indices", 123, 45, 8, Noise(123 * 45, 40, 11)},
      {"8-bit run of one index", 3000, 2600, 8, Bytes(3000 * 2600, 5)},
      {"1-bit 1 x 1", 1, 1, 1, Bytes{1}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    CDIBitmap image;
    MakeIndexed(image, c.width, c.height, c.bits, c.indices);
    TempDir dir;
    const std::string file = dir.File("out.gif");
    ASSERT_EQ(GIFWrite(file, image), 1);

    const Bytes bytes = ReadBytes(file);
    const int entries = 1 << c.bits;
    Bytes head = {'G', 'I', 'F', '8', '7', 'a', uint8_t(c.width), uint8_t(c.width >> 8), uint8_t(c.height),
                  uint8_t(c.height >> 8), uint8_t(c.bits == 1 ? 0x80 : 0xF7), 0, 0};
    Bytes table(entries * 4);
    image.GetColorTable(table.data(), entries);
    for (int i = 0; i < entries; ++i) head.insert(head.end(), {table[i * 4 + 2], table[i * 4 + 1], table[i * 4]});
    head.insert(head.end(), {0x2C, 0, 0, 0, 0, uint8_t(c.width), uint8_t(c.width >> 8), uint8_t(c.height),
                             uint8_t(c.height >> 8), 0, uint8_t(std::max(c.bits, 2))});
    ASSERT_GT(bytes.size(), head.size() + 2);
    EXPECT_TRUE(Bytes(bytes.begin(), bytes.begin() + head.size()) == head);
    EXPECT_EQ(bytes[bytes.size() - 2], 0);
    EXPECT_EQ(bytes.back(), 0x3B);
    // Sub-blocks of at most 254 bytes reach exactly to the terminator.
    size_t at = head.size();
    while (at < bytes.size() - 2 && bytes[at] != 0) {
      EXPECT_LE(bytes[at], 254);
      at += bytes[at] + 1;
    }
    EXPECT_EQ(at, bytes.size() - 2);

    const PillowFrame pillow = PillowBatch({file})[0];
    ASSERT_TRUE(pillow.ok);
    ExpectSameIndices(image, ImageIndices(image), pillow.indices);
    EXPECT_TRUE(MagickRGB(file) == ImageRGB(image));
  }
}

// 24-bit and CMYK images go out through a palette copy; the image itself
// is not changed. With 256 colours or fewer the colours stay exact.
TEST(GifWrite, ReducesDeepImagesWithoutChangingThem) {
  CDIBitmap rgb;
  ASSERT_EQ(rgb.Create(97, 31, 24, 0), 1);
  for (int y = 0; y < 31; ++y)
    for (int x = 0; x < 97; ++x) rgb.SetPixel(y, x, ((x % 8) * 36) << 16 | ((y % 6) * 51) << 8 | (x / 25) * 85);
  CDIBitmap cmyk;
  ASSERT_EQ(cmyk.Create(20, 10, 32, 3), 1);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 20; ++x) cmyk.SetPixel(y, x, uint32_t(x * 12) << 24 | uint32_t(y * 25) << 16 | 0x4000 | (x % 3) * 40);
  for (CDIBitmap* image : {&rgb, &cmyk}) {
    SCOPED_TRACE(image->GetBitCount());
    CDIBitmap before;
    ASSERT_EQ(before.CopyFrom(*image), 1);
    CDIBitmap asRGB;
    if (image->GetBitCount() == 32) {
      ASSERT_EQ(asRGB.Create(image->GetWidth(), image->GetHeight(), 24, 0), 1);
      ASSERT_EQ(GL_ConvertToRGB(asRGB, *image), 1);
    }
    const CDIBitmap& colours = image->GetBitCount() == 32 ? asRGB : *image;

    TempDir dir;
    ASSERT_EQ(GIFWrite(dir.File("deep.gif"), *image), 1);
    CDIBitmap back;
    ASSERT_EQ(GIFRead(dir.File("deep.gif"), back), 1);
    EXPECT_EQ(back.GetBitCount(), 8);
    EXPECT_TRUE(ImageRGB(back) == ImageRGB(colours));
    EXPECT_TRUE(MagickRGB(dir.File("deep.gif")) == ImageRGB(colours));
    // The image is as it was.
    EXPECT_EQ(image->GetBitCount(), before.GetBitCount());
    for (int y = 0; y < image->GetHeight(); ++y)
      ASSERT_EQ(std::memcmp(image->RowPointer(y), before.RowPointer(y), image->GetRowBytes()), 0);
  }
}

TEST(GifWrite, ReportsFailures) {
  CDIBitmap image;
  ASSERT_EQ(image.Create(64, 64, 8, 2), 1);
  {
    platform::RecordingMessageSink sink;
    EXPECT_EQ(GIFWrite("/dev/full", image), 0);
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{"Write Error in GIF file"});
  }
  {
    platform::RecordingMessageSink sink;
    EXPECT_EQ(GIFWrite("/nonexistent-folder/x.gif", image), 0);
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{"Can't open GIF for writing"});
  }
  {
    // Wider than the format's 16-bit fields: refused, nothing written.
    CDIBitmap wide;
    ASSERT_EQ(wide.Create(65536, 2, 1, 2), 1);
    TempDir dir;
    platform::RecordingMessageSink sink;
    EXPECT_EQ(GIFWrite(dir.File("wide.gif"), wide), 0);
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{"GIF can't hold a 65536 x 2 image"});
    EXPECT_FALSE(std::filesystem::exists(dir.File("wide.gif")));
  }
}

// The command line reads and writes GIF by name and prints the message of
// a file it cannot read.
TEST(GifCli, ConvertsAndExplainsFailures) {
  const std::string cli = CliPath();
  if (cli.empty() || !std::filesystem::exists(cli)) GTEST_SKIP() << "vividrome-cli not built";
  TempDir dir;
  const std::string sample = DataPath("gif/im_pal8_interlaced.gif");
  auto run = [&](const std::string& args) { return RunCommand(ShellQuote(cli) + " " + args); };

  CommandResult info = run("info " + ShellQuote(sample));
  EXPECT_EQ(info.exitCode, 0) << info.err;
  EXPECT_EQ(info.out, "40 30 8 INDEX\n");

  // GIF to BMP and back to GIF: the same pixels as ImageMagick decodes from the sample.
  const std::string bmp = dir.File("a.bmp"), gif = dir.File("b.gif");
  CommandResult toBmp = run("convert " + ShellQuote(sample) + " " + ShellQuote(bmp));
  EXPECT_EQ(toBmp.exitCode, 0) << toBmp.err;
  CommandResult toGif = run("convert " + ShellQuote(bmp) + " " + ShellQuote(gif));
  EXPECT_EQ(toGif.exitCode, 0) << toGif.err;
  EXPECT_TRUE(MagickRGB(gif) == MagickRGB(sample));

  CommandResult bad = run("info " + ShellQuote(DataPath("gif/bad/trailer_first.gif")));
  EXPECT_EQ(bad.exitCode, 1);
  EXPECT_NE(bad.err.find("Error on dimension read"), std::string::npos) << bad.err;

  CommandResult unwritable = run("convert " + ShellQuote(sample) + " /nonexistent-folder/x.gif");
  EXPECT_EQ(unwritable.exitCode, 1);
}

}  // namespace
