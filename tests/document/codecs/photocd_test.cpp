// Photo CD reader. Base resolutions are checked against ImageMagick's and
// Pillow's decodes of image packs that ImageMagick wrote; 4Base and 16Base
// against a reference built here from the sample's own bytes: the base
// planes as laid out in the file, a plain (not in-place) doubling written
// from its definition, and the residuals that the Python encoder of
// make_samples.sh listed beside the pack, so no Huffman decoding is shared
// with the reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "document/codecs/bmp.h"
#include "document/codecs/photocd.h"
#include "image/dibitmap.h"
#include "codec_test_support.h"
#include "platform/messages.h"
#include "test_support.h"

namespace {

using namespace testing_support;
using codec_test::Bytes;

// ImageMagick's planes before conversion come from the same doubling and
// residual arithmetic; its averages of two and four neighbours round their
// own way, which moves an interpolated value by at most one. Pillow converts
// with the same linear formula (1.3584 Y + 1.8215 (C2 - 137) ...) in its own
// arithmetic; each conversion lies within one of the real formula, so the two
// lie within two of each other. Pillow enlarges chroma without
// interpolation, so it is compared only inside flat colour areas.
// (ImageMagick's RGB decode applies a non-linear PhotoYCC map on top and is
// not comparable pixel by pixel.)
constexpr int kMagickBound = 1;
constexpr int kPillowBound = 2;

// Hands the planes through unconverted: red = Y, green = C1, blue = C2,
// which is how ImageMagick gives them when asked for "PCDS:" (the planes
// labelled as RGB without conversion).
class RawPlanes final : public PhotoYCCTransform {
 public:
  void ConvertRow(const uint8_t* y, const uint8_t* c1, const uint8_t* c2, uint8_t* bgr, int width) const override {
    for (int x = 0; x < width; ++x) bgr[3 * x] = c2[x], bgr[3 * x + 1] = c1[x], bgr[3 * x + 2] = y[x];
  }
};

// Top-down R, G, B bytes.
Bytes ImageRGB(const CDIBitmap& image) { return codec_test::ImageRGB<Bytes>(image); }

// Largest difference of two equally long byte strings (256 when the lengths differ).
int MaxDifference(const Bytes& a, const Bytes& b) {
  if (a.size() != b.size()) return 256;
  int worst = 0;
  for (size_t i = 0; i < a.size(); ++i) worst = std::max(worst, std::abs(int(a[i]) - int(b[i])));
  return worst;
}

// ImageMagick's planes Y, C1, C2 before any colour conversion, interleaved
// per pixel; `size` picks the resolution.
Bytes MagickPlanes(const std::string& file, const std::string& size) {
  TempDir dir;
  const std::string raw = dir.File("out.rgb");
  const auto result = RunCommand(std::string(kImageMagick) + " -size " + size + " " + ShellQuote("PCDS:" + file) +
                                 " -depth 8 " + ShellQuote("rgb:" + raw));
  EXPECT_EQ(result.exitCode, 0) << result.err;
  return result.exitCode == 0 ? ReadBytes(raw) : Bytes();
}

Bytes PillowRGB(const std::string& file) {
  TempDir dir;
  const std::string raw = dir.File("out.rgb");
  const auto result = RunCommand(std::string(kPython) +
                                 " -c 'import sys; from PIL import Image; "
                                 "open(sys.argv[2], \"wb\").write(Image.open(sys.argv[1]).convert(\"RGB\").tobytes())' " +
                                 ShellQuote(file) + " " + ShellQuote(raw));
  EXPECT_EQ(result.exitCode, 0) << result.err;
  return result.exitCode == 0 ? ReadBytes(raw) : Bytes();
}

std::string SizeText(int resolution) {
  return std::to_string(kPhotoCDWidths[resolution]) + "x" + std::to_string(kPhotoCDHeights[resolution]);
}

// --- the reference -------------------------------------------------------

struct RefPlane {
  int w = 0, h = 0;
  std::vector<int> v;
  int& at(int x, int y) { return v[static_cast<size_t>(y) * w + x]; }
  int at(int x, int y) const { return v[static_cast<size_t>(y) * w + x]; }
};

RefPlane Doubled(const RefPlane& in) {
  RefPlane out{2 * in.w, 2 * in.h, std::vector<int>(size_t(4) * in.w * in.h)};
  const int W = out.w;
  for (int r = 0; r < in.h; ++r)
    for (int x = 0; x < in.w; ++x) {
      const bool last = x == in.w - 1;
      out.at(2 * x, 2 * r) = in.at(x, r);
      out.at(2 * x + 1, 2 * r) = last ? in.at(x, r) : (in.at(x, r) + in.at(x + 1, r) + 1) / 2;
    }
  for (int k = 0; k + 1 < in.h; ++k)
    for (int j = 0; j < W; ++j) {
      const int a = 2 * k, b = 2 * k + 2;
      if (j % 2 == 0 || j >= W - 2)
        out.at(j, a + 1) = (out.at(j, a) + out.at(j, b) + 1) / 2;
      else
        out.at(j, a + 1) = (out.at(j - 1, a) + out.at(j + 1, a) + out.at(j - 1, b) + out.at(j + 1, b) + 2) / 4;
    }
  for (int j = 0; j < W; ++j) out.at(j, out.h - 1) = out.at(j, out.h - 2);
  return out;
}

// Planes Y, C1, C2 of base level 0, 1 or 2 straight from the file bytes.
std::vector<RefPlane> BasePlanes(const Bytes& file, int level) {
  const int sector[] = {4, 23, 96};
  const int w = kPhotoCDWidths[level], h = kPhotoCDHeights[level];
  std::vector<RefPlane> p = {{w, h, std::vector<int>(size_t(w) * h)},
                             {w / 2, h / 2, std::vector<int>(size_t(w) * h / 4)},
                             {w / 2, h / 2, std::vector<int>(size_t(w) * h / 4)}};
  size_t at = size_t(sector[level]) * 2048;
  for (int g = 0; g < h / 2; ++g) {
    for (int x = 0; x < w; ++x) p[0].at(x, 2 * g) = file.at(at++);
    for (int x = 0; x < w; ++x) p[0].at(x, 2 * g + 1) = file.at(at++);
    for (int x = 0; x < w / 2; ++x) p[1].at(x, g) = file.at(at++);
    for (int x = 0; x < w / 2; ++x) p[2].at(x, g) = file.at(at++);
  }
  return p;
}

// Adds the residual rows of one stream (4 or 16) listed in the side file.
void AddResiduals(const std::string& sideFile, int stream, std::vector<RefPlane>& planes) {
  std::ifstream in(sideFile);
  std::string line;
  int rows = 0;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    int s = 0, plane = 0, row = 0;
    fields >> s >> plane >> row;
    if (s != stream) continue;
    RefPlane& p = planes[plane == 0 ? 0 : plane - 1];
    const int y = plane == 0 ? row : row / 2;
    int value = 0;
    for (int x = 0; fields >> value; ++x)
      if (x < p.w) p.at(x, y) = std::clamp(p.at(x, y) + value, 0, 255);
    ++rows;
  }
  EXPECT_GT(rows, 0) << sideFile;
}

