// CVividView: event routing by tool group, the command table's dispatch and
// states, the edit frame and Undo.
#include "editing/script/script_recorder.h"
#include "editing/vivid_view.h"

#include <new>

#include "document/clipboard_formats.h"
#include "editing/busy_period.h"
#include "editing/tool_settings.h"
#include "image/result_codes.h"
#include "imaging/row_job.h"
#include "platform/clipboard.h"
#include "platform/main_window.h"
#include "platform/messages.h"
#include "platform/progress.h"

CVividView::CVividView(CVividDoc& document) : document_(document) {
  document_.AddView(this);
  Layout();
  StartOutline();
}

CVividView::~CVividView() {
  // A dialog this view opened ends with it.
  if (TextDialogOpen()) OnTextDialogCancel();
  if (PreviewOpen()) PreviewCancel();
  document_.RemoveView(this);
}

// --- events ---

namespace {

bool InputBlocked() { return IsEditBusy() || IsModalRunning(); }

}  // namespace

bool CVividView::PressInsideImage(platform::Point point) const {
  const platform::Rect shown = DisplayedImageRect();
  const int rulerBand = rulers_ ? 20 : 0;
  return point.x >= std::max(shown.left, rulerBand) && point.x < std::min(shown.right, clientWidth_) &&
         point.y >= std::max(shown.top, rulerBand) && point.y < std::min(shown.bottom, clientHeight_);
}

void CVividView::OnPointerPress(platform::Point point, PointerButton button, unsigned modifiers) {
  ScriptRecorder::Scope recording(recorder_);
  if (recording) recording->Press(*this, point, button, modifiers);
  modifiers_ = modifiers;
  if (InputBlocked()) return;
  buttonDown_ = true;
  pressedButton_ = button;
  switch (ToolSettings().ActiveGroup()) {
    case kGroupSelection: SelectionPress(point, button, modifiers); break;
    case kGroupFloater:
    case kGroupEditAlpha: FloaterPress(point, button, modifiers); break;
    case kGroupZoom:
    case kGroupScroll: ZoomPress(point, button, modifiers); break;
    case kGroupPaint:
    case kGroupPicker:
      if (ToolSettings().ActiveTool() == ViewTool::Text)
        TextPress(point, button, modifiers);
      else
        PaintPress(point, button, modifiers);
      break;
    default: break;
  }
}

void CVividView::OnPointerMove(platform::Point point, unsigned modifiers) {
  ScriptRecorder::Scope recording(recorder_);
  if (recording) recording->Move(*this, point, modifiers);
  modifiers_ = modifiers;
  if (document_.GetTargetImage() && GetImage().IsAllocated()) pointerImage_ = ViewToImage(point);
  if (InputBlocked()) return;
  switch (ToolSettings().ActiveGroup()) {
    case kGroupSelection: SelectionMove(point, modifiers); break;
    case kGroupFloater:
    case kGroupEditAlpha: FloaterMove(point, modifiers); break;
    case kGroupZoom:
    case kGroupScroll: ZoomMove(point, modifiers); break;
    case kGroupPaint:
    case kGroupPicker: PaintMove(point, modifiers); break;
    default: break;
  }
}

void CVividView::OnPointerRelease(platform::Point point, PointerButton button, unsigned modifiers) {
  ScriptRecorder::Scope recording(recorder_);
  if (recording) recording->Release(*this, point, button, modifiers);
  modifiers_ = modifiers;
  const bool wasDown = buttonDown_;
  buttonDown_ = false;
  if (InputBlocked() || !wasDown) return;
  switch (ToolSettings().ActiveGroup()) {
    case kGroupSelection: SelectionRelease(point, button, modifiers); break;
    case kGroupFloater:
    case kGroupEditAlpha: FloaterRelease(point, button, modifiers); break;
    case kGroupZoom:
    case kGroupScroll: ZoomRelease(point, button, modifiers); break;
    case kGroupPaint:
    case kGroupPicker: PaintRelease(point, button, modifiers); break;
    default: break;
  }
}

void CVividView::OnDoubleClick(platform::Point point, PointerButton button, unsigned modifiers) {
  ScriptRecorder::Scope recording(recorder_);
  if (recording) recording->DoubleClick(*this, point, button, modifiers);
  modifiers_ = modifiers;
  if (InputBlocked() || button != PointerButton::Left) return;
  if (ToolSettings().ActiveGroup() == kGroupSelection) SelectionDoubleClick(point, modifiers);
}

