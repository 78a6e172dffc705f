#include "imaging/fill.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "image/color_convert.h"
#include "image/dibitmap.h"
#include "platform/messages.h"

int FillTolerance = 0;

namespace {

inline int GetBit(const uint8_t* row, int x) { return (row[x >> 3] >> (7 - (x & 7))) & 1; }
inline void SetBit(uint8_t* row, int x) { row[x >> 3] = static_cast<uint8_t>(row[x >> 3] | (0x80u >> (x & 7))); }

int Tolerance() { return std::clamp(FillTolerance, 0, 255); }

// ------------------------------------------------------------ match rows

enum class FillKind { RGB, Gray, Index };

// Writes 1 for every matching pixel of source row y, 0 otherwise.
class Matcher {
 public:
  Matcher(const CDIBitmap& source, FillKind kind, uint32_t seed) : source_(source), kind_(kind) {
    const int tolerance = Tolerance();
    if (kind == FillKind::RGB) {
      red_ = static_cast<int>(seed & 0xFF);
      green_ = static_cast<int>((seed >> 8) & 0xFF);
      blue_ = static_cast<int>((seed >> 16) & 0xFF);
      tolerance_ = tolerance;
      if (source.GetBitCount() == 32) converted_.resize(static_cast<size_t>(source.GetWidth()) * 3);
    } else if (kind == FillKind::Gray) {
      for (int v = 0; v < 256; ++v) lut_[v] = std::abs(v - static_cast<int>(seed & 0xFF)) <= tolerance ? 1 : 0;
    } else {
      seedIndex_ = seed;
    }
  }

  void Row(int y, uint8_t* out) {
    const int width = source_.GetWidth();
    const uint8_t* row = source_.RowPointer(y);
    switch (kind_) {
      case FillKind::RGB: {
        const uint8_t* bgr = row;
        if (source_.GetBitCount() == 32) {
          GL_CMYKRowToRGB(row, converted_.data(), width);
          bgr = converted_.data();
        }
        for (int x = 0; x < width; ++x) {
          const int d = std::max({std::abs(bgr[3 * x] - blue_), std::abs(bgr[3 * x + 1] - green_),
                                  std::abs(bgr[3 * x + 2] - red_)});
          out[x] = d <= tolerance_ ? 1 : 0;
        }
        break;
      }
      case FillKind::Gray:
        for (int x = 0; x < width; ++x) out[x] = lut_[row[x]];
        break;
      case FillKind::Index:
        if (source_.GetBitCount() == 1) {
          for (int x = 0; x < width; ++x) out[x] = static_cast<uint32_t>(GetBit(row, x)) == seedIndex_ ? 1 : 0;
        } else {
          for (int x = 0; x < width; ++x) out[x] = row[x] == seedIndex_ ? 1 : 0;
        }
        break;
    }
  }

 private:
  const CDIBitmap& source_;
  FillKind kind_;
  int red_ = 0, green_ = 0, blue_ = 0, tolerance_ = 0;
  uint8_t lut_[256] = {};
  uint32_t seedIndex_ = 0;
  std::vector<uint8_t> converted_;
};

// ------------------------------------------------------------ the fill

// Per source pixel: kFree (may be taken), kBlocked, kTaken. Rows are
// evaluated when the fill first looks at them.
constexpr uint8_t kBlocked = 0;
constexpr uint8_t kFree = 1;
constexpr uint8_t kTaken = 2;

class FloodFill {
 public:
  FloodFill(const CDIBitmap& source, int ox, int oy, CDIBitmap& mask, FillKind kind, uint32_t seed)
      : mask_(mask),
        ox_(ox),
        oy_(oy),
        width_(source.GetWidth()),
        height_(source.GetHeight()),
        matcher_(source, kind, seed),
        state_(new uint8_t[static_cast<size_t>(width_) * static_cast<size_t>(height_)]),
        ready_(static_cast<size_t>(height_), 0),
        inside_(static_cast<size_t>(width_)) {
    if (mask.GetFlags() & BF_HAS_REGION) {
      platform::Region region;
      mask.GetMaskRgn(region);
      regionRects_ = region.Rects();
      hasRegion_ = true;
    }
  }

