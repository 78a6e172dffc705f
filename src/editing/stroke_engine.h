// The stroke engine of the paint tools: brush tips, dabs laid along the
// pointer's path into a coverage plane, and the commit of a coverage plane
// into a target bitmap (the image or the floater) in 64 x 64 cells.
//
// A stroke runs press -> dabs -> commit (or cancel): BrushStroke builds the
// dab once from the brush settings, LayDab adds it into the coverage plane
// at each step of DabStepper, and CellCommitter blends a colour source into
// the target through the coverage, cell by cell, only in the cells the
// stroke touched. The same committer computes the cells a view shows while
// the stroke is still running, so what is shown equals what is committed.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "editing/coverage_plane.h"
#include "editing/selection_ops.h"
#include "editing/tool_settings.h"
#include "image/dibitmap.h"
#include "platform/region.h"

// Builds a brush tip and its hard mask, both 8-bit gray of size x size. In
// single precision, with r = size x 0.5 and w = softness x size x 0.005,
// for pixel (i, j): dx = |i - r + 0.5|, dy = |j - r + 0.5|;
//   square (shape 0): d = max(dx, dy); value = trunc(256 - (r - d) x 256 / w)
//     when d >= r - w and w > 0, else 0;
//   circle (shape 1): d = sqrt(dx^2 + dy^2); value = 255 when d > r, else
//     as the square.
// The tip stores 0 for values below 1, else the value's low byte (0 is full
// paint, 255 none); the hard mask stores 255 where the value is at least 255,
// else 0. Size below 1 (a size-0 brush) makes no tip and returns false: such
// a brush lays nothing. Sizes above 100 are taken as 100.
bool MakeTip(int shape, int size, int softness, CDIBitmap& tip, CDIBitmap& hardMask);

// The dab distance in view pixels is DabSpacing (selection_ops.h), shared
// with the paint-selection tool.

// Steps a floating position along the pointer's path (view coordinates):
// from the last dab position, a move of distance d >= spacing lays
// n = trunc(d / spacing) dabs, each `spacing` further along the straight
// line, at trunc(position + 0.5); the last position carries over.
class DabStepper {
 public:
  void Start(double x, double y) { x_ = x, y_ = y; }
  // Appends the dab points of a move to (x, y) to `out`.
  void MoveTo(double x, double y, int spacing, std::vector<platform::Point>& out);

 private:
  double x_ = 0;
  double y_ = 0;
};

// The coverage of one stroke: the dab made once from the brush (255 - tip;
// multiplied per dab by the stamp's alpha for the Stamp; scaled by the
// pressure for the Air Brush), added with saturation into a coverage plane
// of the image's size at each dab.
class BrushStroke {
 public:
  // Starts a stroke over an image of width x height. `pressure` 0..255
  // scales every dab (the Air Brush; 255 leaves it). `stampAlpha`, when
  // given, is the stamp's alpha tiled into a pattern at least
  // max(64, size, period) + max(64, size) each way, repeating every
  // periodWidth x periodHeight pixels from the image's top-left corner.
  // False, with nothing to lay, for a size-0 brush or a failed allocation.
  bool Begin(const BrushSettings& brush, int imageWidth, int imageHeight, int pressure = 255,
             const CDIBitmap* stampAlpha = nullptr, int periodWidth = 0, int periodHeight = 0);
  // Lays a dab centred at image point (x, y): its rectangle is (x - size div
  // 2, y - size div 2) of size x size; the part outside the image is dropped.
  // Returns the image rectangle touched (empty when none).
  platform::Rect LayDab(int x, int y);
  // Drops the coverage and everything laid.
  void Clear();

  int Size() const { return size_; }
  CoveragePlane& Plane() { return plane_; }
  const CoveragePlane& Plane() const { return plane_; }
  // The union of the touched dab rectangles (image coordinates).
  const platform::Rect& StrokeRect() const { return strokeRect_; }
  // The pixels of non-zero coverage.
  platform::Region StrokeRegion() const { return plane_.RegionIn(strokeRect_); }
  // The cells touched since the last call (column, row), each once.
  std::vector<std::pair<int, int>> TakeDirtyCells();

 private:
  CoveragePlane plane_;
  CDIBitmap dab_;      // 255 - tip, scaled by the pressure
  CDIBitmap scratch_;  // the stamp dab
  const CDIBitmap* stampAlpha_ = nullptr;
  int periodWidth_ = 0;
  int periodHeight_ = 0;
  int size_ = 0;
  platform::Rect strokeRect_{};
  std::vector<std::pair<int, int>> dirty_;
};

