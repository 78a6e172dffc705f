// Effect commands: the Image and Filter menus, with their preview.
//
// Every effect runs the operation table's operation with the dialog's
// parameters; its effect record (effect_record.h) gives the undo kind and
// name and how a selection confines it. The preview computes the same
// operation block by block for what the view shows, into the view's display
// patches, so that the picture equals what OK will apply.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "editing/script/script_recorder.h"
#include "editing/effect_record.h"
#include "editing/tool_settings.h"
#include "editing/vivid_view.h"
#include "image/result_codes.h"
#include "imaging/combine.h"
#include "imaging/fill.h"
#include "imaging/tone.h"
#include "platform/main_window.h"
#include "platform/messages.h"

namespace {

// The operations that turn, flip or resize: the floater transforms.
bool IsTransform(std::string_view name) {
  return name == "rotate-90" || name == "rotate-180" || name == "rotate-270" || name == "flip-horizontal" ||
         name == "flip-vertical" || name == "resize";
}

platform::Rect Intersect(const platform::Rect& a, const platform::Rect& b) {
  return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
}

// a div 2 rounded down, so that centring behaves alike on both sides of 0.
int32_t Half(int64_t value) { return static_cast<int32_t>(value >= 0 ? value / 2 : -((-value + 1) / 2)); }

// Sets the floater page's merge to Normal at full opacity for its lifetime:
// a temporary floater goes back into the image unchanged by the page.
class NormalMergeScope {
 public:
  NormalMergeScope() : mode_(ToolSettings().floaterMergeMode), transparency_(ToolSettings().floaterTransparency) {
    ToolSettings().floaterMergeMode = kBlendNormal;
    ToolSettings().floaterTransparency = 0;
  }
  ~NormalMergeScope() {
    ToolSettings().floaterMergeMode = mode_;
    ToolSettings().floaterTransparency = transparency_;
  }
  NormalMergeScope(const NormalMergeScope&) = delete;
  NormalMergeScope& operator=(const NormalMergeScope&) = delete;

 private:
  int mode_;
  int transparency_;
};

// Runs a geometry operation on alpha then pixels (so at most one extra copy
// of the larger bitmap lives at a time); on a size mismatch the alpha is
// rebuilt from `outline` to fit the pixels.
int TransformPair(const OperationDef& def, const OperationArgs& args, CDIBitmap& pixels, CDIBitmap& alpha,
                  const platform::Region& outline) {
  const int turned = def.apply(alpha, args);
  if (turned != 1) return turned;
  const int moved = def.apply(pixels, args);
  if (moved != 1 || pixels.GetWidth() != alpha.GetWidth() || pixels.GetHeight() != alpha.GetHeight()) {
    GL_CreateMaskFromRgn(alpha, pixels.GetWidth(), pixels.GetHeight(), outline);
    return moved == 1 ? kResultOutOfMemory : moved;
  }
  return 1;
}

}  // namespace

struct CVividView::EffectPreview {
  ParsedOperation operation;
  EffectRecord record;
  PreviewGrid grid;
  bool onFloater = false;        // the target is the floater (floater coordinates)
  bool hasSelection = false;     // image target confined to the selection
  platform::Rect limit{};        // what the operation sees: the image, the selection's box or the floater
  platform::Region selection;    // image coordinates
  bool geometryDone = false;
  bool shown = true;             // the dialog's Preview switch
  std::vector<platform::Rect> patched;  // rectangles holding patches (target coordinates)
};

EditResult CVividView::RunEffect(const ParsedOperation& operation) {
  ScriptRecorder::Scope recording(recorder_);
  if (recording) recording->Effect(*this, operation);
  if (!operation.def || IsEditBusy() || IsModalRunning() || !GetImage().IsAllocated()) return 0;
  if (IsTransform(operation.def->name)) return RunTransform(operation);
  return ApplyEffect(operation);
}