  platform::Rect Run(int x, int y) {
    const int sx = x - ox_, sy = y - oy_;
    if (sx < 0 || sy < 0 || sx >= width_ || sy >= height_) return {};
    std::vector<std::pair<int, int>> stack;
    stack.emplace_back(sx, sy);
    while (!stack.empty()) {
      const auto [px, py] = stack.back();
      stack.pop_back();
      uint8_t* row = StateRow(py);
      if (row[px] != kFree) continue;
      int left = px, right = px;
      while (left > 0 && row[left - 1] == kFree) --left;
      while (right + 1 < width_ && row[right + 1] == kFree) ++right;
      std::memset(row + left, kTaken, static_cast<size_t>(right - left + 1));
      Mark(py, left, right);
      minX_ = std::min(minX_, left);
      maxX_ = std::max(maxX_, right);
      minY_ = std::min(minY_, py);
      maxY_ = std::max(maxY_, py);
      for (int ny : {py - 1, py + 1}) {
        if (ny < 0 || ny >= height_) continue;
        const uint8_t* next = StateRow(ny);
        for (int i = left; i <= right; ++i)
          if (next[i] == kFree && (i == left || next[i - 1] != kFree)) stack.emplace_back(i, ny);
      }
    }
    if (maxX_ < 0) return {};
    return {minX_ + ox_, minY_ + oy_, maxX_ + ox_ + 1, maxY_ + oy_ + 1};
  }

 private:
  // The state row of source row y, evaluated on first use: a pixel is free
  // when it matches, its document position lies in the mask bitmap (and in
  // the mask's selection region, when it has one) and is not marked yet.
  uint8_t* StateRow(int y) {
    uint8_t* row = state_.get() + static_cast<size_t>(y) * static_cast<size_t>(width_);
    if (ready_[static_cast<size_t>(y)]) return row;
    ready_[static_cast<size_t>(y)] = 1;
    const int docY = y + oy_;
    if (docY < 0 || docY >= mask_.GetHeight()) {
      std::memset(row, kBlocked, static_cast<size_t>(width_));
      return row;
    }
    matcher_.Row(y, row);
    // Columns whose document position lies outside the mask.
    const int firstInside = std::clamp(-ox_, 0, width_);
    const int endInside = std::clamp(mask_.GetWidth() - ox_, firstInside, width_);
    std::memset(row, kBlocked, static_cast<size_t>(firstInside));
    std::memset(row + endInside, kBlocked, static_cast<size_t>(width_ - endInside));
    // Already marked.
    const int bits = mask_.GetBitCount();
    const uint8_t* maskRow = mask_.RowPointer(docY);
    for (int x = firstInside; x < endInside; ++x) {
      const int docX = x + ox_;
      const bool marked = bits == 8   ? maskRow[docX] != 0
                          : bits == 1 ? GetBit(maskRow, docX) != 0
                                      : mask_.GetPixel(docY, docX) != 0;
      if (marked) row[x] = kBlocked;
    }
    if (hasRegion_) {
      std::fill(inside_.begin(), inside_.end(), 0);
      // Rectangles come in bands of increasing y: find the band holding docY.
      auto it = std::partition_point(regionRects_.begin(), regionRects_.end(),
                                     [docY](const platform::Rect& r) { return r.bottom <= docY; });
      for (; it != regionRects_.end() && it->top <= docY; ++it) {
        const int from = std::clamp(it->left - ox_, 0, width_);
        const int to = std::clamp(it->right - ox_, 0, width_);
        if (to > from) std::memset(inside_.data() + from, 1, static_cast<size_t>(to - from));
      }
      for (int x = 0; x < width_; ++x)
        if (!inside_[static_cast<size_t>(x)]) row[x] = kBlocked;
    }
    return row;
  }

  // Marks source columns left..right of source row y with 1 in the mask.
  void Mark(int y, int left, int right) {
    const int docY = y + oy_;
    const int bits = mask_.GetBitCount();
    if (mask_.WritesMasked() || (bits != 8 && bits != 1)) {
      for (int x = left; x <= right; ++x) mask_.SetPixel(docY, x + ox_, 1);
      return;
    }
    uint8_t* row = mask_.RowPointer(docY);
    if (bits == 8) {
      std::memset(row + left + ox_, 1, static_cast<size_t>(right - left + 1));
    } else {
      for (int x = left; x <= right; ++x) SetBit(row, x + ox_);
    }
  }

