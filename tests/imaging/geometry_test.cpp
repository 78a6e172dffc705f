// Geometry: quarter turns, flips, resize, nearest scaling, rotation, shear,
// canvas size and the named operations. Expectations come from index
// mappings and small reference implementations of the documented formulas
// written here, from invariants, and from ImageMagick for the exact turns.
#include "imaging/geometry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "image/dibitmap.h"
#include "image/services.h"
#include "editing/operation_table.h"
#include "imaging/row_job.h"
#include "platform/messages.h"
#include "platform/progress.h"
#include "platform/region.h"
#include "test_support.h"

namespace {

enum class Kind { Mono, Palette, Gray, RGB, CMYK };

struct KindInfo {
  Kind kind;
  const char* name;
};
const KindInfo kKinds[] = {{Kind::Mono, "mono"}, {Kind::Palette, "palette"}, {Kind::Gray, "gray"},
                           {Kind::RGB, "rgb"},   {Kind::CMYK, "cmyk"}};

// A w x h image of the kind with deterministic pseudo-random pixels.
void MakeImage(CDIBitmap& image, Kind kind, int w, int h, uint32_t seed = 7) {
  switch (kind) {
    case Kind::Mono: image.Create(w, h, 1, 0); break;
    case Kind::Palette: {
      image.Create(w, h, 8, 2);
      std::vector<uint8_t> table(256 * 4);
      for (int i = 0; i < 256; ++i) {
        table[4 * i] = static_cast<uint8_t>(i * 7);
        table[4 * i + 1] = static_cast<uint8_t>(255 - i);
        table[4 * i + 2] = static_cast<uint8_t>(i * 3);
      }
      image.SetColorTable(table.data(), 256);
      break;
    }
    case Kind::Gray: image.Create(w, h, 8, 1); break;
    case Kind::RGB: image.Create(w, h, 24, 0); break;
    case Kind::CMYK: image.Create(w, h, 32, 3); break;
  }
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      seed = seed * 1664525u + 1013904223u;
      image.SetPixel(y, x, seed >> 8);
    }
  image.SetResolution(300, 200);
}

// Every pixel, bit count, kind and colour table equal.
::testing::AssertionResult SameImage(const CDIBitmap& a, const CDIBitmap& b) {
  if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight() || a.GetBitCount() != b.GetBitCount() ||
      a.GetColorType() != b.GetColorType())
    return ::testing::AssertionFailure() << "shape " << a.GetWidth() << "x" << a.GetHeight() << "/"
                                         << a.GetBitCount() << " vs " << b.GetWidth() << "x" << b.GetHeight()
                                         << "/" << b.GetBitCount();
  const int entries = a.GetPaletteSize();
  if (entries && !std::equal(a.GetColorTablePointer(), a.GetColorTablePointer() + 4 * entries,
                             b.GetColorTablePointer()))
    return ::testing::AssertionFailure() << "colour tables differ";
  for (int y = 0; y < a.GetHeight(); ++y)
    for (int x = 0; x < a.GetWidth(); ++x)
      if (a.GetPixel(y, x) != b.GetPixel(y, x))
        return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << "): " << a.GetPixel(y, x) << " vs "
                                             << b.GetPixel(y, x);
  return ::testing::AssertionSuccess();
}

// Checks image(x, y) == source(map(x, y)) for every pixel of `image`.
::testing::AssertionResult Mapped(const CDIBitmap& image, const CDIBitmap& source,
                                  const std::function<std::pair<int, int>(int, int)>& map) {
  for (int y = 0; y < image.GetHeight(); ++y)
    for (int x = 0; x < image.GetWidth(); ++x) {
      const auto [sx, sy] = map(x, y);
      if (image.GetPixel(y, x) != source.GetPixel(sy, sx))
        return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ") is not source (" << sx << ", "
                                             << sy << ")";
    }
  return ::testing::AssertionSuccess();
}

int Channels(const CDIBitmap& image) { return image.GetBitCount() <= 8 ? 1 : image.GetBitCount() / 8; }

// Byte c of the pixel (1 bit: the bit).
int Channel(const CDIBitmap& image, int x, int y, int c) {
  const uint32_t v = image.GetPixel(y, x);
  const int n = Channels(image);
  return static_cast<int>((v >> (8 * (n - 1 - c))) & 0xFF);
}

bool Averages(Kind kind) { return kind == Kind::Gray || kind == Kind::RGB || kind == Kind::CMYK; }

// ---------------------------------------------------------------- turns and flips