void CVividView::OnKey(ViewKey key, int repeat, unsigned modifiers) {
  ScriptRecorder::Scope recording(recorder_);
  if (recording) recording->Key(*this, key, repeat, modifiers);
  modifiers_ = modifiers;
  if (key == ViewKey::Escape) {
    // Esc cancels what runs: a long operation (through the cancel count) or
    // a gesture in progress, which then changes nothing.
    platform::RequestCancel();
    CancelSelectionGesture();
    CancelPaintGesture();
    return;
  }
  if (InputBlocked()) return;
  if (key == ViewKey::Delete) {
    RunCommand(kCmdDelete, {});
    return;
  }
  switch (ToolSettings().ActiveGroup()) {
    case kGroupSelection: SelectionKey(key, repeat, modifiers); break;
    case kGroupFloater: FloaterKey(key, repeat, modifiers); break;
    default: break;
  }
}

void CVividView::OnModifiers(unsigned modifiers) {
  modifiers_ = modifiers;
  ToolSettings().zoomDirection = (modifiers & kModAlt) ? 2 : 1;
}

void CVividView::OnTimer(int ms) {
  ScriptRecorder::Scope recording(recorder_);
  if (recording) recording->Tick(*this, ms);
  OutlineTick(ms);
  // The tick also comes while a long edit pumps events: the air brush lays
  // no dabs over an image being changed.
  if (!IsEditBusy()) PaintTick(ms);
}

void CVividView::OnToolChanged() { UpdateTransformFrame(); }

// --- commands ---

namespace {

// The application-wide radio groups: the measuring unit and the three
// halftoning choices. Each command picks one value of its group; the
// command whose value is the current one shows checked. None of them needs
// an image, so they stay available while no document is open.
enum class ChoiceGroup { Unit, Method, Setting, Black };
struct Choice {
  ViewCommand id;
  ChoiceGroup group;
  int value;
};
constexpr Choice kChoices[] = {
    {kCmdUnitPixels, ChoiceGroup::Unit, static_cast<int>(MeasureUnit::Pixels)},
    {kCmdUnitCentimeter, ChoiceGroup::Unit, static_cast<int>(MeasureUnit::Centimeter)},
    {kCmdUnitInch, ChoiceGroup::Unit, static_cast<int>(MeasureUnit::Inch)},
    {kCmdHalftoneErrorDiffusion, ChoiceGroup::Method, static_cast<int>(HalftoneMethod::ErrorDiffusion)},
    {kCmdHalftoneOrdered, ChoiceGroup::Method, static_cast<int>(HalftoneMethod::Ordered)},
    {kCmdHalftoneAuto, ChoiceGroup::Setting, static_cast<int>(HalftoneSetting::Auto)},
    {kCmdHalftoneFixed, ChoiceGroup::Setting, static_cast<int>(HalftoneSetting::Fixed)},
    {kCmdHalftoneNormal, ChoiceGroup::Black, static_cast<int>(HalftoneBlack::Normal)},
    {kCmdHalftoneFavorBlack, ChoiceGroup::Black, static_cast<int>(HalftoneBlack::FavorBlack)},
    {kCmdHalftoneScaleToGray, ChoiceGroup::Black, static_cast<int>(HalftoneBlack::ScaleToGray)},
};

const Choice* FindChoice(ViewCommand id) {
  for (const Choice& choice : kChoices)
    if (choice.id == id) return &choice;
  return nullptr;
}

int CurrentChoice(ChoiceGroup group) {
  const CToolSettings& settings = ToolSettings();
  switch (group) {
    case ChoiceGroup::Unit: return static_cast<int>(settings.measureUnit);
    case ChoiceGroup::Method: return static_cast<int>(settings.halftoneMethod);
    case ChoiceGroup::Setting: return static_cast<int>(settings.halftoneSetting);
    case ChoiceGroup::Black: return static_cast<int>(settings.halftoneBlack);
  }
  return -1;
}

// Views notice a new unit themselves when they next repaint or report what
// to repaint (view_display.cpp), so a change reaches the views of every
// document.
void MakeChoice(const Choice& choice) {
  CToolSettings& settings = ToolSettings();
  switch (choice.group) {
    case ChoiceGroup::Unit: settings.measureUnit = static_cast<MeasureUnit>(choice.value); break;
    case ChoiceGroup::Method: settings.halftoneMethod = static_cast<HalftoneMethod>(choice.value); break;
    case ChoiceGroup::Setting: settings.halftoneSetting = static_cast<HalftoneSetting>(choice.value); break;
    case ChoiceGroup::Black: settings.halftoneBlack = static_cast<HalftoneBlack>(choice.value); break;
  }
}

}  // namespace

