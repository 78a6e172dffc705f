#include "imaging/fill.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "image/dibitmap.h"
#include "image/services.h"
#include "editing/operation_table.h"
#include "platform/messages.h"

namespace {

class Random {
 public:
  explicit Random(uint32_t seed) : state_(seed) {}
  int Next(int bound) {
    state_ = state_ * 1664525u + 1013904223u;
    return static_cast<int>((state_ >> 16) % static_cast<uint32_t>(bound));
  }

 private:
  uint32_t state_;
};

class ToleranceScope {
 public:
  explicit ToleranceScope(int value) : old_(FillTolerance) { FillTolerance = value; }
  ~ToleranceScope() { FillTolerance = old_; }

 private:
  int old_;
};

enum class Kind { Rgb24, Cmyk, Gray, Palette, Mono };

// A blotchy image: pixels drawn from a few values so that connected areas of
// several sizes appear.
void MakeBlotches(CDIBitmap& image, Kind kind, int width, int height, uint32_t seed) {
  Random random(seed);
  switch (kind) {
    case Kind::Rgb24: image.Create(width, height, 24, 0); break;
    case Kind::Cmyk: image.Create(width, height, 32, 3); break;
    case Kind::Gray: image.Create(width, height, 8, 1); break;
    case Kind::Palette: image.Create(width, height, 8, 0); break;
    case Kind::Mono: image.Create(width, height, 1, 0); break;
  }
  const int bytes = std::max(1, image.GetBitCount() / 8);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      if (kind == Kind::Mono) {
        image.SetPixel(y, x, random.Next(3) ? 1 : 0);
        continue;
      }
      uint8_t* p = image.RowPointer(y) + x * bytes;
      const int base = 40 * random.Next(3);
      for (int i = 0; i < bytes; ++i) p[i] = static_cast<uint8_t>(base + random.Next(6));
      if (kind == Kind::Cmyk) p[3] = static_cast<uint8_t>(random.Next(3) * 10);
    }
}

// Whether a source pixel matches the seed, from the definitions (CMYK by the
// colours the ink formula gives).
bool Matches(const CDIBitmap& source, Kind kind, int x, int y, uint32_t seed, int tolerance) {
  if (kind == Kind::Rgb24 || kind == Kind::Cmyk) {
    int r, g, b;
    const uint8_t* p = source.RowPointer(y) + x * source.GetBitCount() / 8;
    if (kind == Kind::Rgb24) {
      b = p[0], g = p[1], r = p[2];
    } else {
      r = std::max(0, 255 - p[0] - p[3]), g = std::max(0, 255 - p[1] - p[3]), b = std::max(0, 255 - p[2] - p[3]);
    }
    const int d = std::max({std::abs(r - static_cast<int>(seed & 255)), std::abs(g - static_cast<int>(seed >> 8 & 255)),
                            std::abs(b - static_cast<int>(seed >> 16 & 255))});
    return d <= tolerance;
  }
  const int v = static_cast<int>(source.GetPixel(y, x));
  if (kind == Kind::Gray) return std::abs(v - static_cast<int>(seed)) <= tolerance;
  return static_cast<uint32_t>(v) == seed;
}

struct Expected {
  std::vector<uint8_t> marked;  // document space, mask size
  platform::Rect bounds;
};

