// CDIBitmap pixels, rows and columns: reads and writes in the bitmap's own
// packing, writes through the selection mask.
#include "image/dibitmap.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "image/color_convert.h"
#include "image/dibitmap_bits.h"
#include "platform/messages.h"

void DIBCopyBits(uint8_t* dst, int64_t dstBit, const uint8_t* src, int64_t srcBit, int count) {
  if (((dstBit | srcBit) & 7) == 0) {
    const int whole = count / 8;
    std::memcpy(dst + dstBit / 8, src + srcBit / 8, static_cast<size_t>(whole));
    dstBit += int64_t{whole} * 8;
    srcBit += int64_t{whole} * 8;
    count -= whole * 8;
  }
  for (int i = 0; i < count; ++i) {
    const int64_t s = srcBit + i;
    const int64_t d = dstBit + i;
    const int bit = (src[s >> 3] >> (7 - (s & 7))) & 1;
    const uint8_t m = static_cast<uint8_t>(0x80u >> (d & 7));
    if (bit)
      dst[d >> 3] |= m;
    else
      dst[d >> 3] &= static_cast<uint8_t>(~m);
  }
}

namespace {

void InvalidBitCount() { platform::ShowMessage("Invalid Bit Count"); }

// Masked copy of `count` pixels of `Bpp` bytes each: pixel i of src goes to
// pixel i of dst when mask bit (maskBit0 + i) is set. Whole mask bytes of
// 0xFF and 0x00 are handled in one step, which keeps selections with large
// solid areas close to plain copy speed.
template <int Bpp>
void MaskedCopy(uint8_t* dst, const uint8_t* src, const uint8_t* mask, int maskBit0, int count) {
  int i = 0;
  // Walk single pixels until the mask position is byte aligned.
  while (i < count && ((maskBit0 + i) & 7) != 0) {
    if (DIBGetBit(mask, maskBit0 + i)) std::memcpy(dst + i * Bpp, src + i * Bpp, Bpp);
    ++i;
  }
  // Runs of whole 0xFF mask bytes become one copy, runs of 0x00 one skip.
  const int whole = i + (count - i) / 8 * 8;
  while (i < whole) {
    const uint8_t* m = mask + ((maskBit0 + i) >> 3);
    const int bytesLeft = (whole - i) / 8;
    if (*m == 0xFF || *m == 0x00) {
      const uint8_t value = *m;
      int run = 1;
      while (run < bytesLeft && m[run] == value) ++run;
      if (value) std::memcpy(dst + i * Bpp, src + i * Bpp, static_cast<size_t>(run) * 8 * Bpp);
      i += run * 8;
      continue;
    }
    for (int b = 0; b < 8; ++b)
      if (*m & (0x80u >> b)) std::memcpy(dst + (i + b) * Bpp, src + (i + b) * Bpp, Bpp);
    i += 8;
  }
  for (; i < count; ++i)
    if (DIBGetBit(mask, maskBit0 + i)) std::memcpy(dst + i * Bpp, src + i * Bpp, Bpp);
}

}  // namespace

