// JPEG reader and writer. Pillow decodes with the same libjpeg and the same
// settings (accurate integer DCT, smooth upsampling, no scaling), so its
// pixels are the expectation byte for byte: L for gray files, RGB, and CMYK
// as ink values (Pillow inverts every CMYK file, as we do).
// Quantisation tables are checked against libjpeg's quality formula.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "document/codecs/jpeg.h"
#include "image/dibitmap.h"
#include "codec_test_support.h"
#include "platform/messages.h"
#include "test_support.h"

namespace {

using namespace testing_support;
using codec_test::Bytes;
using codec_test::FailedReadMessages;
using codec_test::TestNameOf;

// The image's pixel bytes in Pillow's order: gray levels, R G B, or C M Y K.
std::string ImageBytes(const CDIBitmap& image) {
  std::string out;
  Bytes row(image.GetStride());
  for (int y = 0; y < image.GetHeight(); ++y) {
    image.GetRow(row.data(), y);
    const int n = image.GetRowBytes();
    if (image.GetBitCount() == 24) {
      for (int x = 0; x < n; x += 3) out += {char(row[x + 2]), char(row[x + 1]), char(row[x])};
    } else {
      out.append(reinterpret_cast<const char*>(row.data()), n);
    }
  }
  return out;
}

struct PillowImage {
  std::string mode;
  std::string bytes;
};

// Pillow's decodes (mode and raw bytes) of many files from one interpreter.
std::map<std::string, PillowImage> PillowDecode(const std::vector<std::string>& files) {
  TempDir dir;
  std::string command = std::string(kPython) +
                        " -c 'import sys; from PIL import Image\n"
                        "for i, f in enumerate(sys.argv[2:]):\n"
                        "  im = Image.open(f)\n"
                        "  open(\"%s/%d.raw\" % (sys.argv[1], i), \"wb\").write(im.tobytes())\n"
                        "  open(\"%s/%d.mode\" % (sys.argv[1], i), \"w\").write(im.mode)' " +
                        ShellQuote(dir.Path().string());
  for (const std::string& f : files) command += " " + ShellQuote(f);
  RunCommand(command);
  std::map<std::string, PillowImage> out;
  for (size_t i = 0; i < files.size(); ++i) {
    const std::string raw = dir.File(std::to_string(i) + ".raw");
    if (!std::filesystem::exists(raw)) continue;
    const Bytes b = ReadBytes(raw);
    const Bytes m = ReadBytes(dir.File(std::to_string(i) + ".mode"));
    out[files[i]] = {std::string(m.begin(), m.end()), std::string(b.begin(), b.end())};
  }
  return out;
}

std::vector<std::string> SampleFiles() {
  std::vector<std::string> files;
  for (const auto& e : std::filesystem::directory_iterator(DataPath("jpeg")))
    if (e.path().extension() == ".jpg") files.push_back(e.path().string());
  for (const char* name : {"hopper.jpg", "hopper_gray.jpg", "pil_sample_cmyk.jpg", "pil_sample_rgb.jpg"})
    files.push_back(DataPath(std::string("third_party/pillow/jpeg/") + name));
  const std::string golang = DataPath("third_party/debian/golang-1.19-src/image-testdata");
  for (const auto& e : std::filesystem::directory_iterator(golang)) {
    const std::string name = e.path().filename().string();
    // The "truncated" progressive file lacks scans but ends properly: readable.
    if (e.path().extension() == ".jpeg") files.push_back(e.path().string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

const PillowImage& PillowOf(const std::string& file) {
  static const std::map<std::string, PillowImage> decoded = PillowDecode(SampleFiles());
  static const PillowImage none;
  const auto it = decoded.find(file);
  return it == decoded.end() ? none : it->second;
}

class JpegSample : public testing::TestWithParam<std::string> {};

// Reads the file: kind by component count, pixels as Pillow's. Then writes
// it at quality 95: the kind survives, Pillow decodes our file to what we
// read back from it, and the picture stays close to the original.
TEST_P(JpegSample, ReadsLikePillowAndRoundTrips) {
  const std::string file = GetParam();
  platform::RecordingMessageSink sink;
  CDIBitmap image;
  ASSERT_EQ(JPEGRead(file, image), 1);
  EXPECT_TRUE(sink.Texts().empty());
  const PillowImage& pillow = PillowOf(file);
  ASSERT_FALSE(pillow.mode.empty());
  const std::map<std::string, std::pair<int, uint32_t>> kKinds = {
      {"L", {8, CT_GRAY}}, {"RGB", {24, CT_RGB}}, {"CMYK", {32, CT_CMYK}}};
  ASSERT_TRUE(kKinds.count(pillow.mode)) << pillow.mode;
  EXPECT_EQ(image.GetBitCount(), kKinds.at(pillow.mode).first);
  EXPECT_EQ(image.GetColorType(), kKinds.at(pillow.mode).second);
  const std::string ours = ImageBytes(image);
  EXPECT_TRUE(ours == pillow.bytes) << "differs from Pillow";

  TempDir dir;
  const std::string copy = dir.File("copy.jpg");
  ASSERT_EQ(JPEGWrite(copy, image, 95), 1);
  CDIBitmap back;
  ASSERT_EQ(JPEGRead(copy, back), 1);
  EXPECT_EQ(back.GetColorType(), image.GetColorType());
  const std::string again = ImageBytes(back);
  EXPECT_TRUE(again == PillowDecode({copy})[copy].bytes);
  ASSERT_EQ(again.size(), ours.size());
  double error = 0;
  for (size_t i = 0; i < ours.size(); ++i) error += std::abs(uint8_t(again[i]) - uint8_t(ours[i]));
  EXPECT_LT(error / ours.size(), 6.0);
}

INSTANTIATE_TEST_SUITE_P(Files, JpegSample, testing::ValuesIn(SampleFiles()), [](const auto& info) {
  return TestNameOf(std::filesystem::path(info.param).stem().string(), info.index);
});

// The CMYK edge: stored bytes 0, 0, 0, 0 in an Adobe file are full ink.
TEST(JpegRead, AdobeCmykIsInverted) {
  TempDir dir;
  const std::string file = dir.File("white.jpg");
  ASSERT_EQ(RunCommand(std::string(kPython) +
                       " -c 'import sys; from PIL import Image; "
                       "Image.new(\"CMYK\", (16, 8), (255, 255, 255, 255)).save(sys.argv[1], quality=100)' " +
                       ShellQuote(file))
                .exitCode,
            0);
  const Bytes b = ReadBytes(file);
  ASSERT_NE(std::search(b.begin(), b.end(), std::begin("Adobe"), std::end("Adobe") - 1), b.end());
  CDIBitmap image;
  ASSERT_EQ(JPEGRead(file, image), 1);
  ASSERT_TRUE(image.IsCMYK());
  EXPECT_EQ(image.GetPixel(3, 5), 0xFFFFFFFFu);
}

// Damaged files fail with exactly one message, captioned "JPEG Fatal Error"
// for libjpeg's texts, and leave the caller's image as it was; a truncated
// file is a failure, not a half-grey picture.
TEST(JpegRead, DamagedFilesFailWithTheirMessage) {
  struct Bad {
    const char* path;
    const char* text;
    const char* caption;
  };
  const Bad kBad[] = {
      {"jpeg/bad/truncated.jpg", "Premature end of JPEG file", "JPEG Fatal Error"},
      {"jpeg/bad/truncated_progressive.jpg", "Premature end of JPEG file", "JPEG Fatal Error"},
      {"jpeg/bad/headers_only.jpg", "Premature end of JPEG file", "JPEG Fatal Error"},
      {"jpeg/bad/tables_only.jpg", "JPEG datastream contains no image", "JPEG Fatal Error"},
      {"jpeg/bad/huge_size.jpg", "JPEGREAD: Image too large (65000 x 65000)\n", ""},
      {"jpeg/bad/zero_height.jpg", "Empty JPEG image (DNL not supported)", "JPEG Fatal Error"},
      {"jpeg/bad/not_jpeg.jpg", "Not a JPEG file: starts with 0x89 0x50", "JPEG Fatal Error"},
      {"jpeg/bad/empty.jpg", "Empty input file", "JPEG Fatal Error"},
  };
  for (const Bad& bad : kBad) {
    SCOPED_TRACE(bad.path);
    const std::vector<platform::Message> shown = FailedReadMessages(JPEGRead, DataPath(bad.path));
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, bad.text);
    EXPECT_EQ(shown[0].caption, bad.caption);
  }
  platform::RecordingMessageSink sink;
  CDIBitmap image;
  EXPECT_EQ(JPEGRead("/nonexistent-folder/x.jpg", image), 0);
  EXPECT_EQ(sink.Texts(), std::vector<std::string>{"JPEG :\nCan't open /nonexistent-folder/x.jpg\n"});
}

// libjpeg's quality scaling of the standard tables, forced to baseline:
// scale = q < 50 ? 5000 / q : 200 - 2q; entry = clamp((base * scale + 50) / 100, 1, 255).
std::vector<int> QuantTable(const int (&base)[64], int quality) {
  const int scale = quality < 50 ? 5000 / quality : 200 - 2 * quality;
  std::vector<int> out(64);
  for (int i = 0; i < 64; ++i) out[i] = std::clamp((base[i] * scale + 50) / 100, 1, 255);
  return out;
}

// The tables of a file's DQT segments, in natural (row by row) order.
std::map<int, std::vector<int>> FileTables(const std::string& file) {
  static const int kZigzag[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                                  12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                                  35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                                  58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};
  const Bytes b = ReadBytes(file);
  std::map<int, std::vector<int>> out;
  for (size_t at = 2; at + 4 <= b.size() && b[at] == 0xFF;) {
    const int marker = b[at + 1];
    const size_t length = (b[at + 2] << 8) | b[at + 3];
    if (marker == 0xDB) {
      for (size_t p = at + 4; p + 65 <= at + 2 + length; p += 65) {
        std::vector<int> table(64);
        for (int k = 0; k < 64; ++k) table[kZigzag[k]] = b[p + 1 + k];
        out[b[p] & 15] = table;
      }
    }
    if (marker == 0xDA) break;
    at += 2 + length;
  }
  return out;
}

// Each component's sampling factors (horizontal << 4 | vertical) from the
// baseline frame header.
std::vector<int> SamplingFactors(const std::string& file) {
  const Bytes b = ReadBytes(file);
  for (size_t at = 2; at + 4 <= b.size() && b[at] == 0xFF;) {
    const size_t length = (b[at + 2] << 8) | b[at + 3];
    if (b[at + 1] == 0xC0) {
      std::vector<int> out;
      for (int c = 0; c < b.at(at + 9); ++c) out.push_back(b.at(at + 11 + 3 * c));
      return out;
    }
    at += 2 + length;
  }
  return {};
}

// The quality from the "JPEG Option" dialog chooses the tables; values
// outside 2..100 are clamped. Colour uses libjpeg's default 2x2 subsampling.
TEST(JpegWrite, QualitySetsTheQuantisationTables) {
  static const int kLuminance[64] = {16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
                                     14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
                                     18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
                                     49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
  static const int kChrominance[64] = {17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99,
                                       24, 26, 56, 99, 99, 99, 99, 99, 47, 66, 99, 99, 99, 99, 99, 99,
                                       99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
                                       99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};
  CDIBitmap image;
  ASSERT_EQ(image.Create(24, 16, 24, 0), 1);
  TempDir dir;
  const std::vector<std::pair<int, int>> kQualities = {{2, 2}, {10, 10}, {50, 50}, {75, 75}, {100, 100}, {1, 2}, {150, 100}};
  for (auto [asked, used] : kQualities) {
    SCOPED_TRACE(testing::Message() << "quality " << asked);
    const std::string file = dir.File("q.jpg");
    ASSERT_EQ(JPEGWrite(file, image, asked), 1);
    const auto tables = FileTables(file);
    ASSERT_EQ(tables.size(), 2u);
    EXPECT_EQ(tables.at(0), QuantTable(kLuminance, used));
    EXPECT_EQ(tables.at(1), QuantTable(kChrominance, used));
    EXPECT_EQ(SamplingFactors(file), (std::vector<int>{0x22, 0x11, 0x11}));
  }
}

// Image kinds and the file kinds they become (components, as Pillow sees
// them), with the colours kept: palette and 1-bit images go through their
// colour table (as gray when every entry is gray, else as RGB), CMYK is
// stored inverted with Adobe's marker and reads back. Flat 16 x 16 blocks at
// quality 100 decode, away from their edges (where subsampled colour
// bleeds), within a few levels of the colours written.
TEST(JpegWrite, WritesEachKindWithItsColours) {
  struct Case {
    const char* name;
    int bits, options;
    std::vector<uint8_t> table;  // blue, green, red, 0 per entry; empty: keep Create's
    const char* mode;
  };
  Bytes colourTable(256 * 4), grayDescending(256 * 4), grayPair = {40, 40, 40, 0, 220, 220, 220, 0};
  for (int i = 0; i < 256; ++i) {
    colourTable[i * 4] = uint8_t(i), colourTable[i * 4 + 1] = uint8_t(255 - i), colourTable[i * 4 + 2] = uint8_t(i * 5);
    grayDescending[i * 4] = grayDescending[i * 4 + 1] = grayDescending[i * 4 + 2] = uint8_t(255 - i);
  }
  const Case kCases[] = {
      {"8-bit gray", 8, 1, {}, "L"},
      {"8-bit palette, colours", 8, 2, colourTable, "RGB"},
      {"8-bit palette, descending grays", 8, 2, grayDescending, "L"},
      {"1-bit, colours", 1, 2, {200, 10, 30, 0, 5, 250, 120, 0}, "RGB"},
      {"1-bit, grays", 1, 2, grayPair, "L"},
      {"24-bit", 24, 0, {}, "RGB"},
      {"32-bit CMYK", 32, 3, {}, "CMYK"},
  };
  constexpr int kW = 64, kH = 32;
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    CDIBitmap image;
    ASSERT_EQ(image.Create(kW, kH, c.bits, c.options), 1);
    if (!c.table.empty()) image.SetColorTable(c.table.data(), image.GetPaletteSize());
    // One value per 16 x 16 block.
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) {
        const uint32_t block = uint32_t((y / 16) * 4 + x / 16) + 1;
        const uint32_t v = c.bits == 1 ? block % 2 : c.bits == 8 ? block * 29 % 256 : block * 0x1F3D5B7u;
        image.SetPixel(y, x, c.bits == 24 ? v & 0xFFFFFF : v);
      }
    std::string expected;
    std::vector<bool> inner;  // per byte: the pixel lies 3 or more pixels inside its block
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) {
        const uint32_t v = image.GetPixel(y, x);
        const size_t before = expected.size();
        if (std::string(c.mode) == "CMYK") {
          expected += {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
        } else {
          const uint32_t rgb = image.GetPixelColor(y, x);
          if (std::string(c.mode) == "L") expected += char(rgb & 0xFF);
          else expected += {char(rgb & 0xFF), char(rgb >> 8), char(rgb >> 16)};
        }
        const bool in = x % 16 >= 3 && x % 16 < 13 && y % 16 >= 3 && y % 16 < 13;
        inner.insert(inner.end(), expected.size() - before, in);
      }

    TempDir dir;
    const std::string file = dir.File("out.jpg");
    platform::RecordingMessageSink sink;
    ASSERT_EQ(JPEGWrite(file, image, 100), 1);
    EXPECT_TRUE(sink.Texts().empty());
    const PillowImage pillow = PillowDecode({file})[file];
    EXPECT_EQ(pillow.mode, c.mode);
    ASSERT_EQ(pillow.bytes.size(), expected.size());
    int worst = 0;
    for (size_t i = 0; i < expected.size(); ++i)
      if (inner[i]) worst = std::max(worst, std::abs(uint8_t(pillow.bytes[i]) - uint8_t(expected[i])));
    EXPECT_LE(worst, 4);
    CDIBitmap back;
    ASSERT_EQ(JPEGRead(file, back), 1);
    EXPECT_TRUE(ImageBytes(back) == pillow.bytes);
  }
}

TEST(JpegWrite, ReportsFailures) {
  CDIBitmap image;
  ASSERT_EQ(image.Create(640, 640, 24, 0), 1);
  for (int y = 0; y < 640; ++y)
    for (int x = 0; x < 640; x += 3) image.SetPixel(y, x, uint32_t(x * 7919 + y * 104729));
  {
    platform::RecordingMessageSink sink;
    EXPECT_EQ(JPEGWrite("/dev/full", image, 75), 0);
    ASSERT_EQ(sink.shown.size(), 1u);
    EXPECT_EQ(sink.shown[0].text, "Output file write error --- out of disk space?");
    EXPECT_EQ(sink.shown[0].caption, "JPEG Fatal Error");
  }
  {
    platform::RecordingMessageSink sink;
    EXPECT_EQ(JPEGWrite("/nonexistent-folder/x.jpg", image, 75), 0);
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{"JpegFile :\nCan't open /nonexistent-folder/x.jpg\n"});
  }
}

// From the command line: --jpeg-quality reaches the writer (its tables are
// those of the asked quality), the default is 75, out-of-range is refused,
// and the file reopens with Pillow's pixels.
TEST(JpegCli, ConvertWithQuality) {
  TempDir dir;
  const std::string cli = ShellQuote(CliPath());
  const std::string source = DataPath("jpeg/pil_rgb_q75.jpg");
  const std::string out = dir.File("out.jpg");
  ASSERT_EQ(RunCommand(cli + " convert " + ShellQuote(source) + " " + ShellQuote(out) + " --jpeg-quality 30").exitCode, 0);
  const std::string reference = dir.File("reference.jpg");
  CDIBitmap image;
  ASSERT_EQ(JPEGRead(source, image), 1);
  ASSERT_EQ(JPEGWrite(reference, image, 30), 1);
  EXPECT_EQ(FileTables(out), FileTables(reference));
  const std::string plain = dir.File("plain.jpg");
  ASSERT_EQ(RunCommand(cli + " convert " + ShellQuote(source) + " " + ShellQuote(plain)).exitCode, 0);
  ASSERT_EQ(JPEGWrite(reference, image, 75), 1);
  EXPECT_EQ(FileTables(plain), FileTables(reference));
  EXPECT_NE(RunCommand(cli + " convert " + ShellQuote(source) + " " + ShellQuote(out) + " --jpeg-quality 1").exitCode, 0);
  EXPECT_EQ(RunCommand(cli + " info " + ShellQuote(out)).out, "45 29 24 RGB\n");
}

}  // namespace
