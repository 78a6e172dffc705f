#include "platform/region.h"

#include <pixman.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <new>
#include <stdexcept>

#include "platform/byte_order.h"

namespace platform {
namespace {

// Every coordinate a region holds lies in [kCoordMin, kCoordMax], so the
// width and height of any rectangle fit in 32 bits and the area of any region
// fits in 64 bits. Rectangles reaching beyond are clipped to this range.
constexpr int64_t kCoordMin = -(int64_t{1} << 30);
constexpr int64_t kCoordMax = (int64_t{1} << 30) - 1;

// Ellipses, round rectangles and polygons are rasterised only for pixels
// with both coordinates in [-kShapeLimit, kShapeLimit). Rasterising costs one
// step per row, so hostile coordinates would otherwise mean billions of rows;
// the window is far larger than any image the editor can hold.
constexpr int64_t kShapeLimit = int64_t{1} << 20;

constexpr size_t kHeaderSize = 32;
constexpr size_t kRectSize = 16;
constexpr uint32_t kRectanglesType = 1;

using u128 = unsigned __int128;
using i128 = __int128;

void DestroyRegion(pixman_region32* region) {
  pixman_region32_fini(region);
  delete region;
}

pixman_region32* NewRegion() {
  auto* region = new pixman_region32;
  pixman_region32_init(region);
  return region;
}

// Pixman reports allocation failure by return value; surface it the way the
// standard containers do.
void Check(pixman_bool_t ok) {
  if (!ok) throw std::bad_alloc();
}

// A shared empty region standing in for a Region without a handle.
const pixman_region32* EmptyRegion() {
  static const pixman_region32* const empty = NewRegion();
  return empty;
}

const pixman_region32* Get(const pixman_region32* region) { return region ? region : EmptyRegion(); }

int32_t ClampCoord(int64_t v) { return static_cast<int32_t>(std::clamp(v, kCoordMin, kCoordMax)); }

// Appends the rectangle clipped to the coordinate range, if anything is left.
void AddBox(std::vector<pixman_box32_t>& boxes, int64_t left, int64_t top, int64_t right, int64_t bottom) {
  const int32_t l = ClampCoord(left);
  const int32_t t = ClampCoord(top);
  const int32_t r = ClampCoord(right);
  const int32_t b = ClampCoord(bottom);
  if (l < r && t < b) boxes.push_back({l, t, r, b});
}

// Replaces the contents of `region` with the union of `boxes`, which must be
// non-empty and inside the coordinate range; they may overlap.
void SetBoxes(pixman_region32* region, const std::vector<pixman_box32_t>& boxes) {
  if (boxes.size() > static_cast<size_t>(INT_MAX)) throw std::length_error("Region: too many rectangles");
  pixman_region32_fini(region);
  if (boxes.empty()) {
    pixman_region32_init(region);
  } else if (boxes.size() == 1) {
    pixman_region32_init_with_extents(region, &boxes[0]);
  } else if (!pixman_region32_init_rects(region, boxes.data(), static_cast<int>(boxes.size()))) {
    pixman_region32_init(region);
    throw std::bad_alloc();
  }
}

std::vector<pixman_box32_t> Boxes(const pixman_region32* region) {
  int count = 0;
  const pixman_box32_t* boxes = pixman_region32_rectangles(Get(region), &count);
  return std::vector<pixman_box32_t>(boxes, boxes + count);
}

int64_t FloorDiv(int64_t a, int64_t b) {  // b > 0
  const int64_t q = a / b;
  return (a % b != 0 && a < 0) ? q - 1 : q;
}

int64_t CeilDiv(i128 a, i128 b) {  // b > 0, result known to fit
  const i128 q = a / b;
  return static_cast<int64_t>((a % b != 0 && a > 0) ? q + 1 : q);
}

// ---------------------------------------------------------------------------
// Scanline assembly

// A run of pixels left <= x < right on one row.
struct Span {
  int64_t left;
  int64_t right;
  bool operator==(const Span&) const = default;
};

// Clips sorted spans to the shape window and merges touching or overlapping
// ones, dropping empty ones.
void NormaliseSpans(std::vector<Span>& spans) {
  size_t out = 0;
  for (Span s : spans) {
    s.left = std::max(s.left, -kShapeLimit);
    s.right = std::min(s.right, kShapeLimit);
    if (s.left >= s.right) continue;
    if (out > 0 && s.left <= spans[out - 1].right) {
      spans[out - 1].right = std::max(spans[out - 1].right, s.right);
    } else {
      spans[out++] = s;
    }
  }
  spans.resize(out);
}

// Collects rows of spans top to bottom and turns them into rectangles,
// letting consecutive rows with identical spans share one band.
class BandBuilder {
 public:
  // Rows must come in increasing order; `spans` is normalised.
  void AddRow(int64_t y, const std::vector<Span>& spans) {
    if (!spans.empty() && y == bandBottom_ && spans == band_) {
      ++bandBottom_;
      return;
    }
    Flush();
    if (spans.empty()) return;
    band_ = spans;
    bandTop_ = y;
    bandBottom_ = y + 1;
  }