EditResult CVividView::ApplyEffect(const ParsedOperation& operation) {
  if (!operation.def || IsEditBusy() || !GetImage().IsAllocated()) return 0;
  const bool selection = document_.HasSelection();
  const std::optional<EffectRecord> found = FindEffectRecord(operation.def->name, selection);
  if (!found) return 0;
  const EffectRecord& record = *found;
  CDIBitmap& image = GetImage();
  if (selection && !record.geometry && SelectionCannotHold(*operation.def, image)) {
    platform::ShowMessage(kSelectionCannotHoldText);
    return 0;
  }
  const OperationDef& def = *operation.def;
  const OperationArgs& args = operation.args;
  const int hint = selection && !record.wholeImage ? record.hintSelection : record.hintWhole;
  platform::MainWindowSink& window = platform::MainWindow();
  window.WaitCursor(true);
  const EditResult result = RunEdit(record.undoKind, nullptr, record.undoName, hint, [&]() -> EditResult {
    if (record.wholeImage) {
      // Colour modes, Canvas Size and Crop rebuild the image: a floater is
      // dropped into it first.
      if (document_.HasFloater()) {
        Defloat();
        document_.SetFloaterPresent(false);
      }
      const EditResult done = def.apply(image, args);
      // A rebuilt bitmap lost its mask; a changed size may leave the
      // selection partly outside.
      if (document_.HasSelection())
        document_.CombineSelection(document_.SelectionRegionInImage(), SelectionCombine::Replace);
      return done;
    }
    if (!selection) return def.apply(image, args);
    const bool hadFloater = document_.HasFloater();
    if (!record.throughFloater && !hadFloater) return def.apply(image, args);  // through the mask
    if (!hadFloater && !CreateFloaterBitmaps(record.geometry)) return 0;
    CDIBitmap& pixels = document_.FloaterImage();
    CDIBitmap& alpha = document_.FloaterAlpha();
    EditResult done = 1;
    if (!record.geometry) {
      done = def.apply(pixels, args);
    } else {
      const platform::Rect old = document_.SelectionBox();
      done = TransformPair(def, args, pixels, alpha, document_.GetSelection().region);
      if (done == 1) {
        // The new outline from the new alpha; floater and alpha cropped to
        // its box, centred on the old box.
        platform::Region region;
        GL_GetRgnFromBitmap(alpha, region, nullptr);
        platform::Rect cut = region.Box();
        if (region.IsEmpty()) cut = {0, 0, pixels.GetWidth(), pixels.GetHeight()};
        if (cut.left != 0 || cut.top != 0 || cut.Width() != pixels.GetWidth() || cut.Height() != pixels.GetHeight()) {
          CDIBitmap croppedPixels, croppedAlpha;
          if (!croppedPixels.CopyRect(pixels, cut.left, cut.top, cut.Width(), cut.Height(), 0) ||
              !croppedAlpha.CopyRect(alpha, cut.left, cut.top, cut.Width(), cut.Height(), 0)) {
            done = kResultOutOfMemory;
          } else {
            pixels.Free();
            pixels.Attach(croppedPixels);
            alpha.Free();
            alpha.Attach(croppedAlpha);
            region.Offset(-cut.left, -cut.top);
          }
        }
        if (done == 1) {
          const int32_t width = pixels.GetWidth(), height = pixels.GetHeight();
          const int32_t left = Half(int64_t{old.left} + old.right) - width / 2;
          const int32_t top = Half(int64_t{old.top} + old.bottom) - height / 2;
          document_.SetSelection(std::move(region), {left, top, left + width, top + height});
        }
      }
    }
    if (record.resultFloats || hadFloater) {
      document_.SetFloaterPresent(true);
      document_.ApplySelectionToImage();
    } else {
      // The temporary floater goes back at full opacity, Normal, through
      // its alpha, and is released.
      const NormalMergeScope normal;
      Defloat();
      document_.SetFloaterPresent(false);
      document_.ApplySelectionToImage();
    }
    return done;
  });
  window.WaitCursor(false);
  if (record.resultFloats) UpdateTransformFrame();
  return result;
}

