#include "image/color_modes.h"
#include "image/threads.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "image/dibitmap.h"
#include "image/services.h"
#include "platform/messages.h"
#include "platform/progress.h"

namespace {

// ------------------------------------------------------------ test images

struct Rgb {
  int r, g, b;
  bool operator==(const Rgb&) const = default;
};

class Random {
 public:
  explicit Random(uint32_t seed) : state_(seed) {}
  int Byte() {
    state_ = state_ * 1664525u + 1013904223u;
    return static_cast<int>(state_ >> 24);
  }

 private:
  uint32_t state_;
};

// Source kinds the conversions take.
enum class Kind { Mono, Palette, Gray, Rgb24, Cmyk };

// A width x height image of `kind` with random pixels (and, below 24 bits, a
// random colour table; the 1-bit table is white, black).
void MakeImage(CDIBitmap& image, Kind kind, int width, int height, uint32_t seed) {
  Random random(seed);
  switch (kind) {
    case Kind::Mono: {
      ASSERT_EQ(image.Create(width, height, 1, 0), 1);
      const uint8_t reversed[8] = {255, 255, 255, 0, 0, 0, 0, 0};
      image.SetColorTable(reversed, 2);
      break;
    }
    case Kind::Palette: {
      ASSERT_EQ(image.Create(width, height, 8, 0), 1);
      std::vector<uint8_t> table(1024);
      for (uint8_t& v : table) v = static_cast<uint8_t>(random.Byte());
      image.SetColorTable(table.data(), 256);
      break;
    }
    case Kind::Gray:
      ASSERT_EQ(image.Create(width, height, 8, 1), 1);
      break;
    case Kind::Rgb24:
      ASSERT_EQ(image.Create(width, height, 24, 0), 1);
      break;
    case Kind::Cmyk:
      ASSERT_EQ(image.Create(width, height, 32, 3), 1);
      break;
  }
  for (int y = 0; y < height; ++y) {
    uint8_t* row = image.RowPointer(y);
    for (int i = 0; i < image.GetRowBytes(); ++i) row[i] = static_cast<uint8_t>(random.Byte());
  }
}

// A 24-bit image using only `colors` distinct random colours.
void MakeFewColours(CDIBitmap& image, int width, int height, int colors, uint32_t seed) {
  Random random(seed);
  std::vector<Rgb> set(static_cast<size_t>(colors));
  for (Rgb& c : set) c = {random.Byte(), random.Byte(), random.Byte()};
  ASSERT_EQ(image.Create(width, height, 24, 0), 1);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const Rgb& c = set[static_cast<size_t>(random.Byte() % colors)];
      image.SetPixelColor(y, x, static_cast<uint32_t>(c.r | c.g << 8 | c.b << 16));
    }
}

// The colour of a source pixel, straight from the definitions: through the
// table below 24 bits, the CMYK formula at 32 bits.
Rgb SourceColour(const CDIBitmap& image, int x, int y) {
  const uint8_t* row = image.RowPointer(y);
  const uint8_t* table = image.GetColorTablePointer();
  switch (image.GetBitCount()) {
    case 1: {
      const uint8_t* e = table + 4 * ((row[x / 8] >> (7 - x % 8)) & 1);
      return {e[2], e[1], e[0]};
    }
    case 8: {
      const uint8_t* e = table + 4 * row[x];
      return {e[2], e[1], e[0]};
    }
    case 24:
      return {row[3 * x + 2], row[3 * x + 1], row[3 * x]};
    default: {
      const uint8_t* p = row + 4 * x;
      return {std::max(0, 255 - p[0] - p[3]), std::max(0, 255 - p[1] - p[3]), std::max(0, 255 - p[2] - p[3])};
    }
  }
}

int Luma(const Rgb& c) { return (306 * c.r + 601 * c.g + 117 * c.b + 512) / 1024; }

int Bit(const CDIBitmap& image, int x, int y) { return (image.RowPointer(y)[x / 8] >> (7 - x % 8)) & 1; }

Rgb TableColour(const CDIBitmap& image, int index) {
  const uint8_t* e = image.GetColorTablePointer() + 4 * index;
  return {e[2], e[1], e[0]};
}

// ------------------------------------------------------------ reference dithering

