// Region: set operations, shapes and the byte form, checked against pixel
// sets painted from the definitions in this file.
#include "platform/region.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace {

using platform::FillMode;
using platform::Point;
using platform::Rect;
using platform::Region;

constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();

// A boolean pixel set over a window of the plane.
struct Grid {
  int x0, y0, w, h;
  std::vector<uint8_t> on = std::vector<uint8_t>(static_cast<size_t>(w * h));
  uint8_t& At(int x, int y) { return on[static_cast<size_t>((y - y0) * w + (x - x0))]; }
  void Paint(const Rect& r) {
    for (int y = std::max(r.top, y0); y < std::min(r.bottom, y0 + h); ++y)
      for (int x = std::max(r.left, x0); x < std::min(r.right, x0 + w); ++x) At(x, y) = 1;
  }
  template <typename F>
  static Grid From(int x0, int y0, int w, int h, F inside) {
    Grid g{x0, y0, w, h};
    for (int y = y0; y < y0 + h; ++y)
      for (int x = x0; x < x0 + w; ++x) g.At(x, y) = inside(x, y) ? 1 : 0;
    return g;
  }
};

Grid Painted(const std::vector<Rect>& rects, int x0, int y0, int w, int h) {
  Grid g{x0, y0, w, h};
  for (const Rect& r : rects) g.Paint(r);
  return g;
}

// The rectangles must be disjoint, in bands sorted top to bottom and left
// to right, with no two touching in one band: the canonical form.
void ExpectCanonical(const Region& region) {
  const std::vector<Rect> rects = region.Rects();
  for (size_t i = 0; i < rects.size(); ++i) {
    ASSERT_FALSE(rects[i].IsEmpty());
    if (i == 0) continue;
    const Rect& a = rects[i - 1];
    const Rect& b = rects[i];
    if (a.top == b.top) {
      EXPECT_EQ(a.bottom, b.bottom);
      EXPECT_LT(a.right, b.left);
    } else {
      EXPECT_GE(b.top, a.bottom);
    }
  }
}

// Checks the region against the expected pixel set inside the window, and
// its area and box against the set (which must lie inside the window).
void ExpectPixels(const Region& region, Grid expected) {
  ExpectCanonical(region);
  const Grid got = Painted(region.Rects(), expected.x0, expected.y0, expected.w, expected.h);
  int64_t count = 0;
  Rect box{kMax, kMax, kMin, kMin};
  for (int y = expected.y0; y < expected.y0 + expected.h; ++y)
    for (int x = expected.x0; x < expected.x0 + expected.w; ++x) {
      const bool want = expected.At(x, y) != 0;
      ASSERT_EQ(got.on[static_cast<size_t>((y - got.y0) * got.w + (x - got.x0))] != 0, want) << x << "," << y;
      ASSERT_EQ(region.Contains(x, y), want) << x << "," << y;
      if (!want) continue;
      ++count;
      box = {std::min(box.left, x), std::min(box.top, y), std::max(box.right, x + 1), std::max(box.bottom, y + 1)};
    }
  EXPECT_EQ(region.Area(), count);
  EXPECT_EQ(region.Box(), count ? box : Rect{});
}

std::vector<Rect> RandomRects(std::mt19937& rng, int count) {
  std::uniform_int_distribution<int> coord(0, 24);
  std::vector<Rect> rects;
  for (int i = 0; i < count; ++i) {
    const int a = coord(rng), b = coord(rng), c = coord(rng), d = coord(rng);
    rects.push_back({std::min(a, b), std::min(c, d), std::max(a, b), std::max(c, d)});
  }
  return rects;
}

TEST(Region, SetOperationsMatchPixelSets) {
  std::mt19937 rng(20240611);
  for (int trial = 0; trial < 200; ++trial) {
    const auto ra = RandomRects(rng, 1 + trial % 6), rb = RandomRects(rng, 1 + trial % 4);
    Grid a = Painted(ra, 0, 0, 25, 25), b = Painted(rb, 0, 0, 25, 25);
    const Region A = Region::FromRects(ra), B = Region::FromRects(rb);
    auto combined = [&](auto op) {
      return Grid::From(0, 0, 25, 25, [&](int x, int y) { return op(a.At(x, y) != 0, b.At(x, y) != 0); });
    };
    SCOPED_TRACE(trial);
    ExpectPixels(A, a);
    ExpectPixels(A.Union(B), combined([](bool p, bool q) { return p || q; }));
    ExpectPixels(A.Subtract(B), combined([](bool p, bool q) { return p && !q; }));
    ExpectPixels(A.Intersect(B), combined([](bool p, bool q) { return p && q; }));
    ExpectPixels(A.Xor(B), combined([](bool p, bool q) { return p != q; }));
    // Equal sets compare equal however they were built.
    EXPECT_EQ(A.Union(B), B.Union(A));
    EXPECT_EQ(A.Xor(B) == A.Union(B).Subtract(A.Intersect(B)), true);
    EXPECT_EQ(A == B, a.on == b.on);
  }
}