TEST(GeometryTurns, EveryKindMapsPixelsByTheTurnFormulas) {
  const int sizes[][2] = {{3, 2}, {1, 1}, {13, 7}, {67, 45}, {9, 70}, {203, 5}, {64, 3}, {33, 4}};
  for (const KindInfo& k : kKinds)
    for (const auto& size : sizes) {
      SCOPED_TRACE(std::string(k.name) + " " + std::to_string(size[0]) + "x" + std::to_string(size[1]));
      CDIBitmap source;
      MakeImage(source, k.kind, size[0], size[1]);
      const int w = size[0], h = size[1];
      struct Case {
        const char* name;
        std::function<int(CDIBitmap&)> op;
        std::function<std::pair<int, int>(int, int)> map;  // result (x, y) -> source (x, y)
      };
      const Case cases[] = {
          {"90", GL_Rotate90, [h](int x, int y) { return std::pair{y, h - 1 - x}; }},
          {"270", GL_Rotate270, [w](int x, int y) { return std::pair{w - 1 - y, x}; }},
          {"180", GL_Rotate180, [w, h](int x, int y) { return std::pair{w - 1 - x, h - 1 - y}; }},
          {"flip h", [](CDIBitmap& b) { return GL_FlipBitmap(b, 0); },
           [w](int x, int y) { return std::pair{w - 1 - x, y}; }},
          {"flip v", [](CDIBitmap& b) { return GL_FlipBitmap(b, 1); },
           [h](int x, int y) { return std::pair{x, h - 1 - y}; }},
      };
      for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CDIBitmap image;
        image.CopyFrom(source);
        image.SetResolution(300, 200);
        CDIBitmap* object = &image;
        ASSERT_EQ(c.op(image), 1);
        EXPECT_EQ(object, &image);
        EXPECT_EQ(image.GetColorType(), source.GetColorType());
        EXPECT_EQ(image.GetXResolution(), 300);
        EXPECT_EQ(image.GetYResolution(), 200);
        EXPECT_TRUE(Mapped(image, source, c.map));
      }
    }
}

TEST(GeometryTurns, InvariantsOfTurnsAndFlips) {
  for (const KindInfo& k : kKinds) {
    SCOPED_TRACE(k.name);
    CDIBitmap source;
    MakeImage(source, k.kind, 70, 37);
    CDIBitmap a, b;
    a.CopyFrom(source);
    for (int i = 0; i < 4; ++i) GL_Rotate90(a);
    EXPECT_TRUE(SameImage(a, source)) << "four quarter turns";
    GL_Rotate90(a);
    GL_Rotate270(a);
    EXPECT_TRUE(SameImage(a, source)) << "90 then 270";
    GL_FlipBitmap(a, 0);
    GL_FlipBitmap(a, 0);
    GL_FlipBitmap(a, 1);
    GL_FlipBitmap(a, 1);
    EXPECT_TRUE(SameImage(a, source)) << "each flip twice";
    GL_Rotate180(a);
    b.CopyFrom(source);
    GL_FlipBitmap(b, 0);
    GL_FlipBitmap(b, 1);
    EXPECT_TRUE(SameImage(a, b)) << "180 = both flips";
  }
}

// ImageMagick as an independent program for the exact operations.
void WritePPM(const CDIBitmap& image, const std::string& path) {
  std::string data = "P6\n" + std::to_string(image.GetWidth()) + " " + std::to_string(image.GetHeight()) + "\n255\n";
  for (int y = 0; y < image.GetHeight(); ++y)
    for (int x = 0; x < image.GetWidth(); ++x) {
      const uint32_t c = image.GetPixelColor(y, x);
      data += static_cast<char>(c & 0xFF);
      data += static_cast<char>((c >> 8) & 0xFF);
      data += static_cast<char>((c >> 16) & 0xFF);
    }
  testing_support::WriteBytes(path, std::vector<uint8_t>(data.begin(), data.end()));
}

// The P6 file's pixels as 0x00BBGGRR values, row by row (header without comments).
std::vector<uint32_t> ReadPPM(const std::string& path, int& w, int& h) {
  const std::vector<uint8_t> bytes = testing_support::ReadBytes(path);
  size_t pos = 0;
  auto token = [&] {
    while (pos < bytes.size() && std::isspace(bytes[pos])) ++pos;
    std::string t;
    while (pos < bytes.size() && !std::isspace(bytes[pos])) t += static_cast<char>(bytes[pos++]);
    return t;
  };
  if (token() != "P6") return {};
  w = std::stoi(token());
  h = std::stoi(token());
  token();
  ++pos;
  std::vector<uint32_t> pixels;
  for (size_t i = pos; i + 2 < bytes.size() + 0 && pixels.size() < static_cast<size_t>(w) * h; i += 3)
    pixels.push_back(bytes[i] | (uint32_t{bytes[i + 1]} << 8) | (uint32_t{bytes[i + 2]} << 16));
  return pixels;
}

