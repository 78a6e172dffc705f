// Selection tools and the Select menu: the common frame of the selection
// commands, All, None, Inverse, Border, Expand, Contract, Hide Selection,
// moving the outline, and the seven selection tools' gestures.
#include <algorithm>
#include <cmath>

#include "editing/selection_ops.h"
#include "editing/tool_settings.h"
#include "editing/vivid_view.h"
#include "platform/main_window.h"

namespace {

// Selection tool numbers (CToolSettings::selectionTool).
constexpr int kToolRectangle = 1;
constexpr int kToolRoundRectangle = 2;
constexpr int kToolEllipse = 3;
constexpr int kToolFreehand = 4;
constexpr int kToolPointToPoint = 5;
constexpr int kToolMagicWand = 6;
constexpr int kToolPaintSelection = 7;

// The freehand and point-to-point polygons hold at most this many points.
constexpr size_t kMaxPolygonPoints = 16384;

constexpr int kKindSetSelection = 18;
constexpr int kKindDeleteSelection = 11;
constexpr int kKindDragSelection = 12;
constexpr int kKindArrowSelection = 13;
constexpr std::string_view kMoveSelection = "Move Selection";
constexpr std::string_view kSetSelection = "Set Selection";

// Shift before Ctrl before Alt.
SelectionCombine CombineFromModifiers(unsigned modifiers) {
  if (modifiers & kModShift) return SelectionCombine::Add;
  if (modifiers & kModCtrl) return SelectionCombine::Subtract;
  if (modifiers & kModAlt) return SelectionCombine::Intersect;
  return SelectionCombine::Replace;
}

// The view area a rubber band covers, with a pixel to spare each way for the
// width of the drawn line.
std::optional<platform::Rect> BandBounds(const RubberBand& band) {
  if (band.kind == RubberBand::Kind::None || band.points.empty()) return std::nullopt;
  platform::Rect r{band.points[0].x, band.points[0].y, band.points[0].x, band.points[0].y};
  if (band.kind == RubberBand::Kind::Ellipse && band.points.size() >= 2) {
    const int rx = std::abs(band.points[1].x - band.points[0].x);
    const int ry = std::abs(band.points[1].y - band.points[0].y);
    r = {band.points[0].x - rx, band.points[0].y - ry, band.points[0].x + rx, band.points[0].y + ry};
  } else {
    for (const platform::Point& p : band.points) {
      r.left = std::min(r.left, p.x);
      r.top = std::min(r.top, p.y);
      r.right = std::max(r.right, p.x);
      r.bottom = std::max(r.bottom, p.y);
    }
  }
  return platform::Rect{r.left - 1, r.top - 1, r.right + 2, r.bottom + 2};
}

platform::Rect SpanRect(platform::Point a, platform::Point b) {
  return {std::min(a.x, b.x) - 1, std::min(a.y, b.y) - 1, std::max(a.x, b.x) + 2, std::max(a.y, b.y) + 2};
}

// The view area over an image rectangle, a pixel to spare each way.
platform::Rect ViewAreaOf(const CVividView& view, const platform::Rect& image) {
  const PointF a = view.ImageToView({static_cast<double>(image.left), static_cast<double>(image.top)});
  const PointF b = view.ImageToView({static_cast<double>(image.right), static_cast<double>(image.bottom)});
  return {static_cast<int32_t>(std::floor(a.x)) - 1, static_cast<int32_t>(std::floor(a.y)) - 1,
          static_cast<int32_t>(std::ceil(b.x)) + 1, static_cast<int32_t>(std::ceil(b.y)) + 1};
}

}  // namespace

// --- the common frame ---

EditResult CVividView::RunSelectionCommand(int kind, std::string_view name,
                                           const std::function<std::optional<platform::Region>()>& compute,
                                           SelectionCombine mode) {
  if (!GetImage().IsAllocated()) return 0;
  if (static_cast<int>(mode) < 0 || static_cast<int>(mode) > 3) mode = SelectionCombine::Replace;
  return RunEdit(kind, nullptr, name, kHintRedraw, [&]() -> EditResult {
    if (document_.HasFloater()) {
      Defloat();
      document_.FreeFloaterBitmaps();
    }
    EditResult result = 1;
    if (kind == kKindDeleteSelection) {
      document_.ClearSelection();
    } else if (std::optional<platform::Region> region = compute()) {
      document_.CombineSelection(*region, mode);
    } else {
      result = 0;
    }
    document_.SetFloaterPresent(false);
    return result;
  });
}

// --- Select menu ---

