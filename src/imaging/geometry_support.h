// Checks and the final step shared by the geometry operations.
#pragma once

#include "image/dibitmap.h"
#include "platform/messages.h"

namespace geometry_detail {

// An allocated bitmap of 1, 8, 24 or 32 bits; other bit counts are refused
// with "Invalid Bit Count".
inline bool Valid(const CDIBitmap& image) {
  if (!image.IsAllocated() || !image.GetPixels()) return false;
  const int bits = image.GetBitCount();
  if (bits == 1 || bits == 8 || bits == 24 || bits == 32) return true;
  platform::ShowMessage("Invalid Bit Count");
  return false;
}

// Moves the finished result into the caller's object, keeping its resolution.
inline void Replace(CDIBitmap& image, CDIBitmap& result) {
  const int xr = image.GetXResolution();
  const int yr = image.GetYResolution();
  image.Attach(result);
  image.SetResolution(xr, yr);
}

}  // namespace geometry_detail
