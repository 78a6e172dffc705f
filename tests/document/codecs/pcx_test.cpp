// PCX reader and writer, DCX reader. Pixels are checked against what
// ImageMagick and Pillow decode from the same file (the first page of a DCX
// file), files we write are decoded by both again, and the byte layout of
// the writer and the run-length code are checked against files put together
// here from the format's description.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "document/codecs/bmp.h"
#include "document/codecs/pcx.h"
#include "image/dibitmap.h"
#include "codec_test_support.h"
#include "platform/messages.h"
#include "test_support.h"

namespace {

using namespace testing_support;
using namespace codec_test;

enum Oracle : unsigned { kMagick = 1, kPillow = 2 };

bool IsDcx(const std::string& file) { return file.ends_with(".dcx"); }

// ImageMagick's decode; of a DCX file, its first page.
std::string MagickRGB(const std::string& file) { return MagickDecode(IsDcx(file) ? file + "[0]" : file); }

const Sample kSamples[] = {
    // Written by ImageMagick and Pillow (make_samples.sh).
    {"pcx/im_rgb24.pcx", kMagick | kPillow},
    {"pcx/im_rgb24_13.pcx", kMagick | kPillow},
    {"pcx/im_rgba.pcx", kMagick},  // 4 planes: Pillow refuses
    {"pcx/im_pal8.pcx", kMagick | kPillow},
    {"pcx/im_pal16_13.pcx", kMagick | kPillow},
    {"pcx/im_gray8.pcx", kMagick | kPillow},
    {"pcx/im_pal1.pcx", kMagick},  // map white, black: Pillow ignores 1-bit maps
    {"pcx/im_pal8_2colors_13.pcx", kMagick | kPillow},
    {"pcx/pil_rgb24.pcx", kMagick | kPillow},
    {"pcx/pil_rgb24_13.pcx", kMagick | kPillow},
    {"pcx/pil_l8.pcx", kMagick | kPillow},
    {"pcx/pil_p8.pcx", kMagick | kPillow},
    // Pillow leaves the 1-bit map black in both entries: black and white, as
    // Pillow reads it; ImageMagick reads 1-bit files as white, black whatever the map.
    {"pcx/pil_1.pcx", kPillow},
    {"pcx/pil_1_13.pcx", kPillow},
    // Built by make_samples.sh from the published layout. Pillow 9 reads
    // neither 2 nor 4 bits on one plane, mis-orders 1-bit planes and refuses
    // runs that cross a line end.
    {"pcx/py_pal2_13.pcx", kMagick},
    {"pcx/py_pal16.pcx", kMagick},
    {"pcx/py_pal1_colors_13.pcx", 0},  // neither uses a 1-bit map: see OneBitFilesUseTheHeaderMap
    {"pcx/py_planar16.pcx", kMagick},
    {"pcx/py_gray8_info2.pcx", kMagick | kPillow},
    {"pcx/py_runs_across_lines_13.pcx", kMagick},
    // DCX: the first page.
    {"dcx/im_multipage.dcx", kMagick | kPillow},
    {"dcx/im_pal8_pages.dcx", kMagick},  // Pillow takes the last page's palette (end of file)
    // Pillow's and ImageMagick's test files.
    {"third_party/pillow/pcx/pil184.pcx", kPillow},  // map black, white
    {"third_party/pillow/pcx/odd_stride.pcx", kMagick | kPillow},
    {"third_party/pillow/pcx/p_4_planes.pcx", kMagick},
    {"third_party/pillow/dcx/hopper.dcx", kMagick | kPillow},
    {"third_party/imagemagick-fallback/multipage-im6.dcx", kMagick | kPillow},
};

std::string OracleRGB(Oracle oracle, const std::string& file) {
  if (oracle == kMagick) return MagickRGB(file);
  // Every sample Pillow checks is decoded on first use, in one run (a DCX
  // file opens at its first page).
  static std::map<std::string, std::string> decoded;
  return PillowCached(decoded, FilesWith(kSamples, kPillow), file);
}

class PcxSample : public testing::TestWithParam<Sample> {};

// Reads the sample and compares with every oracle; writes it with our
// writer, reads that back (kind, table and rows identical) and lets both
// oracles decode our file too.
TEST_P(PcxSample, ReadsLikeOraclesAndRoundTrips) {
  const std::string file = DataPath(GetParam().path);
  platform::RecordingMessageSink sink;
  CDIBitmap image;
  ASSERT_EQ(PCXRead(file, image), 1);
  EXPECT_TRUE(sink.Texts().empty());
  const std::string ours = ImageRGB(image);
  ASSERT_EQ(ours.size(), size_t(image.GetWidth()) * image.GetHeight() * 3);
  for (Oracle oracle : {kMagick, kPillow}) {
    if (!(GetParam().oracles & oracle)) continue;
    SCOPED_TRACE(testing::Message() << "oracle " << oracle);
    EXPECT_TRUE(OracleRGB(oracle, file) == ours);
  }

  TempDir dir;
  const std::string copy = dir.File("copy.pcx");
  ASSERT_EQ(PCXWrite(copy, image), 1);
  CDIBitmap back;
  ASSERT_EQ(PCXRead(copy, back), 1);
  EXPECT_EQ(back.GetColorType(), image.GetColorType());
  EXPECT_EQ(back.IsGray(), image.IsGray());
  ASSERT_NO_FATAL_FAILURE(ExpectSameBitmap(image, back));
  if (GetParam().oracles & kMagick) {
    EXPECT_TRUE(MagickRGB(copy) == ours);
  }
  if (GetParam().oracles & kPillow) {
    EXPECT_TRUE(PillowBatch({copy})[0] == ours);
  }
}

INSTANTIATE_TEST_SUITE_P(Files, PcxSample, testing::ValuesIn(kSamples), [](const auto& info) {
  return TestNameOf(std::filesystem::path(info.param.path).filename().string(), info.index);
});

TEST(PcxSamples, EveryCommittedSampleIsChecked) {
  std::set<std::string> listed = ListedPaths(kSamples);
  listed.insert("dcx/py_no_terminator.dcx");  // checked below
  for (const char* folder : {"pcx", "dcx"}) ExpectEveryFileListed(listed, folder, {".pcx", ".dcx"});
}

// The table the header or the trailing palette gives: 2^(bits x planes)
// entries of the header's map for 1 to 4 bits, the 256 entries after the
// marker 12 for 8 bits, the ramp for a gray file; pixels keep their indices.
TEST(PcxRead, ColourTablesComeFromTheFile) {
  struct Case {
    const char* path;
    int bitCount;
    const char* kind;
    int headerEntries;  // 0: the trailing palette, -1: none (gray)
  };
  const Case kCases[] = {
      {"pcx/py_pal16.pcx", 8, "INDEX", 16},
      {"pcx/py_pal2_13.pcx", 8, "INDEX", 4},
      {"pcx/py_planar16.pcx", 8, "INDEX", 16},
      {"pcx/py_pal1_colors_13.pcx", 1, "INDEX", 2},
      {"pcx/im_pal8_2colors_13.pcx", 8, "INDEX", 0},
      {"pcx/im_pal8.pcx", 8, "INDEX", 0},
      {"pcx/py_gray8_info2.pcx", 8, "GRAY", -1},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.path);
    const Bytes file = ReadBytes(DataPath(c.path));
    CDIBitmap image;
    ASSERT_EQ(PCXRead(DataPath(c.path), image), 1);
    EXPECT_EQ(image.GetBitCount(), c.bitCount);
    EXPECT_STREQ(image.GetKindName(), c.kind);
    Bytes expected(static_cast<size_t>(image.GetPaletteSize()) * 4, 0);
    for (int i = 0; i < image.GetPaletteSize(); ++i) {
      const uint8_t* rgb = c.headerEntries > 0   ? (i < c.headerEntries ? &file[16 + 3 * i] : nullptr)
                           : c.headerEntries == 0 ? &file[file.size() - 768 + 3 * i]
                                                  : nullptr;
      if (c.headerEntries < 0) std::fill_n(&expected[4 * i], 3, uint8_t(i));
      if (rgb) expected[4 * i] = rgb[2], expected[4 * i + 1] = rgb[1], expected[4 * i + 2] = rgb[0];
    }
    EXPECT_EQ(ColorTable(image), expected);
  }
  // Pillow leaves the map of its 1-bit files black in both entries: black and white.
  CDIBitmap mono;
  ASSERT_EQ(PCXRead(DataPath("pcx/pil_1.pcx"), mono), 1);
  EXPECT_EQ(ColorTable(mono), (Bytes{0, 0, 0, 0, 255, 255, 255, 0}));
}