  std::vector<pixman_box32_t> Finish() {
    Flush();
    return std::move(boxes_);
  }

 private:
  void Flush() {
    for (const Span& s : band_) AddBox(boxes_, s.left, bandTop_, s.right, bandBottom_);
    band_.clear();
  }

  std::vector<pixman_box32_t> boxes_;
  std::vector<Span> band_;
  int64_t bandTop_ = 0;
  int64_t bandBottom_ = 0;
};

// ---------------------------------------------------------------------------
// Ellipses and round rectangles
//
// Both are a "rounded box": the points whose offset from an inner rectangle,
// divided by the radii, lies in the closed unit disc. Working in doubled
// coordinates keeps everything integral: pixel (x, y) has its centre at
// (2x + 1, 2y + 1), and a radius of half a width w becomes w. An ellipse is a
// rounded box whose inner rectangle is the single centre point; a round
// rectangle's inner rectangle is the rectangle inset by half the corner
// ellipse on each side. A pixel is inside when, with (dx, dy) the doubled
// offset of its centre from the inner rectangle,
//   dx^2 * rh^2 + dy^2 * rw^2 <= rw^2 * rh^2,
// evaluated exactly in 128-bit integers (rw, rh < 2^32 and |dx| <= rw,
// |dy| <= rh on the rows and columns that matter, so no term overflows).
std::vector<pixman_box32_t> RasteriseRoundedBox(int64_t top, int64_t bottom, int64_t innerLeft, int64_t innerRight,
                                                int64_t innerTop, int64_t innerBottom, uint64_t rw, uint64_t rh) {
  BandBuilder bands;
  std::vector<Span> spans;
  const u128 rh2 = static_cast<u128>(rh) * rh;
  const int64_t firstRow = std::max(top, -kShapeLimit);
  const int64_t endRow = std::min(bottom, kShapeLimit);
  for (int64_t y = firstRow; y < endRow; ++y) {
    spans.clear();
    const int64_t py = 2 * y + 1;
    const uint64_t dy = py < innerTop ? static_cast<uint64_t>(innerTop - py)
                                      : py > innerBottom ? static_cast<uint64_t>(py - innerBottom) : 0;
    if (dy <= rh) {
      // Largest k with k^2 * rh^2 <= rw^2 * (rh^2 - dy^2): the half extent of
      // the row in doubled units beyond the inner rectangle.
      const u128 limit = static_cast<u128>(rw) * rw * (rh2 - static_cast<u128>(dy) * dy);
      auto fits = [&](uint64_t k) { return static_cast<u128>(k) * k * rh2 <= limit; };
      const double t = static_cast<double>(dy) / static_cast<double>(rh);
      const double estimate = static_cast<double>(rw) * std::sqrt(std::max(0.0, 1.0 - t * t));
      uint64_t k = std::min(rw, static_cast<uint64_t>(estimate));
      while (k < rw && fits(k + 1)) ++k;
      while (k > 0 && !fits(k)) --k;
      const int64_t ki = static_cast<int64_t>(k);
      // Pixels whose doubled centre 2x + 1 lies in [innerLeft - k, innerRight + k].
      const int64_t x0 = -FloorDiv(-(innerLeft - ki - 1), 2);
      const int64_t x1 = FloorDiv(innerRight + ki - 1, 2) + 1;
      spans.push_back({x0, x1});
      NormaliseSpans(spans);
    }
    bands.AddRow(y, spans);
  }
  return bands.Finish();
}

// The rectangle clipped to the shape window.
std::vector<pixman_box32_t> ShapeRect(int64_t left, int64_t top, int64_t right, int64_t bottom) {
  std::vector<pixman_box32_t> boxes;
  AddBox(boxes, std::max(left, -kShapeLimit), std::max(top, -kShapeLimit), std::min(right, kShapeLimit),
         std::min(bottom, kShapeLimit));
  return boxes;
}

// ---------------------------------------------------------------------------
// Polygons
//
// A pixel is inside when its centre (x + 0.5, y + 0.5) is. An edge crosses
// the rows whose centre lies in [top y, bottom y) of the edge, so a vertex is
// counted once and horizontal edges never. On a row, the pixels at or right
// of an edge's crossing have the crossing at or left of their centre; a
// centre exactly on an edge therefore belongs to the span the edge opens (left
// edges include, right edges exclude). The crossing test is exact: with the
// edge from (x0, y0) down to (x0 + dx, y0 + dy), the crossing is at or left of
// centre (2x + 1) / 2 when
//   2 * x0 * dy + (2y + 1 - 2 * y0) * dx <= (2x + 1) * dy,
// computed in 128 bits.

struct Edge {
  int64_t top;     // first row crossed
  int64_t bottom;  // row after the last one crossed
  int64_t x0;      // upper endpoint
  int64_t y0;
  int64_t dx;
  int64_t dy;  // > 0
  int direction;  // +1 when the polygon runs downwards along the edge
};

// The first pixel column whose centre is at or right of the edge's crossing
// of row y.
int64_t FirstColumnRightOf(const Edge& e, int64_t y) {
  const i128 n = static_cast<i128>(2) * e.x0 * e.dy + static_cast<i128>(2 * y + 1 - 2 * e.y0) * e.dx;
  return CeilDiv(n - e.dy, static_cast<i128>(2) * e.dy);
}

std::vector<pixman_box32_t> RasterisePolygon(std::span<const Point> points, FillMode mode) {
  std::vector<Edge> edges;
  edges.reserve(points.size());
  for (size_t i = 0; i < points.size(); ++i) {
    const Point& a = points[i];
    const Point& b = points[(i + 1) % points.size()];
    if (a.y == b.y) continue;
    const bool down = a.y < b.y;
    const Point& upper = down ? a : b;
    const Point& lower = down ? b : a;
    edges.push_back({upper.y, lower.y, upper.x, upper.y, static_cast<int64_t>(lower.x) - upper.x,
                     static_cast<int64_t>(lower.y) - upper.y, down ? 1 : -1});
  }
  if (edges.empty()) return {};
  std::sort(edges.begin(), edges.end(), [](const Edge& a, const Edge& b) { return a.top < b.top; });
  int64_t endRow = edges.front().bottom;
  for (const Edge& e : edges) endRow = std::max(endRow, e.bottom);
  endRow = std::min(endRow, kShapeLimit);

  BandBuilder bands;
  std::vector<const Edge*> active;
  std::vector<std::pair<int64_t, int>> crossings;
  std::vector<Span> spans;
  size_t next = 0;
  int64_t y = std::max(edges.front().top, -kShapeLimit);
  while (y < endRow) {
    // Retire finished edges, then take in the ones starting on or above y.
    std::erase_if(active, [y](const Edge* e) { return e->bottom <= y; });
    while (next < edges.size() && edges[next].top <= y) {
      if (edges[next].bottom > y) active.push_back(&edges[next]);
      ++next;
    }
    if (active.empty()) {
      if (next == edges.size()) break;
      bands.AddRow(y, {});
      y = edges[next].top;
      continue;
    }

    crossings.clear();
    for (const Edge* e : active) crossings.emplace_back(FirstColumnRightOf(*e, y), e->direction);
    std::sort(crossings.begin(), crossings.end());
    spans.clear();
    int winding = 0;
    int64_t start = 0;
    auto inside = [mode](int w) { return mode == FillMode::Winding ? w != 0 : (w & 1) != 0; };
    for (const auto& [x, direction] : crossings) {
      const bool wasInside = inside(winding);
      winding += mode == FillMode::Winding ? direction : 1;
      const bool isInside = inside(winding);
      if (!wasInside && isInside) {
        start = x;
      } else if (wasInside && !isInside) {
        spans.push_back({start, x});
      }
    }
    NormaliseSpans(spans);
    bands.AddRow(y, spans);
    ++y;
  }
  return bands.Finish();
}

}  // namespace

// ---------------------------------------------------------------------------
// Region

Region::Region() : region_(nullptr, &DestroyRegion) {}

Region::~Region() = default;

Region::Region(const Region& other) : region_(nullptr, &DestroyRegion) {
  if (other.region_) {
    region_.reset(NewRegion());
    Check(pixman_region32_copy(region_.get(), other.region_.get()));
  }
}

Region& Region::operator=(const Region& other) {
  if (this == &other) return *this;
  if (!other.region_) {
    region_.reset();
    return *this;
  }
  if (!region_) region_.reset(NewRegion());
  Check(pixman_region32_copy(region_.get(), other.region_.get()));
  return *this;
}

Region::Region(Region&& other) noexcept : region_(std::move(other.region_)) {}

Region& Region::operator=(Region&& other) noexcept {
  region_ = std::move(other.region_);
  return *this;
}

void Region::Reset() { region_.reset(); }

Region Region::Empty() {
  Region out;
  out.region_.reset(NewRegion());
  return out;
}

Region Region::FromRect(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  std::vector<pixman_box32_t> boxes;
  AddBox(boxes, left, top, right, bottom);
  Region out = Empty();
  SetBoxes(out.region_.get(), boxes);
  return out;
}

// The union of the rectangles; empty and inverted ones add nothing.
Region Region::FromRects(std::span<const Rect> rects) {
  std::vector<pixman_box32_t> boxes;
  boxes.reserve(rects.size());
  for (const Rect& r : rects) AddBox(boxes, r.left, r.top, r.right, r.bottom);
  Region out = Empty();
  SetBoxes(out.region_.get(), boxes);
  return out;
}

Region Region::FromEllipse(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  Region out = Empty();
  const int64_t width = static_cast<int64_t>(right) - left;
  const int64_t height = static_cast<int64_t>(bottom) - top;
  if (width <= 0 || height <= 0) return out;
  const int64_t cx2 = static_cast<int64_t>(left) + right;  // doubled centre
  const int64_t cy2 = static_cast<int64_t>(top) + bottom;
  SetBoxes(out.region_.get(), RasteriseRoundedBox(top, bottom, cx2, cx2, cy2, cy2, static_cast<uint64_t>(width),
                                                  static_cast<uint64_t>(height)));
  return out;
}

Region Region::FromRoundRect(int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t ellipseWidth,
                             int32_t ellipseHeight) {
  Region out = Empty();
  const int64_t width = static_cast<int64_t>(right) - left;
  const int64_t height = static_cast<int64_t>(bottom) - top;
  if (width <= 0 || height <= 0) return out;
  const int64_t ew = std::min<int64_t>(ellipseWidth, width);
  const int64_t eh = std::min<int64_t>(ellipseHeight, height);
  if (ew <= 0 || eh <= 0) {
    SetBoxes(out.region_.get(), ShapeRect(left, top, right, bottom));
    return out;
  }
  SetBoxes(out.region_.get(),
           RasteriseRoundedBox(top, bottom, 2 * static_cast<int64_t>(left) + ew, 2 * static_cast<int64_t>(right) - ew,
                               2 * static_cast<int64_t>(top) + eh, 2 * static_cast<int64_t>(bottom) - eh,
                               static_cast<uint64_t>(ew), static_cast<uint64_t>(eh)));
  return out;
}

Region Region::FromPolygon(std::span<const Point> points, FillMode mode) {
  Region out = Empty();
  if (points.size() < 3) return out;
  SetBoxes(out.region_.get(), RasterisePolygon(points, mode));
  return out;
}

// Byte form: the 32-byte header (header size 32, type 1, rectangle count,
// byte size of the rectangles, bounding box) and the rectangles, each value
// a little-endian 32-bit integer. The bytes must hold exactly the announced
// rectangles; the size field may also be 0 ("unknown"), as the layout
// allows. Empty rectangles are skipped, overlapping ones united, inverted
// ones refused; the bounding box is not trusted but recomputed.
std::optional<Region> Region::FromBytes(std::span<const uint8_t> bytes) {
  if (bytes.size() < kHeaderSize) return std::nullopt;
  const uint8_t* p = bytes.data();
  const uint32_t headerSize = LoadLE32(p);
  const uint32_t type = LoadLE32(p + 4);
  const uint32_t count = LoadLE32(p + 8);
  const uint32_t rectBytesField = LoadLE32(p + 12);
  if (headerSize != kHeaderSize || type != kRectanglesType) return std::nullopt;
  const uint64_t rectBytes = static_cast<uint64_t>(count) * kRectSize;
  if (rectBytesField != 0 && rectBytesField != rectBytes) return std::nullopt;
  if (bytes.size() - kHeaderSize != rectBytes) return std::nullopt;

  std::vector<pixman_box32_t> boxes;
  boxes.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* r = p + kHeaderSize + static_cast<size_t>(i) * kRectSize;
    const auto left = static_cast<int32_t>(LoadLE32(r));
    const auto top = static_cast<int32_t>(LoadLE32(r + 4));
    const auto right = static_cast<int32_t>(LoadLE32(r + 8));
    const auto bottom = static_cast<int32_t>(LoadLE32(r + 12));
    if (right < left || bottom < top) return std::nullopt;
    AddBox(boxes, left, top, right, bottom);
  }
  Region out = Empty();
  SetBoxes(out.region_.get(), boxes);
  return out;
}