TEST(GeometryTurns, AgreeWithImageMagick) {
  testing_support::TempDir dir;
  CDIBitmap source;
  MakeImage(source, Kind::RGB, 45, 31);
  WritePPM(source, dir.File("in.ppm"));
  struct Case {
    const char* args;
    std::function<int(CDIBitmap&)> op;
  };
  const Case cases[] = {
      {"-rotate 90", GL_Rotate90},
      {"-rotate 180", GL_Rotate180},
      {"-rotate 270", GL_Rotate270},
      {"-flip", [](CDIBitmap& b) { return GL_FlipBitmap(b, 1); }},
      {"-flop", [](CDIBitmap& b) { return GL_FlipBitmap(b, 0); }},
      {"-background white -gravity center -extent 61x21",
       [](CDIBitmap& b) { return GL_CanvasSize(b, 61, 21, 5, 0xFFFFFF); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    const testing_support::CommandResult run =
        testing_support::RunCommand(std::string(testing_support::kImageMagick) + " " + dir.File("in.ppm") + " " +
                                    c.args + " " + dir.File("out.ppm"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    int w = 0, h = 0;
    const std::vector<uint32_t> expected = ReadPPM(dir.File("out.ppm"), w, h);
    CDIBitmap image;
    image.CopyFrom(source);
    ASSERT_EQ(c.op(image), 1);
    ASSERT_EQ(image.GetWidth(), w);
    ASSERT_EQ(image.GetHeight(), h);
    ASSERT_EQ(expected.size(), static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        ASSERT_EQ(image.GetPixelColor(y, x), expected[static_cast<size_t>(y) * w + x]) << x << ", " << y;
  }
}

// ---------------------------------------------------------------- resize

// One axis resampled by the documented float formulas; values per position.
std::vector<int> ResampleLine(const std::vector<int>& v, int to, bool average) {
  const int from = static_cast<int>(v.size());
  if (from == to) return v;
  const float r = static_cast<float>(from) / static_cast<float>(to);
  std::vector<int> out(static_cast<size_t>(to));
  for (int i = 0; i < to; ++i) {
    if (to < from) {
      const int start = std::min(static_cast<int>(static_cast<float>(i) * r), from - 1);
      const int end = std::min(static_cast<int>(static_cast<float>(i + 1) * r), from);
      if (!average) {
        out[i] = v[start];
        continue;
      }
      int sum = 0;
      for (int k = start; k < end; ++k) sum += v[k];
      out[i] = sum / (end - start);
    } else {
      const float s = static_cast<float>(i) * r;
      const int i0 = std::min(static_cast<int>(s), from - 1);
      const int i1 = std::min(i0 + 1, from - 1);
      const float f = s - static_cast<float>(i0);
      out[i] = average ? static_cast<int>(static_cast<float>(v[i0]) * (1.0f - f) + static_cast<float>(v[i1]) * f + 0.5f)
                       : v[i0];
    }
  }
  return out;
}

TEST(GeometryResize, MatchesColumnThenRowReference) {
  const int sizes[][2] = {{17, 9}, {40, 23}, {6, 30}, {13, 13}, {1, 5}, {50, 1}};
  for (const KindInfo& k : kKinds)
    for (const auto& size : sizes) {
      SCOPED_TRACE(std::string(k.name) + " to " + std::to_string(size[0]) + "x" + std::to_string(size[1]));
      CDIBitmap source;
      MakeImage(source, k.kind, 13, 11);
      const int W = size[0], H = size[1], w = 13, h = 11;
      const bool average = Averages(k.kind);
      // Column pass per channel, then row pass, with integer results between.
      const int channels = Channels(source);
      std::vector<std::vector<std::vector<int>>> mid(channels, std::vector<std::vector<int>>(H));
      for (int c = 0; c < channels; ++c) {
        std::vector<std::vector<int>> cols(w);
        for (int x = 0; x < w; ++x) {
          std::vector<int> col(h);
          for (int y = 0; y < h; ++y) col[y] = Channel(source, x, y, c);
          cols[x] = ResampleLine(col, H, average);
        }
        for (int y = 0; y < H; ++y) {
          std::vector<int> row(w);
          for (int x = 0; x < w; ++x) row[x] = cols[x][y];
          mid[c][y] = ResampleLine(row, W, average);
        }
      }
      CDIBitmap image;
      image.CopyFrom(source);
      ASSERT_EQ(GL_ResizeBitmap(image, W, H), 1);
      ASSERT_EQ(image.GetWidth(), W);
      ASSERT_EQ(image.GetHeight(), H);
      EXPECT_EQ(image.GetColorType(), source.GetColorType());
      for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
          for (int c = 0; c < channels; ++c)
            ASSERT_EQ(Channel(image, x, y, c), mid[c][y][x]) << x << ", " << y << " channel " << c;
    }
}

TEST(GeometryResize, DocumentedExamplesAndSameSize) {
  struct Case {
    std::vector<int> in;
    int to;
    std::vector<int> out;
  };
  const Case cases[] = {{{0, 255}, 4, {0, 128, 255, 255}}, {{0, 100, 200, 255}, 2, {50, 227}}};
  for (const Case& c : cases) {
    CDIBitmap image;
    image.Create(static_cast<int>(c.in.size()), 1, 8, 1);
    for (size_t i = 0; i < c.in.size(); ++i) image.SetPixel(0, static_cast<int>(i), c.in[i]);
    ASSERT_EQ(GL_ResizeBitmap(image, c.to, 1), 1);
    for (int i = 0; i < c.to; ++i) EXPECT_EQ(static_cast<int>(image.GetPixel(0, i)), c.out[i]) << i;
  }
  for (const KindInfo& k : kKinds) {
    CDIBitmap source, image;
    MakeImage(source, k.kind, 31, 19);
    image.CopyFrom(source);
    ASSERT_EQ(GL_ResizeBitmap(image, 31, 19), 1);
    EXPECT_TRUE(SameImage(image, source)) << k.name;
  }
}

// The source of a resize is not bound by the size dialogs: a side of tens of
// thousands or millions of pixels shrunk to one still gives the truncated
// mean. n - 1 values 255 and one 254 average to 254 (just below 255, the
// hardest sum to truncate right); 65795 is the first count where a 40-bit
// reciprocal of n overshoots that sum, and 255 x 16843010 no longer fits 32
// bits.
TEST(GeometryResize, MeanOfVeryLongSidesIsExact) {
  struct Case {
    int w, h, bits;
    int odd;  // pixels set to 254 (one, or none)
  };
  const Case cases[] = {{65795, 1, 8, 1}, {1, 65795, 8, 1}, {65795, 1, 24, 1}, {16843010, 1, 8, 0}};
  for (const Case& c : cases) {
    CDIBitmap image;
    ASSERT_EQ(image.Create(c.w, c.h, c.bits, c.bits == 8 ? 1 : 0), 1);
    for (int y = 0; y < c.h; ++y) std::memset(image.RowPointer(y), 255, static_cast<size_t>(image.GetRowBytes()));
    if (c.odd) image.SetPixel(c.h / 2, c.w / 2, c.bits == 8 ? 254u : 0xFEFEFEu);
    ASSERT_EQ(GL_ResizeBitmap(image, 1, 1), 1);
    const uint32_t expected = c.odd ? (c.bits == 8 ? 254u : 0xFEFEFEu) : (c.bits == 8 ? 255u : 0xFFFFFFu);
    EXPECT_EQ(image.GetPixel(0, 0), expected) << c.w << " x " << c.h << " x " << c.bits;
  }
}

TEST(GeometryResize, RefusalLeavesTheImage) {
  platform::RecordingMessageSink sink;
  CDIBitmap source, image;
  MakeImage(source, Kind::RGB, 8, 8);
  image.CopyFrom(source);
  EXPECT_EQ(GL_ResizeBitmap(image, 0, 5), 0);
  EXPECT_EQ(sink.Texts(), std::vector<std::string>{"cannot Create Compatible Bitmpap"});
  EXPECT_TRUE(SameImage(image, source));
}

TEST(GeometryResize, ScaleNearestPicksByIntegerFormula) {
  const int sizes[][2] = {{5, 3}, {29, 40}, {13, 11}};
  for (const KindInfo& k : kKinds)
    for (const auto& size : sizes) {
      CDIBitmap source, target;
      MakeImage(source, k.kind, 13, 11);
      target.CreateCompatible(source, size[0], size[1]);
      ASSERT_EQ(GL_ScaleNearest(source, target), 1);
      const int W = size[0], H = size[1];
      EXPECT_TRUE(Mapped(target, source, [&](int x, int y) {
        return std::pair{std::min(x * 13 / W, 12), y * 11 / H};
      })) << k.name;
    }
  platform::RecordingMessageSink sink;
  CDIBitmap source, target;
  MakeImage(source, Kind::RGB, 4, 4);
  target.Create(4, 4, 8, 1);
  EXPECT_EQ(GL_ScaleNearest(source, target), 0);
  EXPECT_EQ(sink.Texts(), std::vector<std::string>{"GL_ScaleNearest ::pdbmDest Should have the bit count of pdbmSrc"});
}

// ---------------------------------------------------------------- rotation and shear

int64_t Fixed(double v) { return static_cast<int64_t>(std::floor(v * 4294967296.0 + 0.5)); }

// The pixel at fixed-point position P of a line of n pixels read by `at`, by
// the documented rules: zero outside; with edgeCopy a position within one
// pixel outside the line takes the edge pixel.
uint8_t Tap(const std::function<int(int64_t)>& at, int64_t n, int64_t P, bool blend, bool edgeCopy) {
  int64_t p = P >> 32;
  int w8 = static_cast<int>(((P & 0xFFFFFFFFLL) + (1 << 23)) >> 24);
  if (w8 == 256) ++p, w8 = 0;
  auto v = [&](int64_t i) { return i >= 0 && i < n ? at(i) : 0; };
  if (edgeCopy && w8 != 0 && p == -1) return static_cast<uint8_t>(at(0));
  if (!blend) return static_cast<uint8_t>(v(p));
  if (edgeCopy && w8 != 0 && p == n - 1) return static_cast<uint8_t>(at(n - 1));
  return static_cast<uint8_t>((v(p) * (256 - w8) + v(p + 1) * w8 + 128) >> 8);
}

// Reference rotation of `source` (no quarter turns: |angle| <= 4500).
void ReferenceRotate(const CDIBitmap& source, int hundredths, bool edgeCopy, CDIBitmap& out) {
  const double a = hundredths * 0.00017453292519943277;
  const int w = source.GetWidth(), h = source.GetHeight();
  int minX = 1 << 30, maxX = -(1 << 30), minY = 1 << 30, maxY = -(1 << 30);
  for (auto [x, y] : {std::pair{0, 0}, std::pair{w - 1, 0}, std::pair{0, h - 1}, std::pair{w - 1, h - 1}}) {
    const double cx = w / 2, cy = h / 2;
    const int rx = static_cast<int>(std::floor((1 - std::cos(a)) * cx + cy * std::sin(a) + x * std::cos(a) -
                                               y * std::sin(a) + 0.5));
    const int ry = static_cast<int>(std::floor(cy - (cy * std::cos(a) + cx * std::sin(a)) + y * std::cos(a) +
                                               x * std::sin(a) + 0.5));
    minX = std::min(minX, rx), maxX = std::max(maxX, rx), minY = std::min(minY, ry), maxY = std::max(maxY, ry);
  }
  const int W = maxX - minX + 1, H = maxY - minY + 1;
  const double c = std::cos(a), s = std::sin(a), q = 1 / c, t = s / c;
  const double cxs = (w - 1) / 2.0, cys = (h - 1) / 2.0, cxt = (W - 1) / 2.0, cyt = (H - 1) / 2.0;
  const bool blend = source.GetBitCount() > 8 || source.IsGray();
  const int channels = Channels(source);
  std::vector<std::vector<int>> mid(static_cast<size_t>(h) * channels, std::vector<int>(W));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < W; ++x)
      for (int ch = 0; ch < channels; ++ch) {
        const int64_t P = Fixed((cxs - cxt * q) + t * (y - cys)) + x * Fixed(q);
        mid[y * channels + ch][x] =
            Tap([&](int64_t i) { return Channel(source, static_cast<int>(i), y, ch); }, w, P, blend, edgeCopy);
      }
  out.CreateCompatible(source, W, H);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      uint32_t value = 0;
      for (int ch = 0; ch < channels; ++ch) {
        const int64_t P = Fixed((cys - c * cyt) - s * (x - cxt)) + y * Fixed(c);
        value = (value << 8) | Tap([&](int64_t i) { return mid[i * channels + ch][x]; }, h, P, blend, edgeCopy);
      }
      out.SetPixel(y, x, value);
    }
}

TEST(GeometryRotate, MatchesTheTwoPassReference) {
  const int angles[] = {1000, -2500, 4500, -4499, 3};
  for (const KindInfo& k : kKinds)
    for (int angle : angles)
      for (int edgeCopy : {0, 1}) {
        SCOPED_TRACE(std::string(k.name) + " " + std::to_string(angle) + " edge " + std::to_string(edgeCopy));
        CDIBitmap source, image, expected;
        MakeImage(source, k.kind, 23, 14);
        image.CopyFrom(source);
        ReferenceRotate(source, angle, edgeCopy, expected);
        ASSERT_EQ(GL_RotateBitmap(image, angle, 1, edgeCopy), 1);
        EXPECT_TRUE(SameImage(image, expected));
      }
}

TEST(GeometryRotate, RightAnglesAreTheExactTurns) {
  struct Case {
    int angle;
    std::function<int(CDIBitmap&)> turn;
  };
  const Case cases[] = {{0, [](CDIBitmap&) { return 1; }},   {36000, [](CDIBitmap&) { return 1; }},
                        {-36000, [](CDIBitmap&) { return 1; }}, {9000, GL_Rotate90},
                        {-27000, GL_Rotate90},                 {18000, GL_Rotate180},
                        {-18000, GL_Rotate180},                {27000, GL_Rotate270},
                        {-9000, GL_Rotate270}};
  for (const KindInfo& k : kKinds)
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(k.name) + " " + std::to_string(c.angle));
      CDIBitmap rotated, turned;
      MakeImage(rotated, k.kind, 21, 12);
      turned.CopyFrom(rotated);
      ASSERT_EQ(GL_RotateBitmap(rotated, c.angle, 1), 1);
      ASSERT_EQ(c.turn(turned), 1);
      EXPECT_TRUE(SameImage(rotated, turned));
    }
}

TEST(GeometryRotate, RotatePointRoundsNegativeResultsToNearest) {
  const double kQuarter = 1.5707963267948966;
  struct Case {
    int x, y, cx, cy;
    double angle;
    int ex, ey;
  };
  const Case cases[] = {
      {-3, 0, 0, 0, 0, -3, 0},           // truncating -2.5 would give -2
      {-7, -2, 0, 0, 0, -7, -2},
      {0, 10, 0, 0, kQuarter, -10, 0},   // clockwise on the screen: down becomes left
      {10, 0, 0, 0, kQuarter, 0, 10},    // right becomes down
      {7, 5, 5, 5, 2 * kQuarter, 3, 5},  // half turn about (5, 5)
      {0, 0, 2, 2, 2 * kQuarter, 4, 4},
  };
  for (const Case& c : cases) {
    int x = c.x, y = c.y;
    GL_RotatePoint(x, y, c.cx, c.cy, c.angle);
    EXPECT_EQ(x, c.ex);
    EXPECT_EQ(y, c.ey);
  }
}

// Reference shear by the documented per-line shifts.
void ReferenceShear(const CDIBitmap& source, int hundredths, bool vertical, CDIBitmap& out) {
  const double t = std::tan(hundredths * 0.00017453292519943277);
  const int w = source.GetWidth(), h = source.GetHeight();
  const int lines = vertical ? w : h;
  const double slope = vertical ? -t : t;
  const int grow = static_cast<int>(std::ceil(std::fabs(slope) * (lines - 1)));
  const int W = vertical ? w : w + grow, H = vertical ? h + grow : h;
  const bool blend = source.GetBitCount() > 8 || source.IsGray();
  out.CreateCompatible(source, W, H);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const int line = vertical ? x : y;
      const double F = -(slope * line - std::min(0.0, slope * (lines - 1)));
      int64_t p0 = static_cast<int64_t>(std::floor(F));
      int w8 = static_cast<int>(std::floor((F - std::floor(F)) * 256 + 0.5));
      if (w8 == 256) ++p0, w8 = 0;
      const int64_t P = ((p0 + (vertical ? y : x)) << 32) + (int64_t{w8} << 24);
      uint32_t value = 0;
      for (int ch = 0; ch < Channels(source); ++ch) {
        auto at = [&](int64_t i) {
          return vertical ? Channel(source, x, static_cast<int>(i), ch) : Channel(source, static_cast<int>(i), y, ch);
        };
        value = (value << 8) | Tap(at, vertical ? h : w, P, blend, false);
      }
      out.SetPixel(y, x, value);
    }
}

