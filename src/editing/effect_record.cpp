#include "editing/effect_record.h"


#include <algorithm>

#include "document/vivid_doc.h"
#include "imaging/filters.h"

namespace {

enum class Kind { PreviewTone, PreviewFilter, PreviewGeometry, Direct, DirectTone, Whole };

struct Entry {
  std::string_view operation;
  std::string_view undoName;
  Kind kind;
};

// The effect commands in menu order: the preview effects (tone
// adjustments, filters, free rotation and shear), then the direct ones.
constexpr Entry kEffects[] = {
    {"brightness-contrast", "Brightness/Contrast", Kind::PreviewTone},
    {"curves", "Color Curve", Kind::PreviewTone},
    {"threshold", "Threshold", Kind::PreviewTone},
    {"levels", "Color Level", Kind::PreviewTone},
    {"hue-saturation", "Hue/Saturation", Kind::PreviewTone},
    {"color-balance", "Color balance", Kind::PreviewTone},
    {"add-noise", "Add Noise", Kind::PreviewFilter},
    {"average", "Average", Kind::PreviewFilter},
    {"median", "Median", Kind::PreviewFilter},
    {"minimum", "Minimum", Kind::PreviewFilter},
    {"maximum", "Maximum", Kind::PreviewFilter},
    {"despeckle", "Despeckle", Kind::PreviewFilter},
    {"mosaic", "Mosaic", Kind::PreviewFilter},
    {"posterize", "Posterize", Kind::PreviewFilter},
    {"emboss", "Emboss", Kind::PreviewFilter},
    {"edge-enhance", "Edge Enhance", Kind::PreviewFilter},
    {"solarize", "Solarize", Kind::PreviewFilter},
    {"unsharp-mask", "Unsharp Mask", Kind::PreviewFilter},
    {"gaussian-blur", "Gaussian Blur", Kind::PreviewFilter},
    {"rotate", "Rotate", Kind::PreviewGeometry},
    {"shear", "Skew", Kind::PreviewGeometry},
    {"blur", "Blur", Kind::Direct},
    {"blur-more", "Blur more", Kind::Direct},
    {"sharpen", "Sharpen", Kind::Direct},
    {"sharpen-more", "Sharpen more", Kind::Direct},
    {"dilation", "Dilation", Kind::Direct},
    {"erosion", "Erosion", Kind::Direct},
    {"laplacian", "Laplacian", Kind::Direct},
    {"line-segment", "Line segment", Kind::Direct},
    {"prewitt", "Prewitt", Kind::Direct},
    {"shift-difference", "Shift/Difference", Kind::Direct},
    {"sobel", "Sobel", Kind::Direct},
    {"underlay", "Underlay", Kind::Direct},
    {"equalize", "Equalize histogram", Kind::DirectTone},
    {"stretch-intensity", "Stretch intensity", Kind::DirectTone},
    {"invert-color", "Invert Color", Kind::DirectTone},
    {"invert-bgr", "Invert BGR order", Kind::DirectTone},
    {"canvas-size", "Cavas Size", Kind::Whole},
    {"crop", "Crop", Kind::Whole},
    {"mode:palette", "Color Palette 8bit", Kind::Whole},
    {"mode:gray", "Color Grayscale 8bit", Kind::Whole},
    {"mode:bw", "Color B/W 1bit", Kind::Whole},
    {"mode:rgb", "Color RGB 24bit", Kind::Whole},
    {"mode:cmyk", "Color CMYK 32bit", Kind::Whole},
};

}  // namespace

std::optional<EffectRecord> FindEffectRecord(std::string_view operation, bool selection) {
  const Entry* found = nullptr;
  for (const Entry& entry : kEffects)
    if (entry.operation == operation) found = &entry;
  if (!found) return std::nullopt;
  EffectRecord record;
  record.operation = found->operation;
  record.undoName = std::string(found->undoName);
  switch (found->kind) {
    case Kind::PreviewTone:
      // A palette image changes its colour table.
      record.preview = record.throughFloater = true;
      record.hintWhole = kHintRedraw | kHintColorTableChanged;
      break;
    case Kind::PreviewFilter: record.preview = record.throughFloater = true; break;
    case Kind::PreviewGeometry:
      record.preview = record.throughFloater = record.geometry = record.resultFloats = true;
      record.hintWhole = kHintRedraw | kHintSizeChanged;
      break;
    case Kind::Direct: break;
    case Kind::DirectTone: record.hintWhole = kHintRedraw | kHintColorTableChanged; break;
    case Kind::Whole:
      record.undoKind = 99;
      record.wholeImage = true;
      record.hintWhole = record.hintSelection = kHintRedraw | kHintSizeChanged | kHintColorTableChanged;
      break;
  }
  if (operation == "invert-color") {
    record.throughFloater = true;
    if (selection) record.undoName = "Invert Color selected area";
  }
  return record;
}

