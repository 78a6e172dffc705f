// The floater, clipboard and transform commands, the Move Floater tool and
// the arrow-key moves.
//
// Each command that changes the document runs in the edit frame (RunEdit)
// with its undo kind and name; Copy and Define Stamp change nothing and run
// without one. A command that needs floater bitmaps and finds no floater
// makes them (CreateFloaterBitmaps) and, when it does not leave a floater
// behind, frees them again, so that no bitmaps outlive the selection they
// were cut from.
#include <algorithm>
#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "document/clipboard_formats.h"
#include "editing/tool_settings.h"
#include "editing/selection_ops.h"
#include "editing/vivid_view.h"
#include "image/color_modes.h"
#include "image/result_codes.h"
#include "image/services.h"
#include "imaging/fill.h"
#include "platform/messages.h"

namespace {

// Puts the document's floater on the clipboard. The bitmaps are lent to
// the clipboard's parts and taken back, so nothing is copied here.
int FloaterToClipboard(CVividDoc& document) {
  FloaterParts parts;
  parts.image.Attach(document.FloaterImage());
  parts.alpha.Attach(document.FloaterAlpha());
  parts.outline = document.GetSelection().region;
  const platform::Rect box = document.SelectionBox();
  parts.position = {box.left, box.top};
  const int result = RegionBitmapsToClipboard(parts);
  document.FloaterImage().Attach(parts.image);
  document.FloaterAlpha().Attach(parts.alpha);
  return result;
}

// Fills the selected pixels of the image with `color` (0x00BBGGRR) through
// the selection's mask, which stays installed. A mask that could not be
// built would let the fill reach every pixel, so it refuses then.
EditResult FillSelected(CVividDoc& document, uint32_t color) {
  CDIBitmap& image = *document.GetTargetImage();
  document.ApplySelectionToImage();
  if (!image.WritesMasked()) return kResultOutOfMemory;
  GL_FillBitmap(image, color);
  document.ApplySelectionToImage();
  return 1;
}

bool SameColorTable(const CDIBitmap& a, const CDIBitmap& b) {
  const int entries = a.GetPaletteSize();
  if (entries != b.GetPaletteSize()) return false;
  std::vector<uint8_t> ta(static_cast<size_t>(entries) * 4), tb(ta.size());
  a.GetColorTable(ta.data(), entries);
  b.GetColorTable(tb.data(), entries);
  return ta == tb;
}

// Remaps `floater` to the colour table of a palette or 1-bit `image`: every
// pixel takes the table entry nearest to its colour.
int RemapToTable(CDIBitmap& floater, const CDIBitmap& image) {
  CDIBitmap mapped;
  if (!mapped.CreateCompatible(image, floater.GetWidth(), floater.GetHeight())) return kResultOutOfMemory;
  std::unordered_map<uint32_t, uint8_t> nearest;
  const int width = floater.GetWidth();
  std::vector<uint8_t> row(static_cast<size_t>(mapped.GetRowBytes()));
  for (int y = 0; y < floater.GetHeight(); ++y) {
    std::fill(row.begin(), row.end(), 0);
    for (int x = 0; x < width; ++x) {
      const uint32_t color = floater.GetPixelColor(y, x);
      auto found = nearest.find(color);
      if (found == nearest.end()) found = nearest.emplace(color, static_cast<uint8_t>(image.NearestIndex(color))).first;
      if (mapped.GetBitCount() == 1) {
        if (found->second) row[static_cast<size_t>(x) >> 3] |= static_cast<uint8_t>(0x80u >> (x & 7));
      } else {
        row[static_cast<size_t>(x)] = found->second;
      }
    }
    mapped.PutRow(row.data(), y);
  }
  floater.Free();
  floater.Attach(mapped);
  return 1;
}

// Converts pasted pixels to the image's pixel kind.
int ConvertToImageKind(CDIBitmap& floater, const CDIBitmap& image) {
  const int bits = image.GetBitCount();
  if (bits == 24) return floater.GetBitCount() == 24 ? 1 : GL_ConvertImageToRGB(floater);
  if (bits == 32) return floater.GetBitCount() == 32 ? 1 : GL_ConvertImageToCMYK(floater);
  if (bits == 8 && image.IsGray()) return floater.GetBitCount() == 8 && floater.IsGray() ? 1 : GL_ConvertToGray(floater);
  if (floater.GetBitCount() == bits && !floater.IsGray() && SameColorTable(floater, image)) return 1;
  return RemapToTable(floater, image);
}

// The undo names of the transform commands, on the floater and on the
// canvas.
struct TransformNames {
  std::string_view operation, floater, canvas;
};
constexpr TransformNames kTransformNames[] = {
    {"rotate-90", "Rotate 90 Floater", "Rotate 90 Canvas"},
    {"rotate-180", "Rotate 180 Floater", "Rotate 180 Canvas"},
    {"rotate-270", "Rotate -90 Floater", "Rotate -90 Canvas"},
    {"flip-horizontal", "Flip Floater Vertical", "Flip Canvas Vertical"},
    {"flip-vertical", "Flip Floater Horizotal", "Flip Canvas Horizotal"},
    {"resize", "Resize Floater", "Resize Image"},
    {"rotate", "Rotate Floater", "Rotate Canvas"},
    {"shear", "Skew Floater", "Skew Canvas"},
};

// a div 2 rounded down, so that centring behaves alike on both sides of 0.
int32_t Half(int64_t value) { return static_cast<int32_t>(value >= 0 ? value / 2 : -((-value + 1) / 2)); }

}  // namespace