// Breadth-first four-way flood fill in document space, from the definitions.
Expected ReferenceFill(const CDIBitmap& source, Kind kind, int ox, int oy, int maskW, int maskH, int x, int y,
                       uint32_t seed, int tolerance, const platform::Region* region) {
  Expected out{std::vector<uint8_t>(static_cast<size_t>(maskW) * maskH), {}};
  std::vector<uint8_t> seen(static_cast<size_t>(source.GetWidth()) * source.GetHeight());
  auto taken = [&](int sx, int sy) {
    const int dx = sx + ox, dy = sy + oy;
    return sx >= 0 && sy >= 0 && sx < source.GetWidth() && sy < source.GetHeight() && dx >= 0 && dy >= 0 &&
           dx < maskW && dy < maskH && (!region || region->Contains(dx, dy)) &&
           Matches(source, kind, sx, sy, seed, tolerance);
  };
  std::vector<std::pair<int, int>> queue;
  if (taken(x - ox, y - oy)) queue.emplace_back(x - ox, y - oy);
  int minX = 1 << 30, minY = 1 << 30, maxX = -1, maxY = -1;
  for (size_t i = 0; i < queue.size(); ++i) {
    const auto [sx, sy] = queue[i];
    if (seen[static_cast<size_t>(sy) * source.GetWidth() + sx]) continue;
    seen[static_cast<size_t>(sy) * source.GetWidth() + sx] = 1;
    out.marked[static_cast<size_t>(sy + oy) * maskW + sx + ox] = 1;
    minX = std::min(minX, sx), maxX = std::max(maxX, sx), minY = std::min(minY, sy), maxY = std::max(maxY, sy);
    for (auto [nx, ny] : {std::pair{sx + 1, sy}, {sx - 1, sy}, {sx, sy + 1}, {sx, sy - 1}})
      if (taken(nx, ny) && !seen[static_cast<size_t>(ny) * source.GetWidth() + nx]) queue.emplace_back(nx, ny);
  }
  if (maxX >= 0) out.bounds = {minX + ox, minY + oy, maxX + ox + 1, maxY + oy + 1};
  return out;
}

std::vector<uint8_t> MaskValues(const CDIBitmap& mask) {
  std::vector<uint8_t> out;
  for (int y = 0; y < mask.GetHeight(); ++y)
    for (int x = 0; x < mask.GetWidth(); ++x) out.push_back(mask.GetPixel(y, x) ? 1 : 0);
  return out;
}

int Fill(Kind kind, const CDIBitmap& source, int ox, int oy, CDIBitmap& mask, int x, int y, uint32_t seed,
         platform::Rect& bounds) {
  switch (kind) {
    case Kind::Rgb24:
    case Kind::Cmyk: return OrderedFillMaskRGB(source, ox, oy, mask, x, y, seed, bounds);
    case Kind::Gray: return OrderedFillMaskGray(source, ox, oy, mask, x, y, seed, bounds);
    default: return OrderedFillMaskIndex(source, ox, oy, mask, x, y, seed, bounds);
  }
}

uint32_t Seed(const CDIBitmap& source, Kind kind, int sx, int sy) {
  return kind == Kind::Rgb24 || kind == Kind::Cmyk ? source.GetPixelColor(sy, sx) : source.GetPixel(sy, sx);
}

// ------------------------------------------------------------ flood fills

TEST(FillTest, FloodFillsMatchABreadthFirstFill) {
  struct Case {
    Kind kind;
    int tolerance;
    int ox, oy;
    int maskBits;
    bool region;
  };
  const Case cases[] = {
      {Kind::Rgb24, 0, 0, 0, 8, false}, {Kind::Rgb24, 5, 3, 2, 8, false},  {Kind::Rgb24, 45, -4, 6, 1, false},
      {Kind::Cmyk, 5, 0, 0, 8, false},  {Kind::Cmyk, 12, 2, -3, 1, true},  {Kind::Gray, 0, 0, 0, 8, false},
      {Kind::Gray, 5, 5, 5, 1, true},   {Kind::Palette, 0, -2, 1, 8, true}, {Kind::Mono, 0, 0, 0, 8, false},
      {Kind::Mono, 255, 7, 3, 1, false},
  };
  for (const Case& c : cases) {
    for (int click = 0; click < 6; ++click) {
      SCOPED_TRACE(std::to_string(static_cast<int>(c.kind)) + " tolerance " + std::to_string(c.tolerance) +
                   " click " + std::to_string(click));
      CDIBitmap source, mask;
      MakeBlotches(source, c.kind, 41, 29, 100 + click);
      ASSERT_EQ(mask.Create(46, 34, c.maskBits, 1), 1);
      platform::Region region = platform::Region::FromEllipse(2, 1, 44, 30);
      if (c.region) mask.SetMaskRgn(&region);
      Random random(click);
      const int sx = random.Next(41), sy = random.Next(29);
      const int x = sx + c.ox, y = sy + c.oy;
      const uint32_t seed = Seed(source, c.kind, sx, sy);
      ToleranceScope tolerance(c.tolerance);
      platform::Rect bounds{-1, -1, -1, -1};
      ASSERT_EQ(Fill(c.kind, source, c.ox, c.oy, mask, x, y, seed, bounds), 1);
      const Expected want = ReferenceFill(source, c.kind, c.ox, c.oy, 46, 34, x, y, seed, c.tolerance,
                                          c.region ? &region : nullptr);
      EXPECT_EQ(MaskValues(mask), want.marked);
      EXPECT_EQ(bounds, want.bounds);
    }
  }
}