CommandState CVividView::GetCommandState(ViewCommand id) const {
  CommandState state;
  const CommandDef* def = FindCommand(id);
  if (def) state.text = std::string(def->menuText);
  if (const Choice* choice = FindChoice(id)) {
    state.enabled = true;
    state.checked = CurrentChoice(choice->group) == choice->value;
    return state;
  }
  const bool busy = IsEditBusy() || IsModalRunning() || CVividDoc::IsFileBusy() || CVividDoc::IsScanBusy();
  const bool image = GetImage().IsAllocated();
  const bool selection = document_.HasSelection();
  const bool floater = document_.HasFloater();
  bool enabled = !busy && image;
  switch (id) {
    case kCmdSelectAll:
    case kCmdLoadSelection: break;
    case kCmdSelectNone:
    case kCmdSelectInverse:
    case kCmdSelectBorder:
    case kCmdSelectExpand:
    case kCmdSelectContract:
    case kCmdSaveSelection:
    case kCmdCopy:
    case kCmdCut:
    case kCmdDelete:
    case kCmdFill:
    case kCmdDefineStamp:
    case kCmdTrim: enabled = enabled && selection; break;
    case kCmdHideSelection:
      enabled = enabled && selection;
      state.text = showOutline_ ? "&Hide Selection" : "S&how Selection";
      break;
    case kCmdFloat: enabled = enabled && selection && !floater; break;
    case kCmdDefloat: enabled = enabled && floater; break;
    case kCmdPaste: enabled = enabled && platform::CurrentClipboard().IsFormatAvailable(platform::kClipboardDIB); break;
    case kCmdUndo:
      enabled = !IsEditBusy() && !IsModalRunning() && document_.IsUndoAvailable();
      state.text = document_.UndoMenuText();
      break;
    case kCmdChannelSeparate: {
      const int bits = GetImage().GetBitCount();
      enabled = enabled && (bits == 24 || bits == 32);
      break;
    }
    case kCmdFitWindowToImage: state.checked = fitWindow_; break;
    case kCmdDisplayMode: state.checked = displayMode_ == 2; break;
    case kCmdRuler: state.checked = rulers_; break;
    case kCmdPreviewPrintedColors: state.checked = previewPrinted_; break;
    default: break;
  }
  state.enabled = enabled;
  return state;
}

EditResult CVividView::RunCommand(ViewCommand id, const OperationArgs& args, bool* disabled) {
  ScriptRecorder::Scope recording(recorder_);
  if (recording) recording->Command(*this, id, args);
  if (disabled) *disabled = false;
  if (!GetCommandState(id).enabled) {
    if (disabled) *disabled = true;
    return 0;
  }
  if (const Choice* choice = FindChoice(id)) {
    MakeChoice(*choice);
    return 1;
  }
  switch (id) {
    case kCmdSelectAll: return OnSelectAll();
    case kCmdSelectNone: return OnSelectNone();
    case kCmdSelectInverse: return OnSelectInverse();
    case kCmdSelectBorder: return OnSelectBorder(args.Int(0));
    case kCmdSelectExpand: return OnSelectExpand(args.Int(0));
    case kCmdSelectContract: return OnSelectContract(args.Int(0));
    case kCmdHideSelection: return OnHideSelection();
    case kCmdSaveSelection: return OnSaveSelection(args.texts.at(0));
    case kCmdLoadSelection: return OnLoadSelection(args.texts.at(0), static_cast<SelectionCombine>(args.Int(1)));
    case kCmdFloat: return OnFloat();
    case kCmdDefloat: return OnDefloat();
    case kCmdCopy: return OnCopy();
    case kCmdCut: return OnCut();
    case kCmdDelete: return OnDelete();
    case kCmdFill: return OnFill();
    case kCmdPaste: return OnPaste();
    case kCmdDefineStamp: return OnDefineStamp();
    case kCmdTrim: return OnTrim();
    case kCmdUndo: return OnUndo();
    case kCmdNormalView: return OnNormalView();
    case kCmdZoomIn: return OnZoomIn();
    case kCmdZoomOut: return OnZoomOut();
    case kCmdFitToImage: return OnFitToImage();
    case kCmdFitWindowToImage: return OnFitWindowToImage();
    case kCmdDisplayMode: return OnDisplayMode();
    case kCmdRuler: return OnRuler();
    case kCmdPreviewPrintedColors: return OnPreviewPrintedColors();
    case kCmdNewWindow: return 0;  // the application makes the new view
    case kCmdChannelSeparate: return OnChannelSeparate();
    default: break;
  }
  // The Image menu's transforms run their operation as `effect` does.
  const CommandDef* def = FindCommand(id);
  if (!def || def->operation.empty()) return 0;
  std::string text(def->operation);
  for (size_t i = 0; i < args.texts.size() && !args.texts[i].empty(); ++i) {
    text += i == 0 ? ':' : ',';
    text += args.texts[i];
  }
  std::string error;
  const std::optional<ParsedOperation> operation = ParseOperation(text, error);
  if (!operation) {
    platform::ShowMessage(error);
    return 0;
  }
  return RunEffect(*operation);
}

