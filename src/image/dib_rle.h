// Row decoder for the run-length encodings of device-independent bitmaps
// (RLE8 and RLE4), shared by the packed-DIB import and the BMP reader.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// Decodes one row at a time into one index byte per pixel. Rows come out in
// stored order (bottom row first for bottom-up data).
//
// The data is read as byte pairs (count, value):
// - count > 0: an encoded run of count pixels; RLE8 repeats value, RLE4
//   alternates its high and low nibble, high first.
// - 0, 0: end of line; the rest of the row is 0.
// - 0, 1: end of bitmap; the rest of the row and every later row are 0.
// - 0, 2, dx, dy: delta; dy x width + dx pixels are skipped (left 0),
//   counting on from the current position. A skip that reaches the row end
//   completes the row and the rest is carried into the following rows (a row
//   wholly covered by a pending skip is complete without reading data).
// - 0, n (n >= 3): an absolute run of n pixels in n bytes (RLE8) or
//   (n + 1) / 2 bytes (RLE4, high nibble first), followed by one pad byte
//   when that byte count is odd.
// Pixels of runs past the row end are dropped. When the data ends before an
// end-of-bitmap code, the row being decoded keeps what it got, every later
// row is 0 and Truncated() becomes true.
//
// The decoder never reads outside `data` and never writes outside the row;
// its work is linear in the data size plus the pixels written.
class CDIBRleDecoder {
 public:
  CDIBRleDecoder(std::span<const uint8_t> data, int width, bool rle4);

  // Decodes the next row into row[0 .. width-1].
  void NextRow(uint8_t* row);
  // True when the data ran out before an end-of-bitmap code.
  bool Truncated() const { return truncated_; }
  // True once end of bitmap or the end of the data was reached: every
  // further row is all 0.
  bool Finished() const { return finished_; }

 private:
  bool Byte(uint8_t& out);

  std::span<const uint8_t> data_;
  size_t pos_ = 0;
  int width_;
  bool rle4_;
  bool finished_ = false;
  bool truncated_ = false;
  int64_t pendingSkip_ = 0;
  int rowsDone_ = 0;
};