PreviewBlockLayout PreviewLayoutFor(const ParsedOperation& operation) {
  PreviewBlockLayout layout;
  if (!operation.def) return layout;
  const std::string_view name = operation.def->name;
  int margin = 0;
  if (name == "mosaic") {
    const int size = operation.args.Int(0);
    layout.blockWidth = layout.blockHeight = 128 / (size + 1) * size;
    margin = size;
  } else if (name == "average" || name == "median" || name == "despeckle" || name == "maximum" || name == "minimum") {
    margin = operation.args.Int(0);
  } else if (name == "emboss" || name == "edge-enhance") {
    margin = 1;
  } else if (name == "unsharp-mask") {
    margin = operation.args.Int(1);
  } else if (name == "gaussian-blur") {
    // The blur reaches (its kernel's half width) pixels beyond each block;
    // with that margin the preview's blocks join without seams and show
    // exactly what the whole image gets.
    margin = static_cast<int>(GL_GaussianWeights(operation.args.Real(0)).size() / 2);
  }
  layout.marginX = layout.marginY = margin;
  return layout;
}

void PreviewGrid::Build(int imageWidth, int imageHeight, const PreviewBlockLayout& layout,
                        const platform::Region* selection) {
  layout_ = layout;
  width_ = std::max(imageWidth, 0);
  height_ = std::max(imageHeight, 0);
  columns_ = (width_ + layout.blockWidth - 1) / layout.blockWidth;
  rows_ = (height_ + layout.blockHeight - 1) / layout.blockHeight;
  states_.assign(static_cast<size_t>(columns_) * rows_, 0);
  if (!selection || !selection->IsValid()) return;
  // Blocks the selection does not touch show the image unchanged. The
  // selection's rectangles mark the blocks they cover.
  std::vector<uint8_t> touched(states_.size(), 0);
  for (const platform::Rect& r : selection->Rects()) {
    if (r.right <= 0 || r.bottom <= 0 || r.left >= width_ || r.top >= height_ || r.IsEmpty()) continue;
    const int c0 = std::max(r.left, 0) / layout.blockWidth, r0 = std::max(r.top, 0) / layout.blockHeight;
    const int c1 = std::min((std::min(r.right, width_) - 1) / layout.blockWidth, columns_ - 1);
    const int r1 = std::min((std::min(r.bottom, height_) - 1) / layout.blockHeight, rows_ - 1);
    for (int row = r0; row <= r1; ++row)
      for (int column = c0; column <= c1; ++column) touched[Index(column, row)] = 1;
  }
  for (size_t i = 0; i < states_.size(); ++i) states_[i] = touched[i] ? 0 : 1;
}

void PreviewGrid::Clear() {
  states_.clear();
  columns_ = rows_ = 0;
}

platform::Rect PreviewGrid::BlockRect(int column, int row) const {
  const int left = column * layout_.blockWidth, top = row * layout_.blockHeight;
  return {left, top, std::min(left + layout_.blockWidth, width_), std::min(top + layout_.blockHeight, height_)};
}

platform::Rect PreviewGrid::SourceRect(int column, int row) const {
  const platform::Rect block = BlockRect(column, row);
  return {std::max(block.left - layout_.marginX, 0), std::max(block.top - layout_.marginY, 0),
          std::min(block.right + layout_.marginX, width_), std::min(block.bottom + layout_.marginY, height_)};
}

std::vector<platform::Point> PreviewGrid::PendingIn(const platform::Rect& area) const {
  std::vector<platform::Point> out;
  const int left = std::max(area.left, 0), top = std::max(area.top, 0);
  const int right = std::min(area.right, width_), bottom = std::min(area.bottom, height_);
  if (right <= left || bottom <= top || states_.empty()) return out;
  for (int row = top / layout_.blockHeight; row <= (bottom - 1) / layout_.blockHeight; ++row)
    for (int column = left / layout_.blockWidth; column <= (right - 1) / layout_.blockWidth; ++column)
      if (Pending(column, row)) out.push_back({column, row});
  return out;
}

int PreviewGrid::PendingCount() const {
  return static_cast<int>(std::count(states_.begin(), states_.end(), uint8_t{0}));
}