constexpr int kBase[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

// Ordered dithering of one channel value to `levels` levels at (x, y):
// the dithered value level x trunc(step).
int OrderedValue(int v, int x, int y, int levels) {
  const double step = 255.0 / (levels - 1);
  const int r = x % 16, c = y % 16;  // M is indexed [x mod 16][y mod 16]
  const int m = static_cast<int>(std::trunc((kBase[r / 4][c / 4] / 16.0 + kBase[r % 4][c % 4]) * (step - 1) / 16 + 0.5));
  const int q = static_cast<int>(std::trunc(v / step));
  const int rem = v - static_cast<int>(std::trunc(q * step));
  return (q + (rem > m ? 1 : 0)) * static_cast<int>(std::trunc(step));
}

int Clamp(int v) { return v < 0 ? 0 : v > 255 ? 255 : v; }

// Floyd-Steinberg weights over a whole-image buffer of `channels` values per
// pixel; `choose` turns a wanted pixel into the chosen one in place and
// returns its label.
std::vector<int> Diffuse(std::vector<int> values, int width, int height, int channels,
                         const std::function<int(std::array<int, 3>&)>& choose) {
  std::vector<int> labels(static_cast<size_t>(width) * height);
  auto add = [&](int x, int y, int c, int e, int k) {
    if (x < 0 || x >= width || y >= height) return;
    int& v = values[(static_cast<size_t>(y) * width + x) * channels + c];
    v = Clamp((v * 16 + e * k) / 16);
  };
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      std::array<int, 3> wanted{}, chosen{};
      for (int c = 0; c < channels; ++c) wanted[c] = chosen[c] = values[(static_cast<size_t>(y) * width + x) * channels + c];
      labels[static_cast<size_t>(y) * width + x] = choose(chosen);
      for (int c = 0; c < channels; ++c) {
        const int e = wanted[c] - chosen[c];
        add(x + 1, y, c, e, 7);
        add(x - 1, y + 1, c, e, 3);
        add(x, y + 1, c, e, 5);
        add(x + 1, y + 1, c, e, 1);
      }
    }
  return labels;
}

// Expected black-and-white bits of a source.
std::vector<int> ReferenceBW(const CDIBitmap& source, DitherMode mode) {
  const int w = source.GetWidth(), h = source.GetHeight();
  std::vector<int> lum(static_cast<size_t>(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) lum[static_cast<size_t>(y) * w + x] = Luma(SourceColour(source, x, y));
  if (mode == kDitherDiffusion)
    return Diffuse(lum, w, h, 1, [](std::array<int, 3>& v) {
      v[0] = v[0] >= 128 ? 255 : 0;
      return v[0] ? 1 : 0;
    });
  std::vector<int> bits(lum.size());
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int v = lum[static_cast<size_t>(y) * w + x];
      bits[static_cast<size_t>(y) * w + x] = mode == kDitherNone ? (v >= 128) : (OrderedValue(v, x, y, 2) != 0);
    }
  return bits;
}

// ------------------------------------------------------------ fixed palettes

std::vector<Rgb> NetscapeColours() {
  std::vector<Rgb> colours;
  for (int r = 0; r <= 255; r += 51)
    for (int g = 0; g <= 255; g += 51)
      for (int b = 0; b <= 255; b += 51) colours.push_back({r, g, b});
  colours.resize(256, Rgb{0, 0, 0});
  return colours;
}

std::vector<Rgb> TableColours(const uint8_t* table) {
  std::vector<Rgb> colours;
  for (int i = 0; i < 256; ++i) colours.push_back({table[4 * i + 2], table[4 * i + 1], table[4 * i]});
  return colours;
}

int NearestLowest(const std::vector<Rgb>& palette, const Rgb& c) {
  int best = 0, bestDistance = 1 << 30;
  for (int i = 0; i < static_cast<int>(palette.size()); ++i) {
    const int dr = palette[i].r - c.r, dg = palette[i].g - c.g, db = palette[i].b - c.b;
    const int d = dr * dr + dg * dg + db * db;
    if (d < bestDistance) {
      bestDistance = d;
      best = i;
    }
  }
  return best;
}

// Expected indices for a fixed palette (the mapping is the nearest entry).
std::vector<int> ReferenceFixed(const CDIBitmap& source, const std::vector<Rgb>& palette, DitherMode mode) {
  const int w = source.GetWidth(), h = source.GetHeight();
  std::vector<int> indices(static_cast<size_t>(w) * h);
  if (mode == kDitherDiffusion) {
    std::vector<int> values;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const Rgb c = SourceColour(source, x, y);
        values.insert(values.end(), {c.r, c.g, c.b});
      }
    return Diffuse(values, w, h, 3, [&](std::array<int, 3>& v) {
      const int index = NearestLowest(palette, {v[0], v[1], v[2]});
      v = {palette[index].r, palette[index].g, palette[index].b};
      return index;
    });
  }
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      Rgb c = SourceColour(source, x, y);
      if (mode == kDitherOrdered) c = {OrderedValue(c.r, x, y, 6), OrderedValue(c.g, x, y, 6), OrderedValue(c.b, x, y, 6)};
      indices[static_cast<size_t>(y) * w + x] = NearestLowest(palette, c);
    }
  return indices;
}