  CDIBitmap& mask_;
  int ox_, oy_, width_, height_;
  Matcher matcher_;
  std::unique_ptr<uint8_t[]> state_;
  std::vector<uint8_t> ready_;
  std::vector<uint8_t> inside_;
  std::vector<platform::Rect> regionRects_;
  bool hasRegion_ = false;
  int minX_ = 1 << 30, minY_ = 1 << 30, maxX_ = -1, maxY_ = -1;
};

int RunFill(const CDIBitmap& source, int ox, int oy, CDIBitmap& mask, int x, int y, uint32_t seed,
            platform::Rect& bounds, FillKind kind) {
  bounds = {};
  if (!mask.IsAllocated() || source.GetWidth() <= 0 || source.GetHeight() <= 0) return 1;
  mask.Lock();
  FloodFill fill(source, ox, oy, mask, kind, seed);
  bounds = fill.Run(x, y);
  mask.Unlock();
  return 1;
}

// ------------------------------------------------------------ rectangles

// Fills the clipped rectangle with one pixel (`pixel` holds its bytes; at
// 1 bit pixel[0] is 0 or 1) through the bitmap's mask.
void FillPixelRect(CDIBitmap& bitmap, const platform::Rect& rect, const uint8_t* pixel) {
  const int x0 = std::max(rect.left, 0);
  const int y0 = std::max(rect.top, 0);
  const int x1 = std::min(rect.right, bitmap.GetWidth());
  const int y1 = std::min(rect.bottom, bitmap.GetHeight());
  if (x1 <= x0 || y1 <= y0) return;
  const int count = x1 - x0;
  const int bits = bitmap.GetBitCount();
  std::vector<uint8_t> row;
  if (bits == 1) {
    row.assign(static_cast<size_t>(count + 7) / 8, pixel[0] ? 0xFF : 0x00);
  } else {
    const int bytes = bits / 8;
    row.resize(static_cast<size_t>(count) * static_cast<size_t>(bytes));
    for (int i = 0; i < count; ++i) std::memcpy(&row[static_cast<size_t>(i) * static_cast<size_t>(bytes)], pixel, static_cast<size_t>(bytes));
  }
  for (int y = y0; y < y1; ++y) bitmap.PutRowPart(row.data(), y, x0, count);
}

// The pixel bytes `value` stands for (see GL_FillRect); false for a bit count
// without pixels of that kind.
bool PixelBytes(const CDIBitmap& bitmap, uint32_t value, uint8_t pixel[4]) {
  switch (bitmap.GetBitCount()) {
    case 1:
      pixel[0] = value ? 1 : 0;
      return true;
    case 8:
      pixel[0] = static_cast<uint8_t>(value);
      return true;
    case 24:
      pixel[0] = static_cast<uint8_t>(value >> 16);
      pixel[1] = static_cast<uint8_t>(value >> 8);
      pixel[2] = static_cast<uint8_t>(value);
      return true;
    case 32:
      GL_RGBToCMYK(static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value >> 16),
                   pixel);
      return true;
    default:
      return false;
  }
}

}  // namespace

int OrderedFillMaskRGB(const CDIBitmap& source, int ox, int oy, CDIBitmap& mask, int x, int y, uint32_t seed,
                       platform::Rect& bounds) {
  if (!source.IsAllocated() || (source.GetBitCount() != 24 && source.GetBitCount() != 32)) {
    platform::ShowMessage("OrderedFillMaskRGB: pdbmSrc Should be a 24bit image");
    return 0;
  }
  return RunFill(source, ox, oy, mask, x, y, seed, bounds, FillKind::RGB);
}

int OrderedFillMaskGray(const CDIBitmap& source, int ox, int oy, CDIBitmap& mask, int x, int y, uint32_t seed,
                        platform::Rect& bounds) {
  if (!source.IsAllocated() || source.GetBitCount() != 8 || !source.IsGray()) {
    platform::ShowMessage("OrderedFillMaskGray: pdbmSrc Should be a 8bit Gray image");
    return 0;
  }
  return RunFill(source, ox, oy, mask, x, y, seed, bounds, FillKind::Gray);
}

