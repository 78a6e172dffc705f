// Effect commands: the Image and Filter menus, with their preview.
#include "editing/vivid_view.h"

#include "editing/tool_settings.h"
#include "platform/messages.h"

namespace {

// The operations that turn, flip, resize, rotate or shear: on the floater
// with a selection, on the canvas without.
bool IsTransform(std::string_view name) {
  return name == "rotate-90" || name == "rotate-180" || name == "rotate-270" || name == "flip-horizontal" ||
         name == "flip-vertical" || name == "resize" || name == "rotate" || name == "shear";
}

}  // namespace

EditResult CVividView::RunEffect(const ParsedOperation& operation) {
  if (IsEditBusy() || IsModalRunning() || !GetImage().IsAllocated()) return 0;
  if (IsTransform(operation.def->name)) return RunTransform(operation);

  // Other Image and Filter commands: on the floater when there is one, else
  // on the image through the selection's mask.
  CDIBitmap& image = GetImage();
  const bool floater = document_.HasFloater();
  if (document_.HasSelection() && SelectionCannotHold(*operation.def, image)) {
    platform::ShowMessage(kSelectionCannotHoldText);
    return 0;
  }
  const bool rebuilds =
      operation.def->family == OperationFamily::ColorMode || operation.def->family == OperationFamily::Geometry;
  const int hint = kHintRedraw | (rebuilds ? kHintSizeChanged | kHintColorTableChanged : 0);
  // Colour-mode conversions, Canvas Size and cropping change the whole
  // image: a floater is dropped into it first, and their undo keeps every
  // tile whatever the selection (kind 99), so that Undo brings back every
  // pixel of the former image.
  const std::string_view name = operation.def->name;
  const bool wholeImage =
      operation.def->family == OperationFamily::ColorMode || name == "canvas-size" || name == "crop";
  const int kind = wholeImage ? 99 : 50;
  std::string undoName(name);
  if (name == "canvas-size") undoName = "Cavas Size";
  if (name == "mode:gray") undoName = "Color Grayscale 8bit";
  if (name == "mode:rgb") undoName = "Color RGB 24bit";
  if (name == "mode:cmyk") undoName = "Color CMYK 32bit";
  if (name == "mode:bw") undoName = "Color B/W 1bit";
  if (name == "mode:palette") undoName = "Color Palette 8bit";
  return RunEdit(kind, nullptr, undoName, hint, [&]() -> EditResult {
    if (floater && !wholeImage) return operation.def->apply(document_.FloaterImage(), operation.args);
    if (floater) {
      Defloat();
      document_.SetFloaterPresent(false);
    }
    const EditResult result = operation.def->apply(image, operation.args);
    // A rebuilt bitmap lost its mask; a changed size may leave the selection
    // partly outside.
    if (document_.HasSelection())
      document_.CombineSelection(document_.SelectionRegionInImage(), SelectionCombine::Replace);
    return result;
  });
}
// --- preview (to be written) ---

void CVividView::PrepareDisplayPatches() {}
EditResult CVividView::OpenPreview(const ParsedOperation&) { return 0; }
EditResult CVividView::PreviewOk() { return 0; }
void CVividView::PreviewCancel() {}
bool CVividView::PreviewOpen() const { return false; }
EditResult CVividView::UpdatePreview(const ParsedOperation&) { return 0; }

namespace {
CVividView::NewDocumentSink& Sink() {
  static CVividView::NewDocumentSink sink;
  return sink;
}
}  // namespace

void CVividView::SetNewDocumentSink(NewDocumentSink sink) { Sink() = std::move(sink); }
const CVividView::NewDocumentSink& CVividView::GetNewDocumentSink() { return Sink(); }