// ------------------------------------------------------------ reference octree

// The adaptive palette exactly as described: linear scans, no shortcuts.
class NaiveOctree {
 public:
  NaiveOctree() { nodes_.push_back(Node{-1, -1}); }

  void Add(const Rgb& c) {
    int n = 0;
    for (int level = 0; level < 8; ++level) {
      const int i = Child(c, level);
      if (!nodes_[n].child[i]) {
        nodes_.push_back(Node{level, n});
        nodes_.back().leaf = level == 7;
        nodes_[n].child[i] = static_cast<int>(nodes_.size() - 1);
      }
      n = nodes_[n].child[i];
      if (nodes_[n].leaf) break;
    }
    Node& leaf = nodes_[n];
    ++leaf.count;
    leaf.sum[0] += c.r;
    leaf.sum[1] += c.g;
    leaf.sum[2] += c.b;
    if (leaf.count == 1) {
      ++leaves_;
      leaf.colour = c;
      lists_[leaf.level].push_back(n);
    }
    while (leaves_ > 512) ReduceOnce();
  }

  void Finish(uint8_t table[1024]) {
    while (leaves_ > 256) ReduceOnce();
    std::fill(table, table + 1024, 0);
    int next = 0;
    std::function<void(int)> visit = [&](int n) {
      Node& node = nodes_[n];
      if (node.leaf && node.count) {
        node.entry = next;
        const Rgb mean = Mean(node);
        table[4 * next] = static_cast<uint8_t>(mean.b);
        table[4 * next + 1] = static_cast<uint8_t>(mean.g);
        table[4 * next + 2] = static_cast<uint8_t>(mean.r);
        ++next;
        return;
      }
      for (int child : node.child)
        if (child) visit(child);
    };
    visit(0);
    // Folded leaves are compared by their palette colour.
    for (auto& list : lists_)
      for (int n : list)
        if (nodes_[n].level < 7) nodes_[n].colour = Mean(nodes_[n]);
  }

  int Map(const Rgb& c) const {
    int n = 0;
    for (int level = 0; level < 8; ++level) {
      const int next = nodes_[n].child[Child(c, level)];
      if (!next) break;
      n = next;
      if (nodes_[n].leaf) return nodes_[n].entry;
    }
    int best = -1, bestDistance = 1 << 30;
    for (const auto& list : lists_)
      for (int m : list) {
        const Rgb& k = nodes_[m].colour;
        const int d = (k.r - c.r) * (k.r - c.r) + (k.g - c.g) * (k.g - c.g) + (k.b - c.b) * (k.b - c.b);
        if (d < bestDistance) {
          bestDistance = d;
          best = nodes_[m].entry;
        }
      }
    return best;
  }

 private:
  struct Node {
    int level;
    int parent;
    int child[8] = {};
    bool leaf = false;
    long count = 0;
    long sum[3] = {};
    Rgb colour{};
    int entry = -1;
  };
  static int Child(const Rgb& c, int level) {
    const int s = 7 - level;
    return ((c.r >> s) & 1) * 4 + ((c.g >> s) & 1) * 2 + ((c.b >> s) & 1);
  }
  static Rgb Mean(const Node& n) {
    return {static_cast<int>(n.sum[0] / n.count), static_cast<int>(n.sum[1] / n.count), static_cast<int>(n.sum[2] / n.count)};
  }
  void ReduceOnce() {
    int level = 7;
    while (lists_[level].empty()) --level;
    std::vector<int>& list = lists_[level];
    int chosen = list[0];
    for (int n : list)
      if (nodes_[n].count < nodes_[chosen].count) chosen = n;
    Node& parent = nodes_[nodes_[chosen].parent];
    const int parentIndex = nodes_[chosen].parent;
    int folded = 0;
    for (int& child : parent.child) {
      if (!child) continue;
      parent.count += nodes_[child].count;
      for (int c = 0; c < 3; ++c) parent.sum[c] += nodes_[child].sum[c];
      std::erase(list, child);
      child = 0;
      ++folded;
    }
    parent.leaf = true;
    parent.colour = Mean(parent);
    leaves_ -= folded - 1;
    lists_[parent.level].push_back(parentIndex);
  }

