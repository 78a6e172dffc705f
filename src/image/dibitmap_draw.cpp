// CDIBitmap and the platform's rasters: reading a raster, stretch-drawing
// onto one.
#include "image/dibitmap.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "image/color_convert.h"
#include "platform/palette.h"

void Raster::Allocate(int w, int h, int bpp) {
  width = w;
  height = h;
  bitsPerPixel = bpp;
  stride = static_cast<int>(DIBStride(w, bpp));
  pixels.assign(static_cast<size_t>(stride) * static_cast<size_t>(std::max(h, 0)), 0);
}

int CDIBitmap::FromDDB(const Raster& raster, const platform::Palette* palette) {
  const int depth = raster.bitsPerPixel;
  if (raster.width <= 0 || raster.height <= 0) return 0;
  if (raster.stride < DIBStride(raster.width, depth) ||
      raster.pixels.size() < static_cast<size_t>(raster.stride) * static_cast<size_t>(raster.height))
    return 0;
  platform::Palette own;
  if (!palette) {
    own = platform::Palette::FromColorTable(raster.paletteBGRX, static_cast<int>(raster.paletteBGRX.size() / 4));
    palette = &own;
  }
  CDIBitmap image;
  const int w = raster.width;
  const int h = raster.height;
  if (depth == 1 || depth == 4 || depth == 8) {
    const bool gray = depth != 1 && *palette == platform::Palette::GrayRamp();
    if (!image.Create(w, h, depth == 1 ? 1 : 8, gray ? 1 : 2)) return 0;
    if (!gray) {
      const int n = std::min(palette->Size(), image.GetPaletteSize());
      for (int i = 0; i < n; ++i) {
        const platform::PaletteEntry& e = palette->Entries()[static_cast<size_t>(i)];
        uint8_t* t = image.colorTable_ + 4 * i;
        t[0] = e.blue;
        t[1] = e.green;
        t[2] = e.red;
        t[3] = 0;
      }
    }
    for (int y = 0; y < h; ++y) {
      const uint8_t* src = raster.Row(y);
      uint8_t* dst = image.RowPointer(y);
      if (depth == 1)
        std::memcpy(dst, src, static_cast<size_t>((w + 7) / 8));
      else if (depth == 8)
        std::memcpy(dst, src, static_cast<size_t>(w));
      else
        for (int x = 0; x < w; ++x) dst[x] = static_cast<uint8_t>((x & 1) ? src[x >> 1] & 0x0F : src[x >> 1] >> 4);
    }
  } else if (depth == 24 || depth == 32) {
    if (!image.Create(w, h, 24, 0)) return 0;
    const int bpp = depth / 8;
    for (int y = 0; y < h; ++y) {
      const uint8_t* src = raster.Row(y);
      uint8_t* dst = image.RowPointer(y);
      if (bpp == 3) {
        std::memcpy(dst, src, static_cast<size_t>(w) * 3);
      } else {
        for (int x = 0; x < w; ++x) std::memcpy(dst + 3 * x, src + 4 * x, 3);
      }
    }
  } else {
    return 0;
  }
  Attach(image);
  return 1;
}

int CDIBitmap::Draw(Raster& target, const platform::Rect* sourceRect, const platform::Rect* destRect) const {
  if (!pixels_ || target.bitsPerPixel != 24) return 0;
  const platform::Rect src = sourceRect ? *sourceRect : platform::Rect{0, 0, width_, height_};
  const platform::Rect dst = destRect ? *destRect : src;
  if (src.IsEmpty() || dst.IsEmpty()) return 1;

  // Source columns and rows covered by each destination pixel: an area
  // average when shrinking, the nearest pixel when enlarging.
  const int dw = dst.Width();
  const int dh = dst.Height();
  auto span = [](int64_t i, int64_t d, int64_t s, int64_t origin) {
    int64_t a = origin + i * s / d;
    int64_t b = origin + ((i + 1) * s + d - 1) / d;
    if (b <= a) b = a + 1;
    return std::pair<int64_t, int64_t>(a, b);
  };
  std::vector<uint8_t> rgbRow(static_cast<size_t>(width_) * 3);
  std::vector<uint32_t> sums;
  std::vector<int> cols0(static_cast<size_t>(dw)), cols1(static_cast<size_t>(dw));
  for (int i = 0; i < dw; ++i) {
    auto [a, b] = span(i, dw, src.Width(), src.left);
    cols0[static_cast<size_t>(i)] = static_cast<int>(std::clamp<int64_t>(a, 0, width_ - 1));
    cols1[static_cast<size_t>(i)] = static_cast<int>(std::clamp<int64_t>(b, 1, width_));
  }
  auto loadRow = [&](int y) {
    if (bitCount_ == 32) {
      GL_CMYKRowToRGB(RowPointer(y), rgbRow.data(), width_);
    } else {
      GetRowRGB(rgbRow.data(), y);
    }
  };
  sums.assign(static_cast<size_t>(dw) * 4, 0);
  for (int j = 0; j < dh; ++j) {
    const int ty = dst.top + j;
    if (ty < 0 || ty >= target.height) continue;
    auto [ya, yb] = span(j, dh, src.Height(), src.top);
    const int y0 = static_cast<int>(std::clamp<int64_t>(ya, 0, height_ - 1));
    const int y1 = static_cast<int>(std::clamp<int64_t>(yb, 1, height_));
    std::fill(sums.begin(), sums.end(), 0);
    for (int y = y0; y < std::max(y1, y0 + 1); ++y) {
      loadRow(y);
      for (int i = 0; i < dw; ++i) {
        uint32_t* s = &sums[static_cast<size_t>(i) * 4];
        for (int x = cols0[static_cast<size_t>(i)]; x < std::max(cols1[static_cast<size_t>(i)], cols0[static_cast<size_t>(i)] + 1); ++x) {
          s[0] += rgbRow[3 * x];
          s[1] += rgbRow[3 * x + 1];
          s[2] += rgbRow[3 * x + 2];
          s[3] += 1;
        }
      }
    }
    uint8_t* out = target.Row(ty);
    for (int i = 0; i < dw; ++i) {
      const int tx = dst.left + i;
      if (tx < 0 || tx >= target.width) continue;
      const uint32_t* s = &sums[static_cast<size_t>(i) * 4];
      for (int c = 0; c < 3; ++c) out[3 * tx + c] = static_cast<uint8_t>((s[c] + s[3] / 2) / s[3]);
    }
  }
  return 1;
}

