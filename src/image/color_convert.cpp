#include "image/color_convert.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

#include "image/dibitmap.h"
#include "platform/messages.h"

namespace {

// The installed transform. `g_installed` lets the conversions skip the lock
// while none is installed, which is nearly always.
std::mutex g_transformMutex;
std::shared_ptr<const CColorTransform> g_transform;
std::atomic<bool> g_installed{false};

inline void SimpleRGBToCMYK(const uint8_t* bgr, uint8_t* cmyk) {
  cmyk[0] = static_cast<uint8_t>(255 - bgr[2]);
  cmyk[1] = static_cast<uint8_t>(255 - bgr[1]);
  cmyk[2] = static_cast<uint8_t>(255 - bgr[0]);
  cmyk[3] = 0;
}

inline void SimpleCMYKToRGB(const uint8_t* cmyk, uint8_t* bgr) {
  const int k = cmyk[3];
  bgr[2] = static_cast<uint8_t>(std::max(0, 255 - cmyk[0] - k));
  bgr[1] = static_cast<uint8_t>(std::max(0, 255 - cmyk[1] - k));
  bgr[0] = static_cast<uint8_t>(std::max(0, 255 - cmyk[2] - k));
}

}  // namespace

std::shared_ptr<const CColorTransform> GL_SetColorTransform(std::shared_ptr<const CColorTransform> transform) {
  std::lock_guard<std::mutex> lock(g_transformMutex);
  g_installed.store(transform != nullptr, std::memory_order_release);
  g_transform.swap(transform);
  return transform;
}

std::shared_ptr<const CColorTransform> GL_GetColorTransform() {
  if (!g_installed.load(std::memory_order_acquire)) return nullptr;
  std::lock_guard<std::mutex> lock(g_transformMutex);
  return g_transform;
}

bool GL_HasColorTransform() { return g_installed.load(std::memory_order_acquire); }

void GL_RGBToCMYK(uint8_t red, uint8_t green, uint8_t blue, uint8_t cmyk[4]) {
  const uint8_t bgr[3] = {blue, green, red};
  GL_RGBRowToCMYK(bgr, cmyk, 1);
}

void GL_CMYKToRGB(const uint8_t cmyk[4], uint8_t& red, uint8_t& green, uint8_t& blue) {
  uint8_t bgr[3];
  GL_CMYKRowToRGB(cmyk, bgr, 1);
  blue = bgr[0];
  green = bgr[1];
  red = bgr[2];
}

void GL_RGBRowToCMYK(const uint8_t* bgr, uint8_t* cmyk, int count) {
  if (const std::shared_ptr<const CColorTransform> transform = GL_GetColorTransform()) {
    transform->RGBToCMYK(bgr, cmyk, count);
    return;
  }
  for (int i = 0; i < count; ++i) SimpleRGBToCMYK(bgr + 3 * i, cmyk + 4 * i);
}

void GL_CMYKRowToRGB(const uint8_t* cmyk, uint8_t* bgr, int count) {
  if (const std::shared_ptr<const CColorTransform> transform = GL_GetColorTransform()) {
    transform->CMYKToRGB(cmyk, bgr, count);
    return;
  }
  for (int i = 0; i < count; ++i) SimpleCMYKToRGB(cmyk + 4 * i, bgr + 3 * i);
}

namespace {

// Shared loop of the two rectangle conversions: rows from (x, y) of the
// source into the target from its origin.
template <int SrcBpp, int DstBpp, typename RowFn>
int ConvertRect(CDIBitmap& target, const CDIBitmap& source, int x, int y, int width, int height, RowFn convert) {
  const int x0 = std::max(x, 0);
  const int x1 = std::min({x + width, source.GetWidth(), x0 + target.GetWidth()});
  if (x1 <= x0 || height <= 0) return 1;
  const int count = x1 - x0;
  std::vector<uint8_t> out(static_cast<size_t>(target.GetStride()));
  for (int r = 0; r < height && r < target.GetHeight(); ++r) {
    const int sy = y + r;
    if (sy >= source.GetHeight()) break;
    if (sy < 0) continue;
    target.GetRow(out.data(), r);
    convert(source.RowPointer(sy) + static_cast<size_t>(x0) * SrcBpp, out.data(), count);
    target.PutRow(out.data(), r);
  }
  return 1;
}

}  // namespace

int GL_CMYKToRGBRect(CDIBitmap& target, const CDIBitmap& source, int x, int y, int width, int height) {
  if (target.GetBitCount() != 24) {
    platform::ShowMessage("GL_CMYKToRGBRect ::pdbmDest Should be a 24bit image");
    return 0;
  }
  if (source.GetBitCount() != 32) {
    platform::ShowMessage("GL_CMYKToRGBRect ::pdbmSrc Should be a 32bit image");
    return 0;
  }
  return ConvertRect<4, 3>(target, source, x, y, width, height, GL_CMYKRowToRGB);
}

int GL_RGBToCMYKRect(CDIBitmap& target, const CDIBitmap& source, int x, int y, int width, int height) {
  if (target.GetBitCount() != 32) {
    platform::ShowMessage("GL_RGBToCMYKRect ::pdbmDest Should be a 32bit image");
    return 0;
  }
  if (source.GetBitCount() != 24) {
    platform::ShowMessage("GL_RGBToCMYKRect ::pdbmSrc Should be a 24bit image");
    return 0;
  }
  return ConvertRect<3, 4>(target, source, x, y, width, height, GL_RGBRowToCMYK);
}