// --- the edit frame ---

namespace {

// For its life the operations leave a cancelled image as far as they got:
// the edit frame puts it back from its undo record.
struct CancelRestoredHere {
  const bool was = GL_SetCancelRestoredByCaller(true);
  CancelRestoredHere() = default;
  CancelRestoredHere(const CancelRestoredHere&) = delete;
  CancelRestoredHere& operator=(const CancelRestoredHere&) = delete;
  ~CancelRestoredHere() { GL_SetCancelRestoredByCaller(was); }
};

}  // namespace

EditResult CVividView::RunEdit(int undoKind, const platform::Region* undoRegion, std::string_view undoName, int hint,
                               const std::function<EditResult()>& work) {
  if (IsEditBusy()) return 0;
  StopOutline();
  if (!document_.RecordUndo(undoKind, undoRegion, undoName)) {
    StartOutline();
    return 0;
  }
  EditResult result;
  bool outOfMemory = false;
  {
    // Edits that run imaging operations report progress, pump events and
    // may be cancelled with Esc; the others only set the busy flag.
    const BusyPeriod busy(EditReportsProgress(undoKind));
    // A cancelled edit is put back from its undo record below, so the
    // operations need not copy the image first to undo a cancel themselves.
    const CancelRestoredHere restoredHere;
    try {
      result = work();
    } catch (const std::bad_alloc&) {
      // A buffer the work needed midway could not be had.
      result = kResultOutOfMemory;
      outOfMemory = true;
    }
  }
  if (result == kResultCancelled || result == kProgressCancelled || outOfMemory) {
    // A cancelled command leaves nothing behind: what it changed before the
    // cancel comes back from the record it just took, and that record goes
    // (Undo has nothing to undo then; the record of the edit before was
    // replaced when this one began, so Undo stays off rather than undoing
    // something the user did not ask for). The document's modified flag
    // stays as it was. Work cut short by a failed allocation is put back
    // the same way, then reported.
    if (outOfMemory) ReportResult(result);
    if (document_.GetUndoRecord().kind != 0) {
      document_.FreeFloaterBitmaps();
      document_.ClearSelection();
      document_.RestoreUndo();
      document_.ApplySelectionToImage();
    }
    document_.UpdateAllViews(hint | kHintRedraw | kHintSizeChanged | kHintColorTableChanged);
    outlineNeedsRedraw_ = true;
    StartOutline();
    return result;
  }
  ReportResult(result);
  document_.SetModifiedFlag(true);
  document_.UpdateAllViews(hint);
  outlineNeedsRedraw_ = true;
  StartOutline();
  return result;
}

void CVividView::ReportResult(EditResult result) {
  if (result < 0 && result != kResultCancelled) platform::ShowMessage(FormatErrorCode(result));
}

EditResult CVividView::OnUndo() {
  StopOutline();
  platform::MainWindowSink& window = platform::MainWindow();
  window.WaitCursor(true);
  document_.FreeFloaterBitmaps();
  document_.ClearSelection();
  document_.RestoreUndo();
  document_.ApplySelectionToImage();
  window.WaitCursor(false);
  document_.SetModifiedFlag(true);
  document_.UpdateAllViews(kHintRedraw | kHintSizeChanged | kHintColorTableChanged);
  StartOutline();
  return 1;
}

void CVividView::OnDocumentUpdate(CVividDoc&, int hint) {
  if (hint & kHintSizeChanged) Layout();
  InvalidateAll();
  // Another view's edit changed the selection: take the new outline.
  if (outlineRunning_ || document_.HasSelection()) {
    StopOutline();
    StartOutline();
  }
}
