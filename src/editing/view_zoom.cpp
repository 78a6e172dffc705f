// Zoom, scroll and layout of the image view; the zoom and scroll tools.
//
// The scrollable area is the displayed image (at least 16 x 16) with the
// ruler band (20 pixels) before it on each axis while rulers are shown; the
// client area shows it from the scroll position. The image's displayed
// rectangle in client coordinates therefore starts at (band - scroll x,
// band - scroll y).
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "editing/tool_settings.h"
#include "editing/vivid_view.h"

namespace {

// Smallest displayed side of the scrollable area.
constexpr int kMinScrollSide = 16;
// The window's frame around the client area when fitting it to the image.
constexpr int kFitMargin = 4;
// The zoom tool's drag must span this many pixels both ways to fit a rectangle.
constexpr int kMinZoomDrag = 4;
// The zoom tool's clicks stop zooming in at this percentage and out at the other.
constexpr float kClickZoomInLimit = 1600.0f;
constexpr float kClickZoomOutLimit = 6.25f;

}  // namespace

// --- geometry ---

platform::Rect CVividView::DisplayedImageRect() const {
  const platform::Rect shown = DisplayedRect(zoom_, GetImage().GetWidth(), GetImage().GetHeight());
  const int band = RulerBand();
  const int left = band - scroll_.x, top = band - scroll_.y;
  return {left, top, left + shown.right, top + shown.bottom};
}

platform::Point CVividView::ScrollSize() const {
  const platform::Rect shown = DisplayedRect(zoom_, GetImage().GetWidth(), GetImage().GetHeight());
  const int band = RulerBand();
  return {std::max(shown.right, kMinScrollSide) + band, std::max(shown.bottom, kMinScrollSide) + band};
}

platform::Point CVividView::ScrollRange() const {
  const platform::Point size = ScrollSize();
  return {std::max(0, size.x - clientWidth_), std::max(0, size.y - clientHeight_)};
}

platform::Point CVividView::ViewToImage(platform::Point point, bool round) const {
  const platform::Rect shown = DisplayedImageRect();
  if (shown.IsEmpty()) return {};
  const double add = round ? 0.5 : 0.0;
  const double x = static_cast<double>(point.x - shown.left) * GetImage().GetWidth() / shown.Width() + add;
  const double y = static_cast<double>(point.y - shown.top) * GetImage().GetHeight() / shown.Height() + add;
  return {static_cast<int32_t>(x), static_cast<int32_t>(y)};
}

PointF CVividView::ImageToView(PointF point) const {
  const platform::Rect shown = DisplayedImageRect();
  if (shown.IsEmpty()) return {static_cast<double>(shown.left), static_cast<double>(shown.top)};
  return {shown.left + point.x * shown.Width() / GetImage().GetWidth(),
          shown.top + point.y * shown.Height() / GetImage().GetHeight()};
}

void CVividView::SetClientSize(int width, int height) {
  clientWidth_ = std::max(0, width);
  clientHeight_ = std::max(0, height);
  const platform::Point range = ScrollRange();
  scroll_ = {std::clamp(scroll_.x, 0, range.x), std::clamp(scroll_.y, 0, range.y)};
  GeometryChanged();
}

void CVividView::SetScroll(int x, int y) {
  const platform::Point range = ScrollRange();
  const platform::Point scroll{std::clamp(x, 0, range.x), std::clamp(y, 0, range.y)};
  if (scroll == scroll_) return;
  scroll_ = scroll;
  GeometryChanged();
}

bool CVividView::SetZoom(ZoomRatio ratio) {
  if (!ScaleListAccepts(ratio, GetImage().GetWidth(), GetImage().GetHeight())) return false;
  zoom_ = ratio;
  Layout();
  return true;
}

std::optional<platform::Point> CVividView::TakeWantedClientSize() { return std::exchange(wantedClientSize_, {}); }