TEST(GeometryShear, MatchesTheShiftReferenceAndZeroIsIdentity) {
  const int angles[] = {4500, -4500, 1234, -300};
  for (const KindInfo& k : kKinds) {
    CDIBitmap source;
    MakeImage(source, k.kind, 17, 12);
    for (int vertical : {0, 1}) {
      for (int angle : angles) {
        SCOPED_TRACE(std::string(k.name) + " " + std::to_string(angle) + (vertical ? " vertical" : ""));
        CDIBitmap image, expected;
        image.CopyFrom(source);
        ReferenceShear(source, angle, vertical, expected);
        ASSERT_EQ(GL_ShearBitmap(image, angle, vertical), 1);
        EXPECT_TRUE(SameImage(image, expected));
      }
      for (int zero : {0, 18000, -36000}) {
        CDIBitmap image;
        image.CopyFrom(source);
        ASSERT_EQ(GL_ShearBitmap(image, zero, vertical), 1);
        EXPECT_TRUE(SameImage(image, source)) << k.name << " " << zero;
      }
    }
  }
  // 45 degrees moves the last row by exactly h - 1 pixels.
  CDIBitmap image;
  MakeImage(image, Kind::Gray, 10, 6);
  ASSERT_EQ(GL_ShearBitmap(image, 4500, 0), 1);
  EXPECT_EQ(image.GetWidth(), 15);
  platform::RecordingMessageSink sink;
  EXPECT_EQ(GL_ShearBitmap(image, 9000, 0), 0);
  EXPECT_EQ(image.GetWidth(), 15);
  EXPECT_EQ(sink.Texts(), std::vector<std::string>{"cannot Create Compatible Bitmpap"});
}

