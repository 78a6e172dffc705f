// The coverage plane of a paint stroke, a flood fill, a line or a shape:
// 8-bit coverage over the image (255 full, 0 none), zero between strokes,
// kept as 64 x 64 cells aligned to the image's top-left corner and made
// only where something was laid. The cells made are the stroke's touched
// cells; the commit works cell by cell through them and they are dropped
// afterwards.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "image/dibitmap.h"
#include "platform/region.h"

class CoveragePlane {
 public:
  static constexpr int kCell = 64;

  // Empties the plane for an image of width x height.
  void Reset(int imageWidth, int imageHeight);
  int Width() const { return width_; }
  int Height() const { return height_; }
  bool Empty() const { return cells_.empty(); }

  // Adds `dab` (8-bit, any size) with its top-left corner at image point
  // (x, y), each byte clamped at 255; the part outside the image is
  // dropped. Returns the rectangle of the image it touched (empty when
  // none).
  platform::Rect Add(const CDIBitmap& dab, int x, int y);
  // Sets every pixel of `region` (image coordinates) to 255.
  void Fill(const platform::Region& region);

  // The cell of column cx, row cy: an 8-bit bitmap of 64 x 64 (the part
  // past the image's edge stays 0); nullptr when nothing was laid there.
  const CDIBitmap* FindCell(int cx, int cy) const;
  // The cells laid so far, by row then column.
  std::vector<std::pair<int, int>> TouchedCells() const;
  // The image rectangle of cell (cx, cy), clipped to the image.
  platform::Rect CellRect(int cx, int cy) const;

  // Copies the coverage of `rect` (which may reach outside the image: 0
  // there) into `out`, made 8-bit gray of the rectangle's size.
  bool CopyRect(const platform::Rect& rect, CDIBitmap& out) const;
  // The pixels with non-zero coverage inside `rect`.
  platform::Region RegionIn(const platform::Rect& rect) const;
  // Sum of the coverage (for tests and checks).
  uint64_t Total() const;

 private:
  CDIBitmap& MakeCell(int cx, int cy);

  int width_ = 0;
  int height_ = 0;
  // Key: row << 32 | column.
  std::map<uint64_t, std::unique_ptr<CDIBitmap>> cells_;
};