EditResult CVividView::OnSelectAll() {
  const int width = GetImage().GetWidth(), height = GetImage().GetHeight();
  return RunSelectionCommand(
      kKindSetSelection, "Select all",
      [width, height] { return std::optional(platform::Region::FromRect(0, 0, width, height)); },
      SelectionCombine::Replace);
}

EditResult CVividView::OnSelectNone() {
  if (!document_.HasSelection()) return 0;
  return RunSelectionCommand(kKindDeleteSelection, "Delete Selection", [] { return std::optional<platform::Region>(); },
                             SelectionCombine::Replace);
}

EditResult CVividView::OnSelectInverse() {
  if (!document_.HasSelection()) return 0;
  return RunSelectionCommand(
      kKindSetSelection, "Invert Selection",
      [this] {
        const platform::Region image = platform::Region::FromRect(0, 0, GetImage().GetWidth(), GetImage().GetHeight());
        return std::optional(image.Subtract(document_.SelectionRegionInImage()));
      },
      SelectionCombine::Replace);
}

EditResult CVividView::OnSelectBorder(int size) {
  if (size < 1 || !document_.HasSelection()) return 0;
  return RunSelectionCommand(
      kKindSetSelection, "Border Selection",
      [this, size] {
        return BorderRegion(document_.SelectionRegionInImage(), GetImage().GetWidth(), GetImage().GetHeight(), size);
      },
      SelectionCombine::Replace);
}

EditResult CVividView::OnSelectExpand(int size) {
  if (size < 1 || !document_.HasSelection()) return 0;
  return RunSelectionCommand(
      kKindSetSelection, "Expand Selection",
      [this, size] {
        return DilateRegion(document_.SelectionRegionInImage(), GetImage().GetWidth(), GetImage().GetHeight(), size);
      },
      SelectionCombine::Replace);
}

EditResult CVividView::OnSelectContract(int size) {
  if (size < 1 || !document_.HasSelection()) return 0;
  return RunSelectionCommand(
      kKindSetSelection, "Contract Selection",
      [this, size] {
        return ErodeRegion(document_.SelectionRegionInImage(), GetImage().GetWidth(), GetImage().GetHeight(), size);
      },
      SelectionCombine::Replace);
}

EditResult CVividView::OnHideSelection() {
  showOutline_ = !showOutline_;
  if (showOutline_) {
    StartOutline();
    return 1;
  }
  StopOutline();
  if (document_.HasSelection()) {
    // Repaint the box so that the outline drawn around it disappears.
    Invalidate(ViewAreaOf(*this, document_.SelectionBox()));
  }
  return 1;
}

bool CVividView::HitSelection(platform::Point viewPoint) const {
  if (!document_.HasSelection()) return false;
  const platform::Point p = ViewToImage(viewPoint);
  const SelectionState& selection = document_.GetSelection();
  return selection.region.Contains(p.x - selection.left, p.y - selection.top);
}

void CVividView::MoveSelectionBy(int dx, int dy, int undoKind, std::string_view undoName) {
  if (!document_.HasSelection() || (dx == 0 && dy == 0)) return;
  RunEdit(undoKind, nullptr, undoName, kHintRedraw, [&]() -> EditResult {
    const platform::Point origin =
        MovedSelectionOrigin(document_.SelectionBox(), dx, dy, GetImage().GetWidth(), GetImage().GetHeight());
    document_.MoveSelectionTo(origin.x, origin.y);
    document_.ApplySelectionToImage();
    return 1;
  });
}

// --- gestures ---

void CVividView::SetRubberBand(RubberBand band) {
  if (const std::optional<platform::Rect> old = BandBounds(rubberBand_)) Invalidate(*old);
  rubberBand_ = std::move(band);
  if (const std::optional<platform::Rect> now = BandBounds(rubberBand_)) Invalidate(*now);
}

void CVividView::CancelSelectionGesture() {
  SetRubberBand({});
  gestureActive_ = false;
  movingOutline_ = false;
  bandTrailsPointer_ = false;
  freehandPoints_.clear();
  paintStroke_ = platform::Region();
  lastDab_.reset();
}

void CVividView::AddPolygonPoint(platform::Point viewPoint) {
  const platform::Point p = ViewToImage(viewPoint);
  if (!freehandPoints_.empty() && freehandPoints_.back() == p) return;
  if (freehandPoints_.size() >= kMaxPolygonPoints) return;
  freehandPoints_.push_back(p);
  // Only the new segment needs repainting, not the whole polyline.
  std::vector<platform::Point>& band = rubberBand_.points;
  if (bandTrailsPointer_) band.pop_back();
  if (!band.empty()) Invalidate(SpanRect(band.back(), viewPoint));
  band.push_back(viewPoint);
  bandTrailsPointer_ = false;
  rubberBand_.kind = RubberBand::Kind::Polyline;
}