TEST(GeometryRotate, OneAndTwoThreadsAgree) {
  CDIBitmap source;
  MakeImage(source, Kind::RGB, 900, 700);
  const int saved = GL_GetThreadCount();
  struct Case {
    const char* name;
    std::function<int(CDIBitmap&)> op;
  };
  const Case cases[] = {{"rotate", [](CDIBitmap& b) { return GL_RotateBitmap(b, 1750, 1); }},
                        {"shear", [](CDIBitmap& b) { return GL_ShearBitmap(b, -2000, 1); }},
                        {"resize", [](CDIBitmap& b) { return GL_ResizeBitmap(b, 1300, 333); }},
                        {"turn", GL_Rotate90},
                        {"flip", [](CDIBitmap& b) { return GL_FlipBitmap(b, 0); }}};
  for (const Case& c : cases) {
    CDIBitmap one, two;
    one.CopyFrom(source);
    two.CopyFrom(source);
    GL_SetThreadCount(1);
    ASSERT_EQ(c.op(one), 1);
    GL_SetThreadCount(2);
    ASSERT_EQ(c.op(two), 1);
    EXPECT_TRUE(SameImage(one, two)) << c.name;
  }
  GL_SetThreadCount(saved);
}

TEST(GeometryRotate, CancelLeavesTheImage) {
  CDIBitmap source;
  MakeImage(source, Kind::RGB, 40, 30);
  const std::function<int(CDIBitmap&)> ops[] = {
      [](CDIBitmap& b) { return GL_RotateBitmap(b, 1000, 1); }, [](CDIBitmap& b) { return GL_ShearBitmap(b, 1000, 0); },
      [](CDIBitmap& b) { return GL_ResizeBitmap(b, 20, 60); }, GL_Rotate90, GL_Rotate180,
      [](CDIBitmap& b) { return GL_FlipBitmap(b, 1); }, [](CDIBitmap& b) { return GL_FlipBitmap(b, 0); }};
  ProgressEnable(true);
  platform::RequestCancel();
  for (const auto& op : ops) {
    CDIBitmap image;
    image.CopyFrom(source);
    EXPECT_EQ(op(image), kResultCancelled);
    EXPECT_TRUE(SameImage(image, source));
  }
  platform::ResetCancel();
  ProgressEnable(false);
}