TEST(Region, HandlelessRegionActsAsEmpty) {
  const Region none;
  const Region square = Region::FromRect(0, 0, 4, 4);
  EXPECT_FALSE(none.IsValid());
  EXPECT_TRUE(none.IsEmpty());
  EXPECT_EQ(none.Box(), Rect{});
  EXPECT_TRUE(none.ToBytes().empty());  // no data to hand out
  EXPECT_EQ(none, Region::Empty());
  EXPECT_EQ(none.Union(square), square);
  EXPECT_TRUE(square.Subtract(none).IsValid());
  EXPECT_TRUE(none.Intersect(square).IsEmpty());
  Region copy = none;
  copy.Offset(3, 3);
  EXPECT_FALSE(copy.IsValid());
  // Inverted and empty rectangles give a valid empty region.
  EXPECT_TRUE(Region::FromRect(5, 0, 2, 4).IsValid());
  EXPECT_TRUE(Region::FromRect(5, 0, 2, 4).IsEmpty());
  EXPECT_TRUE(Region::FromEllipse(0, 0, 0, 9).IsEmpty());
}

TEST(Region, OffsetMovesAndCutsAtTheCoordinateRange) {
  const struct {
    Rect rect;
    int32_t dx, dy;
    Rect expected;  // empty: nothing left
  } cases[] = {
      {{0, 0, 4, 3}, 10, -7, {10, -7, 14, -4}},
      {{kMax - 10, 0, kMax, 5}, 5, 0, {kMax - 5, 0, kMax, 5}},
      {{kMax - 10, 0, kMax, 5}, 100, 0, {}},
      {{kMin, kMin, kMin + 8, kMin + 2}, 0, -1, {kMin, kMin, kMin + 8, kMin + 1}},
      {{-5, -5, 5, 5}, kMax, kMin, {kMax - 5, kMin, kMax, kMin + 5}},
  };
  for (const auto& c : cases) {
    Region r = Region::FromRect(c.rect);
    r.Offset(c.dx, c.dy);
    EXPECT_TRUE(r.IsValid());
    EXPECT_EQ(r, Region::FromRect(c.expected)) << c.dx << "," << c.dy;
  }
}

// Ellipse inscribed in a w x h box, pixel (x, y) relative to the box: inside
// when its centre is in the ellipse; the middle row(s) and column(s) whole.
bool InEllipse(int64_t w, int64_t h, int64_t x, int64_t y) {
  const int64_t u = 2 * x + 1 - w, v = 2 * y + 1 - h;
  return std::abs(u) <= 1 || std::abs(v) <= 1 || u * u * h * h + v * v * w * w <= w * w * h * h;
}

TEST(Region, EllipseAndRoundRectFollowTheirDefinitions) {
  const struct {
    int w, h, ew, eh;
  } cases[] = {{1, 1, 1, 1},   {7, 5, 7, 5},    {8, 2, 8, 2},     {2, 10, 2, 10},  {40, 25, 40, 25},
               {33, 33, 33, 33}, {30, 20, 8, 6}, {30, 20, 7, 9},   {12, 40, 12, 3}, {9, 9, 2, 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " corner " << c.ew << "x" << c.eh);
    const int left = -3, top = 11;
    // A pixel in a corner band is tested against the corner ellipse with
    // its column and row moved into the ellipse's box; elsewhere it is in.
    auto corner = [](int i, int size, int esize) { return i < esize / 2 ? i : i >= size - esize / 2 ? esize - (size - i) : -1; };
    const Grid expected = Grid::From(left - 1, top - 1, c.w + 2, c.h + 2, [&](int x, int y) {
      const int i = x - left, j = y - top;
      if (i < 0 || j < 0 || i >= c.w || j >= c.h) return false;
      const int ex = corner(i, c.w, c.ew), ey = corner(j, c.h, c.eh);
      return ex < 0 || ey < 0 || InEllipse(c.ew, c.eh, ex, ey);
    });
    const Region shape = Region::FromRoundRect(left, top, left + c.w, top + c.h, c.ew, c.eh);
    ExpectPixels(shape, expected);
    EXPECT_EQ(shape.Box(), (Rect{left, top, left + c.w, top + c.h}));
    if (c.ew == c.w && c.eh == c.h) EXPECT_EQ(shape, Region::FromEllipse(left, top, left + c.w, top + c.h));
  }
  // An ellipse gesture from centre (10, 10) to (13, 12) selects x 7..13, y 8..12.
  EXPECT_EQ(Region::FromEllipse(7, 8, 14, 13).Box(), (Rect{7, 8, 14, 13}));
  // Corner sizes are clamped to the rectangle; 0 means square corners.
  EXPECT_EQ(Region::FromRoundRect(0, 0, 20, 10, 500, 500), Region::FromEllipse(0, 0, 20, 10));
  EXPECT_EQ(Region::FromRoundRect(0, 0, 20, 10, 0, 6), Region::FromRect(0, 0, 20, 10));
  // A large circle's area is within a thin ring of pi r^2.
  const double r = 150;
  EXPECT_NEAR(static_cast<double>(Region::FromEllipse(0, 0, 300, 300).Area()), M_PI * r * r, 2 * M_PI * r);
}

