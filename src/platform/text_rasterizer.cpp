// The current text rasteriser and the font size rule.
#include "platform/text_rasterizer.h"

#include <algorithm>
#include <cmath>

namespace platform {
namespace {

TextRasterizer* g_rasterizer = nullptr;

}  // namespace

int FontSpec::PixelSize() const {
  const double pixels = sizeInPoints ? size * dpi / 72.0 : size;
  if (!std::isfinite(pixels) || pixels <= 0) return 0;
  if (pixels >= 1 << 16) return 1 << 16;
  return std::max(1, static_cast<int>(std::lround(pixels)));
}

TextRasterizer* CurrentTextRasterizer() { return g_rasterizer; }

TextRasterizer* SetTextRasterizer(TextRasterizer* rasterizer) {
  TextRasterizer* old = g_rasterizer;
  g_rasterizer = rasterizer;
  return old;
}

}  // namespace platform
