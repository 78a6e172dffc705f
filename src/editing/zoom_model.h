// The view's zoom model: a ratio N : D with N and D in 1..16, the two kinds
// of zoom step and their limits, the ratio for a percentage, and the
// displayed size of an image.
#pragma once

#include "platform/region.h"

struct ZoomRatio {
  int n = 1;
  int d = 1;
  // N x 100 / D, in single precision as the view keeps it.
  float Percent() const { return static_cast<float>(n) * 100.0f / static_cast<float>(d); }
  bool operator==(const ZoomRatio&) const = default;
};

// Fine steps (the menus) move N or D by one; coarse steps (the zoom tool)
// double or halve them.
enum class ZoomStep { Fine, Coarse };

// Zoom in: with D != 1, D - 1 or D div 2 (at least 1); else N + 1 or 2N (at
// most 16), unless image width x N or image height x N would reach 32768,
// when N stays.
ZoomRatio ZoomIn(ZoomRatio ratio, ZoomStep step, int imageWidth, int imageHeight);
// Zoom out: with N != 1, N - 1 or N div 2 (at least 1); else D + 1 or 2D (at
// most 16), unless image width div D or image height div D would not stay
// above 16, when D stays.
ZoomRatio ZoomOut(ZoomRatio ratio, ZoomStep step, int imageWidth, int imageHeight);
// The ratio for a percentage p (rounded to 4 decimals first): 100 gives
// 1:1; below 6.25 1:16; below 100 1:m for the smallest m in 2..16 with
// 100 / m <= p; up to 1600 trunc(p / 100):1; above 16:1.
ZoomRatio RatioFromPercent(double percent);
// Whether the View page's Scale list may choose `ratio`: the displayed image
// is at least 16 and below 32767 pixels both ways.
bool ScaleListAccepts(ZoomRatio ratio, int imageWidth, int imageHeight);
// The displayed rectangle (0, 0, round(width x percent / 100), round(height x
// percent / 100)), rounding by adding 0.5 and truncating; all 0 when either
// side would be below 1.
platform::Rect DisplayedRect(ZoomRatio ratio, int imageWidth, int imageHeight);