// The planes a resolution should give for a pack whose residuals are listed.
std::vector<RefPlane> ReferencePlanes(const std::string& pack, const std::string& sideFile, int resolution) {
  const Bytes file = ReadBytes(pack);
  std::vector<RefPlane> p = BasePlanes(file, std::min(resolution, 2));
  if (resolution <= 2) return {p[0], Doubled(p[1]), Doubled(p[2])};
  p = {Doubled(p[0]), Doubled(Doubled(p[1])), Doubled(Doubled(p[2]))};
  AddResiduals(sideFile, 4, p);
  if (resolution == 3) return p;
  p[0] = Doubled(p[0]);
  AddResiduals(sideFile, 16, p);
  return {p[0], Doubled(p[1]), Doubled(p[2])};
}

// Y, C1, C2 interleaved per pixel, as ImageRGB gives a RawPlanes read.
Bytes PlanesAsRGB(const std::vector<RefPlane>& p) {
  Bytes out;
  for (int y = 0; y < p[0].h; ++y)
    for (int x = 0; x < p[0].w; ++x)
      out.insert(out.end(), {uint8_t(p[0].at(x, y)), uint8_t(p[1].at(x, y)), uint8_t(p[2].at(x, y))});
  return out;
}

// --- conversion and doubling ------------------------------------------------

