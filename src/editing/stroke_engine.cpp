// The stroke engine: tips, dabs, the coverage plane and the cell commit.
#include "editing/stroke_engine.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>

#include "image/color_convert.h"
#include "imaging/combine.h"
#include "imaging/fill.h"
#include "imaging/filters.h"
#include "imaging/tone.h"

namespace {

constexpr int kCell = CoveragePlane::kCell;

int PositiveMod(int64_t value, int period) {
  const int64_t m = value % period;
  return static_cast<int>(m < 0 ? m + period : m);
}

uint64_t Load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

}  // namespace

// --- tips and spacing ---

bool MakeTip(int shape, int size, int softness, CDIBitmap& tip, CDIBitmap& hardMask) {
  size = std::min(size, 100);
  if (size < 1) return false;
  softness = std::clamp(softness, 0, 100);
  if (!tip.Create(size, size, 8, 1) || !hardMask.Create(size, size, 8, 1)) return false;
  const float r = static_cast<float>(size) * 0.5f;
  const float w = static_cast<float>(softness) * static_cast<float>(size) * 0.005f;
  for (int j = 0; j < size; ++j) {
    uint8_t* tipRow = tip.RowPointer(j);
    uint8_t* maskRow = hardMask.RowPointer(j);
    const float dy = std::fabs(static_cast<float>(j) - r + 0.5f);
    for (int i = 0; i < size; ++i) {
      const float dx = std::fabs(static_cast<float>(i) - r + 0.5f);
      const float d = shape == 1 ? std::sqrt(dx * dx + dy * dy) : std::max(dx, dy);
      int value = 0;
      if (shape == 1 && d > r)
        value = 255;
      else if (d >= r - w && w > 0)
        value = static_cast<int>(std::trunc(256.0f - (r - d) * 256.0f / w));
      tipRow[i] = value < 1 ? 0 : static_cast<uint8_t>(value & 0xFF);
      maskRow[i] = value >= 255 ? 255 : 0;
    }
  }
  return true;
}

void DabStepper::MoveTo(double x, double y, int spacing, std::vector<platform::Point>& out) {
  spacing = std::max(spacing, 1);
  const double dx = x - x_, dy = y - y_;
  const double d = std::hypot(dx, dy);
  if (d < spacing) return;
  const int64_t n = static_cast<int64_t>(d / spacing);
  const double sx = dx / d * spacing, sy = dy / d * spacing;
  for (int64_t k = 0; k < n; ++k) {
    x_ += sx;
    y_ += sy;
    out.push_back({static_cast<int32_t>(std::trunc(x_ + 0.5)), static_cast<int32_t>(std::trunc(y_ + 0.5))});
  }
}

// --- the stroke's coverage ---

bool BrushStroke::Begin(const BrushSettings& brush, int imageWidth, int imageHeight, int pressure,
                        const CDIBitmap* stampAlpha, int periodWidth, int periodHeight) {
  Clear();
  plane_.Reset(imageWidth, imageHeight);
  size_ = 0;
  stampAlpha_ = nullptr;
  CDIBitmap tip, hard;
  if (!MakeTip(brush.shape, brush.size, brush.softness, tip, hard)) return false;
  const int size = tip.GetWidth();
  // 255 - tip: operand S inverted, onto a zero destination, added.
  if (!dab_.Create(size, size, 8, 1) || GL_CombineBitmap(dab_, 0, 0, size, size, tip, 0, 0, 0x0321) != 1)
    return false;
  if (pressure < 255 && VividSetBitmapTransparency(dab_, std::max(pressure, 0)) != 1) return false;
  if (stampAlpha) {
    if (!stampAlpha->IsAllocated() || stampAlpha->GetBitCount() != 8 || periodWidth < 1 || periodHeight < 1 ||
        stampAlpha->GetWidth() < periodWidth + size || stampAlpha->GetHeight() < periodHeight + size ||
        !scratch_.Create(size, size, 8, 1))
      return false;
    stampAlpha_ = stampAlpha;
    periodWidth_ = periodWidth;
    periodHeight_ = periodHeight;
  }
  size_ = size;
  return true;
}