  std::vector<Node> nodes_;
  std::vector<int> lists_[8];
  int leaves_ = 0;
};

std::vector<int> ReferenceAdaptive(const CDIBitmap& source, DitherMode mode, uint8_t table[1024]) {
  const int w = source.GetWidth(), h = source.GetHeight();
  auto colourAt = [&](int x, int y) {
    Rgb c = SourceColour(source, x, y);
    if (mode == kDitherOrdered) c = {OrderedValue(c.r, x, y, 18), OrderedValue(c.g, x, y, 18), OrderedValue(c.b, x, y, 18)};
    return c;
  };
  NaiveOctree octree;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) octree.Add(colourAt(x, y));
  octree.Finish(table);
  const std::vector<Rgb> palette = TableColours(table);
  if (mode == kDitherDiffusion) {
    std::vector<int> values;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const Rgb c = colourAt(x, y);
        values.insert(values.end(), {c.r, c.g, c.b});
      }
    return Diffuse(values, w, h, 3, [&](std::array<int, 3>& v) {
      const int index = octree.Map({v[0], v[1], v[2]});
      v = {palette[index].r, palette[index].g, palette[index].b};
      return index;
    });
  }
  std::vector<int> indices(static_cast<size_t>(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) indices[static_cast<size_t>(y) * w + x] = octree.Map(colourAt(x, y));
  return indices;
}

std::vector<int> Indices(const CDIBitmap& image) {
  std::vector<int> out;
  for (int y = 0; y < image.GetHeight(); ++y)
    for (int x = 0; x < image.GetWidth(); ++x) out.push_back(image.RowPointer(y)[x]);
  return out;
}

std::vector<int> Bits(const CDIBitmap& image) {
  std::vector<int> out;
  for (int y = 0; y < image.GetHeight(); ++y)
    for (int x = 0; x < image.GetWidth(); ++x) out.push_back(Bit(image, x, y));
  return out;
}

const char* KindName(Kind kind) {
  switch (kind) {
    case Kind::Mono: return "1-bit";
    case Kind::Palette: return "palette";
    case Kind::Gray: return "gray";
    case Kind::Rgb24: return "24-bit";
    case Kind::Cmyk: return "CMYK";
  }
  return "";
}

constexpr Kind kAllKinds[] = {Kind::Mono, Kind::Palette, Kind::Gray, Kind::Rgb24, Kind::Cmyk};
constexpr DitherMode kAllDithers[] = {kDitherNone, kDitherOrdered, kDitherDiffusion};

// ------------------------------------------------------------ gray, RGB, CMYK

TEST(ColorModeTest, GrayIsTheLuminanceOfEverySourceKind) {
  for (Kind kind : kAllKinds) {
    SCOPED_TRACE(KindName(kind));
    CDIBitmap image, original;
    MakeImage(image, kind, 37, 11, 7);
    original.CopyFrom(image);
    ASSERT_EQ(GL_ConvertToGray(image), 1);
    ASSERT_EQ(image.GetBitCount(), 8);
    ASSERT_TRUE(image.IsGray());
    for (int y = 0; y < 11; ++y)
      for (int x = 0; x < 37; ++x) {
        // A set bit is white whatever the table says (this one is reversed).
        const int want = kind == Kind::Mono ? 255 * Bit(original, x, y) : Luma(SourceColour(original, x, y));
        ASSERT_EQ(image.RowPointer(y)[x], want) << x << "," << y;
      }
  }
}

TEST(ColorModeTest, RGBAndCMYKFollowTheTableAndTheInkFormulas) {
  for (Kind kind : kAllKinds) {
    SCOPED_TRACE(KindName(kind));
    CDIBitmap image, original;
    MakeImage(image, kind, 21, 9, 11);
    original.CopyFrom(image);
    ASSERT_EQ(GL_ConvertImageToRGB(image), 1);
    ASSERT_EQ(image.GetBitCount(), 24);
    for (int y = 0; y < 9; ++y)
      for (int x = 0; x < 21; ++x) ASSERT_EQ(SourceColour(image, x, y), SourceColour(original, x, y)) << x << "," << y;

    image.CopyFrom(original);
    ASSERT_EQ(GL_ConvertImageToCMYK(image), 1);
    ASSERT_EQ(image.GetBitCount(), 32);
    ASSERT_TRUE(image.IsCMYK());
    if (kind == Kind::Cmyk) {
      // Already CMYK: untouched, black ink kept.
      EXPECT_EQ(std::vector<uint8_t>(image.GetPixels(), image.GetPixels() + image.GetStride() * 9),
                std::vector<uint8_t>(original.GetPixels(), original.GetPixels() + original.GetStride() * 9));
      continue;
    }
    for (int y = 0; y < 9; ++y)
      for (int x = 0; x < 21; ++x) {
        const Rgb c = SourceColour(original, x, y);
        const uint8_t* p = image.RowPointer(y) + 4 * x;
        ASSERT_EQ((std::array<int, 4>{p[0], p[1], p[2], p[3]}), (std::array<int, 4>{255 - c.r, 255 - c.g, 255 - c.b, 0}));
      }
  }
}