EditResult CVividView::OnChannelSeparate() {
  if (IsEditBusy() || IsModalRunning()) return 0;
  const CDIBitmap& image = GetImage();
  const bool cmyk = image.GetBitCount() == 32;
  if (!image.IsAllocated() || (image.GetBitCount() != 24 && !cmyk)) {
    platform::ShowMessage("Channel Separate needs a 24-bit or a CMYK image");
    return 0;
  }
  if (!GetNewDocumentSink()) {
    platform::ShowMessage("Channel Separate cannot open new documents here");
    return 0;
  }
  const int count = cmyk ? 4 : 3;
  std::vector<std::unique_ptr<CDIBitmap>> channels;
  CDIBitmap* targets[4] = {};
  for (int i = 0; i < count; ++i) {
    channels.push_back(std::make_unique<CDIBitmap>());
    targets[i] = channels.back().get();
  }
  const int result = GL_SeparateChannels(image, targets, cmyk ? 1 : 0);
  if (result != 1) {
    ReportResult(result);
    return result;
  }
  // Named after the file name (the title without its extension).
  std::string base = document_.GetTitle();
  if (const size_t dot = base.rfind('.'); dot != std::string::npos && dot > 0) base.erase(dot);
  static constexpr const char* kSuffixes[2][4] = {{"_R", "_G", "_B", ""}, {"_C", "_M", "_Y", "_K"}};
  for (int i = 0; i < count; ++i) GetNewDocumentSink()(std::move(channels[i]), base + kSuffixes[cmyk ? 1 : 0][i]);
  return 1;
}

// --- preview ---

bool CVividView::PreviewOpen() const { return preview_ != nullptr; }

EditResult CVividView::OpenPreview(const ParsedOperation& operation) {
  ScriptRecorder::Scope recording(recorder_);
  if (recording) recording->Preview(*this, operation);
  if (!operation.def || IsEditBusy() || IsModalRunning() || preview_ || !GetImage().IsAllocated()) return 0;
  const std::optional<EffectRecord> record = FindEffectRecord(operation.def->name, document_.HasSelection());
  if (!record || !record->preview) return 0;
  if (document_.HasSelection() && !document_.HasFloater() && SelectionCannotHold(*operation.def, GetImage())) {
    platform::ShowMessage(kSelectionCannotHoldText);
    return 0;
  }
  SetModalRunning(true);
  // The selection, move and transform tools go off while the dialog is
  // open; zoom, scroll, picker, paint and text stay.
  const int group = ToolGroupOf(ToolSettings().ActiveTool());
  if (group == kGroupSelection || group == kGroupFloater || group == kGroupEditAlpha) {
    ToolSettings().SelectTool(ViewTool::None);
    OnToolChanged();
  }
  preview_ = std::make_shared<EffectPreview>();
  preview_->operation = operation;
  preview_->record = *record;
  RestartPreview();
  return 1;
}

EditResult CVividView::UpdatePreview(const ParsedOperation& operation) {
  ScriptRecorder::Scope recording(recorder_);
  if (recording) recording->Preview(*this, operation);
  if (!preview_ || !operation.def) return 0;
  const std::optional<EffectRecord> record = FindEffectRecord(operation.def->name, document_.HasSelection());
  if (!record || !record->preview) return 0;
  preview_->operation = operation;
  preview_->record = *record;
  RestartPreview();
  return 1;
}

