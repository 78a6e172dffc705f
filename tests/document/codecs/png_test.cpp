// PNG reader and writer. Every sample's pixels are checked against
// ImageMagick's 16-bit RGBA decode of the same file (its samples as stored:
// "-set colorspace sRGB" keeps it from converting gAMA 1.0 files as linear
// light), reduced as libpng's
// transformations define it: 16-bit samples keep their high byte, and
// transparency is composited with libpng's integer formulas
//   8 bits:  t = f * a + b * (255 - a) + 128,      out = (t + (t >> 8)) >> 8
//   16 bits: t = f * a + b * (65535 - a) + 32768,  out = ((t + (t >> 16)) >> 16) >> 8
// over the file's bKGD colour, or black without one. Pillow's decode is a
// second oracle for files of 8 bits or fewer without transparency.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "document/codecs/png.h"
#include "image/dibitmap.h"
#include "codec_test_support.h"
#include "platform/messages.h"
#include "test_support.h"

namespace {

using namespace testing_support;
using namespace codec_test;

uint32_t Be32(const Bytes& b, size_t at) {
  return (uint32_t(b.at(at)) << 24) | (uint32_t(b.at(at + 1)) << 16) | (uint32_t(b.at(at + 2)) << 8) | b.at(at + 3);
}

// The chunks of a PNG file by type (the first of each), from the raw bytes.
std::map<std::string, Bytes> Chunks(const std::string& file) {
  const Bytes b = ReadBytes(file);
  std::map<std::string, Bytes> out;
  for (size_t at = 8; at + 12 <= b.size();) {
    const uint32_t length = Be32(b, at);
    const std::string type(b.begin() + at + 4, b.begin() + at + 8);
    if (at + 12 + length > b.size()) break;
    if (!out.count(type)) out[type] = Bytes(b.begin() + at + 8, b.begin() + at + 8 + length);
    at += 12 + length;
  }
  return out;
}

uint32_t Composite8(uint32_t f, uint32_t a, uint32_t b) {
  const uint32_t t = f * a + b * (255 - a) + 128;
  return (t + (t >> 8)) >> 8;
}
uint32_t Composite16(uint32_t f, uint32_t a, uint32_t b) {
  const uint32_t t = f * a + b * (65535 - a) + 32768;
  return (t + (t >> 16)) >> 16;
}

// What the reader must produce, from ImageMagick's decode and the formulas above.
std::string ExpectedRGB(const std::string& file) {
  const auto chunks = Chunks(file);
  const Bytes& ihdr = chunks.at("IHDR");
  const int depth = ihdr.at(8), colorType = ihdr.at(9);
  const bool wide = depth == 16;
  // The background in 16 bits (wide files) or 8 bits.
  uint32_t bg[3] = {0, 0, 0};
  if (chunks.count("bKGD")) {
    const Bytes& k = chunks.at("bKGD");
    if (colorType == 3) {
      const Bytes& plte = chunks.at("PLTE");
      for (int c = 0; c < 3; ++c) bg[c] = plte.at(k.at(0) * 3 + c);
    } else if (colorType == 0 || colorType == 4) {
      const uint32_t level = (k.at(0) << 8) | k.at(1);
      bg[0] = bg[1] = bg[2] = wide ? level : level * 255 / ((1u << depth) - 1);
    } else {
      for (int c = 0; c < 3; ++c) bg[c] = (k.at(2 * c) << 8) | k.at(2 * c + 1);
    }
  }
  const std::string raw =
      RunCommand(std::string(kImageMagick) + " " + ShellQuote(file) + " -set colorspace sRGB -depth 16 -endian MSB rgba:-").out;
  std::string out;
  for (size_t p = 0; p + 8 <= raw.size(); p += 8) {
    auto sample = [&](int i) { return (uint32_t(uint8_t(raw[p + 2 * i])) << 8) | uint8_t(raw[p + 2 * i + 1]); };
    const uint32_t a = sample(3);
    for (int c = 0; c < 3; ++c)
      out += char(wide ? Composite16(sample(c), a, bg[c]) >> 8 : Composite8(sample(c) >> 8, a >> 8, bg[c]));
  }
  return out;
}

bool Transparent(const std::string& file) {
  const auto chunks = Chunks(file);
  const int colorType = chunks.at("IHDR").at(9);
  return colorType == 4 || colorType == 6 || chunks.count("tRNS");
}

// Our samples and PngSuite's readable files (x* files are the corrupt ones).
std::vector<std::string> SampleFiles() {
  std::vector<std::string> files;
  for (const auto& e : std::filesystem::directory_iterator(DataPath("png")))
    if (e.path().extension() == ".png") files.push_back(e.path().string());
  for (const auto& e : std::filesystem::directory_iterator(DataPath("third_party/pngsuite")))
    if (e.path().extension() == ".png" && e.path().filename().string()[0] != 'x') files.push_back(e.path().string());
  // Not benchNRGBA-gradient.png: partial alpha under an sRGB chunk, which
  // libpng composites in linear light with its own tables.
  for (const char* name : {"benchGray.png", "benchNRGBA-opaque.png", "benchPaletted.png",
                           "benchRGB-interlace.png", "benchRGB.png", "gray-gradient.interlaced.png",
                           "gray-gradient.png"})
    files.push_back(DataPath(std::string("third_party/debian/golang-1.19-src/png-testdata/") + name));
  std::sort(files.begin(), files.end());
  return files;
}

const std::string& PillowDecode(const std::string& file) {
  static std::map<std::string, std::string> decoded;
  static bool done = false;
  if (!done) {
    std::vector<std::string> wanted;
    for (const std::string& f : SampleFiles())
      if (Chunks(f).at("IHDR").at(8) <= 8 && !Transparent(f)) wanted.push_back(f);
    const std::vector<std::string> rgb = PillowBatch(wanted);
    for (size_t i = 0; i < wanted.size(); ++i) decoded[wanted[i]] = rgb[i];
    done = true;
  }
  static const std::string none;
  return decoded.count(file) ? decoded[file] : none;
}

class PngSample : public testing::TestWithParam<std::string> {};

// Reads the file, checks the kind and the pixels against the oracles, then
// writes it with our writer and reads it back: same kind, rows and table,
// and ImageMagick decodes our file to the same colours.
TEST_P(PngSample, ReadsLikeOraclesAndRoundTrips) {
  const std::string file = GetParam();
  platform::RecordingMessageSink sink;
  CDIBitmap image;
  ASSERT_EQ(PNGRead(file, image), 1);
  EXPECT_TRUE(sink.Texts().empty());

  const int colorType = Chunks(file).at("IHDR").at(9);
  const int expectedBits = (colorType == 2 || colorType == 6) ? 24 : 8;
  EXPECT_EQ(image.GetBitCount(), expectedBits);
  if (colorType == 0 || colorType == 4) {
    EXPECT_TRUE(image.IsGray());
  }

  const std::string ours = ImageRGB(image);
  EXPECT_TRUE(ours == ExpectedRGB(file)) << "differs from ImageMagick";
  const std::string& pillow = PillowDecode(file);
  if (!pillow.empty()) {
    EXPECT_TRUE(ours == pillow) << "differs from Pillow";
  }

  TempDir dir;
  const std::string copy = dir.File("copy.png");
  ASSERT_EQ(PNGWrite(copy, image), 1);
  CDIBitmap back;
  ASSERT_EQ(PNGRead(copy, back), 1);
  EXPECT_EQ(back.GetColorType(), image.GetColorType());
  ASSERT_NO_FATAL_FAILURE(ExpectSameBitmap(image, back));
  EXPECT_TRUE(ExpectedRGB(copy) == ours) << "ImageMagick's decode of our file differs";
}

INSTANTIATE_TEST_SUITE_P(Files, PngSample, testing::ValuesIn(SampleFiles()), [](const auto& info) {
  return TestNameOf(std::filesystem::path(info.param).stem().string(), info.index);
});

// Palette files keep their indices and palette: compared with Pillow's
// indices and palette for every palette depth.
TEST(PngRead, PaletteFilesKeepIndicesAndTable) {
  TempDir dir;
  std::vector<std::string> files;
  for (const char* name : {"png/pil_pal1.png", "png/pil_pal2.png", "png/pil_pal4.png", "png/pil_pal8.png",
                           "png/im_pal4_c4_i.png"})
    files.push_back(DataPath(name));
  std::string command = std::string(kPython) +
                        " -c 'import sys; from PIL import Image\n"
                        "for i, f in enumerate(sys.argv[2:]):\n"
                        "  im = Image.open(f)\n"
                        "  open(\"%s/%d.idx\" % (sys.argv[1], i), \"wb\").write(im.tobytes())\n"
                        "  open(\"%s/%d.pal\" % (sys.argv[1], i), \"wb\").write(bytes(im.getpalette()))' " +
                        ShellQuote(dir.Path().string());
  for (const std::string& f : files) command += " " + ShellQuote(f);
  ASSERT_EQ(RunCommand(command).exitCode, 0);
  for (size_t i = 0; i < files.size(); ++i) {
    SCOPED_TRACE(files[i]);
    CDIBitmap image;
    ASSERT_EQ(PNGRead(files[i], image), 1);
    ASSERT_EQ(image.GetBitCount(), 8);
    EXPECT_FALSE(image.IsGray());
    const Bytes indices = ReadBytes(dir.File(std::to_string(i) + ".idx"));
    Bytes ours;
    Bytes row(image.GetWidth());
    for (int y = 0; y < image.GetHeight(); ++y) {
      image.GetRow(row.data(), y);
      ours.insert(ours.end(), row.begin(), row.end());
    }
    EXPECT_EQ(ours, indices);
    // Entries the file defines match; entries above 2^depth stay zero.
    const Bytes plte = Chunks(files[i]).at("PLTE");
    const int depth = Chunks(files[i]).at("IHDR").at(8);
    Bytes table(256 * 4);
    image.GetColorTable(table.data(), 256);
    for (int e = 0; e < 256; ++e) {
      const bool defined = e < (1 << depth) && size_t(e) * 3 < plte.size();
      for (int c = 0; c < 3; ++c)
        EXPECT_EQ(table[e * 4 + 2 - c], defined ? plte[e * 3 + c] : 0) << "entry " << e << " channel " << c;
    }
  }
}

// Low-depth gray levels are scaled to 0..255 (not left as packed bytes):
// a 2-bit row 0, 1, 2, 3 reads 0, 85, 170, 255; a 4-bit level 9 reads 153;
// a 1-bit level 1 reads 255. The file is built here with Python's zlib.
TEST(PngRead, LowDepthGrayIsScaled) {
  TempDir dir;
  const std::string file = dir.File("gray.png");
  const std::string script =
      "import struct, sys, zlib\n"
      "def chunk(t, d): return struct.pack(\">I\", len(d)) + t + d + struct.pack(\">I\", zlib.crc32(t + d))\n"
      "def png(depth, rows, w):\n"
      "  ihdr = struct.pack(\">IIBBBBB\", w, len(rows), depth, 0, 0, 0, 0)\n"
      "  data = b\"\".join(b\"\\x00\" + bytes(r) for r in rows)\n"
      "  return b\"\\x89PNG\\r\\n\\x1a\\n\" + chunk(b\"IHDR\", ihdr) + chunk(b\"IDAT\", zlib.compress(data)) + chunk(b\"IEND\", b\"\")\n"
      "open(sys.argv[1] + \"2\", \"wb\").write(png(2, [[0x1B]], 4))\n"
      "open(sys.argv[1] + \"4\", \"wb\").write(png(4, [[0x9F]], 2))\n"
      "open(sys.argv[1] + \"1\", \"wb\").write(png(1, [[0xA0]], 3))\n";
  ASSERT_EQ(RunCommand(std::string(kPython) + " -c " + ShellQuote(script) + " " + ShellQuote(file)).exitCode, 0);
  const std::map<std::string, Bytes> kExpected = {
      {"2", {0, 85, 170, 255}}, {"4", {153, 255}}, {"1", {255, 0, 255}}};
  for (const auto& [suffix, levels] : kExpected) {
    SCOPED_TRACE(suffix + "-bit");
    CDIBitmap image;
    ASSERT_EQ(PNGRead(file + suffix, image), 1);
    EXPECT_TRUE(image.IsGray());
    Bytes row(levels.size());
    image.GetRow(row.data(), 0);
    EXPECT_EQ(row, levels);
  }
}

// Damaged files fail with libpng's message (or ours), exactly one message,
// and leave the caller's image as it was; the texts are libpng's and
// zlib's own (libpng puts the chunk's name before a chunk's error).
TEST(PngRead, DamagedFilesFailWithTheirMessage) {
  const std::map<std::string, std::string> kBad = {
      {"png/bad/truncated_idat.png", "Read Error"},
      {"png/bad/no_iend.png", "Read Error"},
      {"png/bad/idat_crc.png", "IDAT: CRC error"},
      {"png/bad/idat_bad_data.png", "IDAT: invalid literal/lengths set"},
      {"png/bad/idat_not_zlib.png", "IDAT: unknown compression method"},
      {"png/bad/short_data.png", "Not enough image data"},
      {"png/bad/zero_width.png", "Invalid IHDR data"},
      {"png/bad/color_type_5.png", "Invalid IHDR data"},
      {"png/bad/huge_size.png", "PNGREAD: Image too large (100000 x 100000)\n"},
      {"png/bad/no_plte.png", "IDAT: Missing PLTE before IDAT"},
      {"png/bad/not_png.png", "Not a PNG file"},
      {"png/bad/empty.png", "Read Error"},
      // Found by the fuzzer: an sPLT chunk declaring a gigabyte in a short
      // file took seconds (libpng cleared the buffer first); now skipped.
      {"png/bad/fuzz_splt_huge_length.png", "Read Error"},
      {"png/bad/fuzz_splt_huge_length2.png", "Read Error"},
  };
  for (const auto& [path, message] : kBad) {
    SCOPED_TRACE(path);
    EXPECT_EQ(FailedReadTexts(PNGRead, DataPath(path)), std::vector<std::string>{message});
  }
}

// PngSuite's corrupt files all fail with one message each.
TEST(PngRead, PngSuiteCorruptFilesFail) {
  int count = 0;
  for (const auto& e : std::filesystem::directory_iterator(DataPath("third_party/pngsuite"))) {
    if (e.path().extension() != ".png" || e.path().filename().string()[0] != 'x') continue;
    SCOPED_TRACE(e.path().filename().string());
    ++count;
    platform::RecordingMessageSink sink;
    CDIBitmap image;
    EXPECT_EQ(PNGRead(e.path().string(), image), 0);
    EXPECT_EQ(sink.Texts().size(), 1u);
    EXPECT_FALSE(image.IsAllocated());
  }
  EXPECT_EQ(count, 14);
  platform::RecordingMessageSink sink;
  CDIBitmap image;
  EXPECT_EQ(PNGRead("/nonexistent-folder/x.png", image), 0);
  EXPECT_TRUE(sink.Texts().empty());
}

// Each image kind is written as its file kind (IHDR colour type and depth,
// PLTE, the "Description" text) and decodes in Pillow to the image's
// colours; a CMYK image is converted with R = max(0, 255 - C - K) etc.
TEST(PngWrite, WritesEachKind) {
  struct Case {
    const char* name;
    int bits, options;
    int colorType, depth;
  };
  const Case kCases[] = {
      {"1-bit", 1, 2, 3, 1},
      {"8-bit palette", 8, 2, 3, 8},
      {"8-bit gray", 8, 1, 3, 8},
      {"24-bit", 24, 0, 2, 8},
      {"32-bit CMYK", 32, 3, 2, 8},
  };
  constexpr int kW = 19, kH = 5;
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    CDIBitmap image;
    ASSERT_EQ(image.Create(kW, kH, c.bits, c.options), 1);
    Bytes table(image.GetPaletteSize() * 4);
    if (c.bits == 1) table = {10, 200, 30, 0, 250, 5, 120, 0};
    if (c.bits == 8 && c.options == 2)
      for (int i = 0; i < 256; ++i) table[i * 4] = i, table[i * 4 + 1] = 255 - i, table[i * 4 + 2] = i * 3;
    if (c.bits == 1 || c.options == 2) image.SetColorTable(table.data(), image.GetPaletteSize());
    if (c.bits == 8 && c.options == 1) image.GetColorTable(table.data(), 256);
    Bytes row(image.GetStride());
    for (int y = 0; y < kH; ++y) {
      for (size_t i = 0; i < row.size(); ++i) row[i] = uint8_t(i * 37 + y * 91 + 13);
      image.PutRow(row.data(), y);
    }
    std::string expected;
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) {
        const uint32_t v = image.GetPixel(y, x);
        if (c.bits <= 8) {
          expected += {char(table[v * 4 + 2]), char(table[v * 4 + 1]), char(table[v * 4])};
        } else if (c.bits == 24) {
          expected += {char(v & 0xFF), char(v >> 8 & 0xFF), char(v >> 16)};
        } else {
          const int cc = v >> 24, m = v >> 16 & 0xFF, ye = v >> 8 & 0xFF, k = v & 0xFF;
          expected += {char(std::max(0, 255 - cc - k)), char(std::max(0, 255 - m - k)), char(std::max(0, 255 - ye - k))};
        }
      }

