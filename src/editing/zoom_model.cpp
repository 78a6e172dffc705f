// The zoom model: zoom steps and their limits, the ratio for a percentage and
// the displayed size of an image.
#include "editing/zoom_model.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

constexpr int kMaxFactor = 16;
// Zooming in stops before a displayed side would reach this many pixels.
constexpr int64_t kMaxDisplayedSide = 32768;
// Zooming out stops before a displayed side would drop to this or less.
constexpr int kMinZoomOutSide = 16;

int StepUp(int value, ZoomStep step) {
  return std::min(kMaxFactor, step == ZoomStep::Fine ? value + 1 : value * 2);
}

int StepDown(int value, ZoomStep step) { return std::max(1, step == ZoomStep::Fine ? value - 1 : value / 2); }

}  // namespace

ZoomRatio ZoomIn(ZoomRatio ratio, ZoomStep step, int imageWidth, int imageHeight) {
  if (ratio.d != 1) {
    ratio.d = StepDown(ratio.d, step);
    return ratio;
  }
  const int n = StepUp(ratio.n, step);
  if (int64_t{imageWidth} * n >= kMaxDisplayedSide || int64_t{imageHeight} * n >= kMaxDisplayedSide) return ratio;
  ratio.n = n;
  return ratio;
}

ZoomRatio ZoomOut(ZoomRatio ratio, ZoomStep step, int imageWidth, int imageHeight) {
  if (ratio.n != 1) {
    ratio.n = StepDown(ratio.n, step);
    return ratio;
  }
  const int d = StepUp(ratio.d, step);
  if (imageWidth / d > kMinZoomOutSide && imageHeight / d > kMinZoomOutSide) ratio.d = d;
  return ratio;
}

ZoomRatio RatioFromPercent(double percent) {
  if (std::isnan(percent)) return {1, 1};
  const double p = std::round(percent * 10000.0) / 10000.0;
  if (p == 100.0) return {1, 1};
  if (p < 6.25) return {1, kMaxFactor};
  if (p < 100.0) {
    for (int m = 2; m <= kMaxFactor; ++m)
      if (100.0 / m <= p) return {1, m};
    return {1, kMaxFactor};  // not reached: 100 / 16 = 6.25 <= p
  }
  if (p <= 1600.0) return {static_cast<int>(p * 0.01), 1};
  return {kMaxFactor, 1};
}

bool ScaleListAccepts(ZoomRatio ratio, int imageWidth, int imageHeight) {
  if (ratio.n < 1 || ratio.n > kMaxFactor || ratio.d < 1 || ratio.d > kMaxFactor) return false;
  const platform::Rect shown = DisplayedRect(ratio, imageWidth, imageHeight);
  return shown.right >= 16 && shown.right < 32767 && shown.bottom >= 16 && shown.bottom < 32767;
}

platform::Rect DisplayedRect(ZoomRatio ratio, int width, int height) {
  const double percent = ratio.Percent();
  const double w = static_cast<double>(width) * percent / 100.0 + 0.5;
  const double h = static_cast<double>(height) * percent / 100.0 + 0.5;
  if (w < 1.0 || h < 1.0) return {};
  // Far beyond any image the view can hold; keeps the sides inside the
  // regions' coordinate range.
  constexpr double kLimit = double{1 << 30};
  return {0, 0, static_cast<int32_t>(std::min(w, kLimit)), static_cast<int32_t>(std::min(h, kLimit))};
}