// A 1-bit file's colours are the two entries of its header map; the bits
// themselves are as Pillow decodes them (Pillow shows 0 black, 1 white
// whatever the map).
TEST(PcxRead, OneBitFilesUseTheHeaderMap) {
  for (const char* path : {"pcx/py_pal1_colors_13.pcx", "pcx/im_pal1.pcx"}) {
    SCOPED_TRACE(path);
    const Bytes file = ReadBytes(DataPath(path));
    CDIBitmap image;
    ASSERT_EQ(PCXRead(DataPath(path), image), 1);
    ASSERT_EQ(image.GetBitCount(), 1);
    const std::string pillow = PillowBatch({DataPath(path)})[0];
    std::string expected;
    for (size_t i = 0; i < pillow.size(); i += 3) {
      const uint8_t* rgb = &file[16 + (pillow[i] ? 3 : 0)];
      expected += {char(rgb[0]), char(rgb[1]), char(rgb[2])};
    }
    EXPECT_TRUE(ImageRGB(image) == expected);
  }
}

// Builds a PCX file: the 128-byte header from its fields, then `data`.
Bytes PcxFile(int width, int height, int bits, int planes, int bytesPerLine, int paletteInfo, const Bytes& data,
              const Bytes& colorMap = {}) {
  Bytes f(128, 0);
  auto put = [&](size_t at, uint32_t v) { f[at] = uint8_t(v), f[at + 1] = uint8_t(v >> 8); };
  f[0] = 10, f[1] = 5, f[2] = 1, f[3] = uint8_t(bits);
  put(8, width - 1), put(10, height - 1), put(12, 72), put(14, 72);
  std::copy(colorMap.begin(), colorMap.end(), f.begin() + 16);
  f[65] = uint8_t(planes);
  put(66, bytesPerLine), put(68, paletteInfo);
  f.insert(f.end(), data.begin(), data.end());
  return f;
}

