// Region: set operations against a per-pixel boolean model, shape
// rasterisation against a direct pixel-centre test, and the byte form.
#include "platform/region.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace platform {
namespace {

using PixelTest = std::function<bool(int, int)>;

bool InRect(const Rect& r, int x, int y) { return x >= r.left && x < r.right && y >= r.top && y < r.bottom; }
Rect Grow(Rect r, int by) { return {r.left - by, r.top - by, r.right + by, r.bottom + by}; }

// Checks that `region` is exactly the set of pixels of `window` for which
// `inside` holds: its rectangles stay in the window and paint exactly those
// pixels without overlapping (so the area is their count), and the point
// test agrees.
void ExpectPixels(const Region& region, Rect window, const PixelTest& inside) {
  const int w = window.Width();
  std::vector<int> painted(static_cast<size_t>(w) * window.Height());
  for (const Rect& r : region.Rects()) {
    ASSERT_TRUE(!r.IsEmpty() && r.left >= window.left && r.right <= window.right && r.top >= window.top &&
                r.bottom <= window.bottom);
    for (int y = r.top; y < r.bottom; ++y)
      for (int x = r.left; x < r.right; ++x) ++painted[static_cast<size_t>((y - window.top) * w + x - window.left)];
  }
  int64_t count = 0;
  int failures = 0;
  for (int y = window.top; y < window.bottom; ++y) {
    for (int x = window.left; x < window.right; ++x) {
      const bool expected = inside(x, y);
      count += expected;
      const int times = painted[static_cast<size_t>((y - window.top) * w + x - window.left)];
      if ((times != int(expected) || region.Contains(x, y) != expected) && ++failures <= 5)
        ADD_FAILURE() << "pixel (" << x << ", " << y << ") should be " << (expected ? "in" : "out");
    }
  }
  EXPECT_EQ(region.Area(), count);
}

// Rectangles with corners in [-4, 36], sizes 0..14 (some empty).
std::vector<Rect> RandomRects(std::mt19937& rng, int count) {
  std::uniform_int_distribution<int> coord(-4, 36), size(0, 14);
  std::vector<Rect> rects;
  for (int i = 0; i < count; ++i) {
    const int x = coord(rng), y = coord(rng);
    rects.push_back({x, y, x + size(rng), y + size(rng)});
  }
  return rects;
}

bool InAny(const std::vector<Rect>& rects, int x, int y) {
  return std::any_of(rects.begin(), rects.end(), [&](const Rect& r) { return InRect(r, x, y); });
}

TEST(RegionTest, RegionWithoutHandleActsAsEmpty) {
  const Region none;
  const Region square = Region::FromRect(0, 0, 4, 4);
  EXPECT_FALSE(none.IsValid());
  EXPECT_TRUE(none.IsEmpty() && none.Rects().empty() && !none.Contains(0, 0));
  EXPECT_EQ(none.Area(), 0);
  EXPECT_EQ(none.Box(), Rect{});
  EXPECT_TRUE(none == Region::Empty());
  for (const Region& r : {none.Union(square), square.Subtract(none), square.Xor(none), none.Xor(square)}) {
    EXPECT_TRUE(r.IsValid());
    EXPECT_TRUE(r == square);
  }
  EXPECT_TRUE(square.Intersect(none).IsValid() && square.Intersect(none).IsEmpty());
}

TEST(RegionTest, EmptyInputsGiveEmptyValidRegions) {
  const std::vector<Point> tooFew = {{0, 0}, {10, 10}};
  const std::vector<Point> collinear = {{0, 0}, {5, 5}, {10, 10}};
  const std::vector<Point> flat = {{0, 4}, {9, 4}, {2, 4}};
  const Region cases[] = {
      Region::Empty(),
      Region::FromRect(5, 5, 5, 9),
      Region::FromRect(9, 0, 5, 4),
      Region::FromRects({}),
      Region::FromEllipse(5, 5, 9, 5),
      Region::FromEllipse(10, 0, 0, 10),
      Region::FromRoundRect(10, 10, 0, 0, 4, 4),
      Region::FromPolygon({}, FillMode::Winding),
      Region::FromPolygon(tooFew, FillMode::Winding),
      Region::FromPolygon(collinear, FillMode::Alternate),
      Region::FromPolygon(flat, FillMode::Winding),
  };
  for (const Region& r : cases) {
    EXPECT_TRUE(r.IsValid());
    EXPECT_TRUE(r.IsEmpty());
    EXPECT_EQ(r.Box(), Rect{});
  }
}

TEST(RegionTest, CopiesAreIndependentAndEqualityIsBySet) {
  Region original = Region::FromRect(0, 0, 10, 10);
  Region copy = original;
  copy.Offset(5, 0);
  EXPECT_TRUE(original == Region::FromRect(0, 0, 10, 10));
  EXPECT_TRUE(copy == Region::FromRect(5, 0, 15, 10));
  copy = Region();
  EXPECT_FALSE(copy.IsValid());

  const std::vector<Rect> columns = {{0, 0, 5, 10}, {5, 0, 10, 10}};
  const std::vector<Rect> overlapping = {{0, 0, 7, 10}, {3, 0, 10, 10}};
  EXPECT_TRUE(Region::FromRects(columns) == original);
  EXPECT_TRUE(Region::FromRects(overlapping) == original);
  EXPECT_FALSE(Region::FromRect(0, 0, 10, 9) == original);
}

TEST(RegionTest, SetOperationsMatchPerPixelModel) {
  const Rect window{-4, -4, 52, 52};
  std::mt19937 rng(20240611);
  const struct {
    const char* name;
    Region (Region::*op)(const Region&) const;
    bool (*pixel)(bool, bool);
  } ops[] = {
      {"union", &Region::Union, [](bool a, bool b) { return a || b; }},
      {"subtract", &Region::Subtract, [](bool a, bool b) { return a && !b; }},
      {"intersect", &Region::Intersect, [](bool a, bool b) { return a && b; }},
      {"xor", &Region::Xor, [](bool a, bool b) { return a != b; }},
  };
  for (int round = 0; round < 40; ++round) {
    const std::vector<Rect> ra = RandomRects(rng, 1 + round % 7), rb = RandomRects(rng, 1 + round % 5);
    const Region a = Region::FromRects(ra), b = Region::FromRects(rb);
    SCOPED_TRACE("round " + std::to_string(round));
    ExpectPixels(a, window, [&](int x, int y) { return InAny(ra, x, y); });
    for (const auto& op : ops) {
      SCOPED_TRACE(op.name);
      ExpectPixels((a.*op.op)(b), window, [&](int x, int y) { return op.pixel(InAny(ra, x, y), InAny(rb, x, y)); });
    }
  }
}

TEST(RegionTest, OffsetMovesEveryPixel) {
  std::mt19937 rng(7);
  for (const Point move : {Point{5, -3}, Point{-17, 21}, Point{0, -1}}) {
    const std::vector<Rect> rects = RandomRects(rng, 6);
    Region region = Region::FromRects(rects);
    region.Offset(move.x, move.y);
    ExpectPixels(region, {-30, -30, 90, 90}, [&](int x, int y) { return InAny(rects, x - move.x, y - move.y); });
  }
}

TEST(RegionTest, ExtremeCoordinatesDoNotOverflow) {
  Region huge = Region::FromRect(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX);
  EXPECT_TRUE(huge.Contains(0, 0));
  EXPECT_EQ(huge.Area(), static_cast<int64_t>(huge.Box().Width()) * huge.Box().Height());
  const int64_t before = huge.Area();
  huge.Offset(INT32_MAX, INT32_MIN);
  EXPECT_LE(huge.Area(), before);  // moving can only push pixels out of range

  const Region ellipse = Region::FromEllipse(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX);
  for (int v : {-1000, 0, 999}) EXPECT_TRUE(ellipse.Contains(v, v));
}

// ---------------------------------------------------------------------------
// Ellipses and round rectangles. The tests below use half-integer
// arithmetic, which doubles hold exactly at these sizes.

bool InEllipse(const Rect& box, int x, int y) {
  const double rx = box.Width() / 2.0, ry = box.Height() / 2.0;
  const double dx = x + 0.5 - (box.left + rx), dy = y + 0.5 - (box.top + ry);
  return InRect(box, x, y) && dx * dx * ry * ry + dy * dy * rx * rx <= rx * rx * ry * ry;
}

TEST(RegionTest, EllipseCoversThePixelsWhoseCentreIsInside) {
  const Rect boxes[] = {{0, 0, 10, 10},       {0, 0, 1, 1},        {0, 0, 2, 7},      {3, -4, 8, 9},
                        {-5, -5, 6, 12},      {0, 0, 31, 17},      {7, 7, 8, 30},     {-100, -60, 140, 61},
                        {-2000, -3, 2000, 4}, {-30, -21, -3, -2},  {-9, -9, -2, -4}};
  for (const Rect& b : boxes) {
    SCOPED_TRACE(std::to_string(b.left) + "," + std::to_string(b.top) + " " + std::to_string(b.Width()) + "x" +
                 std::to_string(b.Height()));
    ExpectPixels(Region::FromEllipse(b.left, b.top, b.right, b.bottom), Grow(b, 2),
                 [&](int x, int y) { return InEllipse(b, x, y); });
  }
}

// The round rectangle as the union of the cross's two bars and the four
// corner ellipses.
bool InRoundRect(const Rect& box, int ew, int eh, int x, int y) {
  ew = std::min(ew, box.Width());
  eh = std::min(eh, box.Height());
  if (!InRect(box, x, y)) return false;
  if (ew <= 0 || eh <= 0) return true;
  const double rx = ew / 2.0, ry = eh / 2.0, px = x + 0.5, py = y + 0.5;
  if (px >= box.left + rx && px <= box.right - rx) return true;
  if (py >= box.top + ry && py <= box.bottom - ry) return true;
  const Rect corners[] = {{box.left, box.top, box.left + ew, box.top + eh},
                          {box.right - ew, box.top, box.right, box.top + eh},
                          {box.left, box.bottom - eh, box.left + ew, box.bottom},
                          {box.right - ew, box.bottom - eh, box.right, box.bottom}};
  return std::any_of(std::begin(corners), std::end(corners), [&](const Rect& c) { return InEllipse(c, x, y); });
}

TEST(RegionTest, RoundRectCoversThePixelsWhoseCentreIsInside) {
  const struct {
    Rect box;
    int ew, eh;
  } cases[] = {
      {{0, 0, 20, 12}, 6, 4},   {{0, 0, 20, 12}, 5, 3},   {{-7, 3, 30, 40}, 11, 17}, {{0, 0, 20, 12}, 1, 1},
      {{0, 0, 20, 12}, 19, 11}, {{0, 0, 20, 12}, 100, 4}, {{0, 0, 20, 12}, 7, 500},  {{0, 0, 20, 12}, 0, 6},
      {{0, 0, 20, 12}, 6, -1},  {{2, 2, 5, 40}, 2, 9},    {{-50, -50, 51, 52}, 33, 34}, {{-40, -31, -3, -2}, 9, 7},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("corner " + std::to_string(c.ew) + "x" + std::to_string(c.eh));
    ExpectPixels(Region::FromRoundRect(c.box.left, c.box.top, c.box.right, c.box.bottom, c.ew, c.eh), Grow(c.box, 2),
                 [&](int x, int y) { return InRoundRect(c.box, c.ew, c.eh, x, y); });
  }
  // Corners as large as the rectangle give the inscribed ellipse.
  for (const Rect& b : {Rect{0, 0, 20, 12}, Rect{-3, 5, 4, 30}}) {
    EXPECT_TRUE(Region::FromRoundRect(b.left, b.top, b.right, b.bottom, INT32_MAX, b.Height()) ==
                Region::FromEllipse(b.left, b.top, b.right, b.bottom));
  }
}

// ---------------------------------------------------------------------------
// Polygons

// The crossing-number test on the pixel centre: an edge counts when the
// centre's row is in its half-open vertical extent [min y, max y) and the
// crossing is at or left of the centre, with direction +1 going down.
// Alternate: odd count; winding: non-zero sum. Crossings are kept per row.
class PolygonOracle {
 public:
  PolygonOracle(const std::vector<Point>& pts, FillMode mode) : pts_(pts), mode_(mode) {}