platform::Rect BrushStroke::LayDab(int x, int y) {
  if (size_ < 1) return {};
  const int left = x - size_ / 2, top = y - size_ / 2;
  const CDIBitmap* dab = &dab_;
  if (stampAlpha_) {
    std::memcpy(scratch_.GetPixels(), dab_.GetPixels(), static_cast<size_t>(dab_.GetStride()) * size_);
    GL_CombineBitmap(scratch_, 0, 0, size_, size_, *stampAlpha_, PositiveMod(left, periodWidth_),
                     PositiveMod(top, periodHeight_), kCombineMultiply);
    dab = &scratch_;
  }
  const platform::Rect touched = plane_.Add(*dab, left, top);
  if (touched.IsEmpty()) return touched;
  strokeRect_ = strokeRect_.IsEmpty() ? touched
                                      : platform::Rect{std::min(strokeRect_.left, touched.left),
                                                       std::min(strokeRect_.top, touched.top),
                                                       std::max(strokeRect_.right, touched.right),
                                                       std::max(strokeRect_.bottom, touched.bottom)};
  for (int cy = touched.top / kCell; cy <= (touched.bottom - 1) / kCell; ++cy)
    for (int cx = touched.left / kCell; cx <= (touched.right - 1) / kCell; ++cx) dirty_.emplace_back(cx, cy);
  return touched;
}

void BrushStroke::Clear() {
  plane_.Reset(plane_.Width(), plane_.Height());
  strokeRect_ = {};
  dirty_.clear();
}

std::vector<std::pair<int, int>> BrushStroke::TakeDirtyCells() {
  std::sort(dirty_.begin(), dirty_.end());
  dirty_.erase(std::unique(dirty_.begin(), dirty_.end()), dirty_.end());
  return std::exchange(dirty_, {});
}

// --- sources ---

bool FillColourBitmap(CDIBitmap& out, const CDIBitmap& like, int width, int height, uint32_t colour) {
  if (!out.CreateCompatible(like, width, height)) return false;
  const uint32_t value = like.GetBitCount() <= 8 ? static_cast<uint32_t>(like.NearestIndex(colour)) : colour;
  return GL_FillRect(out, {0, 0, width, height}, value) == 1;
}

bool TileStamp(const CDIBitmap& stamp, const CDIBitmap* like, int width, int height, CDIBitmap& pattern) {
  if (!stamp.IsAllocated() || width < 1 || height < 1) return false;
  const CDIBitmap& kind = like ? *like : stamp;
  if (!pattern.CreateCompatible(kind, width, height)) return false;
  const int sw = stamp.GetWidth(), sh = stamp.GetHeight();
  const bool sameKind = kind.GetBitCount() == stamp.GetBitCount() && kind.GetColorType() == stamp.GetColorType() &&
                        (kind.GetBitCount() > 8 || kind.GetPaletteSize() == stamp.GetPaletteSize());
  bool copyBytes = sameKind && kind.GetBitCount() >= 8;
  if (copyBytes && kind.GetBitCount() == 8) {
    // Indexes mean the same colours only with the same table.
    std::vector<uint8_t> a(static_cast<size_t>(kind.GetPaletteSize()) * 4), b(a.size());
    kind.GetColorTable(a.data(), kind.GetPaletteSize());
    stamp.GetColorTable(b.data(), stamp.GetPaletteSize());
    copyBytes = a == b;
  }
  if (copyBytes) {
    const size_t bpp = static_cast<size_t>(kind.GetBitCount() / 8);
    for (int y = 0; y < height; ++y) {
      const uint8_t* from = stamp.RowPointer(y % sh);
      uint8_t* to = pattern.RowPointer(y);
      for (int x = 0; x < width;) {
        const int run = std::min(sw - x % sw, width - x);
        std::memcpy(to + static_cast<size_t>(x) * bpp, from + static_cast<size_t>(x % sw) * bpp,
                    static_cast<size_t>(run) * bpp);
        x += run;
      }
    }
    return true;
  }
  // Pixel by pixel through the colour (a stamp of another kind than the image).
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const uint32_t colour = stamp.GetPixelColor(y % sh, x % sw);
      if (pattern.GetBitCount() == 32) {
        uint8_t cmyk[4];
        GL_RGBToCMYK(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF, cmyk);
        std::memcpy(pattern.GetPixelAddress(y, x), cmyk, 4);
      } else {
        pattern.SetPixelColor(y, x, colour);
      }
    }
  return true;
}