TEST(ColorModeTest, PureRedGoesToCyanFreeInkAndBack) {
  CDIBitmap image;
  ASSERT_EQ(GL_CreateRGBBitmap(image, 1, 1), 1);
  image.SetPixelColor(0, 0, 0x0000FF);
  ASSERT_EQ(GL_ConvertImageToCMYK(image), 1);
  EXPECT_EQ(image.GetPixel(0, 0), 0x00FFFF00u);
  ASSERT_EQ(GL_ConvertImageToRGB(image), 1);
  EXPECT_EQ(image.GetPixelColor(0, 0), 0x0000FFu);
}

TEST(ColorModeTest, KeepsResolutionAndObjectAndLeavesGrayAlone) {
  CDIBitmap image;
  MakeImage(image, Kind::Gray, 8, 8, 3);
  image.SetResolution(300, 150);
  const uint8_t* pixels = image.GetPixels();
  ASSERT_EQ(GL_ConvertToGray(image), 1);
  EXPECT_EQ(image.GetPixels(), pixels);  // already gray: not rebuilt
  ASSERT_EQ(GL_ConvertImageToRGB(image), 1);
  EXPECT_EQ(image.GetXResolution(), 300);
  EXPECT_EQ(image.GetYResolution(), 150);
}

// ------------------------------------------------------------ black and white

TEST(ColorModeTest, BlackAndWhiteMatchesTheReferenceForEveryKindAndDither) {
  for (Kind kind : kAllKinds)
    for (DitherMode mode : kAllDithers) {
      SCOPED_TRACE(std::string(KindName(kind)) + " dither " + std::to_string(mode));
      CDIBitmap image, original;
      MakeImage(image, kind, 45, 19, 23);
      original.CopyFrom(image);
      ASSERT_EQ(GL_ConvertImageToBW(image, mode), 1);
      ASSERT_EQ(image.GetBitCount(), 1);
      EXPECT_EQ(TableColour(image, 0), (Rgb{0, 0, 0}));
      EXPECT_EQ(TableColour(image, 1), (Rgb{255, 255, 255}));
      EXPECT_EQ(Bits(image), ReferenceBW(original, mode));
    }
}

TEST(ColorModeTest, BlackAndWhiteOfUniformImages) {
  for (DitherMode mode : kAllDithers) {
    SCOPED_TRACE(mode);
    CDIBitmap white, gray;
    ASSERT_EQ(GL_CreateRGBBitmap(white, 33, 17), 1);
    GL_FillBitmap(white, 0xFFFFFF);
    ASSERT_EQ(GL_ConvertImageToBW(white, mode), 1);
    for (int bit : Bits(white)) ASSERT_EQ(bit, 1);

    ASSERT_EQ(GL_CreateRGBBitmap(gray, 64, 64), 1);
    GL_FillBitmap(gray, 0x808080);
    ASSERT_EQ(GL_ConvertImageToBW(gray, mode), 1);
    const std::vector<int> bits = Bits(gray);
    const int set = static_cast<int>(std::count(bits.begin(), bits.end(), 1));
    if (mode == kDitherNone) {
      EXPECT_EQ(set, 64 * 64);
    }
    if (mode == kDitherOrdered) {
      // About half, repeating every 16 pixels both ways.
      EXPECT_NEAR(set, 64 * 64 / 2, 64 * 64 / 32);
      for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 48; ++x) {
          ASSERT_EQ(Bit(gray, x, y), Bit(gray, x + 16, y));
          ASSERT_EQ(Bit(gray, x, y), Bit(gray, x, y + 16));
        }
    }
  }
}

// ------------------------------------------------------------ palettes