// --- commands ---

EditResult CVividView::OnFloat() {
  if (!document_.HasSelection() || document_.HasFloater() || document_.SelectionBox().IsEmpty()) return 0;
  const EditResult result = RunEdit(16, nullptr, "Float Selection", kHintRedraw, [&]() -> EditResult {
    if (!CreateFloaterBitmaps(true)) return 0;
    document_.SetFloaterPresent(true);
    return 1;
  });
  UpdateTransformFrame();
  return result;
}

EditResult CVividView::OnDefloat() {
  if (!document_.HasFloater()) return 0;
  return RunEdit(17, nullptr, "Defloat Floater", kHintRedraw, [&]() -> EditResult {
    Defloat();
    document_.SetFloaterPresent(false);
    document_.ApplySelectionToImage();
    return 1;
  });
}

EditResult CVividView::OnCopy() {
  if (!document_.HasSelection() || IsEditBusy()) return 0;
  const bool made = !document_.HasFloater();
  if (made && !CreateFloaterBitmaps(true)) return 0;
  const int result = FloaterToClipboard(document_);
  if (made) document_.FreeFloaterBitmaps();
  return result;
}

EditResult CVividView::OnCut() {
  if (!document_.HasSelection()) return 0;
  EditResult result;
  if (document_.HasFloater()) {
    result = RunEdit(15, nullptr, "Cut Floater", kHintRedraw, [&]() -> EditResult {
      // A floater that did not reach the clipboard is kept, not lost.
      if (FloaterToClipboard(document_) != 1) return 0;
      document_.FreeFloaterBitmaps();
      document_.ClearSelection();
      return 1;
    });
  } else {
    result = RunEdit(15, nullptr, "Cut Selection", kHintRedraw, [&]() -> EditResult {
      if (!CreateFloaterBitmaps(true)) return 0;
      const int copied = FloaterToClipboard(document_);
      document_.FreeFloaterBitmaps();
      if (copied != 1) return 0;
      const EditResult filled = FillSelected(document_, ToolSettings().background);
      document_.ClearSelection();
      return filled;
    });
  }
  UpdateTransformFrame();
  return result;
}