void CVividView::RestartPreview() {
  EffectPreview& p = *preview_;
  // Old blocks are abandoned: their patches go, the area is drawn anew.
  const platform::Rect imageArea = imagePatches_.Bounds();
  platform::Rect floaterArea = floaterPatches_.Bounds();
  imagePatches_.Clear();
  floaterPatches_.Clear();
  p.patched.clear();
  p.geometryDone = false;
  if (!displayColorTable_.empty()) {
    displayColorTable_.clear();
    InvalidateAll();
  }
  const CDIBitmap& image = GetImage();
  const platform::Rect box = document_.SelectionBox();
  p.onFloater = document_.HasFloater() && document_.FloaterImage().IsAllocated();
  p.hasSelection = document_.HasSelection() && !p.onFloater;
  p.selection = document_.HasSelection() ? document_.SelectionRegionInImage() : platform::Region();
  if (!imageArea.IsEmpty()) InvalidateImageArea(imageArea);
  if (!floaterArea.IsEmpty())
    InvalidateImageArea({floaterArea.left + box.left, floaterArea.top + box.top, floaterArea.right + box.left,
                         floaterArea.bottom + box.top});
  const platform::Rect imageRect{0, 0, image.GetWidth(), image.GetHeight()};
  if (p.onFloater) {
    const CDIBitmap& pixels = document_.FloaterImage();
    p.limit = {0, 0, pixels.GetWidth(), pixels.GetHeight()};
    p.grid.Build(pixels.GetWidth(), pixels.GetHeight(), PreviewLayoutFor(p.operation), nullptr);
  } else {
    // With a selection the operation runs on a floater of the selection's
    // box: it sees the box's edge as the picture's edge.
    p.limit = p.hasSelection ? Intersect(box, imageRect) : imageRect;
    p.grid.Build(image.GetWidth(), image.GetHeight(), PreviewLayoutFor(p.operation),
                 p.hasSelection ? &p.selection : nullptr);
  }
  InvalidateImageArea(p.onFloater ? box : p.limit);
}

void CVividView::EndPreview() {
  if (!preview_) return;
  const platform::Rect box = document_.SelectionBox();
  const platform::Rect imageArea = imagePatches_.Bounds();
  const platform::Rect floaterArea = floaterPatches_.Bounds();
  imagePatches_.Clear();
  floaterPatches_.Clear();
  preview_.reset();
  SetModalRunning(false);
  if (!displayColorTable_.empty()) {
    displayColorTable_.clear();
    InvalidateAll();
  }
  if (!imageArea.IsEmpty()) InvalidateImageArea(imageArea);
  if (!floaterArea.IsEmpty())
    InvalidateImageArea({floaterArea.left + box.left, floaterArea.top + box.top, floaterArea.right + box.left,
                         floaterArea.bottom + box.top});
}

EditResult CVividView::PreviewOk() {
  ScriptRecorder::Scope recording(recorder_);
  if (recording) recording->PreviewOk(*this);
  if (!preview_) return 0;
  const ParsedOperation operation = preview_->operation;
  // The patches go before the image changes under them.
  imagePatches_.Clear();
  floaterPatches_.Clear();
  const EditResult result = ApplyEffect(operation);
  EndPreview();
  InvalidateAll();
  return result;
}

void CVividView::PreviewCancel() {
  ScriptRecorder::Scope recording(recorder_);
  if (recording) recording->PreviewCancel(*this);
  EndPreview();
}

void CVividView::SetPreviewShown(bool shown) {
  if (!preview_ || preview_->shown == shown) return;
  preview_->shown = shown;
  // Restarting drops the patches and redraws their area; blocks are only
  // computed again while the preview is shown.
  RestartPreview();
}

bool CVividView::PreviewShown() const { return preview_ && preview_->shown; }