TEST(ColorModeTest, FixedPaletteTables) {
  uint8_t table[1024];
  ASSERT_EQ(GL_GetFixedPalette(kPaletteNetscape, table), 256);
  EXPECT_EQ(TableColours(table), NetscapeColours());

  ASSERT_EQ(GL_GetFixedPalette(kPaletteSystem, table), 256);
  const std::vector<Rgb> system = TableColours(table);
  const std::vector<Rgb> statics = {{0, 0, 0},       {128, 0, 0},     {0, 128, 0},     {128, 128, 0},   {0, 0, 128},
                                    {128, 0, 128},   {0, 128, 128},   {192, 192, 192}, {192, 220, 192}, {166, 202, 240},
                                    {255, 251, 240}, {160, 160, 164}, {128, 128, 128}, {255, 0, 0},     {0, 255, 0},
                                    {255, 255, 0},   {0, 0, 255},     {255, 0, 255},   {0, 255, 255},   {255, 255, 255}};
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(system[i], statics[i]) << i;
    EXPECT_EQ(system[246 + i], statics[10 + i]) << 246 + i;
  }
  // Every colour of six-level ordered dithering is in the table.
  const std::vector<Rgb> cube = NetscapeColours();
  for (int i = 0; i < 216; ++i)
    EXPECT_NE(std::find(system.begin(), system.end(), cube[i]), system.end()) << i;
}

TEST(ColorModeTest, FixedPalettesMapToTheNearestEntry) {
  for (PaletteChoice choice : {kPaletteNetscape, kPaletteSystem})
    for (Kind kind : {Kind::Palette, Kind::Rgb24, Kind::Cmyk})
      for (DitherMode mode : kAllDithers) {
        SCOPED_TRACE(std::string(KindName(kind)) + " palette " + std::to_string(choice) + " dither " +
                     std::to_string(mode));
        CDIBitmap image, original;
        MakeImage(image, kind, 29, 13, 5);
        original.CopyFrom(image);
        ASSERT_EQ(GL_ConvertImageToIndexed(image, choice, mode), 1);
        ASSERT_EQ(image.GetBitCount(), 8);
        ASSERT_FALSE(image.IsGray());
        uint8_t table[1024];
        GL_GetFixedPalette(choice, table);
        EXPECT_EQ(TableColours(image.GetColorTablePointer()), TableColours(table));
        EXPECT_EQ(Indices(image), ReferenceFixed(original, TableColours(table), mode));
      }
}

TEST(ColorModeTest, LargeImagesMapToTheNearestEntryToo) {
  // Above a million pixels the nearest search prepares finer cells.
  CDIBitmap image, original;
  MakeImage(image, Kind::Rgb24, 1024, 1025, 17);
  original.CopyFrom(image);
  ASSERT_EQ(GL_ConvertImageToIndexed(image, kPaletteSystem, kDitherNone), 1);
  uint8_t table[1024];
  GL_GetFixedPalette(kPaletteSystem, table);
  EXPECT_EQ(Indices(image), ReferenceFixed(original, TableColours(table), kDitherNone));
}

TEST(ColorModeTest, AdaptivePaletteReproducesFewColoursExactly) {
  for (DitherMode mode : {kDitherNone, kDitherDiffusion}) {
    CDIBitmap image, original;
    MakeFewColours(image, 40, 30, 200, 99);
    original.CopyFrom(image);
    ASSERT_EQ(GL_ConvertImageToIndexed(image, kPaletteAdaptive, mode), 1);
    for (int y = 0; y < 30; ++y)
      for (int x = 0; x < 40; ++x)
        ASSERT_EQ(TableColour(image, image.RowPointer(y)[x]), SourceColour(original, x, y)) << x << "," << y;
  }
}

TEST(ColorModeTest, AdaptivePaletteMatchesAPlainOctree) {
  // Random colours force thousands of reductions; the smooth picture leaves
  // leaves on many levels.
  CDIBitmap noisy, smooth;
  MakeImage(noisy, Kind::Rgb24, 61, 47, 1234);
  ASSERT_EQ(smooth.Create(80, 64, 24, 0), 1);
  Random random(77);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 80; ++x)
      smooth.SetPixelColor(y, x, static_cast<uint32_t>((3 * x + random.Byte() % 8) | (4 * y) << 8 | ((x * y) % 256) << 16));
  for (const CDIBitmap* source : {&noisy, &smooth})
    for (DitherMode mode : kAllDithers) {
      SCOPED_TRACE(mode);
      CDIBitmap target;
      ASSERT_EQ(GL_CreateIndexedBitmap(target, source->GetWidth(), source->GetHeight(), 8, nullptr), 1);
      uint8_t table[1024], given[1024], expectedTable[1024];
      ASSERT_EQ(GL_ConvertToIndexed(target, *source, kPaletteAdaptive, mode, 256, given), 1);
      const std::vector<int> expected = ReferenceAdaptive(*source, mode, expectedTable);
      target.GetColorTable(table, 256);
      EXPECT_EQ(std::vector<uint8_t>(table, table + 1024), std::vector<uint8_t>(expectedTable, expectedTable + 1024));
      EXPECT_EQ(std::vector<uint8_t>(given, given + 1024), std::vector<uint8_t>(table, table + 1024));
      EXPECT_EQ(Indices(target), expected);
    }
}