    TempDir dir;
    const std::string file = dir.File("out.png");
    platform::RecordingMessageSink sink;
    ASSERT_EQ(PNGWrite(file, image), 1);
    EXPECT_TRUE(sink.Texts().empty());
    const auto chunks = Chunks(file);
    EXPECT_EQ(Be32(chunks.at("IHDR"), 0), uint32_t(kW));
    EXPECT_EQ(chunks.at("IHDR").at(8), c.depth);
    EXPECT_EQ(chunks.at("IHDR").at(9), c.colorType);
    EXPECT_EQ(chunks.at("IHDR").at(12), 0);  // not interlaced
    if (c.colorType == 3) {
      const Bytes& plte = chunks.at("PLTE");
      ASSERT_EQ(plte.size(), size_t(image.GetPaletteSize()) * 3);
      for (int e = 0; e < image.GetPaletteSize(); ++e)
        for (int ch = 0; ch < 3; ++ch) EXPECT_EQ(plte[e * 3 + ch], table[e * 4 + 2 - ch]);
    }
    const auto pillow = RunCommand(std::string(kPython) +
                                   " -c 'import sys; from PIL import Image; im = Image.open(sys.argv[1]); "
                                   "sys.stdout.write(im.info.get(\"Description\", \"\") + \"|\" + im.mode)' " +
                                   ShellQuote(file));
    EXPECT_EQ(pillow.out, std::string("Lumatint|") + (c.colorType == 3 ? "P" : "RGB"));
    EXPECT_TRUE(PillowBatch({file})[0] == expected);
  }
}