TEST(FillTest, UniformImageAndCheckerboard) {
  ToleranceScope tolerance(0);
  CDIBitmap uniform, checker, mask;
  ASSERT_EQ(GL_CreateRGBBitmap(uniform, 20, 12), 1);
  GL_FillBitmap(uniform, 0x336699);
  ASSERT_EQ(GL_CreateGrayBitmap(mask, 20, 12), 1);
  platform::Rect bounds;
  ASSERT_EQ(OrderedFillMaskRGB(uniform, 0, 0, mask, 4, 4, 0x336699, bounds), 1);
  EXPECT_EQ(bounds, (platform::Rect{0, 0, 20, 12}));
  for (uint8_t v : MaskValues(mask)) ASSERT_EQ(v, 1);

  ASSERT_EQ(GL_CreateGrayBitmap(checker, 20, 12), 1);
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 20; ++x) checker.SetPixel(y, x, (x + y) % 2 ? 200 : 10);
  ASSERT_EQ(GL_CreateGrayBitmap(mask, 20, 12), 1);
  ASSERT_EQ(OrderedFillMaskGray(checker, 0, 0, mask, 5, 7, 10, bounds), 1);
  EXPECT_EQ(bounds, (platform::Rect{5, 7, 6, 8}));
  const std::vector<uint8_t> values = MaskValues(mask);
  EXPECT_EQ(std::count(values.begin(), values.end(), 1), 1);
}

TEST(FillTest, ClickOutsideTheSourceOrOnAMarkedPixelMarksNothing) {
  ToleranceScope tolerance(10);
  CDIBitmap source, mask;
  ASSERT_EQ(GL_CreateGrayBitmap(source, 10, 10), 1);
  ASSERT_EQ(GL_CreateGrayBitmap(mask, 30, 30), 1);
  platform::Rect bounds{1, 1, 1, 1};
  ASSERT_EQ(OrderedFillMaskGray(source, 5, 5, mask, 2, 2, 0, bounds), 1);
  EXPECT_EQ(bounds, platform::Rect{});
  mask.SetPixel(8, 8, 7);
  ASSERT_EQ(OrderedFillMaskGray(source, 5, 5, mask, 8, 8, 0, bounds), 1);
  EXPECT_EQ(bounds, platform::Rect{});
}

