// Rescaling of an image onto the printed page, band by band, and the gray and
// invert steps applied to each rescaled band.
//
// The scale along an axis is s = destination size / source size as a 32-bit
// float. Destination index i maps to source index trunc(i / s) with the
// fraction f = i / s - trunc(i / s) (all in 32-bit float). Per axis:
// - a reduction (s < 1) averages, per channel, the source pixels from the
//   entry's source index up to (not including) the next destination index's
//   source index; the destination's last index runs to the last source
//   index. Sums are divided by the pixel count in integer arithmetic.
// - an enlargement (s >= 1) interpolates between source indices c and c + 1
//   (c + 1 taken as the last index at the far edge) as
//   trunc(p[c] x (1 - f) + p[c + 1] x f + 0.5) in 32-bit float.
// The four combinations:
//   sx < 1,  sy < 1 : one pass, each destination pixel the average of its
//                     block of source pixels (sum / (rows x columns));
//   sx < 1,  sy >= 1: reduce each source row horizontally, then enlarge
//                     vertically between the two reduced rows;
//   sx >= 1, sy < 1 : reduce vertically (average of the block's source rows
//                     per source column), then enlarge horizontally;
//   sx >= 1, sy >= 1: enlarge each source row horizontally, then vertically.
// Intermediate rows are bytes, as they would be in a 24-bit scratch bitmap.
// Rows are mapped with the same rule as columns (the row map over the
// destination height).
#pragma once

#include <cstdint>
#include <vector>

#include "image/dibitmap.h"
#include "platform/region.h"

namespace print {

// One entry per destination index `first` .. `first + count - 1`, plus a
// final entry (index `count` of `source`) that holds where the next
// destination index starts: trunc((first + count) / s), or the source size
// when that is the destination's end. Source indices are clamped to
// 0 .. sourceSize - 1 (the final entry to sourceSize).
struct ColumnMap {
  float scale = 1.0f;              // destination size / source size
  std::vector<int> source;         // count + 1 entries
  std::vector<float> fraction;     // f, count entries
  std::vector<float> complement;   // 1 - f, count entries
  int Count() const { return static_cast<int>(fraction.size()); }
};

// Builds the map for destination indices first .. first + count - 1 of a
// destination of destSize over a source of sourceSize (both >= 1).
ColumnMap BuildColumnMap(int destSize, int sourceSize, int first, int count);

// Which of the four methods a pair of scales uses.
enum class RescaleMethod { ReduceBoth, ReduceXEnlargeY, ReduceYEnlargeX, EnlargeBoth };
RescaleMethod ChooseRescaleMethod(float sx, float sy);

// Rescales a source rectangle of a bitmap to a destination size, producing
// any run of destination rows restricted to a visible column range.
class Rescaler {
 public:
  // source: any pixel kind CDIBitmap reads as RGB (1, 8, 24 or 32 bits).
  // sourceRect: the part of the source to print (clipped to the source).
  // destWidth x destHeight: the size it is drawn at. visibleLeft,
  // visibleWidth: the destination columns produced (relative to the
  // destination's left edge). Returns kResultOk, or kResultInvalidSize for
  // an empty source, destination or visible range, or
  // kResultInvalidParameter when the visible columns leave the destination
  // or the source is not 1, 8, 24 or 32 bits, or kResultOutOfMemory when
  // memory is short.
  int Init(const CDIBitmap& source, const platform::Rect& sourceRect, int destWidth, int destHeight, int visibleLeft,
           int visibleWidth);

  // Writes destination rows firstRow .. firstRow + count - 1 (relative to
  // the destination's top) into rows 0 .. count - 1 of `band` (24-bit, at
  // least visibleWidth wide and count high), columns 0 .. visibleWidth - 1.
  // Rows beyond the destination's last row repeat the last row (the
  // halftoner's look-ahead row below the page). Returns kResultOk, or
  // kResultInvalidParameter for a band too small.
  int RescaleRows(int firstRow, int count, CDIBitmap& band);

  RescaleMethod Method() const { return method_; }
  const ColumnMap& Columns() const { return columns_; }
  float ScaleX() const { return columns_.scale; }
  float ScaleY() const { return rows_.scale; }

 private:
  const uint8_t* SourceRow(int y);  // BGR row of the source rectangle, y relative to its top
  const uint8_t* ReducedRowX(int y, int slot);   // source row reduced horizontally, cached
  const uint8_t* EnlargedRowX(int y, int slot);  // source row enlarged horizontally, cached
  void DestRow(int y, uint8_t* out);

  const CDIBitmap* source_ = nullptr;
  platform::Rect sourceRect_;
  int destHeight_ = 0;
  int visibleWidth_ = 0;
  RescaleMethod method_ = RescaleMethod::EnlargeBoth;
  ColumnMap columns_;
  ColumnMap rows_;  // over the whole destination height
  std::vector<uint8_t> convertRow_;
  std::vector<uint8_t> horizontal_[2];  // cached horizontally scaled rows
  int horizontalRow_[2] = {-1, -1};
  std::vector<uint32_t> sums_;
  std::vector<uint8_t> rowBuffer_;
};

// Replaces each pixel of the first `rows` rows (first `width` pixels) of a
// 24-bit band by its luminance Y = (306 R + 601 G + 117 B + 512) / 1024 in
// all three channels.
void GrayBand(CDIBitmap& band, int width, int rows);
// Replaces every byte of the first `rows` rows (first `width` pixels) of a
// 24-bit band by 255 - byte.
void InvertBand(CDIBitmap& band, int width, int rows);

}  // namespace print