TEST(PngWrite, ReportsWriteFailures) {
  CDIBitmap image;
  ASSERT_EQ(image.Create(640, 640, 24, 0), 1);
  for (int y = 0; y < 640; ++y)
    for (int x = 0; x < 640; x += 7) image.SetPixel(y, x, uint32_t(x * 7919 + y * 104729));
  {
    platform::RecordingMessageSink sink;
    EXPECT_EQ(PNGWrite("/dev/full", image), 0);
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{"Write Error"});
  }
  {
    platform::RecordingMessageSink sink;
    EXPECT_EQ(PNGWrite("/nonexistent-folder/x.png", image), 0);
    EXPECT_TRUE(sink.Texts().empty());
  }
}

// From the command line: a PNG converted to BMP and back keeps its pixels,
// and a gray image saved as PNG reopens as gray.
TEST(PngCli, ConvertsBothWays) {
  TempDir dir;
  const std::string cli = ShellQuote(CliPath());
  const std::string source = DataPath("png/pil_rgb8.png");
  ASSERT_EQ(RunCommand(cli + " convert " + ShellQuote(source) + " " + ShellQuote(dir.File("a.bmp"))).exitCode, 0);
  ASSERT_EQ(RunCommand(cli + " convert " + ShellQuote(dir.File("a.bmp")) + " " + ShellQuote(dir.File("b.png"))).exitCode,
            0);
  EXPECT_TRUE(ExpectedRGB(dir.File("b.png")) == ExpectedRGB(source));
  const auto info = RunCommand(cli + " info " + ShellQuote(DataPath("png/pil_gray8.png")));
  EXPECT_EQ(info.out, "37 11 8 GRAY\n");
  const auto bad = RunCommand(cli + " convert " + ShellQuote(DataPath("png/bad/idat_crc.png")) + " " +
                              ShellQuote(dir.File("c.bmp")));
  EXPECT_EQ(bad.exitCode, 1);
  EXPECT_NE(bad.err.find("IDAT: CRC error"), std::string::npos);
}

}  // namespace