// ------------------------------------------------------------ plane merge

TEST(ColorModeTest, MergePlanesPutsEachPlaneInItsChannel) {
  std::vector<CDIBitmap> planes(4);
  for (int i = 0; i < 4; ++i) MakeImage(planes[i], Kind::Gray, 9, 5, 40 + i);
  const CDIBitmap* rgbPlanes[] = {&planes[0], &planes[1], &planes[2]};
  CDIBitmap merged;
  ASSERT_EQ(GL_MergePlanes(merged, rgbPlanes), 1);
  ASSERT_EQ(merged.GetBitCount(), 24);
  const CDIBitmap* inkPlanes[] = {&planes[0], &planes[1], &planes[2], &planes[3]};
  CDIBitmap ink;
  ASSERT_EQ(GL_MergePlanes(ink, inkPlanes), 1);
  ASSERT_TRUE(ink.IsCMYK());
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 9; ++x) {
      const int v[4] = {planes[0].RowPointer(y)[x], planes[1].RowPointer(y)[x], planes[2].RowPointer(y)[x],
                        planes[3].RowPointer(y)[x]};
      ASSERT_EQ(merged.GetPixelColor(y, x), static_cast<uint32_t>(v[0] | v[1] << 8 | v[2] << 16));
      ASSERT_EQ(ink.GetPixel(y, x), static_cast<uint32_t>(v[0] << 24 | v[1] << 16 | v[2] << 8 | v[3]));
    }
}

// ------------------------------------------------------------ refusals, progress, threads

TEST(ColorModeTest, RefusesWrongTargetsAndPlanes) {
  CDIBitmap source, rgb, small, gray, mono, palette;
  MakeImage(source, Kind::Rgb24, 4, 4, 1);
  ASSERT_EQ(GL_CreateRGBBitmap(rgb, 4, 4), 1);
  ASSERT_EQ(GL_CreateRGBBitmap(small, 3, 4), 1);
  ASSERT_EQ(GL_CreateGrayBitmap(gray, 4, 4), 1);
  ASSERT_EQ(GL_CreateIndexedBitmap(mono, 3, 3, 1, nullptr), 1);
  ASSERT_EQ(GL_CreateIndexedBitmap(palette, 4, 2, 8, nullptr), 1);
  platform::RecordingMessageSink messages;
  EXPECT_EQ(GL_ConvertToRGB(gray, source), 0);
  EXPECT_EQ(GL_ConvertToRGB(small, gray), 0);
  EXPECT_EQ(GL_ConvertToBW(rgb, source, kDitherNone), 0);
  EXPECT_EQ(GL_ConvertToBW(mono, source, kDitherNone), 0);
  EXPECT_EQ(GL_ConvertToIndexed(rgb, source, kPaletteAdaptive, kDitherNone), 0);
  EXPECT_EQ(GL_ConvertToIndexed(palette, source, kPaletteAdaptive, kDitherNone), 0);
  const CDIBitmap* two[] = {&gray, &gray};
  const CDIBitmap* notGray[] = {&gray, &gray, &source};
  const CDIBitmap* sizes[] = {&gray, &gray, &gray, &small};
  CDIBitmap merged;
  EXPECT_EQ(GL_MergePlanes(merged, two), 0);
  EXPECT_EQ(GL_MergePlanes(merged, notGray), 0);
  CDIBitmap gray3;
  ASSERT_EQ(GL_CreateGrayBitmap(gray3, 3, 4), 1);
  const CDIBitmap* mixed[] = {&gray, &gray, &gray3};
  EXPECT_EQ(GL_MergePlanes(merged, mixed), 0);
  (void)sizes;
  EXPECT_FALSE(merged.IsAllocated());
  EXPECT_EQ(messages.Texts(), (std::vector<std::string>{
                                  "GL_ConvertToRGB ::pdbmDest Should be a 24bit image",
                                  "GL_ConvertToRGB ::pdbmDest Should be the size of pdbmSrc",
                                  "GL_ConvertToBW ::pdbmDest Should be a 1bit image",
                                  "GL_ConvertToBW ::pdbmDest Should be the size of pdbmSrc",
                                  "GL_ConvertToIndexed ::pdbmDest Should be a 8bit image",
                                  "GL_ConvertToIndexed ::pdbmDest Should be the size of pdbmSrc",
                                  "GL_MergePlanes ::nPlanes Should be 3 or 4",
                                  "GL_MergePlanes ::pdbmSrc Should be a 8bit Gray image",
                                  "GL_MergePlanes ::pdbmSrc Should be the same size",
                              }));
}