// The integer tables approximate red = 1.3584 Y + 1.8215 (C2 - 137), green =
// 1.3584 Y - 0.4302 (C1 - 156) - 0.9272 (C2 - 137), blue = 1.3584 Y + 2.2180
// (C1 - 156), rounded: every result must lie within one of the real value
// (clamped), which a wrong constant or a logical instead of arithmetic shift
// would break.
TEST(PhotoYCC, FixedConversionFollowsTheRealFormula) {
  struct Case {
    uint8_t y, c1, c2, r, g, b;
  };
  const Case kCases[] = {{0, 156, 137, 0, 0, 0}, {188, 156, 137, 255, 255, 255}, {255, 156, 137, 255, 255, 255}};
  for (const Case& c : kCases) {
    uint8_t bgr[3];
    PhotoYCCToBGRRow(&c.y, &c.c1, &c.c2, bgr, 1);
    EXPECT_EQ((std::vector<int>{bgr[2], bgr[1], bgr[0]}), (std::vector<int>{c.r, c.g, c.b}))
        << int(c.y) << " " << int(c.c1) << " " << int(c.c2);
  }
  Bytes ys, c1s, c2s;
  for (int y = 0; y < 256; y += 5)
    for (int c1 = 0; c1 < 256; c1 += 7)
      for (int c2 = 0; c2 < 256; c2 += 11) ys.push_back(y), c1s.push_back(c1), c2s.push_back(c2);
  Bytes bgr(ys.size() * 3);
  PhotoYCCToBGRRow(ys.data(), c1s.data(), c2s.data(), bgr.data(), static_cast<int>(ys.size()));
  for (size_t i = 0; i < ys.size(); ++i) {
    const double Y = 1.3584 * ys[i], C1 = c1s[i] - 156.0, C2 = c2s[i] - 137.0;
    const double want[3] = {Y + 2.2180 * C1, Y - 0.4302 * C1 - 0.9272 * C2, Y + 1.8215 * C2};  // b, g, r
    for (int k = 0; k < 3; ++k) {
      const double clamped = std::clamp(want[k], 0.0, 255.0);
      EXPECT_LE(std::abs(bgr[3 * i + k] - clamped), 1.0) << "Y " << int(ys[i]) << " C1 " << int(c1s[i]) << " C2 "
                                                          << int(c2s[i]) << " channel " << k;
    }
  }
}

TEST(PhotoCDDouble, InterpolatesRowsAndColumns) {
  // 2 x 2 [10 20 / 30 40], and a one-pixel-wide column [7 / 9].
  uint8_t square[4 * 4] = {10, 20, 0, 0, 30, 40};
  PhotoCDDoublePlane(square, 4, 2, 2);
  EXPECT_EQ(Bytes(square, square + 16), (Bytes{10, 15, 20, 20, 20, 25, 30, 30, 30, 35, 40, 40, 30, 35, 40, 40}));
  uint8_t column[2 * 4] = {7, 0, 9};
  PhotoCDDoublePlane(column, 2, 1, 2);
  EXPECT_EQ(Bytes(column, column + 8), (Bytes{7, 7, 8, 8, 9, 9, 9, 9}));
  // The in-place doubling agrees with a plain one on an irregular plane.
  RefPlane ref{5, 3, {3, 250, 17, 0, 99, 128, 1, 255, 64, 7, 200, 13, 90, 91, 2}};
  Bytes plane(10 * 6, 0);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) plane[y * 10 + x] = uint8_t(ref.at(x, y));
  PhotoCDDoublePlane(plane.data(), 10, 5, 3);
  const RefPlane want = Doubled(ref);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 10; ++x) EXPECT_EQ(plane[y * 10 + x], want.at(x, y)) << x << "," << y;
}