TEST(FillTest, FillsRefuseOtherKinds) {
  CDIBitmap rgb, gray, palette, mask;
  ASSERT_EQ(GL_CreateRGBBitmap(rgb, 4, 4), 1);
  ASSERT_EQ(GL_CreateGrayBitmap(gray, 4, 4), 1);
  ASSERT_EQ(GL_CreateIndexedBitmap(palette, 4, 4, 8, nullptr), 1);
  ASSERT_EQ(GL_CreateGrayBitmap(mask, 4, 4), 1);
  platform::RecordingMessageSink messages;
  platform::Rect bounds;
  EXPECT_EQ(OrderedFillMaskRGB(gray, 0, 0, mask, 0, 0, 0, bounds), 0);
  EXPECT_EQ(OrderedFillMaskGray(palette, 0, 0, mask, 0, 0, 0, bounds), 0);
  EXPECT_EQ(OrderedFillMaskIndex(gray, 0, 0, mask, 0, 0, 0, bounds), 0);
  EXPECT_EQ(OrderedFillMaskIndex(rgb, 0, 0, mask, 0, 0, 0, bounds), 0);
  platform::Region region = platform::Region::FromRect(0, 0, 2, 2);
  EXPECT_EQ(GL_GetRgnFromBitmap(rgb, region, nullptr), 0);
  EXPECT_FALSE(region.IsValid());
  EXPECT_EQ(messages.Texts(), (std::vector<std::string>{
                                  "OrderedFillMaskRGB: pdbmSrc Should be a 24bit image",
                                  "OrderedFillMaskGray: pdbmSrc Should be a 8bit Gray image",
                                  "OrderedFillMaskIndex: pdbmSrc Should be a indexed palette image",
                                  "OrderedFillMaskIndex: pdbmSrc Should be a indexed palette image",
                                  "GL_GetRgnFromBitmap :: pdbmDst should  be a 1bit, 8bit image",
                              }));
}

// ------------------------------------------------------------ regions and masks

TEST(FillTest, RegionFromMaskHoldsExactlyTheSelectedPixelsInsideTheRectangle) {
  for (int bits : {1, 8})
    for (int pattern = 0; pattern < 4; ++pattern) {
      SCOPED_TRACE(std::to_string(bits) + " bits, pattern " + std::to_string(pattern));
      CDIBitmap mask;
      ASSERT_EQ(mask.Create(53, 21, bits, 1), 1);
      Random random(pattern);
      for (int y = 0; y < 21; ++y)
        for (int x = 0; x < 53; ++x) {
          // 0: empty, 1: full, 2: noise, 3: repeated stripes (rows that merge).
          const int on = pattern == 1 || (pattern == 2 && random.Next(3) == 0) || (pattern == 3 && (x / 9) % 2 == 0);
          mask.SetPixel(y, x, on ? (bits == 1 ? 1u : 200u) : 0u);
        }
      for (const std::optional<platform::Rect>& rect : {std::optional<platform::Rect>(), std::optional(platform::Rect{5, 3, 60, 18})}) {
        platform::Region region;
        ASSERT_EQ(GL_GetRgnFromBitmap(mask, region, rect ? &*rect : nullptr), 1);
        const platform::Rect area = rect ? *rect : platform::Rect{0, 0, 53, 21};
        for (int y = -2; y < 25; ++y)
          for (int x = -2; x < 62; ++x) {
            const bool inside = x >= area.left && x < std::min(area.right, 53) && y >= area.top && y < area.bottom &&
                                y < 21 && mask.GetPixel(y, x) != 0;
            ASSERT_EQ(region.Contains(x, y), inside) << x << "," << y;
          }
        if (pattern == 0) {
          EXPECT_TRUE(region.IsEmpty());
        }
        if (pattern == 1) {
          EXPECT_EQ(region.Box(), (platform::Rect{area.left, area.top, std::min(area.right, 53), area.bottom}));
        }
      }
    }
}

TEST(FillTest, MaskFromRegionIs255InsideAndZeroOutside) {
  for (const platform::Region& region :
       {platform::Region::Empty(), platform::Region::FromEllipse(-5, 3, 30, 40), platform::Region::FromRect(0, 0, 99, 99)}) {
    CDIBitmap mask;
    ASSERT_EQ(GL_CreateMaskFromRgn(mask, 25, 19, region), 1);
    ASSERT_TRUE(mask.IsGray());
    for (int y = 0; y < 19; ++y)
      for (int x = 0; x < 25; ++x) ASSERT_EQ(mask.GetPixel(y, x), region.Contains(x, y) ? 255u : 0u) << x << "," << y;
  }
}

