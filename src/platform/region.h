// A set of pixels described by non-overlapping rectangles, as the selection,
// the masks and the flood fills use it. Backed by pixman's 32-bit regions.
//
// Rectangles are half-open: (left, top, right, bottom) covers the pixels
// left <= x < right, top <= y < bottom. A default-constructed Region has no
// handle (IsValid() is false) and behaves as an empty region; every factory
// gives a valid one.
//
// Coordinates are clipped to [-2^30, 2^30), so widths, heights and areas
// never overflow; Offset clips whatever it pushes out of that range. The
// rasterised shapes (ellipse, round rectangle, polygon) are drawn only within
// +-2^20 rows and columns, far beyond any image, so hostile coordinates
// cannot cost billions of rows. FromRects skips empty and inverted
// rectangles.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

struct pixman_region32;

namespace platform {

struct Rect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
  int32_t Width() const { return right - left; }
  int32_t Height() const { return bottom - top; }
  bool IsEmpty() const { return right <= left || bottom <= top; }
  bool operator==(const Rect&) const = default;
};

struct Point {
  int32_t x = 0;
  int32_t y = 0;
  bool operator==(const Point&) const = default;
};

// Polygon fill rules: alternate (even-odd) and winding (non-zero).
enum class FillMode { Alternate = 1, Winding = 2 };

class Region {
 public:
  Region();
  ~Region();
  Region(const Region& other);
  Region& operator=(const Region& other);
  Region(Region&& other) noexcept;
  Region& operator=(Region&& other) noexcept;

  // An empty, valid region.
  static Region Empty();
  // The rectangle; empty when right <= left or bottom <= top.
  static Region FromRect(int32_t left, int32_t top, int32_t right, int32_t bottom);
  static Region FromRect(const Rect& rect) { return FromRect(rect.left, rect.top, rect.right, rect.bottom); }
  static Region FromRects(std::span<const Rect> rects);
  // The ellipse inscribed in the bounding box (right and bottom exclusive).
  static Region FromEllipse(int32_t left, int32_t top, int32_t right, int32_t bottom);
  // A rectangle whose corners are quarter ellipses of the given full width
  // and height (clamped to the rectangle's size).
  static Region FromRoundRect(int32_t left, int32_t top, int32_t right, int32_t bottom,
                              int32_t ellipseWidth, int32_t ellipseHeight);
  // The polygon's interior under the fill rule; a pixel is inside when its
  // centre (x + 0.5, y + 0.5) is.
  static Region FromPolygon(std::span<const Point> points, FillMode mode);
  // Parses the byte form written by ToBytes: a 32-byte header (size 32,
  // type 1, count, byte size of the rectangles, bounding box) followed by
  // count 16-byte rectangles, all little-endian (a size field of 0 is also
  // accepted, the bounding box is recomputed). nullopt when the bytes are
  // short or long, the header is inconsistent or a rectangle is inverted.
  static std::optional<Region> FromBytes(std::span<const uint8_t> bytes);

  bool IsValid() const { return region_ != nullptr; }
  // Drops the handle (IsValid() becomes false).
  void Reset();

  bool IsEmpty() const;
  // Bounding box; all zero when empty.
  Rect Box() const;
  bool Contains(int32_t x, int32_t y) const;
  // The rectangles in band order (top to bottom, left to right).
  std::vector<Rect> Rects() const;
  // Sum of width x height over the rectangles.
  int64_t Area() const;

  void Offset(int32_t dx, int32_t dy);
  Region Union(const Region& other) const;
  Region Subtract(const Region& other) const;
  Region Intersect(const Region& other) const;
  Region Xor(const Region& other) const;

  std::vector<uint8_t> ToBytes() const;

  bool operator==(const Region& other) const;

 private:
  std::unique_ptr<pixman_region32, void (*)(pixman_region32*)> region_;
};

}  // namespace platform