void CVividView::SelectionPress(platform::Point point, PointerButton button, unsigned modifiers) {
  if (button == PointerButton::Right) {
    if (gestureActive_ || movingOutline_) CancelSelectionGesture();
    else if (PressInsideImage(point)) OnSelectNone();
    return;
  }
  if (!PressInsideImage(point)) return;

  // A polygon in progress takes the press as its next vertex.
  if (gestureActive_ && (gestureTool_ == kToolFreehand || gestureTool_ == kToolPointToPoint)) {
    AddPolygonPoint(point);
    return;
  }
  CancelSelectionGesture();
  const int tool = SelectionToolNumber(ToolSettings().ActiveTool());
  if (tool == 0) return;
  gesturePress_ = point;

  if (tool != kToolPointToPoint && !(modifiers & (kModShift | kModCtrl)) && HitSelection(point)) {
    movingOutline_ = true;
    return;
  }

  gestureActive_ = true;
  gestureTool_ = tool;
  gestureMode_ = CombineFromModifiers(modifiers);
  switch (tool) {
    case kToolRectangle: SetRubberBand({RubberBand::Kind::Rectangle, {point, point}}); break;
    case kToolRoundRectangle: SetRubberBand({RubberBand::Kind::RoundRectangle, {point, point}}); break;
    case kToolEllipse: SetRubberBand({RubberBand::Kind::Ellipse, {point, point}}); break;
    case kToolFreehand:
    case kToolPointToPoint: AddPolygonPoint(point); break;
    case kToolPaintSelection: {
      const BrushSettings& brush = ToolSettings().BrushOf(BrushOwner::PaintSelection);
      lastDab_ = point;
      paintStroke_ = DabFootprint(ViewToImage(point, false), brush.size, brush.shape);
      Invalidate(ViewAreaOf(*this, paintStroke_.Box()));
      break;
    }
    default: break;  // the magic wand works on release
  }
}

void CVividView::SelectionMove(platform::Point point, unsigned) {
  const bool leftDown = buttonDown_ && pressedButton_ == PointerButton::Left;
  if (movingOutline_) {
    if (!leftDown) return;
    // The box as it would land, so the user sees where the outline goes.
    const platform::Point from = ViewToImage(gesturePress_), to = ViewToImage(point);
    const platform::Rect box = document_.SelectionBox();
    const platform::Point origin = MovedSelectionOrigin(box, int64_t{to.x} - from.x, int64_t{to.y} - from.y,
                                                        GetImage().GetWidth(), GetImage().GetHeight());
    const double left = origin.x, top = origin.y;
    const PointF a = ImageToView({left, top});
    const PointF b = ImageToView({left + box.Width(), top + box.Height()});
    SetRubberBand({RubberBand::Kind::Rectangle,
                   {{static_cast<int32_t>(a.x), static_cast<int32_t>(a.y)},
                    {static_cast<int32_t>(b.x), static_cast<int32_t>(b.y)}}});
    return;
  }
  if (!gestureActive_) return;
  switch (gestureTool_) {
    case kToolRectangle:
    case kToolRoundRectangle:
    case kToolEllipse:
      if (leftDown) SetRubberBand({rubberBand_.kind, {gesturePress_, point}});
      break;
    case kToolFreehand:
      if (leftDown) {
        AddPolygonPoint(point);
        break;
      }
      [[fallthrough]];
    case kToolPointToPoint: {
      // Between vertices a straight line runs from the last one to the pointer.
      std::vector<platform::Point>& band = rubberBand_.points;
      if (band.empty()) break;
      const platform::Point last = band[band.size() - (bandTrailsPointer_ ? 2 : 1)];
      if (bandTrailsPointer_) {
        Invalidate(SpanRect(last, band.back()));
        band.back() = point;
      } else {
        band.push_back(point);
        bandTrailsPointer_ = true;
      }
      Invalidate(SpanRect(last, point));
      break;
    }
    case kToolPaintSelection: {
      if (!leftDown || !lastDab_) break;
      const BrushSettings& brush = ToolSettings().BrushOf(BrushOwner::PaintSelection);
      const int spacing =
          DabSpacing(DisplayedImageRect().Width(), GetImage().GetWidth(), brush.size, brush.spacing);
      platform::Point last = *lastDab_;
      const std::vector<platform::Point> dabs = StepDabs(last, point, spacing);
      if (dabs.empty()) break;
      // The footprints of one move are united with the stroke at once.
      std::vector<platform::Rect> rects;
      for (const platform::Point& dab : dabs) {
        const platform::Region footprint = DabFootprint(ViewToImage(dab, false), brush.size, brush.shape);
        const std::vector<platform::Rect> parts = footprint.Rects();
        rects.insert(rects.end(), parts.begin(), parts.end());
      }
      const platform::Region added = platform::Region::FromRects(rects);
      paintStroke_ = paintStroke_.Union(added);
      Invalidate(ViewAreaOf(*this, added.Box()));
      lastDab_ = last;
      break;
    }
    default: break;
  }
}