EditResult CVividView::OnDelete() {
  if (!document_.HasSelection()) return 0;
  if (document_.HasFloater()) {
    const EditResult result = RunEdit(15, nullptr, "Clear Floater", kHintRedraw, [&]() -> EditResult {
      document_.FreeFloaterBitmaps();
      document_.ClearSelection();
      return 1;
    });
    UpdateTransformFrame();
    return result;
  }
  return RunEdit(15, nullptr, "Clear Selection", kHintRedraw,
                 [&]() -> EditResult { return FillSelected(document_, ToolSettings().background); });
}

EditResult CVividView::OnFill() {
  if (!document_.HasSelection()) return 0;
  if (document_.HasFloater()) {
    return RunEdit(19, nullptr, "Fill Floater", kHintRedraw, [&]() -> EditResult {
      CDIBitmap& pixels = document_.FloaterImage();
      if (!pixels.IsAllocated()) return 0;
      pixels.ClearMask();
      return GL_FillBitmap(pixels, ToolSettings().foreground);
    });
  }
  return RunEdit(19, nullptr, "Fill Selection", kHintRedraw,
                 [&]() -> EditResult { return FillSelected(document_, ToolSettings().foreground); });
}

EditResult CVividView::OnPaste() {
  if (!GetImage().IsAllocated()) return 0;
  // The top-left corner of the visible part of the image.
  const platform::Rect shown = DisplayedImageRect();
  const int band = rulers_ ? 20 : 0;
  platform::Point position = ViewToImage({std::max(band, shown.left), std::max(band, shown.top)});
  position.x = std::max(0, position.x);
  position.y = std::max(0, position.y);
  const EditResult result = RunEdit(30, nullptr, "Paste from Clipboard", kHintRedraw, [&]() -> EditResult {
    // Read first: a clipboard that cannot be pasted leaves the old floater
    // floating.
    FloaterParts parts;
    if (RegionBitmapsFromClipboard(parts, position) != 1) return 0;
    const int converted = ConvertToImageKind(parts.image, GetImage());
    if (converted != 1) return converted;
    if (document_.HasFloater()) {
      Defloat();
      document_.SetFloaterPresent(false);
    }
    document_.FreeFloaterBitmaps();
    document_.FloaterImage().Attach(parts.image);
    document_.FloaterAlpha().Attach(parts.alpha);
    const CDIBitmap& pixels = document_.FloaterImage();
    document_.SetSelection(parts.outline, {parts.position.x, parts.position.y, parts.position.x + pixels.GetWidth(),
                                           parts.position.y + pixels.GetHeight()});
    document_.SetFloaterPresent(true);
    document_.ApplySelectionToImage();
    if (!pixels.IsAllocated() || !document_.FloaterAlpha().IsAllocated() || !document_.HasSelection()) {
      platform::ShowMessage("Error allocating clipcopy bitmaps");
      return 0;
    }
    return 1;
  });
  UpdateTransformFrame();
  return result;
}

EditResult CVividView::OnDefineStamp() {
  if (!document_.HasSelection() || IsEditBusy()) return 0;
  const bool made = !document_.HasFloater();
  if (made && !CreateFloaterBitmaps(true)) return 0;
  const bool copied = stampImage_.CopyFrom(document_.FloaterImage()) && stampAlpha_.CopyFrom(document_.FloaterAlpha());
  if (made) document_.FreeFloaterBitmaps();
  if (!copied) {
    stampImage_.Free();
    stampAlpha_.Free();
    ReportResult(kResultOutOfMemory);
    return kResultOutOfMemory;
  }
  return 1;
}

EditResult CVividView::OnTrim() {
  if (!document_.HasSelection()) return 0;
  CDIBitmap& image = GetImage();
  const platform::Rect box = document_.SelectionBox();
  const platform::Rect crop{std::max(box.left, 0), std::max(box.top, 0), std::min(box.right, image.GetWidth()),
                            std::min(box.bottom, image.GetHeight())};
  if (crop.IsEmpty()) return 0;
  const EditResult result =
      RunEdit(99, nullptr, "Trim Selection", kHintSizeChanged | kHintRedraw, [&]() -> EditResult {
        const int cropped = GL_CropBitmap(image, crop.left, crop.top, crop.Width(), crop.Height());
        if (cropped == 1) {
          // The box keeps its place over the picture: (0, 0) unless a
          // floater reached past the image's top or left edge.
          document_.MoveSelectionTo(box.left - crop.left, box.top - crop.top);
        }
        document_.ApplySelectionToImage();
        return cropped;
      });
  UpdateTransformFrame();
  return result;
}