int UsableBlendMode(const CDIBitmap& target, int mode) {
  const int bits = target.GetBitCount();
  if (bits < 8 || (bits == 8 && !target.IsGray())) return kBlendNormal;
  switch (mode) {
    case kBlendNormal:
    case kBlendMultiply:
    case kBlendScreen:
    case kBlendDifference:
    case kBlendNone: return mode;
    case kBlendIfDarker:
    case kBlendIfLighter: return bits == 24 || bits == 8 ? mode : kBlendNormal;
    case kBlendHue:
    case kBlendSaturation:
    case kBlendColor:
    case kBlendLuminosity: return bits == 24 ? mode : kBlendNormal;
    default: return kBlendNormal;
  }
}

// --- the commit ---

CellCommitter::CellCommitter(CDIBitmap& target, const CoveragePlane& plane, platform::Point planeOrigin,
                             StrokeSource source, StrokeBlend blend, std::optional<platform::Region> selection)
    : target_(target), plane_(plane), origin_(planeOrigin), source_(std::move(source)), blend_(blend),
      selection_(std::move(selection)) {
  blend_.mode = UsableBlendMode(target_, blend_.mode);
  if (source_.kind == StrokeSource::Kind::Colour)
    FillColourBitmap(colourCell_, target_, kCell, kCell, source_.colour);
}

platform::Rect CellCommitter::TargetRect(int cx, int cy) const {
  const platform::Rect cell = plane_.CellRect(cx, cy);
  const platform::Rect r{std::max(cell.left - origin_.x, 0), std::max(cell.top - origin_.y, 0),
                         std::min(cell.right - origin_.x, target_.GetWidth()),
                         std::min(cell.bottom - origin_.y, target_.GetHeight())};
  return r.IsEmpty() ? platform::Rect{} : r;
}

bool CellCommitter::MakeSource(CDIBitmap& out, const platform::Rect& rect) {
  const int w = rect.Width(), h = rect.Height();
  switch (source_.kind) {
    case StrokeSource::Kind::Colour:
      if (!colourCell_.IsAllocated()) return false;
      return out.CopyRect(colourCell_, 0, 0, w, h, 0) == 1;
    case StrokeSource::Kind::Bitmap:
      if (!source_.bitmap) return false;
      return out.CopyRect(*source_.bitmap, rect.left + source_.offset.x, rect.top + source_.offset.y, w, h, 0) == 1;
    case StrokeSource::Kind::Pattern:
      if (!source_.bitmap) return false;
      return out.CopyRect(*source_.bitmap, PositiveMod(int64_t{rect.left} + source_.offset.x, source_.periodWidth),
                          PositiveMod(int64_t{rect.top} + source_.offset.y, source_.periodHeight), w, h, 0) == 1;
    case StrokeSource::Kind::Custom:
      if (!source_.make || !out.CreateCompatible(target_, w, h)) return false;
      return source_.make(out, rect);
    case StrokeSource::Kind::Retouch: return false;
  }
  return false;
}

