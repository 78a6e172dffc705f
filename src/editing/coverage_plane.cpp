// The coverage plane, kept in 64 x 64 cells.
#include "editing/coverage_plane.h"

#include <algorithm>
#include <cstring>

namespace {

uint64_t Key(int cx, int cy) { return static_cast<uint64_t>(static_cast<uint32_t>(cy)) << 32 | static_cast<uint32_t>(cx); }

// Saturating byte add of `count` bytes: out = min(255, out + in).
void AddBytes(uint8_t* out, const uint8_t* in, int count) {
  for (int i = 0; i < count; ++i) {
    const unsigned sum = unsigned{out[i]} + in[i];
    out[i] = static_cast<uint8_t>(sum > 255 ? 255 : sum);
  }
}

}  // namespace

void CoveragePlane::Reset(int imageWidth, int imageHeight) {
  width_ = std::max(imageWidth, 0);
  height_ = std::max(imageHeight, 0);
  cells_.clear();
}

CDIBitmap& CoveragePlane::MakeCell(int cx, int cy) {
  std::unique_ptr<CDIBitmap>& cell = cells_[Key(cx, cy)];
  if (!cell) {
    cell = std::make_unique<CDIBitmap>();
    cell->Create(kCell, kCell, 8, 1);  // zeroed 8-bit gray
  }
  return *cell;
}

const CDIBitmap* CoveragePlane::FindCell(int cx, int cy) const {
  const auto it = cells_.find(Key(cx, cy));
  return it == cells_.end() ? nullptr : it->second.get();
}

std::vector<std::pair<int, int>> CoveragePlane::TouchedCells() const {
  std::vector<std::pair<int, int>> out;
  out.reserve(cells_.size());
  for (const auto& [key, cell] : cells_)
    out.emplace_back(static_cast<int>(static_cast<uint32_t>(key)), static_cast<int>(key >> 32));
  return out;
}

platform::Rect CoveragePlane::CellRect(int cx, int cy) const {
  return {cx * kCell, cy * kCell, std::min((cx + 1) * kCell, width_), std::min((cy + 1) * kCell, height_)};
}

platform::Rect CoveragePlane::Add(const CDIBitmap& dab, int x, int y) {
  const int64_t left = std::max<int64_t>(x, 0), top = std::max<int64_t>(y, 0);
  const int64_t right = std::min<int64_t>(int64_t{x} + dab.GetWidth(), width_);
  const int64_t bottom = std::min<int64_t>(int64_t{y} + dab.GetHeight(), height_);
  if (left >= right || top >= bottom || dab.GetBitCount() != 8) return {};
  for (int64_t cy = top / kCell; cy <= (bottom - 1) / kCell; ++cy)
    for (int64_t cx = left / kCell; cx <= (right - 1) / kCell; ++cx) {
      CDIBitmap& cell = MakeCell(static_cast<int>(cx), static_cast<int>(cy));
      const int64_t l = std::max(left, cx * kCell), r = std::min(right, (cx + 1) * kCell);
      const int64_t t = std::max(top, cy * kCell), b = std::min(bottom, (cy + 1) * kCell);
      for (int64_t row = t; row < b; ++row)
        AddBytes(cell.RowPointer(static_cast<int>(row - cy * kCell)) + (l - cx * kCell),
                 dab.RowPointer(static_cast<int>(row - y)) + (l - x), static_cast<int>(r - l));
    }
  return {static_cast<int32_t>(left), static_cast<int32_t>(top), static_cast<int32_t>(right),
          static_cast<int32_t>(bottom)};
}

void CoveragePlane::Fill(const platform::Region& region) {
  const platform::Region inside = region.Intersect(platform::Region::FromRect(0, 0, width_, height_));
  for (const platform::Rect& r : inside.Rects())
    for (int cy = r.top / kCell; cy <= (r.bottom - 1) / kCell; ++cy)
      for (int cx = r.left / kCell; cx <= (r.right - 1) / kCell; ++cx) {
        CDIBitmap& cell = MakeCell(cx, cy);
        const int l = std::max(r.left, cx * kCell), rr = std::min(r.right, (cx + 1) * kCell);
        const int t = std::max(r.top, cy * kCell), b = std::min(r.bottom, (cy + 1) * kCell);
        for (int row = t; row < b; ++row)
          std::memset(cell.RowPointer(row - cy * kCell) + (l - cx * kCell), 255, static_cast<size_t>(rr - l));
      }
}

bool CoveragePlane::CopyRect(const platform::Rect& rect, CDIBitmap& out) const {
  if (rect.IsEmpty() || !out.Create(rect.Width(), rect.Height(), 8, 1)) return false;
  const int64_t left = std::max<int64_t>(rect.left, 0), top = std::max<int64_t>(rect.top, 0);
  const int64_t right = std::min<int64_t>(rect.right, width_), bottom = std::min<int64_t>(rect.bottom, height_);
  for (int64_t cy = top / kCell; top < bottom && cy <= (bottom - 1) / kCell; ++cy)
    for (int64_t cx = left / kCell; left < right && cx <= (right - 1) / kCell; ++cx) {
      const CDIBitmap* cell = FindCell(static_cast<int>(cx), static_cast<int>(cy));
      if (!cell) continue;
      const int64_t l = std::max(left, cx * kCell), r = std::min(right, (cx + 1) * kCell);
      const int64_t t = std::max(top, cy * kCell), b = std::min(bottom, (cy + 1) * kCell);
      for (int64_t row = t; row < b; ++row)
        std::memcpy(out.RowPointer(static_cast<int>(row - rect.top)) + (l - rect.left),
                    cell->RowPointer(static_cast<int>(row - cy * kCell)) + (l - cx * kCell),
                    static_cast<size_t>(r - l));
    }
  return true;
}

platform::Region CoveragePlane::RegionIn(const platform::Rect& rect) const {
  std::vector<platform::Rect> spans;
  const int64_t left = std::max<int64_t>(rect.left, 0), top = std::max<int64_t>(rect.top, 0);
  const int64_t right = std::min<int64_t>(rect.right, width_), bottom = std::min<int64_t>(rect.bottom, height_);
  for (const auto& [key, cell] : cells_) {
    const int cx = static_cast<int>(static_cast<uint32_t>(key)), cy = static_cast<int>(key >> 32);
    const int64_t l = std::max<int64_t>(left, int64_t{cx} * kCell), r = std::min<int64_t>(right, int64_t{cx + 1} * kCell);
    const int64_t t = std::max<int64_t>(top, int64_t{cy} * kCell), b = std::min<int64_t>(bottom, int64_t{cy + 1} * kCell);
    for (int64_t y = t; y < b; ++y) {
      const uint8_t* row = cell->RowPointer(static_cast<int>(y - int64_t{cy} * kCell));
      for (int64_t x = l; x < r;) {
        if (!row[x - int64_t{cx} * kCell]) {
          ++x;
          continue;
        }
        const int64_t start = x;
        while (x < r && row[x - int64_t{cx} * kCell]) ++x;
        spans.push_back({static_cast<int32_t>(start), static_cast<int32_t>(y), static_cast<int32_t>(x),
                         static_cast<int32_t>(y + 1)});
      }
    }
  }
  return platform::Region::FromRects(spans);
}

uint64_t CoveragePlane::Total() const {
  uint64_t total = 0;
  for (const auto& [key, cell] : cells_)
    for (int y = 0; y < kCell; ++y) {
      const uint8_t* row = cell->RowPointer(y);
      for (int x = 0; x < kCell; ++x) total += row[x];
    }
  return total;
}