EditResult CVividView::TransformFloater(std::string_view undoName, const std::function<int(CDIBitmap&)>& op,
                                        std::optional<platform::Point> origin) {
  const EditResult result = RunEdit(19, nullptr, undoName, kHintRedraw, [&]() -> EditResult {
    if (!document_.HasFloater()) {
      if (!CreateFloaterBitmaps(true)) return 0;
      document_.SetFloaterPresent(true);
    }
    CDIBitmap& pixels = document_.FloaterImage();
    CDIBitmap& alpha = document_.FloaterAlpha();
    const platform::Rect old = document_.SelectionBox();
    const int turned = op(alpha);
    if (turned != 1) return turned;
    const int moved = op(pixels);
    if (moved != 1 || pixels.GetWidth() != alpha.GetWidth() || pixels.GetHeight() != alpha.GetHeight()) {
      // The alpha went ahead alone: make it fit the pixels again from the
      // outline (a feathered edge is lost, the floater stays whole).
      GL_CreateMaskFromRgn(alpha, pixels.GetWidth(), pixels.GetHeight(), document_.GetSelection().region);
      return moved == 1 ? kResultOutOfMemory : moved;
    }
    platform::Region region;
    GL_GetRgnFromBitmap(alpha, region, nullptr);
    const int32_t width = pixels.GetWidth(), height = pixels.GetHeight();
    const platform::Point at =
        origin ? *origin
               : platform::Point{Half(int64_t{old.left} + old.right) - width / 2,
                                 Half(int64_t{old.top} + old.bottom) - height / 2};
    document_.SetSelection(std::move(region), {at.x, at.y, at.x + width, at.y + height});
    document_.SetFloaterPresent(true);
    document_.ApplySelectionToImage();
    return 1;
  });
  UpdateTransformFrame();
  return result;
}

EditResult CVividView::RunTransform(const ParsedOperation& operation) {
  if (!operation.def || IsEditBusy() || IsModalRunning() || !GetImage().IsAllocated()) return 0;
  const TransformNames* names = nullptr;
  for (const TransformNames& entry : kTransformNames)
    if (entry.operation == operation.def->name) names = &entry;
  if (!names) return 0;
  const OperationDef& def = *operation.def;
  const OperationArgs& args = operation.args;
  if (document_.HasSelection())
    return TransformFloater(names->floater, [&](CDIBitmap& bitmap) { return def.apply(bitmap, args); }, std::nullopt);
  return RunEdit(50, nullptr, names->canvas, kHintSizeChanged | kHintRedraw,
                 [&]() -> EditResult { return def.apply(GetImage(), args); });
}

const CDIBitmap& CVividView::StampImage() const { return stampImage_; }
const CDIBitmap& CVividView::StampAlpha() const { return stampAlpha_; }

// --- the floater tools ---
//
// Move Floater: a press inside the selection starts a drag; floaterDrag_
// holds the distance gone (image pixels) for the drag image; the release
// moves the floater (made first if needed) by it, undo kind 12.
// Scale, Rotate, Distort: transform_tools.cpp. Edit Floater Alpha: a brush
// stroke collected over the box, applied on release (transform_tools.cpp).