void CVividView::PrepareDisplayPatches() {
  // A repaint while the effect is being applied (events pumped mid-edit)
  // computes no blocks from the image being changed.
  if (!preview_ || !preview_->shown || IsEditBusy()) return;
  EffectPreview& p = *preview_;
  const CDIBitmap& image = GetImage();
  if (!image.IsAllocated()) return;
  if (p.record.geometry) {
    if (!p.geometryDone) ComputeGeometryPreview();
    return;
  }
  // A tone adjustment of a palette image changes its colour table, which
  // every pixel shares: the preview shows the whole image through the new
  // table, made by the same operation on a one-pixel image of that table.
  if (p.operation.def->family == OperationFamily::Tone && !p.onFloater && image.GetBitCount() <= 8 &&
      !image.IsGray()) {
    if (displayColorTable_.empty()) {
      CDIBitmap probe;
      if (probe.CreateCompatible(image, 1, 1) && p.operation.def->apply(probe, p.operation.args) == 1 &&
          probe.GetPaletteSize() == image.GetPaletteSize()) {
        displayColorTable_.resize(static_cast<size_t>(probe.GetPaletteSize()) * 4);
        probe.GetColorTable(displayColorTable_.data(), probe.GetPaletteSize());
        InvalidateAll();
      }
    }
    return;
  }
  // The image part the client area shows, a pixel wider each way for the
  // zoom's rounding.
  const platform::Point a = ViewToImage({0, 0}, false);
  const platform::Point b = ViewToImage({clientWidth_, clientHeight_}, false);
  platform::Rect visible{a.x - 1, a.y - 1, b.x + 2, b.y + 2};
  if (p.onFloater) {
    const platform::Rect box = document_.SelectionBox();
    visible = {visible.left - box.left, visible.top - box.top, visible.right - box.left, visible.bottom - box.top};
  }
  std::vector<platform::Point> pending = p.grid.PendingIn(visible);
  for (const platform::Point& block : pending) p.grid.MarkDone(block.x, block.y);
  // Add Noise draws its noise from the operated bitmap's corner and Mosaic
  // lays its cells from there: they are computed block by block. The others
  // in rectangles of pending blocks: runs along each row, joined with the
  // runs of the rows below that span the same columns.
  const std::string_view name = p.operation.def->name;
  if (name == "add-noise" || name == "mosaic") {
    for (const platform::Point& block : pending) ComputePreviewBlocks(block.x, block.x + 1, block.y, block.y + 1);
    return;
  }
  std::sort(pending.begin(), pending.end(), [](const platform::Point& a, const platform::Point& b) {
    return a.y != b.y ? a.y < b.y : a.x < b.x;
  });
  struct Run {
    int c0, c1, r0, r1;
  };
  std::vector<Run> open;
  for (size_t i = 0; i < pending.size();) {
    size_t j = i + 1;
    while (j < pending.size() && pending[j].y == pending[i].y && pending[j].x == pending[j - 1].x + 1) ++j;
    const Run run{pending[i].x, pending[j - 1].x + 1, pending[i].y, pending[i].y + 1};
    auto same = std::find_if(open.begin(), open.end(), [&](const Run& o) {
      return o.c0 == run.c0 && o.c1 == run.c1 && o.r1 == run.r0;
    });
    if (same != open.end())
      same->r1 = run.r1;
    else
      open.push_back(run);
    i = j;
  }
  for (const Run& run : open) ComputePreviewBlocks(run.c0, run.c1, run.r0, run.r1);
}

// Computes the blocks of columns [c0, c1) and rows [r0, r1) with one run
// of the operation over their union widened by the margin (clipped to what
// the operation sees), and keeps each block's interior as its patch. Every
// block's pixels then see the same neighbourhood as when computed alone, so
// the result is the same; the margins between neighbouring blocks are not
// computed again and again.
void CVividView::ComputePreviewBlocks(int c0, int c1, int r0, int r1) {
  EffectPreview& p = *preview_;
  const CDIBitmap& target = p.onFloater ? document_.FloaterImage() : GetImage();
  const platform::Rect first = p.grid.BlockRect(c0, r0), last = p.grid.BlockRect(c1 - 1, r1 - 1);
  const platform::Rect area = Intersect({first.left, first.top, last.right, last.bottom}, p.limit);
  if (area.IsEmpty()) return;
  const PreviewBlockLayout& layout = p.grid.Layout();
  platform::Rect source = Intersect({area.left - layout.marginX, area.top - layout.marginY,
                                     area.right + layout.marginX, area.bottom + layout.marginY},
                                    p.limit);
  if (p.operation.def->name == "mosaic") {
    // Mosaic cells start at the operated bitmap's corner: the copy starts on
    // a cell boundary of the target.
    const int size = p.operation.args.Int(0);
    source.left = p.limit.left + (source.left - p.limit.left) / size * size;
    source.top = p.limit.top + (source.top - p.limit.top) / size * size;
  }
  CDIBitmap work;
  if (!work.CopyRect(target, source.left, source.top, source.Width(), source.Height(), 0)) return;
  if (p.operation.def->apply(work, p.operation.args) != 1) return;
  std::vector<uint8_t> buffer(static_cast<size_t>(work.GetRowBytes()) + 8);
  for (int row = r0; row < r1; ++row)
    for (int column = c0; column < c1; ++column) {
      const platform::Rect block = Intersect(p.grid.BlockRect(column, row), p.limit);
      if (block.IsEmpty()) continue;
      auto patch = std::make_unique<CDIBitmap>();
      const int width = block.Width();
      if (!p.hasSelection) {
        if (!patch->CopyRect(work, block.left - source.left, block.top - source.top, width, block.Height(), 0))
          return;
      } else {
        // Pixels outside the selection stay as they are.
        if (!patch->CopyRect(target, block.left, block.top, width, block.Height(), 0)) return;
        const platform::Region inside = p.selection.Intersect(platform::Region::FromRect(block));
        for (const platform::Rect& r : inside.Rects())
          for (int y = r.top; y < r.bottom; ++y) {
            work.GetRowPart(buffer.data(), y - source.top, r.left - source.left, r.Width());
            patch->PutRowPart(buffer.data(), y - block.top, r.left - block.left, r.Width());
          }
      }
      if (p.onFloater) {
        floaterPatches_.Set(block, std::move(patch));
        const platform::Rect box = document_.SelectionBox();
        InvalidateImageArea(
            {block.left + box.left, block.top + box.top, block.right + box.left, block.bottom + box.top});
      } else {
        imagePatches_.Set(block, std::move(patch));
        InvalidateImageArea(block);
      }
    }
}