// What a committed cell blends in.
struct StrokeSource {
  enum class Kind {
    Colour,   // one colour 0x00BBGGRR (palette kinds: the nearest entry)
    Bitmap,   // `bitmap` of the target's kind, target pixel (x, y) from (x + offset.x, y + offset.y)
    Pattern,  // `bitmap` tiled: target pixel (x, y) from ((x + offset.x) mod period, ...)
    Retouch,  // the target itself after the retouch mode (1..6), with a one-pixel border
    Custom,   // `make` fills a bitmap of the target's kind for a target rectangle
  } kind = Kind::Colour;
  uint32_t colour = 0;
  const CDIBitmap* bitmap = nullptr;
  platform::Point offset{};
  int periodWidth = 1;
  int periodHeight = 1;
  int retouchMode = 1;
  std::function<bool(CDIBitmap& out, const platform::Rect& targetRect)> make;
};

// How a committed cell blends: above 8 bits GL_CombineBitmapByMode with
// `mode` (a mode the target's kind cannot take counts as Normal) and
// `opacity`; gray images the same when `grayByMode`, else
// GL_CombineBitmapWithAlpha at the opacity; palette and 1-bit images
// GL_CombineBitmapWithAlpha's clipped form (the source replaces the target
// where the coverage is not 0).
struct StrokeBlend {
  int mode = 0;
  int opacity = 255;
  bool grayByMode = true;
};

// The BlendMode a bitmap of this kind can take: If Darker and If Lighter
// need 8-bit gray or 24 bits, the HSL blends 24 bits, and palette and 1-bit
// images take only Normal; otherwise Normal.
int UsableBlendMode(const CDIBitmap& target, int mode);

// Commits coverage into a target bitmap cell by cell. The plane's pixel
// (px, py) lies over target pixel (px - planeOrigin.x, py - planeOrigin.y).
// With a `selection` (target coordinates) only the pixels inside it change.
class CellCommitter {
 public:
  CellCommitter(CDIBitmap& target, const CoveragePlane& plane, platform::Point planeOrigin, StrokeSource source,
                StrokeBlend blend, std::optional<platform::Region> selection);
  // The target rectangle of plane cell (cx, cy): the cell moved to target
  // coordinates and clipped to the target (empty when outside).
  platform::Rect TargetRect(int cx, int cy) const;
  // The committed pixels of a target rectangle lying within one plane cell,
  // as a bitmap of the rectangle's size in the target's kind; null when the
  // rectangle changes nothing (wholly outside the selection) or on a failure
  // (its result code in *result).
  std::unique_ptr<CDIBitmap> Compute(const platform::Rect& targetRect, int* result = nullptr);
  // Writes every touched cell; 1, or the first failure's result code. Only
  // the part of each cell with non-zero coverage is blended and written back
  // (elsewhere the blend leaves the target as it is), through one work
  // bitmap made once per committer.
  int CommitAll();

 private:
  // Blends into `cell`, whose top-left rect.Width() x rect.Height() pixels
  // hold the target's pixels of `rect` (a rectangle within one plane cell).
  // `changed` is false when the selection or an empty plane cell leaves
  // nothing to change. The result code.
  int BlendCell(CDIBitmap& cell, const platform::Rect& rect, bool& changed);
  // The part of target rectangle `rect` (within plane cell (cx, cy)) whose
  // coverage is not zero, as the bounding rectangle; empty when none.
  platform::Rect CoveredPart(const platform::Rect& rect, int cx, int cy) const;
  bool MakeSource(CDIBitmap& out, const platform::Rect& rect);
  bool MakeAlpha(const platform::Rect& rect, CDIBitmap& scratch, const CDIBitmap*& alpha, int& ax, int& ay) const;
  int ComputeRetouch(CDIBitmap& cell, const platform::Rect& rect);

  CDIBitmap& target_;
  const CoveragePlane& plane_;
  platform::Point origin_;
  StrokeSource source_;
  StrokeBlend blend_;
  std::optional<platform::Region> selection_;
  CDIBitmap colourCell_;  // the colour source, made once
  CDIBitmap work_;        // CommitAll's cell, kCell x kCell in the target's kind
  CDIBitmap sourceCell_;  // a cell's source for the other source kinds
  CDIBitmap alphaCell_;   // a cell's coverage when it spans plane cells
};

// Fills `out` (made compatible with `like`, width x height) with the colour
// 0x00BBGGRR as a pixel of that kind (the nearest entry for palette kinds,
// converted for CMYK).
bool FillColourBitmap(CDIBitmap& out, const CDIBitmap& like, int width, int height, uint32_t colour);

// Tiles `stamp` from its top-left corner into `pattern` (width x height),
// converted to the kind of `like` when the kinds differ.
bool TileStamp(const CDIBitmap& stamp, const CDIBitmap* like, int width, int height, CDIBitmap& pattern);