  bool operator()(int x, int y) {
    if (y != row_) Cross(y);
    int count = 0, winding = 0;
    for (const auto& [cross, direction] : crossings_) {
      if (cross <= x + 0.5) {
        ++count;
        winding += direction;
      }
    }
    return mode_ == FillMode::Alternate ? count % 2 != 0 : winding != 0;
  }

 private:
  void Cross(int y) {
    row_ = y;
    crossings_.clear();
    const double py = y + 0.5;
    for (size_t i = 0; i < pts_.size(); ++i) {
      const Point a = pts_[i], b = pts_[(i + 1) % pts_.size()];
      const bool down = a.y <= py && py < b.y, up = b.y <= py && py < a.y;
      if (!down && !up) continue;
      crossings_.emplace_back(a.x + (py - a.y) * (double(b.x) - a.x) / (double(b.y) - a.y), down ? 1 : -1);
    }
  }

  const std::vector<Point>& pts_;
  FillMode mode_;
  int row_ = INT_MIN;
  std::vector<std::pair<double, int>> crossings_;
};

void ExpectPolygon(const std::vector<Point>& pts, FillMode mode) {
  Rect bounds{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
  for (const Point& p : pts) bounds = {std::min(bounds.left, p.x), std::min(bounds.top, p.y),
                                       std::max(bounds.right, p.x), std::max(bounds.bottom, p.y)};
  PolygonOracle inside(pts, mode);
  ExpectPixels(Region::FromPolygon(pts, mode), Grow(bounds, 2), std::ref(inside));
}

std::vector<Point> Star(int cx, int cy, double radius, int spikes, int step) {
  std::vector<Point> pts;
  const double pi = std::acos(-1.0);
  for (int i = 0; i < spikes; ++i) {
    const double angle = -pi / 2 + 2 * pi * (i * step % spikes) / spikes;
    pts.push_back({cx + int(std::lround(radius * std::cos(angle))), cy + int(std::lround(radius * std::sin(angle)))});
  }
  return pts;
}

TEST(RegionTest, PolygonCoversThePixelsWhoseCentreIsInside) {
  std::vector<Point> sawtooth = {{0, 0}};  // 10000 rows, 200 teeth
  for (int k = 0; k <= 200; ++k) sawtooth.push_back({k % 2 == 0 ? 20 : 60, 50 * k});
  sawtooth.push_back({0, 10000});
  const struct {
    const char* name;
    std::vector<Point> pts;
  } cases[] = {
      {"triangle", {{0, 0}, {17, 5}, {4, 23}}},
      {"diagonals through pixel centres", {{0, 0}, {20, 20}, {0, 40}}},
      {"concave", {{0, 0}, {30, 0}, {30, 30}, {15, 10}, {0, 30}}},
      {"steps", {{0, 0}, {10, 0}, {10, 5}, {20, 5}, {20, 15}, {5, 15}, {5, 8}, {0, 8}}},
      {"bow tie", {{0, 0}, {30, 20}, {30, 0}, {0, 20}}},
      {"pentagram", Star(50, 50, 40, 5, 2)},
      {"seven-point star", Star(0, 0, 60, 7, 3)},
      {"repeated vertices", {{0, 0}, {0, 0}, {12, 3}, {12, 3}, {5, 14}}},
      {"negative coordinates", {{-40, -10}, {-3, -35}, {-8, 12}}},
      {"nested loops", {{0, 0}, {40, 0}, {40, 40}, {0, 40}, {0, 0}, {10, 10}, {30, 10}, {30, 30}, {10, 30}, {10, 10}}},
      {"sawtooth", sawtooth},
  };
  for (const auto& c : cases) {
    for (FillMode mode : {FillMode::Alternate, FillMode::Winding}) {
      SCOPED_TRACE(std::string(c.name) + (mode == FillMode::Winding ? " winding" : " alternate"));
      ExpectPolygon(c.pts, mode);
    }
  }
}

TEST(RegionTest, PolygonInvariants) {
  // The pentagram's centre is wound twice: in by winding, out by alternate.
  const std::vector<Point> star = Star(50, 50, 40, 5, 2);
  EXPECT_TRUE(Region::FromPolygon(star, FillMode::Winding).Contains(50, 50));
  EXPECT_FALSE(Region::FromPolygon(star, FillMode::Alternate).Contains(50, 50));
  // A square traced twice.
  const std::vector<Point> twice = {{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 0}, {10, 0}, {10, 10}, {0, 10}};
  EXPECT_TRUE(Region::FromPolygon(twice, FillMode::Winding) == Region::FromRect(0, 0, 10, 10));
  EXPECT_TRUE(Region::FromPolygon(twice, FillMode::Alternate).IsEmpty());
  // Orientation does not matter.
  const std::vector<Point> reversed(star.rbegin(), star.rend());
  for (FillMode mode : {FillMode::Alternate, FillMode::Winding})
    EXPECT_TRUE(Region::FromPolygon(reversed, mode) == Region::FromPolygon(star, mode));
}

TEST(RegionTest, HugePolygonCoordinatesDoNotOverflow) {
  // The diagonal's crossing needs products beyond 64 bits. It runs through
  // the centres of the pixels with x == y and is a left edge, so near the
  // origin the pixels with x >= y are in.
  const std::vector<Point> triangle = {{-2000000000, -2000000000}, {2000000000, 2000000000}, {2000000000, -2000000000}};
  const Region r = Region::FromPolygon(triangle, FillMode::Alternate);
  for (int y = -20; y <= 20; ++y)
    for (int x = -20; x <= 20; ++x) ASSERT_EQ(r.Contains(x, y), x >= y) << x << "," << y;
}

// ---------------------------------------------------------------------------
// Byte form

std::vector<uint8_t> Words(std::initializer_list<int64_t> words) {
  std::vector<uint8_t> out;
  for (int64_t w : words)
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(static_cast<uint32_t>(w) >> (8 * i)));
  return out;
}

TEST(RegionTest, ToBytesWritesTheRectangleListLayout) {
  EXPECT_EQ(Region::FromRect(1, -2, 3, 4).ToBytes(), Words({32, 1, 1, 16, 1, -2, 3, 4, 1, -2, 3, 4}));
  const std::vector<Rect> l = {{0, 0, 2, 3}, {0, 3, 5, 4}};  // two bands, top to bottom
  EXPECT_EQ(Region::FromRects(l).ToBytes(), Words({32, 1, 2, 32, 0, 0, 5, 4, 0, 0, 2, 3, 0, 3, 5, 4}));
  EXPECT_EQ(Region().ToBytes(), Words({32, 1, 0, 0, 0, 0, 0, 0}));

  std::mt19937 rng(99);
  for (const Region& r : {Region::FromEllipse(0, 0, 37, 23), Region::FromRects(RandomRects(rng, 12)),
                          Region::FromPolygon(Star(10, 10, 30, 5, 2), FillMode::Alternate)}) {
    const std::optional<Region> back = Region::FromBytes(r.ToBytes());
    ASSERT_TRUE(back.has_value());
    EXPECT_TRUE(*back == r);
  }
}

TEST(RegionTest, FromBytesRefusesMalformedInput) {
  const std::vector<uint8_t> valid = Words({32, 1, 1, 16, 0, 0, 4, 4, 0, 0, 4, 4});
  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
  } cases[] = {
      {"nothing", {}},
      {"short header", std::vector<uint8_t>(valid.begin(), valid.begin() + 31)},
      {"rectangle missing", std::vector<uint8_t>(valid.begin(), valid.begin() + 32)},
      {"rectangle cut short", std::vector<uint8_t>(valid.begin(), valid.end() - 1)},
      {"header size not 32", Words({40, 1, 1, 16, 0, 0, 4, 4, 0, 0, 4, 4})},
      {"type not rectangles", Words({32, 2, 1, 16, 0, 0, 4, 4, 0, 0, 4, 4})},
      {"count above the data", Words({32, 1, 2, 32, 0, 0, 4, 4, 0, 0, 4, 4})},
      {"count below the data", Words({32, 1, 1, 16, 0, 0, 4, 4, 0, 0, 4, 4, 5, 5, 6, 6})},
      {"huge count", Words({32, 1, 0xFFFFFFFF, 0xFFFFFFF0, 0, 0, 4, 4, 0, 0, 4, 4})},
      {"count times 16 wraps to 16", Words({32, 1, 0x10000001, 16, 0, 0, 4, 4, 0, 0, 4, 4})},
      {"size field disagrees", Words({32, 1, 1, 32, 0, 0, 4, 4, 0, 0, 4, 4})},
      {"inverted horizontally", Words({32, 1, 1, 16, 0, 0, 4, 4, 4, 0, 0, 4})},
      {"inverted vertically after a good one", Words({32, 1, 2, 32, 0, 0, 4, 4, 0, 0, 4, 4, 0, 4, 4, 0})},
  };
  ASSERT_TRUE(Region::FromBytes(valid).has_value());
  for (const auto& c : cases) EXPECT_FALSE(Region::FromBytes(c.bytes).has_value()) << c.name;
}