void CVividView::SelectionRelease(platform::Point point, PointerButton button, unsigned) {
  if (button != PointerButton::Left) return;
  if (movingOutline_) {
    const platform::Point from = ViewToImage(gesturePress_), to = ViewToImage(point);
    CancelSelectionGesture();
    MoveSelectionBy(to.x - from.x, to.y - from.y, kKindDragSelection, kMoveSelection);
    return;
  }
  if (!gestureActive_) return;

  std::optional<platform::Region> region;
  const platform::Point a = ViewToImage(gesturePress_), b = ViewToImage(point);
  switch (gestureTool_) {
    case kToolRectangle:
      if (a != b) region = SelectionRectangle(a, b);
      break;
    case kToolRoundRectangle:
      if (a != b) region = SelectionRoundRectangle(a, b);
      break;
    case kToolEllipse:
      if (a != b) region = SelectionEllipse(a, b);
      break;
    case kToolFreehand:
    case kToolPointToPoint: {
      // The polygon goes on until a double click; the band now trails the
      // pointer from the last vertex.
      if (gestureTool_ == kToolFreehand) AddPolygonPoint(point);
      SelectionMove(point, 0);
      return;
    }
    case kToolMagicWand: {
      const platform::Point seed{std::clamp(a.x, 0, GetImage().GetWidth() - 1),
                                 std::clamp(a.y, 0, GetImage().GetHeight() - 1)};
      const int tolerance = ToolSettings().fillTolerance;
      const SelectionCombine mode = gestureMode_;
      CancelSelectionGesture();
      platform::MainWindow().WaitCursor(true);
      RunSelectionCommand(
          kKindSetSelection, kSetSelection, [&] { return MagicWandRegion(GetImage(), seed, tolerance); }, mode);
      platform::MainWindow().WaitCursor(false);
      return;
    }
    case kToolPaintSelection: region = paintStroke_; break;
    default: break;
  }
  const SelectionCombine mode = gestureMode_;
  CancelSelectionGesture();
  if (!region) {
    // A press and release at one point: as Select None.
    OnSelectNone();
    return;
  }
  RunSelectionCommand(kKindSetSelection, kSetSelection, [&] { return region; }, mode);
}

void CVividView::SelectionDoubleClick(platform::Point point, unsigned) {
  if (!gestureActive_ || (gestureTool_ != kToolFreehand && gestureTool_ != kToolPointToPoint)) return;
  AddPolygonPoint(point);
  const std::vector<platform::Point> points = std::move(freehandPoints_);
  const SelectionCombine mode = gestureMode_;
  CancelSelectionGesture();
  if (points.size() <= 1) {
    OnSelectNone();
    return;
  }
  RunSelectionCommand(
      kKindSetSelection, kSetSelection,
      [&] { return std::optional(platform::Region::FromPolygon(points, platform::FillMode::Winding)); }, mode);
}

void CVividView::SelectionKey(ViewKey key, int repeat, unsigned modifiers) {
  if (modifiers & (kModCtrl | kModShift)) return;
  if (gestureActive_ || movingOutline_ || !document_.HasSelection()) return;
  const int step = std::max(1, repeat);
  switch (key) {
    case ViewKey::Left: MoveSelectionBy(-step, 0, kKindArrowSelection, kMoveSelection); break;
    case ViewKey::Right: MoveSelectionBy(step, 0, kKindArrowSelection, kMoveSelection); break;
    case ViewKey::Up: MoveSelectionBy(0, -step, kKindArrowSelection, kMoveSelection); break;
    case ViewKey::Down: MoveSelectionBy(0, step, kKindArrowSelection, kMoveSelection); break;
    default: break;
  }
}
