// The text tool: a press opens the Text dialog; OK renders the dialog's text
// into a new floater at the press point (or, with Mask Only, into a
// text-shaped selection), Cancel leaves everything as it was.
//
// The text is laid out as a block: one row of text per line, each line
// measured with one blank appended; the block is as wide as the widest line
// and as high as all line heights together. The floater's pixels are the
// block filled with the foreground colour; its alpha is the text drawn white
// on black by the current text rasteriser:
// - with AntiAlias on, the rasteriser's anti-aliased coverage smoothed once
//   more with GL_SmoothBitmap;
// - with AntiAlias off, the rasteriser's bilevel glyphs, cut at 128 to 0 or
//   255 all the same, so the alpha never holds a partial value.
// The selection is the region of the non-zero alpha. The Text page's
// transparency then scales the alpha: a x opacity / 255, rounded to nearest,
// opacity = 255 - T x 255 div 100 (the text's merge mode is always Normal).
// The floater drops later with the floater page's merge mode and opacity, as
// every floater does.
#include <algorithm>
#include <cstring>
#include <vector>

#include "editing/script/script_recorder.h"
#include "editing/tool_settings.h"
#include "editing/vivid_view.h"
#include "image/services.h"
#include "imaging/fill.h"
#include "imaging/filters.h"
#include "platform/messages.h"
#include "platform/text_rasterizer.h"

namespace {

// Lines of the dialog's text: split at "\r\n" or a lone "\n"; a line break
// at the very end starts no further line, so an empty text has no lines.
std::vector<std::string> SplitTextLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    size_t stop = end;
    if (stop > start && text[stop - 1] == '\r') --stop;
    lines.push_back(text.substr(start, stop - start));
    start = end + 1;
  }
  return lines;
}

// The largest block the tool lays out each way; a longer text is refused as
// a bitmap that cannot be allocated.
constexpr int64_t kMaxBlockSide = 1 << 20;

}  // namespace

void CVividView::TextPress(platform::Point point, PointerButton button, unsigned) {
  if (button != PointerButton::Left || textDialogOpen_) return;
  if (!document_.GetTargetImage() || !GetImage().IsAllocated() || !PressInsideImage(point)) return;
  textPress_ = ViewToImage(point);
  textDialogOpen_ = true;
  SetModalRunning(true);
}

bool CVividView::TextDialogOpen() const { return textDialogOpen_; }

void CVividView::OnTextDialogCancel() {
  ScriptRecorder::Scope recording(recorder_);
  if (recording) recording->PreviewCancel(*this);
  if (!textDialogOpen_) return;
  textDialogOpen_ = false;
  SetModalRunning(false);
}

EditResult CVividView::OnTextDialogOk() {
  ScriptRecorder::Scope recording(recorder_);
  if (recording) recording->PreviewOk(*this);
  if (!textDialogOpen_) return 0;
  textDialogOpen_ = false;
  SetModalRunning(false);
  if (!GetImage().IsAllocated()) return 0;
  // Without a rasteriser nothing can be drawn: say so before anything
  // changes.
  if (!platform::CurrentTextRasterizer()) {
    platform::ShowMessage("Fonts are not available: no text rasteriser is installed");
    return 0;
  }
  const EditResult result = RunEdit(30, nullptr, "", kHintRedraw, [&]() -> EditResult {
    if (document_.HasFloater()) {
      Defloat();
      document_.SetFloaterPresent(false);
    }
    document_.FreeFloaterBitmaps();
    document_.ClearSelection();
    return PlaceText();
  });
  UpdateTransformFrame();
  return result;
}

EditResult CVividView::PlaceText() {
  platform::TextRasterizer& rasterizer = *platform::CurrentTextRasterizer();
  const CToolSettings& tools = ToolSettings();
  const TextSettings& settings = tools.textSettings;
  const CDIBitmap& image = GetImage();

  platform::FontSpec font;
  font.family = settings.font;
  font.size = settings.size;
  font.sizeInPoints = settings.sizeInPoints;
  font.dpi = image.GetYResolution() > 0 ? image.GetYResolution() : 72;
  font.bold = settings.bold;
  font.italic = settings.italic;
  font.underline = settings.underline;
  font.antialias = tools.antialias;

  const std::vector<std::string> lines = SplitTextLines(settings.text);
  int64_t width = 0, height = 0;
  for (const std::string& line : lines) {
    // A font that cannot be made renders nothing.
    const std::optional<platform::TextExtent> extent = rasterizer.MeasureLine(font, line + " ");
    if (!extent) return 0;
    width = std::max<int64_t>(width, extent->width);
    height += std::max(0, extent->height);
  }
  if (width < 1 || height < 1) return 0;
  if (width > kMaxBlockSide || height > kMaxBlockSide) {
    platform::ShowMessage("Error allocating Text bitmaps");
    return 0;
  }
  const int w = static_cast<int>(width), h = static_cast<int>(height);

  CDIBitmap pixels, alpha;
  platform::Region region;
  if (pixels.CreateCompatible(image, w, h) != 1 || alpha.Create(w, h, 8, 1) != 1) {
    platform::ShowMessage("Error allocating Text bitmaps");
    return 0;
  }
  if (alpha.GetWidth() != pixels.GetWidth() || alpha.GetHeight() != pixels.GetHeight()) {
    platform::ShowMessage("Error allocating Text bitmaps : different size");
    return 0;
  }
  GL_FillBitmap(pixels, tools.foreground);

  // The rasteriser draws top-down rows; the alpha is stored bottom-up.
  std::vector<uint8_t> coverage(static_cast<size_t>(w) * h);
  if (!rasterizer.DrawLines(font, lines, coverage.data(), w, h, w)) return 0;
  const bool antialias = tools.antialias;
  for (int y = 0; y < h; ++y) {
    uint8_t* row = alpha.RowPointer(y);
    const uint8_t* source = coverage.data() + static_cast<size_t>(y) * w;
    if (antialias) {
      std::memcpy(row, source, w);
    } else {
      for (int x = 0; x < w; ++x) row[x] = source[x] >= 128 ? 255 : 0;
    }
  }
  coverage = {};
  if (antialias) GL_SmoothBitmap(alpha);

  if (GL_GetRgnFromBitmap(alpha, region, nullptr) != 1 || !region.IsValid()) {
    platform::ShowMessage("Error allocating Text bitmaps");
    return 0;
  }
  if (region.IsEmpty()) {
    platform::ShowMessage("Error allocating Text bitmaps : null region");
    return 0;
  }

  const int opacity = tools.PaintOf(ViewTool::Text).Opacity();
  if (opacity < 255) {
    for (int y = 0; y < h; ++y) {
      uint8_t* row = alpha.RowPointer(y);
      for (int x = 0; x < w; ++x) row[x] = static_cast<uint8_t>((row[x] * opacity + 127) / 255);
    }
  }

  const platform::Rect box{textPress_.x, textPress_.y, textPress_.x + w, textPress_.y + h};
  if (settings.maskOnly) {
    // Only the text-shaped selection stays, clipped to the image.
    region.Offset(box.left, box.top);
    document_.SetSelectionRegion(region);
    document_.FreeFloaterBitmaps();
    document_.SetFloaterPresent(false);
  } else {
    document_.FloaterImage().Attach(pixels);
    document_.FloaterAlpha().Attach(alpha);
    document_.SetSelection(region, box);
    document_.SetFloaterPresent(true);
  }
  document_.ApplySelectionToImage();
  if (!document_.HasSelection()) return 0;
  return 1;
}
