// The zoom model (to be written).
#include "editing/zoom_model.h"

ZoomRatio ZoomIn(ZoomRatio ratio, ZoomStep, int, int) { return ratio; }
ZoomRatio ZoomOut(ZoomRatio ratio, ZoomStep, int, int) { return ratio; }
ZoomRatio RatioFromPercent(double) { return {}; }
bool ScaleListAccepts(ZoomRatio, int, int) { return true; }
platform::Rect DisplayedRect(ZoomRatio ratio, int width, int height) {
  return {0, 0, width * ratio.n / ratio.d, height * ratio.n / ratio.d};
}