// ---------------------------------------------------------------- canvas size, crop, named operations

TEST(GeometryCanvas, AnchorsPlaceTheImageAndFillTheRest) {
  for (const KindInfo& k : kKinds) {
    CDIBitmap source;
    MakeImage(source, k.kind, 9, 6);
    for (const auto& [W, H] : {std::pair{19, 16}, std::pair{5, 3}, std::pair{12, 4}}) {
      for (int anchor = 1; anchor <= 9; ++anchor) {
        SCOPED_TRACE(std::string(k.name) + " anchor " + std::to_string(anchor) + " " + std::to_string(W));
        CDIBitmap image, filled;
        image.CopyFrom(source);
        ASSERT_EQ(GL_CanvasSize(image, W, H, anchor, 0xFFFFFF), 1);
        EXPECT_EQ(image.GetColorType(), source.GetColorType());
        filled.CreateCompatible(source, 1, 1);
        GL_FillBitmap(filled, 0xFFFFFF);
        const int col = (anchor - 1) / 3, row = (anchor - 1) % 3;
        const int dx = col * (W - 9) / 2, dy = row * (H - 6) / 2;  // 0, half (toward zero), all
        for (int y = 0; y < H; ++y)
          for (int x = 0; x < W; ++x) {
            const bool inside = x - dx >= 0 && x - dx < 9 && y - dy >= 0 && y - dy < 6;
            ASSERT_EQ(image.GetPixel(y, x), inside ? source.GetPixel(y - dy, x - dx) : filled.GetPixel(0, 0))
                << x << ", " << y;
          }
      }
    }
  }
}