TEST(FillTest, FillRegionWritesTheColourOfEachKindThroughTheSelection) {
  struct Case {
    const char* name;
    std::function<void(CDIBitmap&)> make;
    uint32_t color;
    uint32_t raw;  // the pixel value expected inside
  };
  const uint8_t table[8] = {0, 0, 0, 0, 250, 250, 250, 0};
  const Case cases[] = {
      {"24-bit", [](CDIBitmap& b) { GL_CreateRGBBitmap(b, 30, 20); }, 0x123456, 0x123456},
      // C = 255 - R, M = 255 - G, Y = 255 - B, K = 0.
      {"CMYK", [](CDIBitmap& b) { GL_CreateCMYKBitmap(b, 30, 20); }, 0x123456, 0xA9CBED00},
      {"gray", [](CDIBitmap& b) { GL_CreateGrayBitmap(b, 30, 20); }, 0x505050, 0x50},
      {"1-bit", [&](CDIBitmap& b) { GL_CreateIndexedBitmap(b, 30, 20, 1, table); }, 0xF0F0F0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CDIBitmap image;
    c.make(image);
    const platform::Region selection = platform::Region::FromRect(0, 0, 15, 20);
    image.SetMaskRgn(&selection);
    const platform::Region region = platform::Region::FromEllipse(3, 2, 29, 19);
    ASSERT_EQ(GL_FillRgn(image, region, c.color), 1);
    for (int y = 0; y < 20; ++y)
      for (int x = 0; x < 30; ++x)
        ASSERT_EQ(image.GetPixel(y, x), region.Contains(x, y) && x < 15 ? c.raw : 0u) << x << "," << y;
  }
  CDIBitmap image;
  ASSERT_EQ(GL_CreateRGBBitmap(image, 4, 4), 1);
  EXPECT_EQ(GL_FillRgn(image, platform::Region(), 0xFFFFFF), 0);
}

TEST(FillTest, FillRectClipsToTheBitmap) {
  for (int bits : {1, 8, 24, 32}) {
    SCOPED_TRACE(bits);
    CDIBitmap image;
    ASSERT_EQ(image.Create(17, 9, bits, 1), 1);
    const uint32_t value = bits == 24 ? 0xFFFFFF : 1;
    ASSERT_EQ(GL_FillRect(image, {-6, 5, 9, 30}, value), 1);
    ASSERT_EQ(GL_FillRect(image, {17, 0, 30, 9}, value), 1);  // wholly outside
    const uint32_t inside = bits == 32 ? 0xFEFFFF00u : bits == 24 ? 0xFFFFFFu : 1u;
    for (int y = 0; y < 9; ++y)
      for (int x = 0; x < 17; ++x) ASSERT_EQ(image.GetPixel(y, x), x < 9 && y >= 5 ? inside : 0u) << x << "," << y;
  }
}

// ------------------------------------------------------------ mode operations

TEST(FillTest, ColorModeOperationsParseWithTheDialogDefaults) {
  struct Case {
    const char* text;
    std::vector<double> values;
  };
  const Case cases[] = {
      {"mode:gray", {}},
      {"mode:bw", {2}},
      {"mode:bw:ordered", {1}},
      {"mode:palette", {1, 1}},
      {"mode:palette:netscape", {2, 1}},
      {"mode:palette:system:diffusion", {0, 2}},
  };
  for (const Case& c : cases) {
    std::string error;
    const auto parsed = ParseOperation(c.text, error);
    ASSERT_TRUE(parsed) << c.text << ": " << error;
    EXPECT_EQ(parsed->args.values, c.values) << c.text;
  }
  std::string error;
  EXPECT_FALSE(ParseOperation("mode:bw:halftone", error));
  CDIBitmap image;
  ASSERT_EQ(GL_CreateRGBBitmap(image, 3, 2), 1);
  const auto parsed = ParseOperation("mode:palette:netscape:none", error);
  ASSERT_EQ(parsed->def->apply(image, parsed->args), 1);
  EXPECT_EQ(image.GetBitCount(), 8);
}

}  // namespace