std::vector<uint8_t> Region::ToBytes() const {
  const std::vector<pixman_box32_t> boxes = Boxes(region_.get());
  const Rect box = Box();
  std::vector<uint8_t> out(kHeaderSize + boxes.size() * kRectSize);
  uint8_t* p = out.data();
  StoreLE32(p, kHeaderSize);
  StoreLE32(p + 4, kRectanglesType);
  StoreLE32(p + 8, static_cast<uint32_t>(boxes.size()));
  StoreLE32(p + 12, static_cast<uint32_t>(boxes.size() * kRectSize));
  StoreLE32(p + 16, static_cast<uint32_t>(box.left));
  StoreLE32(p + 20, static_cast<uint32_t>(box.top));
  StoreLE32(p + 24, static_cast<uint32_t>(box.right));
  StoreLE32(p + 28, static_cast<uint32_t>(box.bottom));
  p += kHeaderSize;
  for (const pixman_box32_t& b : boxes) {
    StoreLE32(p, static_cast<uint32_t>(b.x1));
    StoreLE32(p + 4, static_cast<uint32_t>(b.y1));
    StoreLE32(p + 8, static_cast<uint32_t>(b.x2));
    StoreLE32(p + 12, static_cast<uint32_t>(b.y2));
    p += kRectSize;
  }
  return out;
}