int OrderedFillMaskIndex(const CDIBitmap& source, int ox, int oy, CDIBitmap& mask, int x, int y, uint32_t seed,
                         platform::Rect& bounds) {
  const int bits = source.GetBitCount();
  if (!source.IsAllocated() || !(bits == 1 || (bits == 8 && !source.IsGray()))) {
    platform::ShowMessage("OrderedFillMaskIndex: pdbmSrc Should be a indexed palette image");
    return 0;
  }
  return RunFill(source, ox, oy, mask, x, y, seed, bounds, FillKind::Index);
}

int GL_GetRgnFromBitmap(const CDIBitmap& mask, platform::Region& region, const platform::Rect* rect) {
  region.Reset();
  const int bits = mask.GetBitCount();
  if (!mask.IsAllocated() || (bits != 1 && bits != 8)) {
    platform::ShowMessage("GL_GetRgnFromBitmap :: pdbmDst should  be a 1bit, 8bit image");
    return 0;
  }
  platform::Rect area = rect ? *rect : platform::Rect{0, 0, mask.GetWidth(), mask.GetHeight()};
  area.left = std::max(area.left, 0);
  area.top = std::max(area.top, 0);
  area.right = std::min(area.right, mask.GetWidth());
  area.bottom = std::min(area.bottom, mask.GetHeight());
  if (area.IsEmpty()) {
    region = platform::Region::Empty();
    return 1;
  }
  // Runs of selected pixels per row; a row whose runs equal the previous
  // row's extends that row's rectangles downwards.
  std::vector<platform::Rect> rects;
  std::vector<std::pair<int, int>> runs, previous;
  size_t previousFirst = 0;
  for (int y = area.top; y < area.bottom; ++y) {
    runs.clear();
    const uint8_t* row = mask.RowPointer(y);
    int x = area.left;
    if (bits == 8) {
      while (x < area.right) {
        while (x < area.right && !row[x]) ++x;
        const int start = x;
        while (x < area.right && row[x]) ++x;
        if (x > start) runs.emplace_back(start, x);
      }
    } else {
      while (x < area.right) {
        // Whole zero bytes are skipped at once.
        while (x < area.right && !GetBit(row, x)) x = ((x & 7) == 0 && !row[x >> 3]) ? x + 8 : x + 1;
        x = std::min(x, area.right);
        const int start = x;
        while (x < area.right && GetBit(row, x)) x = ((x & 7) == 0 && row[x >> 3] == 0xFF) ? x + 8 : x + 1;
        x = std::min(x, area.right);
        if (x > start) runs.emplace_back(start, x);
      }
    }
    if (!runs.empty() && runs == previous) {
      for (size_t i = 0; i < runs.size(); ++i) rects[previousFirst + i].bottom = y + 1;
    } else {
      previousFirst = rects.size();
      for (const auto& [start, end] : runs) rects.push_back({start, y, end, y + 1});
    }
    previous.swap(runs);
  }
  region = platform::Region::FromRects(rects);
  return 1;
}

int GL_CreateMaskFromRgn(CDIBitmap& target, int width, int height, const platform::Region& region) {
  if (!target.Create(width, height, 8, 1)) return 0;
  GL_FillRgn(target, region, 0xFFFFFF);
  return 1;
}

int GL_FillRgn(CDIBitmap& bitmap, const platform::Region& region, uint32_t color) {
  if (!region.IsValid() || !bitmap.IsAllocated()) return 0;
  const uint32_t value = bitmap.GetBitCount() <= 8 ? static_cast<uint32_t>(bitmap.NearestIndex(color)) : color;
  uint8_t pixel[4];
  if (!PixelBytes(bitmap, value, pixel)) return 0;
  for (const platform::Rect& rect : region.Rects()) FillPixelRect(bitmap, rect, pixel);
  return 1;
}

int GL_FillRect(CDIBitmap& bitmap, const platform::Rect& rect, uint32_t value) {
  if (!bitmap.IsAllocated()) return 0;
  uint8_t pixel[4];
  if (!PixelBytes(bitmap, value, pixel)) return 0;
  FillPixelRect(bitmap, rect, pixel);
  return 1;
}