void CVividView::FloaterPress(platform::Point point, PointerButton button, unsigned modifiers) {
  if (button != PointerButton::Left || !document_.HasSelection()) return;
  switch (ToolSettings().ActiveTool()) {
    case ViewTool::MoveFloater: {
      const platform::Point at = ViewToImage(point, false);
      if (!document_.SelectionRegionInImage().Contains(at.x, at.y)) return;
      draggingFloater_ = true;
      floaterPress_ = point;
      floaterDrag_ = {};
      return;
    }
    case ViewTool::Scale:
    case ViewTool::Rotate:
    case ViewTool::Distort: TransformToolPress(point); return;
    case ViewTool::EditAlpha: {
      const platform::Rect box = document_.SelectionBox();
      if (!alphaCoverage_.Create(box.Width(), box.Height(), 8, 1)) return;
      alphaStrokeActive_ = true;
      alphaRaise_ = (modifiers & kModShift) != 0;
      alphaOrigin_ = {box.left, box.top};
      alphaStroke_ = platform::Region::Empty();
      lastAlphaDab_.reset();
      const platform::Point at = ViewToImage(point);
      AlphaStrokeDab({static_cast<double>(at.x), static_cast<double>(at.y)});
      return;
    }
    default: return;
  }
}

void CVividView::FloaterMove(platform::Point point, unsigned) {
  if (!buttonDown_) return;
  if (draggingFloater_) {
    const platform::Point from = ViewToImage(floaterPress_), to = ViewToImage(point);
    const platform::Point drag{to.x - from.x, to.y - from.y};
    if (drag != floaterDrag_) {
      floaterDrag_ = drag;
      InvalidateAll();
    }
    return;
  }
  if (transformActive_) {
    TransformToolMove(point);
    return;
  }
  if (alphaStrokeActive_) {
    const platform::Point at = ViewToImage(point);
    AlphaStrokeDab({static_cast<double>(at.x), static_cast<double>(at.y)});
  }
}

void CVividView::FloaterRelease(platform::Point point, PointerButton, unsigned) {
  if (draggingFloater_) {
    draggingFloater_ = false;
    floaterDrag_ = {};
    const platform::Point from = ViewToImage(floaterPress_), to = ViewToImage(point);
    const int dx = to.x - from.x, dy = to.y - from.y;
    InvalidateAll();
    if ((dx == 0 && dy == 0) || !document_.HasSelection()) return;
    LiftAndMoveFloater(dx, dy, 12);
    UpdateTransformFrame();
    return;
  }
  if (transformActive_) {
    TransformToolRelease(point);
    return;
  }
  if (alphaStrokeActive_) AlphaStrokeRelease();
}

// Makes the floater when there is none yet, then moves the box by (dx, dy),
// kept touching the image as the outline's moves are.
EditResult CVividView::LiftAndMoveFloater(int dx, int dy, int undoKind) {
  return RunEdit(undoKind, nullptr, "Move Floater", kHintRedraw, [&]() -> EditResult {
    if (!document_.HasFloater()) {
      if (!CreateFloaterBitmaps(true)) return 0;
      document_.SetFloaterPresent(true);
    }
    const platform::Point origin =
        MovedSelectionOrigin(document_.SelectionBox(), dx, dy, GetImage().GetWidth(), GetImage().GetHeight());
    document_.MoveSelectionTo(origin.x, origin.y);
    document_.ApplySelectionToImage();
    return 1;
  });
}

void CVividView::FloaterKey(ViewKey key, int repeat, unsigned modifiers) {
  if ((modifiers & (kModCtrl | kModShift)) || !document_.HasSelection()) return;
  const int count = std::max(1, repeat);
  int dx = 0, dy = 0;
  switch (key) {
    case ViewKey::Left: dx = -count; break;
    case ViewKey::Right: dx = count; break;
    case ViewKey::Up: dy = -count; break;
    case ViewKey::Down: dy = count; break;
    default: return;
  }
  if (document_.HasFloater()) {
    MoveSelectionBy(dx, dy, 13, "Move Floater");
  } else {
    // The first move lifts the floater; recorded as kind 13 with the
    // selection only, so the moves after it merge into one undo step that
    // ends without a floater.
    LiftAndMoveFloater(dx, dy, 13);
  }
  UpdateTransformFrame();
}