bool Region::IsEmpty() const { return !pixman_region32_not_empty(Get(region_.get())); }

Rect Region::Box() const {
  if (IsEmpty()) return {};
  const pixman_box32_t* e = pixman_region32_extents(region_.get());
  return {e->x1, e->y1, e->x2, e->y2};
}

bool Region::Contains(int32_t x, int32_t y) const {
  return region_ && pixman_region32_contains_point(region_.get(), x, y, nullptr);
}

std::vector<Rect> Region::Rects() const {
  std::vector<Rect> rects;
  for (const pixman_box32_t& b : Boxes(region_.get())) rects.push_back({b.x1, b.y1, b.x2, b.y2});
  return rects;
}

int64_t Region::Area() const {
  int64_t area = 0;
  for (const pixman_box32_t& b : Boxes(region_.get()))
    area += (static_cast<int64_t>(b.x2) - b.x1) * (static_cast<int64_t>(b.y2) - b.y1);
  return area;
}

// Moves the region by (dx, dy); whatever would leave the coordinate range is
// clipped away. A region without a handle stays without one.
void Region::Offset(int32_t dx, int32_t dy) {
  if (!region_ || IsEmpty()) return;
  const pixman_box32_t e = *pixman_region32_extents(region_.get());
  if (static_cast<int64_t>(e.x1) + dx >= kCoordMin && static_cast<int64_t>(e.x2) + dx <= kCoordMax &&
      static_cast<int64_t>(e.y1) + dy >= kCoordMin && static_cast<int64_t>(e.y2) + dy <= kCoordMax) {
    pixman_region32_translate(region_.get(), dx, dy);  // no sum leaves the range
    return;
  }
  std::vector<pixman_box32_t> moved;
  for (const pixman_box32_t& b : Boxes(region_.get()))
    AddBox(moved, static_cast<int64_t>(b.x1) + dx, static_cast<int64_t>(b.y1) + dy, static_cast<int64_t>(b.x2) + dx,
           static_cast<int64_t>(b.y2) + dy);
  SetBoxes(region_.get(), moved);
}

Region Region::Union(const Region& other) const {
  Region out = Empty();
  Check(pixman_region32_union(out.region_.get(), Get(region_.get()), Get(other.region_.get())));
  return out;
}

Region Region::Subtract(const Region& other) const {
  Region out = Empty();
  Check(pixman_region32_subtract(out.region_.get(), Get(region_.get()), Get(other.region_.get())));
  return out;
}

Region Region::Intersect(const Region& other) const {
  Region out = Empty();
  Check(pixman_region32_intersect(out.region_.get(), Get(region_.get()), Get(other.region_.get())));
  return out;
}

Region Region::Xor(const Region& other) const { return Union(other).Subtract(Intersect(other)); }

// Same set of pixels. Equal rectangle lists settle it at once; otherwise the
// two differences decide, since one set can be cut into rectangles in more
// than one way.
bool Region::operator==(const Region& other) const {
  const pixman_region32* a = Get(region_.get());
  const pixman_region32* b = Get(other.region_.get());
  if (pixman_region32_equal(a, b)) return true;
  return Subtract(other).IsEmpty() && other.Subtract(*this).IsEmpty();
}

}  // namespace platform
