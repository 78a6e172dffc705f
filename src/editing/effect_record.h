// The effect record of the Image and Filter menus and the preview grid.
//
// Every effect command names an operation of the operation table; the
// record says how the view runs it: the undo kind and name it records, whether
// it moves pixels (free rotation, shear) and whether its result stays a
// floater, whether a selection confines it through a temporary floater (the
// preview effects and Invert Color) or through the image's mask (the other
// direct effects), and what the views must refresh afterwards.
//
// The preview computes the effect block by block: the image is cut into a
// grid of blocks, each computed from a copy of itself extended by a margin
// as wide as the filter's reach, so block seams do not show.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "editing/operation_table.h"
#include "platform/region.h"

struct EffectRecord {
  std::string_view operation;  // the operation table's name
  int undoKind = 50;
  std::string undoName;
  bool preview = false;       // a preview effect (opens a dialog with live preview)
  bool geometry = false;      // changes the target's size or shape (free rotation, shear)
  bool resultFloats = false;  // the result stays a floater
  // With a selection the effect works on a temporary floater made from it
  // and blended back (the preview effects, Invert Color); otherwise through
  // the image's mask.
  bool throughFloater = false;
  // The whole image is rebuilt (colour modes, Canvas Size, Crop): a floater
  // is dropped first and every tile is recorded.
  bool wholeImage = false;
  int hintWhole = 1;      // view hints after an apply without a selection
  int hintSelection = 1;  // and with one
};

// The record of `operation`'s effect command; `selection` picks the undo
// name of Invert Color. Nullopt for an operation that is no effect command
// of the view (the turns, flips and resizing go to the floater transforms).
std::optional<EffectRecord> FindEffectRecord(std::string_view operation, bool selection);

// Block size and margin of a preview. Mosaic uses blocks of whole cells:
// (128 div (size + 1)) x size pixels with the size as margin; the window
// filters (Average, Median, Despeckle, Maximum, Minimum) reach `size`
// pixels, Emboss and Edge Enhance 1, UnSharp Mask its radius; the others
// (point operations, Add Noise, Gaussian Blur) take no margin. Blocks are
// 64 x 64 except for Mosaic.
struct PreviewBlockLayout {
  int blockWidth = 64;
  int blockHeight = 64;
  int marginX = 0;
  int marginY = 0;
};
PreviewBlockLayout PreviewLayoutFor(const ParsedOperation& operation);

// The preview's blocks over an image: columns and rows of the layout's block
// size (the last ones cut at the image's edge), each pending or done. With a
// selection, blocks that do not touch it start done: they show the image
// unchanged.
class PreviewGrid {
 public:
  void Build(int imageWidth, int imageHeight, const PreviewBlockLayout& layout, const platform::Region* selection);
  void Clear();
  bool Empty() const { return states_.empty(); }
  int Columns() const { return columns_; }
  int Rows() const { return rows_; }
  const PreviewBlockLayout& Layout() const { return layout_; }
  // The block's rectangle in image coordinates (cut at the image's edge).
  platform::Rect BlockRect(int column, int row) const;
  // The block extended by the margin on every side, clipped to the image.
  platform::Rect SourceRect(int column, int row) const;
  bool Pending(int column, int row) const { return states_[Index(column, row)] == 0; }
  void MarkDone(int column, int row) { states_[Index(column, row)] = 1; }
  // The pending blocks that touch `area` (image coordinates), row by row.
  std::vector<platform::Point> PendingIn(const platform::Rect& area) const;
  int PendingCount() const;

 private:
  size_t Index(int column, int row) const { return static_cast<size_t>(row) * columns_ + column; }
  int width_ = 0, height_ = 0;
  int columns_ = 0, rows_ = 0;
  PreviewBlockLayout layout_;
  std::vector<uint8_t> states_;  // 0 pending, 1 done or outside the selection
};