// Winding number of the polygon around the centre of pixel (x, y), counting
// the edges that cross the centre's row strictly to its right; exact in
// integers with every coordinate doubled.
int WindingAround(const std::vector<Point>& pts, int x, int y) {
  const int64_t px = 2 * x + 1, py = 2 * y + 1;
  int winding = 0;
  for (size_t i = 0; i < pts.size(); ++i) {
    const int64_t ax = 2 * pts[i].x, ay = 2 * pts[i].y;
    const int64_t bx = 2 * pts[(i + 1) % pts.size()].x, by = 2 * pts[(i + 1) % pts.size()].y;
    const int64_t side = (bx - ax) * (py - ay) - (px - ax) * (by - ay);
    if (ay < py && by > py && side > 0) ++winding;
    if (ay > py && by < py && side < 0) --winding;
  }
  return winding;
}

TEST(Region, PolygonMatchesWindingNumberOfPixelCentres) {
  std::vector<std::vector<Point>> polygons = {
      {{0, 0}, {10, 0}, {10, 10}, {0, 10}},                   // square
      {{10, 0}, {16, 19}, {0, 7}, {20, 7}, {4, 19}},          // pentagram: centre differs by rule
      {{0, 0}, {20, 3}, {3, 20}},                             // thin slopes
      {{0, 0}, {12, 0}, {12, 12}, {0, 12}, {3, 3}, {9, 3}, {9, 9}, {3, 9}, {3, 3}, {0, 0}},  // wound twice
  };
  std::mt19937 rng(77);
  std::uniform_int_distribution<int> coord(0, 24), count(3, 10);
  for (int i = 0; i < 60; ++i) {
    std::vector<Point> pts(static_cast<size_t>(count(rng)));
    for (Point& p : pts) p = {coord(rng), coord(rng)};
    polygons.push_back(pts);
  }
  for (size_t k = 0; k < polygons.size(); ++k)
    for (FillMode mode : {FillMode::Alternate, FillMode::Winding}) {
      SCOPED_TRACE(testing::Message() << "polygon " << k << " mode " << static_cast<int>(mode));
      ExpectPixels(Region::FromPolygon(polygons[k], mode), Grid::From(-2, -2, 30, 30, [&](int x, int y) {
                     const int n = WindingAround(polygons[k], x, y);
                     return mode == FillMode::Winding ? n != 0 : (n & 1) != 0;
                   }));
    }
  // Two triangles sharing a diagonal split the square's pixels exactly.
  const std::vector<Point> upper = {{0, 0}, {17, 0}, {17, 11}}, lower = {{0, 0}, {17, 11}, {0, 11}};
  const Region a = Region::FromPolygon(upper, FillMode::Alternate), b = Region::FromPolygon(lower, FillMode::Winding);
  EXPECT_TRUE(a.Intersect(b).IsEmpty());
  EXPECT_EQ(a.Union(b), Region::FromRect(0, 0, 17, 11));
  // Too few points, and an unknown fill rule.
  EXPECT_TRUE(Region::FromPolygon(std::vector<Point>{{0, 0}, {5, 5}}, FillMode::Winding).IsEmpty());
  EXPECT_FALSE(Region::FromPolygon(upper, static_cast<FillMode>(0)).IsValid());
}