TEST(GeometryCanvas, CentreOfTenLargerIsFiveFiveAndCropComesBack) {
  CDIBitmap source, image;
  MakeImage(source, Kind::RGB, 20, 12);
  image.CopyFrom(source);
  ASSERT_EQ(GL_CanvasSize(image, 30, 22, 5, 0), 1);
  EXPECT_EQ(image.GetPixel(5, 5), source.GetPixel(0, 0));
  EXPECT_EQ(image.GetPixel(4, 4), 0u);
  // Crop back out of the canvas, and canvas a crop back to full size.
  ASSERT_EQ(GL_CropBitmap(image, 5, 5, 20, 12), 1);
  EXPECT_TRUE(SameImage(image, source));
  ASSERT_EQ(GL_CropBitmap(image, 4, 3, 12, 6), 1);
  ASSERT_EQ(GL_CanvasSize(image, 20, 12, 5, 0), 1);
  EXPECT_TRUE(Mapped(image, source, [](int x, int y) {
    return (x >= 4 && x < 16 && y >= 3 && y < 9) ? std::pair{x, y} : std::pair{-1, -1};
  }));
}

TEST(GeometryCanvas, CMYKStaysCMYKAndBadAnchorIsRefused) {
  CDIBitmap image;
  MakeImage(image, Kind::CMYK, 4, 4);
  ASSERT_EQ(GL_CanvasSize(image, 6, 4, 1, 0xFFFFFF), 1);
  EXPECT_TRUE(image.IsCMYK());
  EXPECT_EQ(image.GetPixel(0, 5), 0u);  // white paper: no ink
  platform::RecordingMessageSink sink;
  EXPECT_EQ(GL_CanvasSize(image, 9, 9, 10, 0), 0);
  EXPECT_EQ(image.GetWidth(), 6);
  EXPECT_EQ(sink.Texts(), std::vector<std::string>{"GL_CanvasSize ::nAnchor Should be 1 to 9"});
}