// --- samples --------------------------------------------------------------

TEST(PhotoCDProbe, CountsTheResolutionsTheFileHolds) {
  EXPECT_EQ(ProbePhotoCD(DataPath("pcd/im_gradient.pcd")), 3);  // ImageMagick writes the base images only
  EXPECT_EQ(ProbePhotoCD(DataPath("third_party/exiftool/PhotoCD.pcd")), 3);
  EXPECT_EQ(ProbePhotoCD(DataPath("pcd/bad/no_16base.pcd")), 4);  // ends before sector 396
  EXPECT_EQ(ProbePhotoCD(DataPath("pcd/py_16base.pcd")), 5);
  EXPECT_EQ(ProbePhotoCD(DataPath("pcd/missing.pcd")), 0);
}

// Pixels of the 768 x 512 colour bars (eight bars 96 wide) at least four
// columns away from a bar edge, where any chroma enlargement gives the same.
Bytes BarInteriors(const Bytes& rgb) {
  Bytes out;
  for (size_t i = 0; i < rgb.size(); i += 3)
    if ((i / 3) % 768 % 96 >= 4 && (i / 3) % 768 % 96 < 92) out.insert(out.end(), rgb.begin() + i, rgb.begin() + i + 3);
  return out;
}

// The base resolutions of ImageMagick's packs (and of the encoder's) against
// ImageMagick's planes before conversion, and Base of the colour bars against
// Pillow's RGB decode (Pillow reads no other resolution).
TEST(PhotoCDRead, BaseResolutionsMatchImageMagickAndPillow) {
  for (const char* name : {"pcd/im_gradient.pcd", "pcd/im_bars.pcd", "pcd/py_16base.pcd"}) {
    const std::string file = DataPath(name);
    for (int resolution = 0; resolution <= 2; ++resolution) {
      SCOPED_TRACE(testing::Message() << name << " resolution " << resolution);
      platform::RecordingMessageSink sink;
      const RawPlanes raw;
      CDIBitmap planes, image;
      ASSERT_EQ(PhotoCDRead(file, planes, resolution, &raw), 1);
      ASSERT_EQ(PhotoCDRead(file, image, resolution), 1);
      EXPECT_TRUE(sink.Texts().empty());
      ASSERT_EQ(image.GetWidth(), kPhotoCDWidths[resolution]);
      ASSERT_EQ(image.GetHeight(), kPhotoCDHeights[resolution]);
      ASSERT_EQ(image.GetBitCount(), 24);
      EXPECT_LE(MaxDifference(ImageRGB(planes), MagickPlanes(file, SizeText(resolution))), kMagickBound);
      if (resolution == 2 && std::string(name) == "pcd/im_bars.pcd") {
        EXPECT_LE(MaxDifference(BarInteriors(ImageRGB(image)), BarInteriors(PillowRGB(file))), kPillowBound);
      }
    }
  }
}

// Every resolution of the encoder's pack against the reference planes, and
// the fixed conversion of those planes against the formula.
TEST(PhotoCDRead, AllResolutionsMatchTheReference) {
  const std::string pack = DataPath("pcd/py_16base.pcd");
  const std::string side = DataPath("pcd/py_16base.residuals");
  for (int resolution = 0; resolution < kPhotoCDResolutionCount; ++resolution) {
    SCOPED_TRACE(testing::Message() << "resolution " << resolution);
    platform::RecordingMessageSink sink;
    const RawPlanes raw;
    CDIBitmap image;
    ASSERT_EQ(PhotoCDRead(pack, image, resolution, &raw), 1);
    EXPECT_TRUE(sink.Texts().empty());
    ASSERT_EQ(image.GetWidth(), kPhotoCDWidths[resolution]);
    ASSERT_EQ(image.GetHeight(), kPhotoCDHeights[resolution]);
    const std::vector<RefPlane> want = ReferencePlanes(pack, side, resolution);
    EXPECT_TRUE(ImageRGB(image) == PlanesAsRGB(want));

    // The default conversion is the fixed formula, pixel by pixel.
    CDIBitmap rgb;
    ASSERT_EQ(PhotoCDRead(pack, rgb, resolution), 1);
    int mismatches = 0;
    Bytes row(size_t(rgb.GetWidth()) * 3);
    for (int y = 0; y < rgb.GetHeight(); ++y) {
      rgb.GetRow(row.data(), y);
      for (int x = 0; x < rgb.GetWidth(); ++x) {
        const int Y = want[0].at(x, y), C1 = want[1].at(x, y), C2 = want[2].at(x, y);
        const int ty = 2048 + 5564 * Y;
        const int r = std::clamp((ty - 1022138 + 7461 * C2) >> 12, 0, 255);
        const int g = std::clamp((ty + 274934 - 1762 * C1 + 520268 - 3798 * C2) >> 12, 0, 255);
        const int b = std::clamp((ty - 1417185 + 9085 * C1) >> 12, 0, 255);
        mismatches += row[3 * x] != b || row[3 * x + 1] != g || row[3 * x + 2] != r;
      }
    }
    EXPECT_EQ(mismatches, 0);
  }
}