// The middle of the image's visible part (the part of the displayed
// rectangle inside the client area, right of and below the rulers) in image
// coordinates. With the whole image visible on an axis that is the image's
// middle on it, so zooming a fully visible image keeps it centred.
void CVividView::RefreshCentre() {
  const platform::Rect shown = DisplayedImageRect();
  if (shown.IsEmpty()) {
    centreImage_ = {};
    return;
  }
  const int band = RulerBand();
  const int left = std::max(shown.left, band), right = std::max(left, std::min<int>(shown.right, clientWidth_));
  const int top = std::max(shown.top, band), bottom = std::max(top, std::min<int>(shown.bottom, clientHeight_));
  centreImage_ = {(0.5 * (left + right) - shown.left) * GetImage().GetWidth() / shown.Width(),
                  (0.5 * (top + bottom) - shown.top) * GetImage().GetHeight() / shown.Height()};
}

void CVividView::CentreOn(PointF imagePoint) {
  const int w = GetImage().GetWidth(), h = GetImage().GetHeight();
  const platform::Rect shown = DisplayedRect(zoom_, w, h);
  if (!shown.IsEmpty()) {
    const int band = RulerBand();
    // Where the point lies in the scrollable area, and where the middle of
    // the client area right of and below the rulers is.
    const double px = band + std::clamp(imagePoint.x, 0.0, double(w)) * shown.Width() / w;
    const double py = band + std::clamp(imagePoint.y, 0.0, double(h)) * shown.Height() / h;
    const double mx = band + 0.5 * (clientWidth_ - band), my = band + 0.5 * (clientHeight_ - band);
    const platform::Point range = ScrollRange();
    scroll_ = {static_cast<int32_t>(std::clamp(std::lround(px - mx), 0L, long{range.x})),
               static_cast<int32_t>(std::clamp(std::lround(py - my), 0L, long{range.y}))};
  } else {
    scroll_ = {};
  }
  GeometryChanged();
}

void CVividView::GeometryChanged() {
  RefreshCentre();
  outlineViewValid_ = false;
  InvalidateAll();
}

void CVividView::Layout() {
  const platform::Point size = ScrollSize();
  if (fitWindow_ || !laidOutOnce_) wantedClientSize_ = platform::Point{size.x + kFitMargin, size.y + kFitMargin};
  if (!laidOutOnce_) {
    laidOutOnce_ = true;
    scroll_ = {};
    GeometryChanged();
    return;
  }
  CentreOn(centreImage_);
}

// --- View commands ---

EditResult CVividView::OnNormalView() {
  zoom_ = ZoomRatio{1, 1};
  Layout();
  return 1;
}

EditResult CVividView::OnZoomIn() {
  const ZoomRatio next = ZoomIn(zoom_, ZoomStep::Fine, GetImage().GetWidth(), GetImage().GetHeight());
  if (next == zoom_) return 0;
  zoom_ = next;
  Layout();
  return 1;
}

EditResult CVividView::OnZoomOut() {
  const ZoomRatio next = ZoomOut(zoom_, ZoomStep::Fine, GetImage().GetWidth(), GetImage().GetHeight());
  if (next == zoom_) return 0;
  zoom_ = next;
  Layout();
  return 1;
}

EditResult CVividView::OnFitToImage() {
  const platform::Point size = ScrollSize();
  wantedClientSize_ = platform::Point{size.x + kFitMargin, size.y + kFitMargin};
  return 1;
}

EditResult CVividView::OnFitWindowToImage() {
  fitWindow_ = !fitWindow_;
  if (fitWindow_) return OnFitToImage();
  return 1;
}

EditResult CVividView::OnDisplayMode() {
  displayMode_ = displayMode_ == 1 ? 2 : 1;
  InvalidateAll();
  return 1;
}

EditResult CVividView::OnRuler() {
  rulers_ = !rulers_;
  Layout();
  return 1;
}