// The coverage over a target rectangle: the plane's own cell (read from the
// rectangle's place in it) where the rectangle lies within one plane cell,
// else a copy.
bool CellCommitter::MakeAlpha(const platform::Rect& rect, CDIBitmap& scratch, const CDIBitmap*& alpha, int& ax,
                              int& ay) const {
  const int px = rect.left + origin_.x, py = rect.top + origin_.y;
  const int cx = px / kCell, cy = py / kCell;
  if (px >= 0 && py >= 0 && (px + rect.Width() - 1) / kCell == cx && (py + rect.Height() - 1) / kCell == cy) {
    alpha = plane_.FindCell(cx, cy);
    ax = px - cx * kCell;
    ay = py - cy * kCell;
    return alpha != nullptr;
  }
  ax = ay = 0;
  if (!plane_.CopyRect({px, py, px + rect.Width(), py + rect.Height()}, scratch)) return false;
  alpha = &scratch;
  return true;
}

platform::Rect CellCommitter::CoveredPart(const platform::Rect& rect, int cx, int cy) const {
  const CDIBitmap* cell = plane_.FindCell(cx, cy);
  if (!cell || rect.IsEmpty()) return {};
  const int ax = rect.left + origin_.x - cx * kCell, ay = rect.top + origin_.y - cy * kCell;
  const int w = rect.Width();
  int left = w, right = 0, top = -1, bottom = 0;
  for (int r = 0; r < rect.Height(); ++r) {
    const uint8_t* row = cell->RowPointer(ay + r) + ax;
    int first = 0;
    while (first + 8 <= w && Load64(row + first) == 0) first += 8;
    while (first < w && row[first] == 0) ++first;
    if (first == w) continue;
    int last = w;
    while (last - 8 >= first && Load64(row + last - 8) == 0) last -= 8;
    while (row[last - 1] == 0) --last;
    left = std::min(left, first);
    right = std::max(right, last);
    if (top < 0) top = r;
    bottom = r + 1;
  }
  if (top < 0) return {};
  return {rect.left + left, rect.top + top, rect.left + right, rect.top + bottom};
}

int CellCommitter::BlendCell(CDIBitmap& cell, const platform::Rect& rect, bool& changed) {
  changed = false;
  if (rect.IsEmpty()) return 1;
  // The selection limits the change: the cell's own mask, none when the
  // rectangle lies wholly inside, nothing to do when wholly outside.
  std::optional<platform::Region> cellMask;
  if (selection_) {
    platform::Region inside = selection_->Intersect(platform::Region::FromRect(rect));
    if (inside.IsEmpty()) return 1;
    if (!(inside == platform::Region::FromRect(rect))) {
      inside.Offset(-rect.left, -rect.top);
      cellMask = std::move(inside);
    }
  }
  int code = 1;
  if (source_.kind == StrokeSource::Kind::Retouch) {
    if (cellMask) cell.SetMaskRgn(&*cellMask);
    code = ComputeRetouch(cell, rect);
  } else {
    const CDIBitmap* alpha = nullptr;
    int ax = 0, ay = 0;
    if (!MakeAlpha(rect, alphaCell_, alpha, ax, ay)) return 1;  // nothing laid in this cell
    // A colour source is the one cell made up front (read from its corner).
    const bool colour = source_.kind == StrokeSource::Kind::Colour && colourCell_.IsAllocated();
    if (!colour && !MakeSource(sourceCell_, rect)) return 0;
    const CDIBitmap& from = colour ? colourCell_ : sourceCell_;
    const int bits = target_.GetBitCount();
    const bool palette = bits < 8 || (bits == 8 && !target_.IsGray());
    if (cellMask) cell.SetMaskRgn(&*cellMask);
    if (palette)
      code = GL_CombineBitmapWithAlpha(cell, 0, 0, rect.Width(), rect.Height(), from, 0, 0, *alpha, ax, ay);
    else if (bits == 8 && !blend_.grayByMode)
      code = GL_CombineBitmapWithAlpha(cell, 0, 0, rect.Width(), rect.Height(), from, 0, 0, *alpha, ax, ay,
                                       blend_.opacity);
    else
      code = GL_CombineBitmapByMode(cell, from, *alpha, ax, ay, rect.Width(), rect.Height(), blend_.mode,
                                    blend_.opacity);
  }
  cell.ClearMask();
  changed = code == 1;
  return code;
}

