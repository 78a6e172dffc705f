// Pixels a view shows instead of the image's or the floater's own, without
// changing them: the cells of a paint stroke in progress as the stroke will
// commit them, the computed blocks of an effect's preview.
//
// A patch is a rectangle (image coordinates for the image, floater
// coordinates for the floater) with a bitmap of the rectangle's size in the
// target's pixel kind. The composer reads a patched row wherever a patch
// covers it. Whoever changes a patch invalidates the view area it covers.
#pragma once

#include <map>
#include <memory>
#include <vector>

#include "image/dibitmap.h"
#include "platform/region.h"

class DisplayPatches {
 public:
  struct Patch {
    platform::Rect rect;
    std::unique_ptr<CDIBitmap> pixels;
  };

  // Puts `pixels` (rect's size) at `rect`, replacing a patch with the same
  // top-left corner. Patches must not overlap.
  void Set(const platform::Rect& rect, std::unique_ptr<CDIBitmap> pixels);
  void Remove(const platform::Rect& rect);
  void Clear();
  bool Empty() const { return count_ == 0; }
  // The bounding box of every patch (all 0 when empty).
  platform::Rect Bounds() const;
  bool CoversRow(int y) const;
  // The patches that cover row y, in no particular order.
  void RowPatches(int y, std::vector<const Patch*>& out) const;
  // Writes row y of `bitmap` into `row` (the bitmap's packed row layout)
  // for the columns [x0, x1), with every patch covering them in place of
  // the bitmap's own pixels. 1-bit rows are copied in whole bytes.
  void PatchedRow(const CDIBitmap& bitmap, int y, int x0, int x1, uint8_t* row) const;

 private:
  // By top edge, then left edge.
  std::map<int, std::map<int, Patch>> rows_;
  int maxHeight_ = 0;
  size_t count_ = 0;
};