// Only flags the choice: the printer simulation belongs to colour management,
// which the composer does not use yet.
EditResult CVividView::OnPreviewPrintedColors() {
  previewPrinted_ = !previewPrinted_;
  InvalidateAll();
  return 1;
}

// --- the zoom and scroll tools ---

void CVividView::ZoomPress(platform::Point point, PointerButton, unsigned) {
  if (ToolSettings().ActiveGroup() == kGroupScroll) {
    scrollPress_ = point;
    return;
  }
  zoomPress_ = point;
  zoomDragging_ = true;
}

namespace {

// The rectangle with both points on its frame.
platform::Rect SpanningRect(platform::Point a, platform::Point b) {
  return {std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x) + 1, std::max(a.y, b.y) + 1};
}

}  // namespace

void CVividView::ZoomMove(platform::Point point, unsigned) {
  if (!buttonDown_) return;
  if (ToolSettings().ActiveGroup() == kGroupScroll) {
    // The image follows the pointer.
    const int dx = point.x - scrollPress_.x, dy = point.y - scrollPress_.y;
    scrollPress_ = point;
    SetScroll(scroll_.x - dx, scroll_.y - dy);
    return;
  }
  if (!zoomDragging_) return;
  InvalidateZoomFrame();
  zoomRect_ = SpanningRect(zoomPress_, point);
  InvalidateZoomFrame();
}

// The zoom rectangle is an overlay: only its frame needs repainting, and the
// picture under it has not changed.
void CVividView::InvalidateZoomFrame() {
  if (!zoomRect_) return;
  const platform::Region frame = FrameOf(platform::Region::FromRect(*zoomRect_));
  invalid_ = invalid_.Union(frame.Intersect(platform::Region::FromRect(0, 0, clientWidth_, clientHeight_)));
}

void CVividView::ZoomRelease(platform::Point point, PointerButton, unsigned modifiers) {
  if (ToolSettings().ActiveGroup() == kGroupScroll || !zoomDragging_) return;
  zoomDragging_ = false;
  InvalidateZoomFrame();
  zoomRect_.reset();

  const int w = GetImage().GetWidth(), h = GetImage().GetHeight();
  const platform::Rect shown = DisplayedImageRect();
  if (shown.IsEmpty()) return;
  // The exact image point under a view point (no rounding).
  auto imagePoint = [&](double x, double y) {
    return PointF{(x - shown.left) * w / shown.Width(), (y - shown.top) * h / shown.Height()};
  };
  const bool zoomOut = ToolSettings().zoomDirection == 2 || (modifiers & kModAlt) != 0;
  const int dx = std::abs(point.x - zoomPress_.x), dy = std::abs(point.y - zoomPress_.y);
  if (!zoomOut && dx >= kMinZoomDrag && dy >= kMinZoomDrag) {
    // Fit the dragged rectangle into the client area.
    const int band = RulerBand();
    const int fitX = static_cast<int>((clientWidth_ - band) * 100.0 / dx + 0.5);
    const int fitY = static_cast<int>((clientHeight_ - band) * 100.0 / dy + 0.5);
    const double percent = std::max(100.0, std::min(fitX, fitY) * static_cast<double>(zoom_.Percent()) * 0.01);
    const PointF centre = imagePoint(0.5 * (point.x + zoomPress_.x), 0.5 * (point.y + zoomPress_.y));
    zoom_ = RatioFromPercent(percent);
    CentreOn(centre);
    return;
  }
  const PointF centre = imagePoint(zoomPress_.x + 0.5, zoomPress_.y + 0.5);
  if (!zoomOut && zoom_.Percent() < kClickZoomInLimit)
    zoom_ = ::ZoomIn(zoom_, ZoomStep::Coarse, w, h);
  else if (zoomOut && zoom_.Percent() > kClickZoomOutLimit)
    zoom_ = ::ZoomOut(zoom_, ZoomStep::Coarse, w, h);
  CentreOn(centre);
}