// Free rotation and shear change the target's size, which patches in place
// cannot: the preview shows the transformed pixels once, blended through
// their alpha over the image where apply will float them, the new box
// centred on the old (with a selection), or on the image (without one; the
// part beyond the old canvas is not shown). A floater already present is
// shown unchanged.
void CVividView::ComputeGeometryPreview() {
  EffectPreview& p = *preview_;
  p.geometryDone = true;
  if (p.onFloater) return;
  CDIBitmap& image = GetImage();
  const platform::Rect imageRect{0, 0, image.GetWidth(), image.GetHeight()};
  const platform::Rect old = p.hasSelection ? Intersect(document_.SelectionBox(), imageRect) : imageRect;
  if (old.IsEmpty()) return;
  CDIBitmap pixels, alpha;
  if (!pixels.CopyRect(image, old.left, old.top, old.Width(), old.Height(), 0)) return;
  platform::Region outline = p.hasSelection ? p.selection : platform::Region::FromRect(imageRect);
  outline.Offset(-old.left, -old.top);
  if (!GL_CreateMaskFromRgn(alpha, old.Width(), old.Height(), outline)) return;
  if (TransformPair(*p.operation.def, p.operation.args, pixels, alpha, outline) != 1) return;
  const int32_t left = Half(int64_t{old.left} + old.right) - pixels.GetWidth() / 2;
  const int32_t top = Half(int64_t{old.top} + old.bottom) - pixels.GetHeight() / 2;
  const platform::Rect shown = Intersect({left, top, left + pixels.GetWidth(), top + pixels.GetHeight()}, imageRect);
  // Bands of 64 rows, each blended over a copy of the image.
  for (int y = shown.top; y < shown.bottom; y += 64) {
    const platform::Rect band{shown.left, y, shown.right, std::min(y + 64, shown.bottom)};
    auto patch = std::make_unique<CDIBitmap>();
    if (!patch->CopyRect(image, band.left, band.top, band.Width(), band.Height(), 0)) return;
    GL_CombineBitmapWithAlpha(*patch, 0, 0, band.Width(), band.Height(), pixels, band.left - left, band.top - top,
                              alpha, band.left - left, band.top - top, ToolSettings().FloaterOpacity());
    imagePatches_.Set(band, std::move(patch));
  }
  InvalidateImageArea(shown);
}

namespace {
CVividView::NewDocumentSink& Sink() {
  static CVividView::NewDocumentSink sink;
  return sink;
}
}  // namespace

void CVividView::SetNewDocumentSink(NewDocumentSink sink) { Sink() = std::move(sink); }
const CVividView::NewDocumentSink& CVividView::GetNewDocumentSink() { return Sink(); }