TEST(Region, OversizedShapesAreRefusedWithoutAHandle) {
  const std::vector<Point> spike = {{0, kMin}, {10, kMax}, {20, kMin}};
  EXPECT_FALSE(Region::FromEllipse(0, kMin, 10, kMax).IsValid());
  EXPECT_FALSE(Region::FromPolygon(spike, FillMode::Alternate).IsValid());
  // Tall shapes whose rows repeat stay cheap: small corners on a tall box.
  const Region tall = Region::FromRoundRect(0, kMin, 10, kMax, 4, 4);
  ASSERT_TRUE(tall.IsValid());
  EXPECT_EQ(tall.Box(), (Rect{0, kMin, 10, kMax}));
}

// The byte form of a rectangle list, laid out field by field.
std::vector<uint8_t> Bytes(std::vector<int32_t> header, const std::vector<Rect>& rects) {
  for (const Rect& r : rects) header.insert(header.end(), {r.left, r.top, r.right, r.bottom});
  std::vector<uint8_t> bytes(header.size() * 4);
  for (size_t i = 0; i < header.size(); ++i)
    for (int b = 0; b < 4; ++b) bytes[i * 4 + b] = static_cast<uint8_t>(static_cast<uint32_t>(header[i]) >> (8 * b));
  return bytes;
}

TEST(Region, ByteFormRoundTripsAndRejectsDamage) {
  const std::vector<Rect> rects = {{2, 1, 6, 3}, {1, 3, 8, 5}, {10, 3, 12, 5}};
  const Region region = Region::FromRects(rects);
  EXPECT_EQ(region.ToBytes(), Bytes({32, 1, 3, 48, 1, 1, 12, 5}, rects));
  EXPECT_EQ(Region::FromRect(0, 0, 9, 9).ToBytes().size(), 48u);
  EXPECT_EQ(Region::Empty().ToBytes(), Bytes({32, 1, 0, 0, 0, 0, 0, 0}, {}));
  EXPECT_EQ(Region::FromBytes(region.ToBytes()), region);

  const std::vector<uint8_t> good = Bytes({32, 1, 2, 32, 0, 0, 9, 9}, {{0, 0, 4, 4}, {2, 2, 9, 9}});
  const struct {
    const char* what;
    std::vector<uint8_t> bytes;
    bool accepted;
  } cases[] = {
      {"overlapping rectangles are united", good, true},
      {"rectangle buffer size left 0", Bytes({32, 1, 2, 0, 0, 0, 9, 9}, {{0, 0, 4, 4}, {2, 2, 9, 9}}), true},
      {"bounding box is recomputed", Bytes({32, 1, 2, 32, 5, 5, 6, 6}, {{0, 0, 4, 4}, {2, 2, 9, 9}}), true},
      {"trailing bytes ignored", [&] { auto b = good; b.resize(b.size() + 7); return b; }(), true},
      {"short header", std::vector<uint8_t>(good.begin(), good.begin() + 31), false},
      {"one rectangle missing", std::vector<uint8_t>(good.begin(), good.end() - 16), false},
      {"header size not 32", Bytes({40, 1, 2, 32, 0, 0, 9, 9}, {{0, 0, 4, 4}, {2, 2, 9, 9}}), false},
      {"type not rectangles", Bytes({32, 2, 2, 32, 0, 0, 9, 9}, {{0, 0, 4, 4}, {2, 2, 9, 9}}), false},
      {"buffer size too small", Bytes({32, 1, 2, 16, 0, 0, 9, 9}, {{0, 0, 4, 4}, {2, 2, 9, 9}}), false},
      {"huge count", Bytes({32, 1, -1, 0, 0, 0, 9, 9}, {{0, 0, 4, 4}}), false},
      {"inverted rectangle", Bytes({32, 1, 2, 32, 0, 0, 9, 9}, {{0, 0, 4, 4}, {9, 2, 2, 9}}), false},
  };
  const Region united = Region::FromRect(0, 0, 4, 4).Union(Region::FromRect(2, 2, 9, 9));
  for (const auto& c : cases) {
    const auto parsed = Region::FromBytes(c.bytes);
    ASSERT_EQ(parsed.has_value(), c.accepted) << c.what;
    if (parsed) EXPECT_EQ(*parsed, united) << c.what;
  }
  // An empty rectangle in the list adds nothing.
  EXPECT_EQ(Region::FromBytes(Bytes({32, 1, 1, 16, 0, 0, 0, 0}, {{3, 3, 3, 9}})), Region::Empty());
}

}  // namespace