std::unique_ptr<CDIBitmap> CellCommitter::Compute(const platform::Rect& rect, int* result) {
  int dummy = 1;
  int& code = result ? *result : dummy;
  code = 1;
  if (rect.IsEmpty()) return nullptr;
  auto cell = std::make_unique<CDIBitmap>();
  if (!cell->CopyRect(target_, rect.left, rect.top, rect.Width(), rect.Height(), 0)) {
    code = 0;
    return nullptr;
  }
  bool changed = false;
  code = BlendCell(*cell, rect, changed);
  if (!changed) return nullptr;
  return cell;
}

int CellCommitter::ComputeRetouch(CDIBitmap& cell, const platform::Rect& rect) {
  const int w = rect.Width() + 2, h = rect.Height() + 2;
  CDIBitmap work, effect, alpha;
  if (!work.CopyRect(target_, rect.left - 1, rect.top - 1, w, h, 1) || !effect.CopyRect(work, 0, 0, w, h, 0))
    return 0;
  const int bits = target_.GetBitCount();
  const bool gray = bits == 8 && target_.IsGray();
  int code = 1;
  switch (source_.retouchMode) {
    case 1:
      if (gray || bits >= 24) code = GL_BlurMoreBitmap(effect);
      break;
    case 2:
      if (gray || bits >= 24) code = GL_SharpenBitmap(effect);
      break;
    case 3:
    case 4:
      if (bits == 24) code = GL_ChangeSaturation(effect, source_.retouchMode == 3 ? 250 : -250);
      break;
    case 5:
    case 6:
      if (gray || bits == 24) code = GL_ChangeIntensity(effect, source_.retouchMode == 5 ? 100 : -100);
      break;
    default: break;
  }
  if (code != 1) return code;
  const int px = rect.left + origin_.x - 1, py = rect.top + origin_.y - 1;
  if (!plane_.CopyRect({px, py, px + w, py + h}, alpha)) return 0;
  code = GL_CombineBitmapWithAlpha(work, 0, 0, w, h, effect, 0, 0, alpha, 0, 0);
  if (code != 1) return code;
  for (int y = 0; y < rect.Height(); ++y) {
    const uint8_t* from = work.RowPointer(y + 1);
    if (bits >= 8) {
      cell.PutRowPart(from + bits / 8, y, 0, rect.Width());
    } else {
      std::vector<uint8_t> row(static_cast<size_t>(rect.Width() + 7) / 8);
      work.GetRowPart(row.data(), y + 1, 1, rect.Width());
      cell.PutRowPart(row.data(), y, 0, rect.Width());
    }
  }
  return 1;
}

int CellCommitter::CommitAll() {
  const int bits = target_.GetBitCount();
  if (bits != 1 && bits != 8 && bits != 24 && bits != 32) return 0;
  if (!work_.IsAllocated() && !work_.CreateCompatible(target_, kCell, kCell)) return 0;
  const size_t bpp = static_cast<size_t>(bits / 8);
  int first = 1;
  for (const auto& [cx, cy] : plane_.TouchedCells()) {
    const platform::Rect rect = CoveredPart(TargetRect(cx, cy), cx, cy);
    if (rect.IsEmpty()) continue;
    const int w = rect.Width(), h = rect.Height();
    for (int y = 0; y < h; ++y) {
      if (bits == 1)
        target_.GetRowPart(work_.RowPointer(y), rect.top + y, rect.left, w);
      else
        std::memcpy(work_.RowPointer(y), target_.RowPointer(rect.top + y) + rect.left * bpp, w * bpp);
    }
    bool changed = false;
    const int code = BlendCell(work_, rect, changed);
    if (code != 1 && first == 1) first = code;
    if (!changed) continue;
    for (int y = 0; y < h; ++y) target_.PutRowPart(work_.RowPointer(y), rect.top + y, rect.left, w);
  }
  return first;
}
