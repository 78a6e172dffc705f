#include "image/services.h"

#include <cstring>
#include <vector>

#include "image/color_convert.h"
#include "image/result_codes.h"
#include "platform/messages.h"

int GL_FreeBitmap(CDIBitmap& bitmap) {
  bitmap.Free();
  return kResultOk;
}

int GL_CreateCompatibleBitmap(CDIBitmap& target, const CDIBitmap& source, int width, int height) {
  return target.CreateCompatible(source, width, height);
}

int GL_CreateCMYKBitmap(CDIBitmap& target, int width, int height) { return target.Create(width, height, 32, 3); }

int GL_CreateRGBBitmap(CDIBitmap& target, int width, int height) { return target.Create(width, height, 24, 0); }

int GL_CreateGrayBitmap(CDIBitmap& target, int width, int height) { return target.Create(width, height, 8, 1); }

int GL_CreateIndexedBitmap(CDIBitmap& target, int width, int height, int bitCount, const uint8_t* table) {
  if (!target.Create(width, height, bitCount, 2)) return kResultRefused;
  if (table) target.SetColorTable(table, target.GetBitCount() == 1 ? 2 : 256);
  return kResultOk;
}

int GL_FreeMask(CDIBitmap& bitmap) {
  bitmap.ClearMask();
  return kResultOk;
}

platform::Palette GL_CreateGrayPalette() { return platform::Palette::GrayRamp(); }

int GL_CopyBitmapRect(CDIBitmap& target, const CDIBitmap& source, int x, int y, int width, int height) {
  target.CopyRect(source, x, y, width, height, 0);
  return kResultOk;
}

int GL_CropBitmap(CDIBitmap& bitmap, int x, int y, int width, int height) {
  if (x == 0 && y == 0 && width == bitmap.GetWidth() && height == bitmap.GetHeight()) return kResultOk;
  CDIBitmap cropped;
  if (!cropped.CopyRect(bitmap, x, y, width, height, 0)) return kResultRefused;
  cropped.SetResolution(bitmap.GetXResolution(), bitmap.GetYResolution());
  bitmap.Attach(cropped);
  return kResultOk;
}

int GL_DrawBitmap(Raster& target, const CDIBitmap& bitmap, const platform::Rect* sourceRect,
                  const platform::Rect* destRect) {
  if (bitmap.GetBitCount() <= 24) return bitmap.Draw(target, sourceRect, destRect);
  const platform::Rect src = sourceRect ? *sourceRect : platform::Rect{0, 0, bitmap.GetWidth(), bitmap.GetHeight()};
  const platform::Rect dst = destRect ? *destRect : src;
  if (src.IsEmpty()) return kResultOk;
  CDIBitmap rgb;
  if (!GL_CreateRGBBitmap(rgb, src.Width(), src.Height())) return kResultRefused;
  GL_CMYKToRGBRect(rgb, bitmap, src.left, src.top, src.Width(), src.Height());
  const platform::Rect whole{0, 0, src.Width(), src.Height()};
  return rgb.Draw(target, &whole, &dst);
}

namespace {

// Writes one prepared row into every row of the bitmap, through the mask.
void FillRows(CDIBitmap& bitmap, const std::vector<uint8_t>& row) {
  bitmap.Lock();
  for (int y = 0; y < bitmap.GetHeight(); ++y) bitmap.PutRow(row.data(), y);
  bitmap.Unlock();
}

}  // namespace

int GL_FillBitmap(CDIBitmap& bitmap, uint32_t color) {
  if (!bitmap.IsAllocated()) return kResultRefused;
  const int width = bitmap.GetWidth();
  std::vector<uint8_t> row(static_cast<size_t>(bitmap.GetStride()), 0);
  switch (bitmap.GetBitCount()) {
    case 1:
      std::memset(row.data(), bitmap.NearestIndex(color) ? 0xFF : 0x00, row.size());
      break;
    case 8:
      std::memset(row.data(), bitmap.NearestIndex(color), row.size());
      break;
    case 24:
      for (int x = 0; x < width; ++x) {
        row[3 * static_cast<size_t>(x)] = static_cast<uint8_t>(color >> 16);
        row[3 * static_cast<size_t>(x) + 1] = static_cast<uint8_t>(color >> 8);
        row[3 * static_cast<size_t>(x) + 2] = static_cast<uint8_t>(color);
      }
      break;
    case 32: {
      uint8_t cmyk[4];
      GL_RGBToCMYK(static_cast<uint8_t>(color), static_cast<uint8_t>(color >> 8), static_cast<uint8_t>(color >> 16),
                   cmyk);
      for (int x = 0; x < width; ++x) std::memcpy(&row[4 * static_cast<size_t>(x)], cmyk, 4);
      break;
    }
    default:
      return kResultRefused;
  }
  FillRows(bitmap, row);
  return kResultOk;
}

int GL_FillBitmapIndex(CDIBitmap& bitmap, int index) {
  const int bits = bitmap.GetBitCount();
  if (bits != 1 && bits != 8) {
    platform::ShowMessage("GL_FillBitmapIndex :: pdbmDest Should be a  8bit or 1 image");
    return kResultRefused;
  }
  std::vector<uint8_t> row(static_cast<size_t>(bitmap.GetStride()));
  std::memset(row.data(), bits == 1 ? (index ? 0xFF : 0x00) : static_cast<uint8_t>(index), row.size());
  FillRows(bitmap, row);
  return kResultOk;
}