// The line code: counts of the low 6 bits, runs that continue into the
// next line (and across planes), a count of 0, a run left over at the end.
TEST(PcxRead, RunLengthCodeAcrossLines) {
  struct Case {
    const char* name;
    int width, height, planes;
    Bytes data;
    std::vector<Bytes> rows;  // top first, as stored (8-bit gray or 24-bit blue, green, red)
  };
  const Case kCases[] = {
      {"run of 3 across the line end", 2, 2, 1, {0xC3, 5, 6}, {{5, 5}, {5, 6}}},
      {"run of 63 left over after the last line", 1, 1, 1, {0xFF, 9}, {{9}}},
      {"count 0 gives nothing", 2, 1, 1, {0xC0, 0x77, 1, 2}, {{1, 2}}},
      {"literals up to 0xBF", 3, 1, 1, {0x00, 0x3F, 0xBF}, {{0x00, 0x3F, 0xBF}}},
      {"0xC0 and above only as a run", 2, 1, 1, {0xC1, 0xC0, 0xC1, 0xFF}, {{0xC0, 0xFF}}},
      {"run across planes and lines", 2, 2, 3, {0xC4, 1, 2, 3, 0xC7, 4}, {{2, 1, 1, 3, 1, 1}, {4, 4, 4, 4, 4, 4}}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string file = dir.File("runs.pcx");
    WriteBytes(file, PcxFile(c.width, c.height, 8, c.planes, c.width, 2, c.data));
    platform::RecordingMessageSink sink;
    CDIBitmap image;
    ASSERT_EQ(PCXRead(file, image), 1);
    EXPECT_TRUE(sink.Texts().empty());
    for (int y = 0; y < c.height; ++y) {
      Bytes row(c.rows[y].size());
      image.GetRow(row.data(), y);
      EXPECT_EQ(row, c.rows[y]) << "row " << y;
    }
  }
}

// Damaged or unsupported files fail with their message and leave the
// caller's image as it was.
TEST(PcxRead, DamagedFilesFailWithTheirMessage) {
  auto withPath = [](const char* format, const std::string& path) {
    return platform::FormatText(format, DataPath(path).c_str());
  };
  const std::map<std::string, std::string> kBad = {
      {"pcx/bad/short_line.pcx", "PCXCODE: Bad scan line length (was 5 should be 9)\n"},
      {"pcx/bad/count_at_end.pcx", "PCXCODE: Bad scan line length (was 2 should be 9)\n"},
      {"pcx/bad/tiny_data.pcx", "PCXCODE: Bad scan line length (was 1260 should be 3000)\n"},
      {"pcx/bad/no_vga_palette.pcx", "PcxHead: Error reading VGA color map information!\n"},
      {"pcx/bad/bpl_below_width.pcx", "PCXREAD: Bytes per line 4 too small for width 10\n"},
      {"pcx/bad/bpl_below_width_mono.pcx", "PCXREAD: Bytes per line 2 too small for width 20\n"},
      {"pcx/bad/xmax_below_xmin.pcx", "PCXREAD: Invalid image size -1 x 3\n"},
      {"pcx/bad/two_planes_8bit.pcx", "PCXREAD: Unsupported pixel layout (8 bits per pixel, 2 planes)\n"},
      {"pcx/bad/bits_16.pcx", "PCXREAD: Unsupported pixel layout (16 bits per pixel, 1 planes)\n"},
      {"pcx/bad/huge.pcx", "PCXREAD: Image too large (30000 x 65536)\n"},
      {"pcx/bad/header_cut.pcx", "PcxHead: Error reading header information!\n"},
      {"pcx/bad/not_pcx.pcx", withPath("PcxHead: %s is not a PCX-format file!\n", "pcx/bad/not_pcx.pcx")},
      {"dcx/bad/not_dcx.dcx", withPath("DcxHead: %s is not a DCX-format file!\n", "dcx/bad/not_dcx.dcx")},
      {"dcx/bad/empty_list.dcx", withPath("DcxHead: %s holds no page!\n", "dcx/bad/empty_list.dcx")},
      {"dcx/bad/magic_only.dcx", withPath("DcxHead: %s holds no page!\n", "dcx/bad/magic_only.dcx")},
      {"dcx/bad/offset_past_end.dcx", "PcxHead: Error reading header information!\n"},
      // Bytes per line below the width, from Pillow's fuzzing files.
      {"third_party/pillow/pcx/01r_00.pcx", "PCXREAD: Bytes per line 12 too small for width 88\n"},
      {"third_party/pillow/pcx/ossfuzz-4836216264589312.pcx", "PCXREAD: Bytes per line 0 too small for width 1\n"},
  };
  for (const auto& [path, message] : kBad) {
    SCOPED_TRACE(path);
    EXPECT_EQ(FailedReadTexts(PCXRead, DataPath(path)), std::vector<std::string>{message});
  }
  platform::RecordingMessageSink sink;
  CDIBitmap image;
  EXPECT_EQ(PCXRead("/nonexistent-folder/x.pcx", image), 0);
  EXPECT_EQ(sink.Texts(), std::vector<std::string>{"Can't open file for reading :\n/nonexistent-folder/x.pcx"});
}

// A trailing palette without its marker 12 is only a warning: the 768
// bytes are used as the palette all the same.
TEST(PcxRead, PaletteMarkerOtherThan12IsAWarning) {
  TempDir dir;
  const std::string file = dir.File("marker.pcx");
  Bytes bytes = ReadBytes(DataPath("pcx/im_pal8.pcx"));
  bytes[bytes.size() - 769] = 11;
  WriteBytes(file, bytes);
  platform::RecordingMessageSink sink;
  CDIBitmap image;
  ASSERT_EQ(PCXRead(file, image), 1);
  EXPECT_EQ(sink.Texts(), std::vector<std::string>{"PCXREAD: Not Proper Palette !"});
  EXPECT_TRUE(ImageRGB(image) == MagickRGB(DataPath("pcx/im_pal8.pcx")));
}

// Only a name ending in ".dcx" exactly is read as DCX; the page list is
// bounded by the file when its terminator is missing.
TEST(DcxRead, NameAndPageList) {
  TempDir dir;
  const Bytes dcx = ReadBytes(DataPath("dcx/im_multipage.dcx"));
  const std::string upper = dir.File("PAGES.DCX");
  WriteBytes(upper, dcx);
  platform::RecordingMessageSink sink;
  CDIBitmap image;
  EXPECT_EQ(PCXRead(upper, image), 0);
  EXPECT_EQ(sink.Texts(), std::vector<std::string>{"PcxHead: " + upper + " is not a PCX-format file!\n"});

  // The page list runs into the page's header: the page still reads whole.
  CDIBitmap page;
  ASSERT_EQ(PCXRead(DataPath("dcx/py_no_terminator.dcx"), page), 1);
  EXPECT_TRUE(ImageRGB(page) == MagickRGB(DataPath("pcx/im_rgb24_13.pcx")));

  // A 1023-entry list without 0, every entry pointing at the one page.
  Bytes longList = {0xB1, 0x68, 0xDE, 0x3A};
  const Bytes pcx = ReadBytes(DataPath("pcx/im_pal8.pcx"));
  const uint32_t at = 4 + 1023 * 4;
  for (int i = 0; i < 1023; ++i) longList.insert(longList.end(), {uint8_t(at), uint8_t(at >> 8), 0, 0});
  longList.insert(longList.end(), pcx.begin(), pcx.end());
  const std::string file = dir.File("long.dcx");
  WriteBytes(file, longList);
  CDIBitmap first;
  ASSERT_EQ(PCXRead(file, first), 1);
  EXPECT_TRUE(ImageRGB(first) == MagickRGB(DataPath("pcx/im_pal8.pcx")));
  EXPECT_EQ(sink.Texts().size(), 1u);
}

// A file as the writer lays it out: version 5, run-length encoded, 72 dots
// per inch, the rows' line code, and for 8 bits the marker 12 and 256
// entries of red, green, blue.
TEST(PcxWrite, WritesTheExactLayout) {
  struct Case {
    const char* name;
    int width, height, bits, options;
    std::vector<Bytes> rows;  // packed, top first
    Bytes data;               // expected line code of all rows
  };
  const Bytes hundred(100, 7);
  const Case kCases[] = {
      {"8-bit gray: a run of 100 is 63 then 37", 100, 1, 8, 1, {hundred}, {0xFF, 7, 0xE5, 7}},
      {"8-bit palette: lone bytes below 0x40 are literal, others counted", 5, 1, 8, 2,
       {{0x3F, 0x40, 0xC0, 0x00, 0x00}}, {0x3F, 0xC1, 0x40, 0xC1, 0xC0, 0xC2, 0x00}},
      {"24-bit 3x2 odd width: planes red, green, blue; runs stop at the line end", 3, 2, 24, 0,
       {{1, 2, 3, 1, 2, 3, 9, 9, 9}, {0x50, 0x50, 0x50, 0x50, 0x50, 0x50, 0x50, 0x50, 0x50}},
       {0xC2, 3, 9, 0xC2, 2, 9, 0xC2, 1, 9, 0xC9, 0x50}},
      {"1-bit 10x2: bytes per line 2", 10, 2, 1, 2, {{0xA5, 0xC0}, {0x3C, 0x40}},
       {0xC1, 0xA5, 0xC1, 0xC0, 0x3C, 0xC1, 0x40}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    CDIBitmap image;
    ASSERT_EQ(image.Create(c.width, c.height, c.bits, c.options), 1);
    if (c.options == 2) {
      Bytes table(image.GetPaletteSize() * 4);
      for (size_t i = 0; i < table.size(); ++i) table[i] = (i % 4 == 3) ? 0 : uint8_t(i * 7 + 1);
      image.SetColorTable(table.data(), image.GetPaletteSize());
    }
    for (int y = 0; y < c.height; ++y) image.PutRow(c.rows[y].data(), y);

    const int planes = c.bits == 24 ? 3 : 1;
    const int bytesPerLine = c.bits == 1 ? (c.width + 7) / 8 : c.width;
    Bytes colorMap;
    const Bytes table = ColorTable(image);
    if (c.bits == 1) colorMap = {table[2], table[1], table[0], table[6], table[5], table[4]};
    Bytes expected = PcxFile(c.width, c.height, c.bits == 1 ? 1 : 8, planes, bytesPerLine,
                             c.options == 1 ? 2 : 0, c.data, colorMap);
    if (c.bits == 8) {
      expected.push_back(12);
      for (int i = 0; i < 256; ++i) expected.insert(expected.end(), {table[4 * i + 2], table[4 * i + 1], table[4 * i]});
    }

    TempDir dir;
    platform::RecordingMessageSink sink;
    ASSERT_EQ(PCXWrite(dir.File("out.pcx"), image), 1);
    EXPECT_EQ(ReadBytes(dir.File("out.pcx")), expected);
    EXPECT_TRUE(sink.Texts().empty());

    // Read back: same kind (gray stays gray), table and rows.
    CDIBitmap back;
    ASSERT_EQ(PCXRead(dir.File("out.pcx"), back), 1);
    EXPECT_EQ(back.GetColorType(), image.GetColorType());
    EXPECT_EQ(ColorTable(back), table);
    for (int y = 0; y < c.height; ++y) {
      Bytes row(c.rows[y].size());
      back.GetRow(row.data(), y);
      EXPECT_EQ(row, c.rows[y]);
    }
  }
}

// Long lines of runs of every length around the marker values, through
// the line rule written out here: a run of 2 to 63 equal bytes, or a single
// byte of 0x40 or above, is (0xC0 + length, byte); a single byte below 0x40
// stands for itself.
TEST(PcxWrite, LongLinesFollowTheLineRule) {
  const int width = 997, height = 6;
  std::vector<Bytes> rows(height, Bytes(width));
  const uint8_t values[] = {0x00, 0x3F, 0x40, 0x41, 0xBF, 0xC0, 0xC1, 0xFF};
  uint32_t seed = 12345;
  auto next = [&seed] { return seed = seed * 1103515245u + 12345u, seed >> 16; };
  for (int y = 0; y < height; ++y) {
    int x = 0, runs = 0;
    while (x < width) {
      // Short runs, single bytes and runs longer than 63, in turn.
      const int length = runs % 5 == 4 ? 60 + int(next() % 140) : 1 + int(next() % (y + 2));
      const uint8_t v = runs % 3 == 0 ? values[next() % 8] : uint8_t(next());
      for (int i = 0; i < length && x < width; ++i) rows[y][x++] = v;
      ++runs;
    }
  }
  Bytes data;
  for (const Bytes& row : rows)
    for (int x = 0; x < width;) {
      int run = 1;
      while (run < 63 && x + run < width && row[x + run] == row[x]) ++run;
      if (run >= 2 || row[x] >= 0x40)
        data.insert(data.end(), {uint8_t(0xC0 + run), row[x]});
      else
        data.push_back(row[x]);
      x += run;
    }
  CDIBitmap image;
  ASSERT_EQ(image.Create(width, height, 8, 1), 1);
  for (int y = 0; y < height; ++y) image.PutRow(rows[y].data(), y);
  TempDir dir;
  ASSERT_EQ(PCXWrite(dir.File("long.pcx"), image), 1);
  const Bytes file = ReadBytes(dir.File("long.pcx"));
  ASSERT_EQ(file.size(), 128 + data.size() + 769);
  EXPECT_TRUE(Bytes(file.begin() + 128, file.end() - 769) == data);
  // ImageMagick decodes the same rows.
  std::string pixels;
  for (const Bytes& row : rows)
    for (uint8_t v : row) pixels.append(3, char(v));
  EXPECT_TRUE(MagickDecode(dir.File("long.pcx")) == pixels);
}

TEST(PcxWrite, RefusalsAndWriteFailures) {
  struct Case {
    const char* path;
    int width, height, bits, options;
    std::string message;
  };
  const Case kCases[] = {
      {"/dev/full", 64, 64, 24, 0, "PCXCODE: Error writing image data!\n"},
      {"/nonexistent-folder/x.pcx", 4, 4, 8, 1, "Can't open file for writing"},
      {"/dev/null", 4, 4, 32, 3, "PCXCODE: Cannot write a 32-bit image as PCX\n"},
      {"/dev/null", 65536, 1, 8, 1, "PCXCODE: Image too large for PCX (65536 x 1)\n"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.message);
    CDIBitmap image;
    ASSERT_EQ(image.Create(c.width, c.height, c.bits, c.options), 1);
    platform::RecordingMessageSink sink;
    EXPECT_EQ(PCXWrite(c.path, image), 0);
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{c.message});
  }
}

// The command line opens PCX and DCX files and saves PCX files by name.
TEST(PcxCli, ConvertAndInfo) {
  if (CliPath().empty()) GTEST_SKIP() << "vividrome-cli is not part of this build";
  TempDir dir;
  const std::string cli = ShellQuote(CliPath());
  const std::string bmp = dir.File("page.bmp");
  const std::string dcx = DataPath("dcx/im_pal8_pages.dcx");
  ASSERT_EQ(RunCommand(cli + " convert " + ShellQuote(dcx) + " " + ShellQuote(bmp)).exitCode, 0);
  CDIBitmap image;
  ASSERT_EQ(BMPRead(bmp, image), 1);
  EXPECT_TRUE(ImageRGB(image) == MagickRGB(dcx));

  const std::string pcx = dir.File("back.pcx");
  ASSERT_EQ(RunCommand(cli + " convert " + ShellQuote(bmp) + " " + ShellQuote(pcx)).exitCode, 0);
  EXPECT_TRUE(MagickRGB(pcx) == MagickRGB(dcx));
  const CommandResult info = RunCommand(cli + " info " + ShellQuote(pcx));
  EXPECT_EQ(info.exitCode, 0);
  EXPECT_EQ(info.out, std::to_string(image.GetWidth()) + " " + std::to_string(image.GetHeight()) + " 8 INDEX\n");

  const CommandResult refused = RunCommand(cli + " convert " + ShellQuote(pcx) + " " + ShellQuote(dir.File("x.dcx")));
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_NE(refused.err.find("Sorry, File Format is not supported now !"), std::string::npos);
}

}  // namespace