// A short row keeps the interpolated values after its last code; the codes
// of a long row past the width are dropped.
TEST(PhotoCDRead, ShortAndLongResidualRows) {
  const std::string pack = DataPath("pcd/py_4base_ragged.pcd");
  platform::RecordingMessageSink sink;
  const RawPlanes raw;
  CDIBitmap image;
  ASSERT_EQ(PhotoCDRead(pack, image, 3, &raw), 1);
  EXPECT_TRUE(sink.Texts().empty());
  EXPECT_TRUE(ImageRGB(image) == PlanesAsRGB(ReferencePlanes(pack, DataPath("pcd/py_4base_ragged.residuals"), 3)));
}

// 4Base of the encoder's pack as ImageMagick decodes it (planes before
// conversion), which checks the Huffman tables and residual rows as the
// encoder wrote them against a second decoder.
TEST(PhotoCDRead, FourBaseMatchesImageMagick) {
  const std::string pack = DataPath("pcd/py_16base.pcd");
  const RawPlanes raw;
  CDIBitmap planes;
  ASSERT_EQ(PhotoCDRead(pack, planes, 3, &raw), 1);
  EXPECT_LE(MaxDifference(ImageRGB(planes), MagickPlanes(pack, SizeText(3))), kMagickBound);
}

// Damaged files: a missing base image fails and leaves the caller's image as
// it was; damaged residual data stops decoding at the damage, with a message,
// and the read succeeds.
TEST(PhotoCDRead, DamagedFiles) {
  struct Case {
    const char* path;
    int resolution;
    int result;
    const char* message;
  };
  const Case kCases[] = {
      {"pcd/bad/base_cut.pcd", 2, 0, "PCDREAD: Base image data past the end of the file\n"},
      {"pcd/bad/base_cut.pcd", 3, 0, "PCDREAD: Base image data past the end of the file\n"},
      {"third_party/exiftool/PhotoCD.pcd", 0, 0, "PCDREAD: Base/16 image data past the end of the file\n"},
      {"pcd/im_gradient.pcd", 5, 0, "PCDREAD: Invalid resolution 5\n"},
      {"pcd/im_gradient.pcd", -1, 0, "PCDREAD: Invalid resolution -1\n"},
      {"pcd/im_gradient.pcd", 3, 1, "PCDREAD: 4Base Huffman table past the end of the file\n"},
      {"pcd/bad/length_17.pcd", 3, 1, "PCDREAD: Bad 4Base Huffman table\n"},
      {"pcd/bad/no_table_entry.pcd", 3, 1, "PCDREAD: 4Base residual code without a table entry\n"},
      {"pcd/bad/row_beyond_height.pcd", 3, 1, "PCDREAD: 4Base residual row header out of range\n"},
      {"pcd/bad/chroma_in_4base.pcd", 3, 1, "PCDREAD: 4Base residual row header out of range\n"},
      {"pcd/bad/plane_1.pcd", 3, 1, "PCDREAD: 4Base residual row header out of range\n"},
      {"pcd/bad/no_sync.pcd", 3, 1, "PCDREAD: 4Base residual data does not start with a sync\n"},
      {"pcd/bad/stream_cut.pcd", 3, 1, "PCDREAD: 4Base residual data ends early\n"},
      {"pcd/bad/stream_cut.pcd", 4, 1, "PCDREAD: 4Base residual data ends early\n"},
      {"pcd/bad/tables_16base_overrun.pcd", 4, 1, "PCDREAD: Bad 16Base Huffman table\n"},
      {"pcd/bad/no_16base.pcd", 4, 1, "PCDREAD: 16Base Huffman table past the end of the file\n"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.path << " resolution " << c.resolution);
    const std::string file = DataPath(c.path);
    platform::RecordingMessageSink sink;
    CDIBitmap image;
    ASSERT_EQ(image.Create(2, 2, 24, 0), 1);
    image.SetPixel(1, 1, 0x123456);
    EXPECT_EQ(PhotoCDRead(file, image, c.resolution), c.result);
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{c.message});
    if (c.result == 0) {
      EXPECT_EQ(image.GetWidth(), 2);
      EXPECT_EQ(image.GetPixel(1, 1), 0x123456u);
    } else {
      EXPECT_EQ(image.GetWidth(), kPhotoCDWidths[c.resolution]);
      EXPECT_EQ(image.GetHeight(), kPhotoCDHeights[c.resolution]);
    }
  }
}

