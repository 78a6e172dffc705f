// Zoom, scroll and layout (to be written).
#include <utility>

#include "editing/vivid_view.h"

void CVividView::SetClientSize(int width, int height) {
  clientWidth_ = width;
  clientHeight_ = height;
}
void CVividView::SetScroll(int x, int y) { scroll_ = {x, y}; }
bool CVividView::SetZoom(ZoomRatio ratio) {
  zoom_ = ratio;
  return true;
}
platform::Rect CVividView::DisplayedImageRect() const {
  const platform::Rect shown = DisplayedRect(zoom_, GetImage().GetWidth(), GetImage().GetHeight());
  return {shown.left - scroll_.x, shown.top - scroll_.y, shown.right - scroll_.x, shown.bottom - scroll_.y};
}
platform::Point CVividView::ScrollSize() const { return {}; }
platform::Point CVividView::ViewToImage(platform::Point point, bool) const {
  return {(point.x + scroll_.x) * zoom_.d / zoom_.n, (point.y + scroll_.y) * zoom_.d / zoom_.n};
}
PointF CVividView::ImageToView(PointF point) const {
  return {point.x * zoom_.n / zoom_.d - scroll_.x, point.y * zoom_.n / zoom_.d - scroll_.y};
}
std::optional<platform::Point> CVividView::TakeWantedClientSize() { return std::exchange(wantedClientSize_, {}); }
EditResult CVividView::OnNormalView() { return 0; }
EditResult CVividView::OnZoomIn() { return 0; }
EditResult CVividView::OnZoomOut() { return 0; }
EditResult CVividView::OnFitToImage() { return 0; }
EditResult CVividView::OnFitWindowToImage() { return 0; }
EditResult CVividView::OnDisplayMode() { return 0; }
EditResult CVividView::OnRuler() { return 0; }
EditResult CVividView::OnPreviewPrintedColors() { return 0; }
void CVividView::Layout() {}
void CVividView::ZoomPress(platform::Point, PointerButton, unsigned) {}
void CVividView::ZoomMove(platform::Point, unsigned) {}
void CVividView::ZoomRelease(platform::Point, PointerButton, unsigned) {}
