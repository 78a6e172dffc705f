// The selection's region arithmetic: tool shapes, dabs, the magic wand and
// the mask-plane growing and shrinking.
#include "editing/selection_ops.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "image/dibitmap.h"
#include "image/result_codes.h"
#include "imaging/fill.h"
#include "imaging/filters.h"
#include "platform/messages.h"

// --- shapes ---

platform::Region SelectionRectangle(platform::Point a, platform::Point b) {
  return platform::Region::FromRect(std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y));
}

platform::Region SelectionRoundRectangle(platform::Point a, platform::Point b) {
  const int64_t dx = std::abs(static_cast<int64_t>(b.x) - a.x);
  const int64_t dy = std::abs(static_cast<int64_t>(b.y) - a.y);
  return platform::Region::FromRoundRect(std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x) + 1,
                                         std::max(a.y, b.y) + 1, static_cast<int32_t>(dx / 4),
                                         static_cast<int32_t>(dy / 4));
}

platform::Region SelectionEllipse(platform::Point centre, platform::Point radius) {
  // In 64 bits: the points of a gesture may lie far outside the image.
  const int64_t rx = std::abs(static_cast<int64_t>(radius.x) - centre.x);
  const int64_t ry = std::abs(static_cast<int64_t>(radius.y) - centre.y);
  auto clip = [](int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); };
  return platform::Region::FromEllipse(clip(centre.x - rx), clip(centre.y - ry), clip(centre.x + rx + 1),
                                       clip(centre.y + ry + 1));
}

// --- moving the outline ---

platform::Point MovedSelectionOrigin(const platform::Rect& box, int64_t dx, int64_t dy, int width, int height) {
  auto along = [](int64_t start, int64_t size, int64_t delta, int64_t extent) {
    int64_t moved = start + delta;
    if (moved >= extent) moved = extent - size;
    else if (moved + size <= 0) moved = 0;
    return static_cast<int32_t>(moved);
  };
  return {along(box.left, box.Width(), dx, width), along(box.top, box.Height(), dy, height)};
}

// --- paint selection ---

platform::Region DabFootprint(platform::Point centre, int size, int shape) {
  const int left = centre.x - size / 2;
  const int top = centre.y - size / 2;
  if (shape == 1) return platform::Region::FromEllipse(left, top, left + size + 1, top + size + 1);
  return platform::Region::FromRect(left, top, left + size, top + size);
}

int DabSpacing(int displayedWidth, int imageWidth, int size, int spacingPercent) {
  if (imageWidth < 1) return 1;
  const double spacing = static_cast<double>(displayedWidth) * size * spacingPercent * 0.01 / imageWidth + 0.5;
  return std::max(1, static_cast<int>(spacing));
}

std::vector<platform::Point> StepDabs(platform::Point& last, platform::Point pointer, int spacing) {
  std::vector<platform::Point> dabs;
  const double dx = static_cast<double>(pointer.x) - last.x;
  const double dy = static_cast<double>(pointer.y) - last.y;
  const double distance = std::sqrt(dx * dx + dy * dy);
  if (spacing < 1 || distance < spacing) return dabs;
  const int count = static_cast<int>(distance / spacing);
  const double stepX = dx / distance * spacing;
  const double stepY = dy / distance * spacing;
  double x = last.x;
  double y = last.y;
  dabs.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    x += stepX;
    y += stepY;
    dabs.push_back({static_cast<int32_t>(x + 0.5), static_cast<int32_t>(y + 0.5)});
  }
  last = dabs.back();
  return dabs;
}

// --- magic wand ---