// Decoding stops exactly at the damage: the flat gray pack's row 10 got +40
// everywhere, row 20 +40 on its first five pixels before the bad code (or
// nothing, when the row before it was out of range); other rows are untouched.
TEST(PhotoCDRead, DamageStopsDecodingWhereItIs) {
  for (const char* name : {"pcd/bad/no_table_entry.pcd", "pcd/bad/row_beyond_height.pcd"}) {
    SCOPED_TRACE(name);
    platform::RecordingMessageSink sink;
    const RawPlanes raw;
    CDIBitmap image;
    ASSERT_EQ(PhotoCDRead(DataPath(name), image, 3, &raw), 1);
    const int touched = std::string(name).find("no_table") != std::string::npos ? 5 : 0;
    for (int x = 0; x < image.GetWidth(); ++x) {
      EXPECT_EQ(image.GetPixel(10, x) & 0xFF, 100u) << x;  // luma 60 + 40 (red byte = Y)
      EXPECT_EQ(image.GetPixel(20, x) & 0xFF, x < touched ? 100u : 60u) << x;
      EXPECT_EQ(image.GetPixel(30, x) & 0xFF, 60u) << x;
    }
  }
}

// The dispatch offers the probed resolutions and reads the chosen one.
TEST(PhotoCDCli, ConvertReadsTheChosenResolution) {
  TempDir dir;
  const std::string out = dir.File("out.bmp");
  const std::string pack = DataPath("pcd/py_16base.pcd");
  const auto run = RunCommand(ShellQuote(CliPath()) + " convert " + ShellQuote(pack) + " " + ShellQuote(out) +
                              " --pcd-resolution 4");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  CDIBitmap written, direct;
  ASSERT_EQ(BMPRead(out, written), 1);
  ASSERT_EQ(PhotoCDRead(pack, direct, 4), 1);
  EXPECT_EQ(written.GetWidth(), 3072);
  EXPECT_EQ(written.GetHeight(), 2048);
  EXPECT_TRUE(ImageRGB(written) == ImageRGB(direct));

  const auto info = RunCommand(ShellQuote(CliPath()) + " info " + ShellQuote(DataPath("pcd/im_gradient.pcd")));
  EXPECT_EQ(info.exitCode, 0) << info.err;
  EXPECT_EQ(info.out, "768 512 24 RGB\n");
  const auto refused = RunCommand(ShellQuote(CliPath()) + " convert " + ShellQuote(DataPath("pcd/im_gradient.pcd")) +
                                  " " + ShellQuote(out) + " --pcd-resolution 3");
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_NE(refused.err.find("holds only 3 resolutions"), std::string::npos) << refused.err;
}

}  // namespace