uint32_t CDIBitmap::GetPixel(int y, int x) const {
  if (!pixels_ || x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
  const uint8_t* row = RowPointer(y);
  switch (bitCount_) {
    case 1:
      return static_cast<uint32_t>(DIBGetBit(row, x));
    case 8:
      return row[x];
    case 24: {
      const uint8_t* p = row + static_cast<size_t>(x) * 3;
      return (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
    }
    case 32: {
      const uint8_t* p = row + static_cast<size_t>(x) * 4;
      return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
    }
    default:
      return 0;
  }
}

void CDIBitmap::SetPixel(int y, int x, uint32_t value) {
  if (!pixels_ || x < 0 || y < 0 || x >= width_ || y >= height_) return;
  if (WritesMasked() && !DIBGetBit(MaskRowPointer(y), x)) return;
  uint8_t* row = RowPointer(y);
  switch (bitCount_) {
    case 1:
      DIBSetBit(row, x, value & 1);
      break;
    case 8:
      row[x] = static_cast<uint8_t>(value);
      break;
    case 24: {
      uint8_t* p = row + static_cast<size_t>(x) * 3;
      p[0] = static_cast<uint8_t>(value >> 16);
      p[1] = static_cast<uint8_t>(value >> 8);
      p[2] = static_cast<uint8_t>(value);
      break;
    }
    case 32: {
      uint8_t* p = row + static_cast<size_t>(x) * 4;
      p[0] = static_cast<uint8_t>(value >> 24);
      p[1] = static_cast<uint8_t>(value >> 16);
      p[2] = static_cast<uint8_t>(value >> 8);
      p[3] = static_cast<uint8_t>(value);
      break;
    }
    default:
      break;
  }
}

uint32_t CDIBitmap::GetPixelColor(int y, int x) const {
  if (!pixels_ || x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
  const uint8_t* row = RowPointer(y);
  auto fromTable = [this](int index) -> uint32_t {
    const uint8_t* e = colorTable_ + 4 * index;
    return e[2] | (uint32_t{e[1]} << 8) | (uint32_t{e[0]} << 16);
  };
  switch (bitCount_) {
    case 1:
      return fromTable(DIBGetBit(row, x));
    case 8:
      return fromTable(row[x]);
    case 24: {
      const uint8_t* p = row + static_cast<size_t>(x) * 3;
      return p[2] | (uint32_t{p[1]} << 8) | (uint32_t{p[0]} << 16);
    }
    case 32: {
      uint8_t red, green, blue;
      GL_CMYKToRGB(row + static_cast<size_t>(x) * 4, red, green, blue);
      return red | (uint32_t{green} << 8) | (uint32_t{blue} << 16);
    }
    default:
      return 0;
  }
}

void CDIBitmap::SetPixelColor(int y, int x, uint32_t color) {
  if (!pixels_ || x < 0 || y < 0 || x >= width_ || y >= height_) return;
  switch (bitCount_) {
    case 1:
    case 8:
      SetPixel(y, x, static_cast<uint32_t>(NearestIndex(color)));
      break;
    case 24:
      // The raw value of a 24-bit pixel is the colour value itself.
      SetPixel(y, x, color & 0xFFFFFF);
      break;
    default:
      break;
  }
}

uint8_t* CDIBitmap::GetPixelAddress(int y, int x) {
  if (!pixels_ || x < 0 || y < 0 || x >= width_ || y >= height_) return nullptr;
  return RowPointer(y) + (static_cast<int64_t>(x) * bitCount_) / 8;
}

// ---------------------------------------------------------------- rows

int CDIBitmap::GetRow(uint8_t* buffer, int y) const {
  if (!DIBValidBitCount(bitCount_)) {
    InvalidBitCount();
    return 0;
  }
  if (!pixels_ || y < 0 || y >= height_) return 0;
  std::memcpy(buffer, RowPointer(y), static_cast<size_t>(GetRowBytes()));
  return 1;
}

void CDIBitmap::PutRowMasked(const uint8_t* src, int y, int x, int count) {
  uint8_t* dst = RowPointer(y);
  const uint8_t* mask = MaskRowPointer(y);
  switch (bitCount_) {
    case 1:
      for (int i = 0; i < count; ++i)
        if (DIBGetBit(mask, x + i)) DIBSetBit(dst, x + i, DIBGetBit(src, i));
      break;
    case 8:
      MaskedCopy<1>(dst + x, src, mask, x, count);
      break;
    case 24:
      MaskedCopy<3>(dst + static_cast<size_t>(x) * 3, src, mask, x, count);
      break;
    case 32:
      MaskedCopy<4>(dst + static_cast<size_t>(x) * 4, src, mask, x, count);
      break;
    default:
      break;
  }
}

int CDIBitmap::PutRow(const uint8_t* buffer, int y) {
  if (!DIBValidBitCount(bitCount_)) {
    InvalidBitCount();
    return 0;
  }
  if (!pixels_ || y < 0 || y >= height_) return 0;
  if (!WritesMasked()) {
    std::memcpy(RowPointer(y), buffer, static_cast<size_t>(GetRowBytes()));
    return 1;
  }
  if (bitCount_ == 1) {
    // Whole bytes: keep the old bits where the mask is clear.
    uint8_t* dst = RowPointer(y);
    const uint8_t* mask = MaskRowPointer(y);
    const int bytes = GetRowBytes();
    for (int i = 0; i < bytes; ++i) dst[i] = static_cast<uint8_t>((dst[i] & ~mask[i]) | (buffer[i] & mask[i]));
    return 1;
  }
  PutRowMasked(buffer, y, 0, width_);
  return 1;
}

int CDIBitmap::GetRowRGB(uint8_t* buffer, int y) const {
  if (bitCount_ != 1 && bitCount_ != 8 && bitCount_ != 24) {
    InvalidBitCount();
    return 0;
  }
  if (!pixels_ || y < 0 || y >= height_) return 0;
  const uint8_t* row = RowPointer(y);
  if (bitCount_ == 24) {
    std::memcpy(buffer, row, static_cast<size_t>(width_) * 3);
    return 1;
  }
  const uint8_t* table = colorTable_;
  if (bitCount_ == 8) {
    for (int x = 0; x < width_; ++x) {
      const uint8_t* e = table + 4 * row[x];
      buffer[3 * x] = e[0];
      buffer[3 * x + 1] = e[1];
      buffer[3 * x + 2] = e[2];
    }
  } else {
    for (int x = 0; x < width_; ++x) {
      const uint8_t* e = table + 4 * DIBGetBit(row, x);
      buffer[3 * x] = e[0];
      buffer[3 * x + 1] = e[1];
      buffer[3 * x + 2] = e[2];
    }
  }
  return 1;
}

int CDIBitmap::GetRowBytes(uint8_t* buffer, int y) const {
  if (bitCount_ != 1 && bitCount_ != 8) {
    InvalidBitCount();
    return 0;
  }
  if (!pixels_ || y < 0 || y >= height_) return 0;
  const uint8_t* row = RowPointer(y);
  if (bitCount_ == 8) {
    std::memcpy(buffer, row, static_cast<size_t>(width_));
  } else {
    for (int x = 0; x < width_; ++x) buffer[x] = static_cast<uint8_t>(DIBGetBit(row, x));
  }
  return 1;
}

int CDIBitmap::GetRowReversed(uint8_t* buffer, int y) const {
  if (!DIBValidBitCount(bitCount_)) {
    InvalidBitCount();
    return 0;
  }
  if (!pixels_ || y < 0 || y >= height_) return 0;
  const uint8_t* row = RowPointer(y);
  const int w = width_;
  switch (bitCount_) {
    case 1:
      std::memset(buffer, 0, static_cast<size_t>(GetRowBytes()));
      for (int x = 0; x < w; ++x)
        if (DIBGetBit(row, w - 1 - x)) buffer[x >> 3] |= static_cast<uint8_t>(0x80u >> (x & 7));
      break;
    case 8:
      for (int x = 0; x < w; ++x) buffer[x] = row[w - 1 - x];
      break;
    case 24:
      for (int x = 0; x < w; ++x) std::memcpy(buffer + 3 * x, row + 3 * (w - 1 - x), 3);
      break;
    case 32:
      for (int x = 0; x < w; ++x) std::memcpy(buffer + 4 * x, row + 4 * (w - 1 - x), 4);
      break;
  }
  return 1;
}

int CDIBitmap::GetRowPart(uint8_t* buffer, int y, int x, int count) const {
  if (!DIBValidBitCount(bitCount_)) {
    InvalidBitCount();
    return 0;
  }
  if (!pixels_ || y < 0 || y >= height_ || count <= 0) return 0;
  // The count is cut at the right edge.
  if (int64_t{x} + count > width_) count = static_cast<int>(std::max<int64_t>(int64_t{width_} - x, 0));
  if (count <= 0) return 1;
  const uint8_t* row = RowPointer(y);
  // Pixels left of column 0 read as zero.
  const int lead = x < 0 ? std::min(-x, count) : 0;
  if (bitCount_ == 1) {
    std::memset(buffer, 0, static_cast<size_t>((count + 7) / 8));
    if (count > lead) DIBCopyBits(buffer, lead, row, x + lead, count - lead);
    return 1;
  }
  const int bpp = bitCount_ / 8;
  std::memset(buffer, 0, static_cast<size_t>(lead) * bpp);
  if (count > lead)
    std::memcpy(buffer + static_cast<size_t>(lead) * bpp, row + static_cast<size_t>(x + lead) * bpp,
                static_cast<size_t>(count - lead) * bpp);
  return 1;
}

int CDIBitmap::GetRowPartClamped(uint8_t* buffer, int y, int x, int count) const {
  if (!DIBValidBitCount(bitCount_)) {
    InvalidBitCount();
    return 0;
  }
  if (!pixels_ || count <= 0) return 0;
  y = std::clamp(y, 0, height_ - 1);
  const uint8_t* row = RowPointer(y);
  const int64_t end = int64_t{x} + count;
  const int lead = static_cast<int>(std::clamp<int64_t>(-int64_t{x}, 0, count));
  const int inside0 = std::max(x, 0);
  const int inside1 = static_cast<int>(std::min<int64_t>(end, width_));
  const int inside = std::max(inside1 - inside0, 0);
  const int trail = count - lead - inside;
  if (bitCount_ == 1) {
    // Pixels outside the row read as 0.
    std::memset(buffer, 0, static_cast<size_t>((count + 7) / 8));
    if (inside) DIBCopyBits(buffer, lead, row, inside0, inside);
    return 1;
  }
  const int bpp = bitCount_ / 8;
  const uint8_t* first = row;
  const uint8_t* last = row + static_cast<size_t>(width_ - 1) * bpp;
  uint8_t* out = buffer;
  for (int i = 0; i < lead; ++i, out += bpp) std::memcpy(out, first, static_cast<size_t>(bpp));
  if (inside) {
    std::memcpy(out, row + static_cast<size_t>(inside0) * bpp, static_cast<size_t>(inside) * bpp);
    out += static_cast<size_t>(inside) * bpp;
  }
  for (int i = 0; i < trail; ++i, out += bpp) std::memcpy(out, last, static_cast<size_t>(bpp));
  return 1;
}

int CDIBitmap::PutRowPart(const uint8_t* buffer, int y, int x, int count) {
  if (!DIBValidBitCount(bitCount_)) {
    InvalidBitCount();
    return 0;
  }
  if (!pixels_ || y < 0 || y >= height_ || count <= 0) return 0;
  // Skip the pixels outside the row.
  const int skip = x < 0 ? static_cast<int>(std::min<int64_t>(-int64_t{x}, count)) : 0;
  const int x0 = x + skip;
  const int x1 = static_cast<int>(std::min<int64_t>(int64_t{x} + count, width_));
  if (x0 >= x1) return 1;
  const int n = x1 - x0;
  if (WritesMasked()) {
    if (bitCount_ == 1) {
      const uint8_t* mask = MaskRowPointer(y);
      uint8_t* dst = RowPointer(y);
      for (int i = 0; i < n; ++i)
        if (DIBGetBit(mask, x0 + i)) DIBSetBit(dst, x0 + i, DIBGetBit(buffer, skip + i));
    } else {
      PutRowMasked(buffer + static_cast<size_t>(skip) * (bitCount_ / 8), y, x0, n);
    }
    return 1;
  }
  uint8_t* dst = RowPointer(y);
  if (bitCount_ == 1) {
    DIBCopyBits(dst, x0, buffer, skip, n);
  } else {
    const int bpp = bitCount_ / 8;
    std::memcpy(dst + static_cast<size_t>(x0) * bpp, buffer + static_cast<size_t>(skip) * bpp,
                static_cast<size_t>(n) * bpp);
  }
  return 1;
}

int CDIBitmap::GetColumn(uint8_t* buffer, int x) const {
  if (!DIBValidBitCount(bitCount_)) {
    InvalidBitCount();
    return 0;
  }
  if (!pixels_ || x < 0 || x >= width_) return 0;
  if (bitCount_ == 1) {
    std::memset(buffer, 0, static_cast<size_t>((height_ + 7) / 8));
    for (int y = 0; y < height_; ++y)
      if (DIBGetBit(RowPointer(y), x)) buffer[y >> 3] |= static_cast<uint8_t>(0x80u >> (y & 7));
    return 1;
  }
  const int bpp = bitCount_ / 8;
  for (int y = 0; y < height_; ++y)
    std::memcpy(buffer + static_cast<size_t>(y) * bpp, RowPointer(y) + static_cast<size_t>(x) * bpp,
                static_cast<size_t>(bpp));
  return 1;
}

int CDIBitmap::PutColumn(const uint8_t* buffer, int x) {
  if (!DIBValidBitCount(bitCount_)) {
    InvalidBitCount();
    return 0;
  }
  if (!pixels_ || x < 0 || x >= width_) return 0;
  const bool masked = WritesMasked();
  const int bpp = bitCount_ / 8;
  for (int y = 0; y < height_; ++y) {
    if (masked && !DIBGetBit(MaskRowPointer(y), x)) continue;
    if (bitCount_ == 1)
      DIBSetBit(RowPointer(y), x, DIBGetBit(buffer, y));
    else
      std::memcpy(RowPointer(y) + static_cast<size_t>(x) * bpp, buffer + static_cast<size_t>(y) * bpp,
                  static_cast<size_t>(bpp));
  }
  return 1;
}

int CDIBitmap::ReplicateRow(int firstRow, int sourceRow, int count) {
  if (!pixels_ || sourceRow < 0 || sourceRow >= height_) return 0;
  std::vector<uint8_t> row(static_cast<size_t>(stride_));
  std::memcpy(row.data(), RowPointer(sourceRow), row.size());
  for (int64_t r = std::max(firstRow, 0); r < std::min<int64_t>(int64_t{firstRow} + count, height_); ++r)
    PutRow(row.data(), static_cast<int>(r));
  return 1;
}