class ProgressScope {
 public:
  ProgressScope() { ProgressEnable(true); }
  ~ProgressScope() {
    ProgressEnable(false);
    platform::SetProgressPump(nullptr);
    platform::ResetCancel();
  }
};

TEST(ColorModeTest, CancelLeavesTheImageUnchanged) {
  const std::vector<std::pair<const char*, std::function<int(CDIBitmap&)>>> commands = {
      {"gray", GL_ConvertToGray},
      {"rgb", GL_ConvertImageToRGB},
      {"cmyk", GL_ConvertImageToCMYK},
      {"bw", [](CDIBitmap& b) { return GL_ConvertImageToBW(b, kDitherDiffusion); }},
      {"palette", [](CDIBitmap& b) { return GL_ConvertImageToIndexed(b, kPaletteAdaptive, kDitherOrdered); }},
  };
  for (const auto& [name, command] : commands) {
    SCOPED_TRACE(name);
    CDIBitmap image, original;
    MakeImage(image, name == std::string("rgb") ? Kind::Cmyk : Kind::Rgb24, 16, 40, 9);
    original.CopyFrom(image);
    ProgressScope progress;
    int steps = 0;
    platform::SetProgressPump([&] {
      if (++steps == 5) platform::RequestCancel();
    });
    EXPECT_EQ(command(image), kResultCancelled);
    EXPECT_EQ(image.GetBitCount(), original.GetBitCount());
    EXPECT_EQ(std::vector<uint8_t>(image.GetPixels(), image.GetPixels() + image.GetStride() * 40),
              std::vector<uint8_t>(original.GetPixels(), original.GetPixels() + original.GetStride() * 40));
  }
}

TEST(ColorModeTest, TwoThreadsGiveTheSameResultAsOne) {
  CDIBitmap source;
  MakeImage(source, Kind::Rgb24, 700, 420, 5);
  const std::vector<std::pair<const char*, std::function<int(CDIBitmap&)>>> commands = {
      {"gray", GL_ConvertToGray},
      {"cmyk", GL_ConvertImageToCMYK},
      {"bw", [](CDIBitmap& b) { return GL_ConvertImageToBW(b, kDitherOrdered); }},
      {"palette", [](CDIBitmap& b) { return GL_ConvertImageToIndexed(b, kPaletteSystem, kDitherNone); }},
  };
  const int threads = GL_GetThreadCount();
  for (const auto& [name, command] : commands) {
    SCOPED_TRACE(name);
    CDIBitmap one, two;
    one.CopyFrom(source);
    two.CopyFrom(source);
    GL_SetThreadCount(1);
    ASSERT_EQ(command(one), 1);
    GL_SetThreadCount(2);
    ASSERT_EQ(command(two), 1);
    const size_t bytes = static_cast<size_t>(one.GetStride()) * 420;
    EXPECT_EQ(std::vector<uint8_t>(one.GetPixels(), one.GetPixels() + bytes),
              std::vector<uint8_t>(two.GetPixels(), two.GetPixels() + bytes));
  }
  GL_SetThreadCount(threads);
}

TEST(ColorModeTest, MaskedTargetIsWrittenOnlyInsideItsSelection) {
  CDIBitmap source, target;
  MakeImage(source, Kind::Palette, 12, 6, 3);
  ASSERT_EQ(GL_CreateRGBBitmap(target, 12, 6), 1);
  const platform::Region left = platform::Region::FromRect(0, 0, 5, 6);
  target.SetMaskRgn(&left);
  ASSERT_EQ(GL_ConvertToRGB(target, source), 1);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 12; ++x)
      ASSERT_EQ(SourceColour(target, x, y), (x < 5 ? SourceColour(source, x, y) : Rgb{0, 0, 0})) << x << "," << y;
}

}  // namespace
