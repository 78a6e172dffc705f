// Pixels shown in place of the image's or the floater's own.
#include "editing/display_patches.h"

#include <algorithm>
#include <cstring>

void DisplayPatches::Set(const platform::Rect& rect, std::unique_ptr<CDIBitmap> pixels) {
  if (rect.IsEmpty() || !pixels) return;
  auto& row = rows_[rect.top];
  auto [it, inserted] = row.insert_or_assign(rect.left, Patch{rect, std::move(pixels)});
  (void)it;
  if (inserted) ++count_;
  maxHeight_ = std::max(maxHeight_, rect.Height());
}

void DisplayPatches::Remove(const platform::Rect& rect) {
  auto row = rows_.find(rect.top);
  if (row == rows_.end()) return;
  count_ -= row->second.erase(rect.left);
  if (row->second.empty()) rows_.erase(row);
}

void DisplayPatches::Clear() {
  rows_.clear();
  maxHeight_ = 0;
  count_ = 0;
}

platform::Rect DisplayPatches::Bounds() const {
  std::vector<platform::Rect> rects;
  for (const auto& [top, row] : rows_)
    for (const auto& [left, patch] : row) rects.push_back(patch.rect);
  return platform::Region::FromRects(rects).Box();
}

bool DisplayPatches::CoversRow(int y) const {
  for (auto it = rows_.lower_bound(y - maxHeight_ + 1); it != rows_.end() && it->first <= y; ++it)
    for (const auto& [left, patch] : it->second)
      if (y < patch.rect.bottom) return true;
  return false;
}

void DisplayPatches::RowPatches(int y, std::vector<const Patch*>& out) const {
  out.clear();
  for (auto it = rows_.lower_bound(y - maxHeight_ + 1); it != rows_.end() && it->first <= y; ++it)
    for (const auto& [left, patch] : it->second)
      if (y < patch.rect.bottom) out.push_back(&patch);
}

void DisplayPatches::PatchedRow(const CDIBitmap& bitmap, int y, int x0, int x1, uint8_t* row) const {
  const int bits = bitmap.GetBitCount();
  // Byte offsets of a column range (1-bit ranges widen to whole bytes).
  const auto first = [bits](int x) { return static_cast<size_t>(int64_t{x} * bits / 8); };
  const auto end = [bits](int x) { return static_cast<size_t>((int64_t{x} * bits + 7) / 8); };
  x0 = std::max(x0, 0);
  x1 = std::min(x1, bitmap.GetWidth());
  if (x0 >= x1) return;
  std::memcpy(row + first(x0), bitmap.RowPointer(y) + first(x0), end(x1) - first(x0));
  std::vector<const Patch*> patches;
  RowPatches(y, patches);
  for (const Patch* patch : patches) {
    const int l = std::max(patch->rect.left, x0), r = std::min(patch->rect.right, x1);
    if (l >= r) continue;
    const uint8_t* source = patch->pixels->RowPointer(y - patch->rect.top);
    if (bits >= 8) {
      const size_t bpp = static_cast<size_t>(bits / 8);
      std::memcpy(row + static_cast<size_t>(l) * bpp, source + static_cast<size_t>(l - patch->rect.left) * bpp,
                  static_cast<size_t>(r - l) * bpp);
      continue;
    }
    for (int x = l; x < r; ++x) {
      const int sx = x - patch->rect.left;
      const bool on = (source[sx >> 3] >> (7 - (sx & 7))) & 1;
      uint8_t& byte = row[x >> 3];
      const uint8_t bit = static_cast<uint8_t>(0x80 >> (x & 7));
      byte = on ? static_cast<uint8_t>(byte | bit) : static_cast<uint8_t>(byte & ~bit);
    }
  }
}