TEST(GeometryOperations, NamedOperationsParseAndApply) {
  struct Case {
    const char* text;
    bool parses;
    int width, height;  // expected size of a 30 x 20 image afterwards
  };
  const Case cases[] = {
      {"rotate-90", true, 20, 30},          {"rotate-180", true, 30, 20},       {"rotate-270", true, 20, 30},
      {"flip-horizontal", true, 30, 20},    {"flip-vertical", true, 30, 20},    {"resize:7,9", true, 7, 9},
      {"resize:0,9", false, 0, 0},          {"resize:7", false, 0, 0},          {"rotate:90", true, 20, 30},
      {"rotate:-180", true, 30, 20},        {"rotate:180.5", false, 0, 0},      {"rotate", true, 30, 20},
      {"shear:45", true, 49, 20},           {"shear:-45,vertical", true, 30, 49}, {"shear:46", false, 0, 0},
      {"canvas-size:40,25,5,black", true, 40, 25}, {"canvas-size:40,25,10,white", false, 0, 0},
      {"canvas-size:40,25,5,grey", false, 0, 0},   {"crop:2,3,10,5", true, 10, 5},
      {"crop:25,15,10,10", true, 5, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::string error;
    const auto parsed = ParseOperation(c.text, error);
    ASSERT_EQ(parsed.has_value(), c.parses) << error;
    if (!parsed) continue;
    CDIBitmap image;
    MakeImage(image, Kind::RGB, 30, 20);
    ASSERT_EQ(parsed->def->apply(image, parsed->args), 1);
    EXPECT_EQ(image.GetWidth(), c.width);
    EXPECT_EQ(image.GetHeight(), c.height);
  }
  // "background" is the default background colour, white.
  std::string error;
  const auto parsed = ParseOperation("canvas-size:3,3,1,background", error);
  ASSERT_TRUE(parsed);
  CDIBitmap image;
  MakeImage(image, Kind::RGB, 2, 2);
  ASSERT_EQ(parsed->def->apply(image, parsed->args), 1);
  EXPECT_EQ(image.GetPixel(2, 2), 0xFFFFFFu);
  // A crop wholly outside the image is refused.
  platform::RecordingMessageSink sink;
  const auto outside = ParseOperation("crop:40,0,5,5", error);
  ASSERT_TRUE(outside);
  EXPECT_EQ(outside->def->apply(image, outside->args), 0);
  EXPECT_EQ(sink.Texts().size(), 1u);
}

TEST(GeometryTurns, ResultDropsTheSelectionMask) {
  CDIBitmap image;
  MakeImage(image, Kind::RGB, 10, 8);
  const std::vector<platform::Rect> left = {{0, 0, 5, 8}};
  const platform::Region region = platform::Region::FromRects(left);
  image.SetMaskRgn(&region);
  CDIBitmap flipped;
  flipped.CopyFrom(image);
  ASSERT_EQ(GL_FlipBitmap(image, 0), 1);
  EXPECT_FALSE(image.HasMask());
  EXPECT_TRUE(Mapped(image, flipped, [](int x, int y) { return std::pair{9 - x, y}; }));
}

}  // namespace