TEST(RegionTest, FromBytesAcceptsWhatTheLayoutAllows) {
  const std::vector<Rect> overlapping = {{0, 0, 6, 6}, {3, 3, 9, 9}};
  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
    PixelTest inside;
  } cases[] = {
      {"no rectangles", Words({32, 1, 0, 0, 0, 0, 0, 0}), [](int, int) { return false; }},
      {"overlapping rectangles", Words({32, 1, 2, 32, 0, 0, 9, 9, 0, 0, 6, 6, 3, 3, 9, 9}),
       [&](int x, int y) { return InAny(overlapping, x, y); }},
      {"empty rectangle skipped", Words({32, 1, 2, 32, 0, 0, 9, 9, 3, 3, 3, 8, 0, 0, 2, 2}),
       [](int x, int y) { return InRect({0, 0, 2, 2}, x, y); }},
      {"size field zero", Words({32, 1, 1, 0, 0, 0, 4, 4, 0, 0, 4, 4}),
       [](int x, int y) { return InRect({0, 0, 4, 4}, x, y); }},
      {"bounding box not trusted", Words({32, 1, 1, 16, -50, 7, 2, 1, 0, 0, 4, 4}),
       [](int x, int y) { return InRect({0, 0, 4, 4}, x, y); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::optional<Region> r = Region::FromBytes(c.bytes);
    ASSERT_TRUE(r.has_value() && r->IsValid());
    ExpectPixels(*r, {-2, -2, 12, 12}, c.inside);
  }
  const std::optional<Region> extreme =
      Region::FromBytes(Words({32, 1, 1, 16, 0, 0, 0, 0, INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}));
  ASSERT_TRUE(extreme.has_value());
  EXPECT_TRUE(extreme->Contains(0, 0));
  EXPECT_EQ(extreme->Area(), static_cast<int64_t>(extreme->Box().Width()) * extreme->Box().Height());
}

}  // namespace
}  // namespace platform
