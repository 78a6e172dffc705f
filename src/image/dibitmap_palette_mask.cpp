// CDIBitmap colour table and selection mask.
#include "image/dibitmap.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "image/dibitmap_bits.h"
#include "platform/messages.h"
#include "platform/palette.h"

namespace {

// Nearest entry of a 4-byte (blue, green, red, 0) colour table: least sum of
// squared differences, lowest index on ties.
int NearestTableIndex(const uint8_t* table, int entries, uint32_t color) {
  const int red = static_cast<int>(color & 0xFF);
  const int green = static_cast<int>((color >> 8) & 0xFF);
  const int blue = static_cast<int>((color >> 16) & 0xFF);
  int best = 0;
  int bestDistance = std::numeric_limits<int>::max();
  for (int i = 0; i < entries; ++i) {
    const uint8_t* e = table + i * 4;
    const int db = e[0] - blue;
    const int dg = e[1] - green;
    const int dr = e[2] - red;
    const int distance = dr * dr + dg * dg + db * db;
    if (distance < bestDistance) {
      bestDistance = distance;
      best = i;
      if (distance == 0) break;
    }
  }
  return best;
}

}  // namespace

// ---------------------------------------------------------------- colour table

int CDIBitmap::GetPaletteSize() const { return bitCount_ == 1 ? 2 : bitCount_ == 8 ? 256 : 0; }

int CDIBitmap::SetColorTable(const uint8_t* entries, int count) {
  if (count < 1) return 0;
  const int n = std::min(count, colorTable_ ? GetPaletteSize() : 0);
  if (n > 0) std::memcpy(colorTable_, entries, static_cast<size_t>(n) * 4);
  return count;
}

int CDIBitmap::GetColorTable(uint8_t* entries, int count) const {
  if (count < 1) return 0;
  const int n = std::min(count, colorTable_ ? GetPaletteSize() : 0);
  if (n > 0) std::memcpy(entries, colorTable_, static_cast<size_t>(n) * 4);
  if (n < count) std::memset(entries + static_cast<size_t>(n) * 4, 0, static_cast<size_t>(count - n) * 4);
  return count;
}

platform::Palette CDIBitmap::CreateLogPalette() const {
  const int entries = GetPaletteSize();
  if (!entries || !colorTable_) return {};
  return platform::Palette::FromColorTable({colorTable_, static_cast<size_t>(entries) * 4}, entries);
}

int CDIBitmap::GetGrayRampType() const {
  if (!colorTable_ || GetPaletteSize() != 256) return 0;
  bool ramp = true;
  bool reversed = true;
  for (int i = 0; i < 256; ++i) {
    const uint8_t* e = colorTable_ + 4 * i;
    const int r = 255 - i;
    ramp = ramp && e[0] == i && e[1] == i && e[2] == i;
    reversed = reversed && e[0] == r && e[1] == r && e[2] == r;
  }
  return ramp ? 1 : reversed ? 2 : 0;
}

int CDIBitmap::NearestIndex(uint32_t color) const {
  const int entries = GetPaletteSize();
  if (!entries || !colorTable_) return 0;
  return NearestTableIndex(colorTable_, entries, color);
}

// ---------------------------------------------------------------- mask

void CDIBitmap::BuildMaskFromRegion() {
  const int mstride = MaskStride();
  maskBits_ = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(mstride), static_cast<size_t>(height_)));
  if (!maskBits_) return;
  for (const platform::Rect& r : region_.Rects()) {
    const int left = std::max(r.left, 0);
    const int right = std::min(r.right, width_);
    const int top = std::max(r.top, 0);
    const int bottom = std::min(r.bottom, height_);
    if (left >= right || top >= bottom) continue;
    for (int y = top; y < bottom; ++y) {
      uint8_t* row = maskBits_ + static_cast<size_t>(height_ - 1 - y) * mstride;
      const int firstByte = left >> 3;
      const int lastByte = (right - 1) >> 3;
      const auto head = static_cast<uint8_t>(0xFFu >> (left & 7));
      const auto tail = static_cast<uint8_t>(0xFFu << (7 - ((right - 1) & 7)));
      if (firstByte == lastByte) {
        row[firstByte] |= static_cast<uint8_t>(head & tail);
      } else {
        row[firstByte] |= head;
        std::memset(row + firstByte + 1, 0xFF, static_cast<size_t>(lastByte - firstByte - 1));
        row[lastByte] |= tail;
      }
    }
  }
}

void CDIBitmap::SetMaskRgn(const platform::Region* region) {
  ClearMask();
  region_ = region && region->IsValid() ? *region : platform::Region::Empty();
  flags_ |= BF_HAS_REGION;
  if (pixels_) {
    BuildMaskFromRegion();
    if (maskBits_) flags_ |= BF_HAS_MASK;
  }
  maskEnabled_ = 1;
}

void CDIBitmap::GetMaskRgn(platform::Region& out) const {
  if ((flags_ & BF_HAS_REGION) && region_.IsValid()) {
    out = region_;
    return;
  }
  if (maskBits_) {
    std::vector<platform::Rect> rects;
    for (int y = 0; y < height_; ++y) {
      const uint8_t* row = MaskRowPointer(y);
      int x = 0;
      while (x < width_) {
        while (x < width_ && !DIBGetBit(row, x)) ++x;
        const int start = x;
        while (x < width_ && DIBGetBit(row, x)) ++x;
        if (x > start) rects.push_back({start, y, x, y + 1});
      }
    }
    out = platform::Region::FromRects(rects);
    return;
  }
  out = platform::Region::FromRect(0, 0, width_, height_);
}

void CDIBitmap::ClearMask() {
  region_.Reset();
  std::free(maskBits_);
  maskBits_ = nullptr;
  flags_ &= ~(BF_HAS_REGION | BF_HAS_MASK);
}

int64_t CDIBitmap::GetBitmapMaskArea() const {
  if (!(flags_ & BF_HAS_REGION)) return int64_t{width_} * height_;
  if (!region_.IsValid()) {
    platform::ShowMessage("CDIBitmap::GetBitmapMaskArea : Invalid Mask handle");
    return 0;
  }
  return region_.Area();
}

int CDIBitmap::MakeMaskBitmap(CDIBitmap& target) const {
  if (!target.Create(width_, height_, 1, 1)) return 0;
  const int bytes = target.GetRowBytes();
  for (int y = 0; y < height_; ++y) {
    uint8_t* dst = target.RowPointer(y);
    if (maskBits_)
      std::memcpy(dst, MaskRowPointer(y), static_cast<size_t>(bytes));
    else
      std::memset(dst, 0xFF, static_cast<size_t>(bytes));
  }
  return 1;
}

bool CDIBitmap::MaskBit(int y, int x) const {
  if (!maskBits_ || x < 0 || y < 0 || x >= width_ || y >= height_) return false;
  return DIBGetBit(MaskRowPointer(y), x) != 0;
}