std::optional<platform::Region> MagicWandRegion(const CDIBitmap& image, platform::Point seed, int tolerance) {
  const int width = image.GetWidth();
  const int height = image.GetHeight();
  if (!image.IsAllocated()) return std::nullopt;
  if (seed.x < 0 || seed.y < 0 || seed.x >= width || seed.y >= height) return platform::Region::Empty();
  CDIBitmap plane;
  if (!plane.Create(width, height, 8, 1)) {
    platform::ShowMessage(FormatErrorCode(kResultOutOfMemory));
    return std::nullopt;
  }
  FillTolerance = tolerance;
  platform::Rect bounds;
  int result;
  const int bits = image.GetBitCount();
  if (bits == 24 || bits == 32) {
    result = OrderedFillMaskRGB(image, 0, 0, plane, seed.x, seed.y, image.GetPixelColor(seed.y, seed.x), bounds);
  } else if (bits == 8 && image.IsGray()) {
    result = OrderedFillMaskGray(image, 0, 0, plane, seed.x, seed.y, image.GetPixel(seed.y, seed.x), bounds);
  } else {
    // Palette and 1-bit images: the fill takes equal indices only.
    result = OrderedFillMaskIndex(image, 0, 0, plane, seed.x, seed.y, image.GetPixel(seed.y, seed.x), bounds);
  }
  if (result != 1) return std::nullopt;
  platform::Region region;
  if (bounds.IsEmpty()) return platform::Region::Empty();
  if (GL_GetRgnFromBitmap(plane, region, &bounds) != 1) return std::nullopt;
  return region;
}

// --- growing and shrinking ---

namespace {

enum class Morph { Dilate, Erode };

// The region grown (dilate) or shrunk (erode) `times` times by the 3 x 3
// square, on the plane of the region's box grown by times + 1 and clipped to
// the image. Inside the image the plane's edge then lies at least times + 1
// pixels from every selected pixel, where the plane holds 0: dilation never
// reaches it, and a minimum there is 0 whatever counts beyond it, so the
// result is that of the whole image's plane. Where the plane's edge is the
// image's edge the library's border values apply.
std::optional<platform::Region> Morphology(const platform::Region& region, int width, int height, int times,
                                           Morph morph) {
  platform::Region clipped = region.IsValid() ? region.Intersect(platform::Region::FromRect(0, 0, width, height))
                                              : platform::Region::Empty();
  if (times < 1 || clipped.IsEmpty()) return clipped;
  // After max(width, height) steps every pixel of the image that a step can
  // reach has been reached (dilation) or lost (erosion): more change nothing.
  times = std::min(times, std::max(width, height));
  const platform::Rect box = clipped.Box();
  const int64_t grow = int64_t{times} + 1;
  const platform::Rect crop{static_cast<int32_t>(std::max<int64_t>(0, box.left - grow)),
                            static_cast<int32_t>(std::max<int64_t>(0, box.top - grow)),
                            static_cast<int32_t>(std::min<int64_t>(width, box.right + grow)),
                            static_cast<int32_t>(std::min<int64_t>(height, box.bottom + grow))};
  clipped.Offset(-crop.left, -crop.top);
  CDIBitmap plane;
  if (!GL_CreateMaskFromRgn(plane, crop.Width(), crop.Height(), clipped)) {
    platform::ShowMessage(FormatErrorCode(kResultOutOfMemory));
    return std::nullopt;
  }
  for (int i = 0; i < times; ++i) {
    const int result = morph == Morph::Dilate ? GL_Dilate(plane, 0, 0, 0) : GL_Erode(plane, 255, 255, 0);
    if (result != 1) return std::nullopt;
  }
  platform::Region out;
  if (GL_GetRgnFromBitmap(plane, out, nullptr) != 1) return std::nullopt;
  out.Offset(crop.left, crop.top);
  return out;
}

}  // namespace

std::optional<platform::Region> DilateRegion(const platform::Region& region, int width, int height, int times) {
  return Morphology(region, width, height, times, Morph::Dilate);
}

std::optional<platform::Region> ErodeRegion(const platform::Region& region, int width, int height, int times) {
  return Morphology(region, width, height, times, Morph::Erode);
}

std::optional<platform::Region> BorderRegion(const platform::Region& region, int width, int height, int size) {
  const std::optional<platform::Region> outer = DilateRegion(region, width, height, size / 2);
  if (!outer) return std::nullopt;
  const std::optional<platform::Region> inner = ErodeRegion(region, width, height, size - size / 2);
  if (!inner) return std::nullopt;
  return outer->Subtract(*inner);
}
