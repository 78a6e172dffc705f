#include "image/dib_rle.h"

#include <algorithm>
#include <cstring>

CDIBRleDecoder::CDIBRleDecoder(std::span<const uint8_t> data, int width, bool rle4)
    : data_(data), width_(std::max(width, 0)), rle4_(rle4) {}

bool CDIBRleDecoder::Byte(uint8_t& out) {
  if (pos_ >= data_.size()) {
    truncated_ = true;
    finished_ = true;
    return false;
  }
  out = data_[pos_++];
  return true;
}

void CDIBRleDecoder::NextRow(uint8_t* row) {
  const int width = width_;
  if (width > 0) std::memset(row, 0, static_cast<size_t>(width));
  ++rowsDone_;
  if (finished_) return;

  // Pixels skipped by an earlier delta come first; a row they cover entirely
  // is complete.
  int x = 0;
  if (pendingSkip_ >= width) {
    pendingSkip_ -= width;
    return;
  }
  x = static_cast<int>(pendingSkip_);
  pendingSkip_ = 0;

  for (;;) {
    uint8_t count = 0;
    uint8_t value = 0;
    if (!Byte(count) || !Byte(value)) return;

    if (count > 0) {
      // Encoded run; x never passes the row end, so the room left is exact.
      const int n = std::min<int>(count, width - x);
      if (!rle4_) {
        std::memset(row + x, value, static_cast<size_t>(n));
      } else {
        const uint8_t nibbles[2] = {static_cast<uint8_t>(value >> 4), static_cast<uint8_t>(value & 0x0F)};
        for (int i = 0; i < n; ++i) row[x + i] = nibbles[i & 1];
      }
      x += n;
      continue;
    }

    switch (value) {
      case 0:  // end of line
        return;
      case 1:  // end of bitmap
        finished_ = true;
        return;
      case 2: {  // delta
        uint8_t dx = 0;
        uint8_t dy = 0;
        if (!Byte(dx) || !Byte(dy)) return;
        const int64_t target = x + static_cast<int64_t>(dy) * width + dx;
        if (target >= width) {
          pendingSkip_ = target - width;
          return;
        }
        x = static_cast<int>(target);
        continue;
      }
      default: {  // absolute run of `value` pixels
        const size_t pixels = value;
        const size_t bytes = rle4_ ? (pixels + 1) / 2 : pixels;
        const size_t available = std::min(bytes, data_.size() - pos_);
        const uint8_t* src = data_.data() + pos_;
        // Pixels the data actually holds, cut at the row end.
        const size_t held = rle4_ ? std::min(pixels, available * 2) : available;
        const int n = static_cast<int>(std::min<size_t>(held, static_cast<size_t>(width - x)));
        if (!rle4_) {
          std::memcpy(row + x, src, static_cast<size_t>(n));
        } else {
          for (int i = 0; i < n; ++i) {
            const uint8_t b = src[i >> 1];
            row[x + i] = (i & 1) ? (b & 0x0F) : (b >> 4);
          }
        }
        x += n;
        pos_ += available;
        if (available < bytes) {
          truncated_ = true;
          finished_ = true;
          return;
        }
        if (bytes & 1) pos_ = std::min(pos_ + 1, data_.size());  // pad to a 16-bit boundary
        continue;
      }
    }
  }
}
