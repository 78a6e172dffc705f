// Composing what the view shows (to be written).
#include <utility>

#include "editing/vivid_view.h"

void CVividView::Render(RgbImage& out) {
  out.width = clientWidth_;
  out.height = clientHeight_;
  out.pixels.assign(static_cast<size_t>(out.width) * out.height * 3, 0);
}
platform::Region CVividView::TakeInvalidRegion() { return std::exchange(invalid_, platform::Region::Empty()); }
void CVividView::InvalidateAll() { invalid_ = platform::Region::FromRect(0, 0, clientWidth_, clientHeight_); }
void CVividView::Invalidate(const platform::Rect& rect) { invalid_ = invalid_.Union(platform::Region::FromRect(rect)); }
