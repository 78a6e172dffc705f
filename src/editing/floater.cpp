// The floater: lifting it out of the selection (with a feathered alpha) and
// dropping it back into the image.
//
// Dropping blends the floater through its alpha with the floater page's
// merge mode and opacity, and writes through the image's mask, which holds
// the selection region: a pixel inside the region becomes the blend, a pixel
// outside stays as it was. The blend is pointwise, so the work may be cut
// into any pieces: the Normal merge (and every palette or 1-bit image) is one
// GL_CombineBitmapWithAlpha call straight onto the image; the other merges
// need their destination and source at (0, 0) and run in bands of 64 rows
// through two band-sized scratch bitmaps. No image-sized plane is kept.
#include <algorithm>
#include <cstdint>
#include <new>
#include <vector>

#include "editing/busy_period.h"
#include "editing/tool_settings.h"
#include "editing/vivid_view.h"
#include "imaging/combine.h"
#include "imaging/fill.h"
#include "platform/messages.h"

namespace {

// The cells of a drop are aligned to multiples of this many pixels.
constexpr int kCellSize = 64;

// Largest feather that still leaves a positive lowest level
// (N x (255 div (N + 1)) < 255).
constexpr int kMaxFeather = 254;

// Gives the pixels of an 8-bit alpha that are exactly 255 the levels of a
// soft edge N pixels wide. The rule: step = max(1, 255 div (N + 1)); a
// working copy starts as the alpha; for i = 0 .. N - 1 every pixel that is
// 255 in the working copy gets 255 - (N - i) x step (255 in the last pass),
// then the working copy is eroded by a 3 x 3 minimum with everything outside
// the bitmap counted as 0. A pixel survives k erosions exactly when every
// pixel within chessboard distance k is 255, so with d the chessboard
// distance to the nearest pixel that is not (1 on the edge), its last pass is
// i = min(d, N) - 1. d comes from the two-pass chamfer transform with unit
// weights for all eight neighbours, capped at N.
void FeatherAlpha(CDIBitmap& alpha, int feather) {
  const int n = std::min(feather, kMaxFeather);
  if (n <= 1) return;  // one pass writes 255 where the alpha is 255
  const int width = alpha.GetWidth(), height = alpha.GetHeight();
  const int step = std::max(1, 255 / (n + 1));
  std::vector<uint8_t> distance;
  try {
    distance.resize(static_cast<size_t>(width) * height);
  } catch (const std::bad_alloc&) {
    return;  // no room for the distances: the edge stays hard
  }
  auto at = [&](int x, int y) -> uint8_t& { return distance[static_cast<size_t>(y) * width + x]; };
  auto get = [&](int x, int y) -> int {
    return (x < 0 || y < 0 || x >= width || y >= height) ? 0 : distance[static_cast<size_t>(y) * width + x];
  };
  for (int y = 0; y < height; ++y) {
    const uint8_t* row = alpha.RowPointer(y);
    for (int x = 0; x < width; ++x) {
      if (row[x] != 255) {
        at(x, y) = 0;
        continue;
      }
      const int nearest = std::min({get(x - 1, y), get(x - 1, y - 1), get(x, y - 1), get(x + 1, y - 1)});
      at(x, y) = static_cast<uint8_t>(std::min(n, nearest + 1));
    }
  }
  for (int y = height - 1; y >= 0; --y) {
    for (int x = width - 1; x >= 0; --x) {
      if (at(x, y) == 0) continue;
      const int nearest = std::min({get(x + 1, y), get(x + 1, y + 1), get(x, y + 1), get(x - 1, y + 1)});
      at(x, y) = static_cast<uint8_t>(std::min<int>(at(x, y), nearest + 1));
    }
  }
  uint8_t levels[kMaxFeather + 1];
  levels[0] = 0;  // unused: d = 0 leaves the pixel as it is
  for (int d = 1; d <= n; ++d) {
    const int pass = d - 1;
    levels[d] = static_cast<uint8_t>(pass == n - 1 ? 255 : 255 - (n - pass) * step);
  }
  for (int y = 0; y < height; ++y) {
    uint8_t* row = alpha.RowPointer(y);
    const uint8_t* d = &distance[static_cast<size_t>(y) * width];
    for (int x = 0; x < width; ++x)
      if (d[x]) row[x] = levels[d[x]];
  }
}

platform::Rect Intersect(const platform::Rect& a, const platform::Rect& b) {
  return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
}

}  // namespace

