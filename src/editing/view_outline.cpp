// The animated selection outline.
//
// While it runs, the view keeps its own copy of the selection's rectangles
// (image coordinates) and a phase 0..7. Every 300 ms the phase advances by
// one and only the outline's pixels are marked for repaint; the composer
// draws them through an 8 x 8 pattern shifted right by the phase. While an
// edit is busy, or the view still has to repaint after a change
// (outlineNeedsRedraw_, cleared by Render), a frame is skipped and tried
// again 100 ms later.
//
// The outline's pixels are the view pixels of the scaled region that have a
// 4-neighbour outside it. Image column i shows in the view columns whose
// nearest-pixel sample is i: offsets ceil(i x N / D) .. ceil((i + 1) x N / D)
// - 1 from the displayed image's left edge, and the same for rows. A
// rectangle too thin to own a view column at a small zoom still gets one, so
// a thin selection stays visible.
#include <algorithm>
#include <cstdint>

#include "editing/tool_settings.h"
#include "editing/vivid_view.h"

namespace {

constexpr int kOutlineFrameMs = 300;
constexpr int kOutlineRetryMs = 100;

// ceil(i x n / d) for any sign of i.
int64_t ScaleUp(int64_t i, int n, int d) {
  const int64_t p = i * n;
  return p >= 0 ? (p + d - 1) / d : -((-p) / d);
}

// floor(v x d / n) for any sign of v.
int64_t ScaleDown(int64_t v, int n, int d) {
  const int64_t p = v * d;
  return p >= 0 ? p / n : -((-p + n - 1) / n);
}

}  // namespace

void CVividView::StartOutline() {
  if (outlineRunning_ || !showOutline_ || !document_.HasSelection()) return;
  outlineRegion_ = document_.SelectionRegionInImage();
  outlineRects_ = outlineRegion_.Rects();
  outlinePhase_ = document_.OutlinePhase();
  document_.AdvanceOutlinePhase();
  outlineRunning_ = true;
  outlineClock_ = kOutlineFrameMs;
  outlineViewValid_ = false;
  invalid_ = invalid_.Union(OutlineViewRegion());
}

void CVividView::StopOutline() {
  if (!outlineRunning_) return;
  // Erase it: its pixels are repainted without it.
  invalid_ = invalid_.Union(OutlineViewRegion());
  outlineRunning_ = false;
  outlineRects_.clear();
  outlineRegion_ = platform::Region::Empty();
  outlineView_ = platform::Region::Empty();
  outlineViewValid_ = false;
}

void CVividView::OutlineTick(int ms) {
  if (!outlineRunning_ || ms <= 0) return;
  outlineClock_ -= ms;
  if (outlineClock_ > 0) return;
  if (IsEditBusy() || outlineNeedsRedraw_) {
    // Skipped frames: try again every 100 ms.
    const int late = -outlineClock_;
    outlineClock_ = kOutlineRetryMs - late % kOutlineRetryMs;
    return;
  }
  // Every whole frame period that passed advances the phase by one.
  const int late = -outlineClock_;
  const int frames = 1 + late / kOutlineFrameMs;
  outlineClock_ = kOutlineFrameMs - late % kOutlineFrameMs;
  outlinePhase_ = (outlinePhase_ + frames) & 7;
  invalid_ = invalid_.Union(OutlineViewRegion());
}

const platform::Region& CVividView::OutlineViewRegion() {
  if (outlineViewValid_) return outlineView_;
  outlineViewValid_ = true;
  outlineView_ = platform::Region::Empty();
  const platform::Rect shown = DisplayedImageRect();
  if (!outlineRunning_ || shown.IsEmpty() || outlineRects_.empty()) return outlineView_;

  // The visible part of the view: the client area right of and below the
  // rulers, inside the displayed image.
  const int band = RulerBand();
  const platform::Rect visible{std::max(shown.left, band), std::max(shown.top, band),
                               std::min<int32_t>(shown.right, clientWidth_),
                               std::min<int32_t>(shown.bottom, clientHeight_)};
  if (visible.IsEmpty()) return outlineView_;

  // Only the rectangles near the visible part are scaled: clip in image
  // coordinates to it, widened so the clip's own edges fall outside it.
  const int n = zoom_.n, d = zoom_.d;
  const platform::Rect nearImage{
      static_cast<int32_t>(ScaleDown(visible.left - shown.left - 2, n, d) - 2),
      static_cast<int32_t>(ScaleDown(visible.top - shown.top - 2, n, d) - 2),
      static_cast<int32_t>(ScaleDown(visible.right - shown.left + 2, n, d) + 3),
      static_cast<int32_t>(ScaleDown(visible.bottom - shown.top + 2, n, d) + 3)};
  const std::vector<platform::Rect> rects = outlineRegion_.Intersect(platform::Region::FromRect(nearImage)).Rects();
  std::vector<platform::Rect> scaled;
  scaled.reserve(rects.size());
  for (const platform::Rect& r : rects) {
    const int64_t left = ScaleUp(r.left, n, d), top = ScaleUp(r.top, n, d);
    const int64_t right = std::max(ScaleUp(r.right, n, d), left + 1);
    const int64_t bottom = std::max(ScaleUp(r.bottom, n, d), top + 1);
    scaled.push_back({static_cast<int32_t>(shown.left + left), static_cast<int32_t>(shown.top + top),
                      static_cast<int32_t>(shown.left + right), static_cast<int32_t>(shown.top + bottom)});
  }
  outlineView_ = FrameOf(platform::Region::FromRects(scaled)).Intersect(platform::Region::FromRect(visible));
  return outlineView_;
}

platform::Region CVividView::FrameOf(const platform::Region& area) {
  // The interior: pixels whose four neighbours are all in the area.
  platform::Region interior = area;
  const int32_t shifts[4][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
  for (const auto& s : shifts) {
    platform::Region moved = area;
    moved.Offset(s[0], s[1]);
    interior = interior.Intersect(moved);
  }
  return area.Subtract(interior);
}