bool CVividView::CreateFloaterBitmaps(bool allowFeather) {
  CDIBitmap& pixels = document_.FloaterImage();
  CDIBitmap& alpha = document_.FloaterAlpha();
  // Bitmaps left without a floater present belong to no selection (a copy
  // made them and an error kept them): a new floater is cut afresh.
  if (!document_.HasFloater() && (pixels.IsAllocated() || alpha.IsAllocated())) document_.FreeFloaterBitmaps();
  if (!pixels.IsAllocated() && document_.HasSelection()) {
    const CDIBitmap& image = GetImage();
    platform::Rect box = document_.SelectionBox();
    if (box.left < 0 || box.top < 0 || box.right > image.GetWidth() || box.bottom > image.GetHeight()) {
      document_.CombineSelection(document_.SelectionRegionInImage(), SelectionCombine::Replace);
      box = document_.SelectionBox();
    }
    // An empty selection selects nothing: there is nothing to lift, which
    // is no allocation failure.
    if (box.IsEmpty()) return false;
    if (pixels.CopyRect(image, box.left, box.top, box.Width(), box.Height(), 0)) {
      if (alpha.IsAllocated()) {
        platform::ShowMessage("CreateFloaterBitmaps:free alpha");
        alpha.Free();
      }
      if (GL_CreateMaskFromRgn(alpha, box.Width(), box.Height(), document_.GetSelection().region) && allowFeather)
        FeatherAlpha(alpha, ToolSettings().feather);
    }
  }
  if (pixels.IsAllocated() && alpha.IsAllocated()) return true;
  platform::ShowMessage("Error allocating floater bitmaps");
  return false;
}

int CVividView::FloaterMergeMode(const CDIBitmap& image) {
  const int mode = ToolSettings().floaterMergeMode;
  const int bits = image.GetBitCount();
  switch (mode) {
    case kBlendMultiply:
    case kBlendScreen:
    case kBlendDifference:
    case kBlendNone: return mode;
    case kBlendIfDarker:
    case kBlendIfLighter: return bits == 24 || (bits == 8 && image.IsGray()) ? mode : kBlendNormal;
    case kBlendHue:
    case kBlendSaturation:
    case kBlendColor:
    case kBlendLuminosity: return bits == 24 ? mode : kBlendNormal;
    default: return kBlendNormal;
  }
}

void CVividView::CombineCellAndFloater(const platform::Rect& cell) {
  CDIBitmap& image = GetImage();
  const CDIBitmap& pixels = document_.FloaterImage();
  const CDIBitmap& alpha = document_.FloaterAlpha();
  if (!pixels.IsAllocated()) {
    platform::ShowMessage("CVividView::CombineCellAndFloater eek!");
    return;
  }
  if (!alpha.IsAllocated()) return;
  const platform::Rect box = document_.SelectionBox();
  const platform::Rect area = Intersect(Intersect(cell, box), {0, 0, image.GetWidth(), image.GetHeight()});
  if (area.IsEmpty()) return;
  const int fx = area.left - box.left, fy = area.top - box.top;
  const int width = area.Width(), height = area.Height();
  const int opacity = ToolSettings().FloaterOpacity();
  const bool byMode = image.GetBitCount() > 8 || image.IsGray();
  const int mode = byMode ? FloaterMergeMode(image) : kBlendNormal;
  if (mode == kBlendNormal) {
    // The Normal merge is GL_CombineBitmapWithAlpha whichever way it is
    // reached, and that call takes offsets: no copies.
    GL_CombineBitmapWithAlpha(image, area.left, area.top, width, height, pixels, fx, fy, alpha, fx, fy, opacity);
    return;
  }
  CDIBitmap destination, source;
  if (!destination.CopyRect(image, area.left, area.top, width, height, 0) ||
      !source.CopyRect(pixels, fx, fy, width, height, 0)) {
    platform::ShowMessage("Error allocating floater bitmaps");
    return;
  }
  if (GL_CombineBitmapByMode(destination, source, alpha, fx, fy, width, height, mode, opacity) != 1) return;
  for (int r = 0; r < height; ++r) image.PutRowPart(destination.RowPointer(r), area.top + r, area.left, width);
}

void CVividView::Defloat() {
  if (!document_.HasSelection() || !document_.FloaterAlpha().IsAllocated()) {
    if (!document_.FloaterImage().IsAllocated()) platform::ShowMessage("CVividView::CombineCellAndFloater eek!");
    document_.FreeFloaterBitmaps();
    return;
  }
  const CDIBitmap& image = GetImage();
  // Inside a reporting edit the blend runs without progress: it cannot be
  // cancelled halfway (its result is not checked below).
  const ProgressPause uncancellable;
  // The mask limits every write to the region.
  document_.ApplySelectionToImage();
  const platform::Region region = document_.SelectionRegionInImage();
  const platform::Rect covered =
      Intersect(Intersect(region.Box(), document_.SelectionBox()), {0, 0, image.GetWidth(), image.GetHeight()});
  if (!covered.IsEmpty()) {
    const bool byMode = image.GetBitCount() > 8 || image.IsGray();
    if (!byMode || FloaterMergeMode(image) == kBlendNormal) {
      CombineCellAndFloater(covered);
    } else {
      // Bands one cell high across the covered part; bands that miss the
      // region are skipped.
      for (int top = covered.top / kCellSize * kCellSize; top < covered.bottom; top += kCellSize) {
        const platform::Rect band{covered.left, std::max(top, covered.top), covered.right,
                                  std::min(top + kCellSize, covered.bottom)};
        if (region.Intersect(platform::Region::FromRect(band)).IsEmpty()) continue;
        CombineCellAndFloater(band);
      }
    }
  }
  document_.FreeFloaterBitmaps();
}
