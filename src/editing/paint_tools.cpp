// The paint tools (Pen, Brush, Air Brush, Eraser, Retouch, Stamp), Flood
// Fill, the Color Picker, Line and Shapes.
//
// Brush tools: the press lays a dab and starts the stroke; moves lay dabs
// every DabSpacing view pixels; the Air Brush also lays one at the pointer
// every 100 ms while the button is held. While the stroke runs, the view
// shows each touched cell as the commit will write it (display patches of
// the image, or of the floater when one is present). The release records
// undo kind 40 ("Draw Brush", Retouch "Retouch") over the stroke's pixels
// only and commits; an empty stroke records nothing. The Stamp takes its tip
// from the Brush's record (it keeps none of its own).
//
// Line: a capsule of the Line page's width around the segment between the
// two (clamped) image points. Pixel (x, y) is covered by c = clamp(w / 2 +
// 0.5 - d, 0, 1), d the distance from its centre (x + 0.5, y + 0.5) to the
// segment; the segment runs through pixel centres for odd widths and along
// pixel corners for even ones, so a horizontal line covers exactly `width`
// rows. Width 0 draws as width 1. With AntiAlias the coverage is
// trunc(255 c + 0.5), without it 255 where c >= 0.5, else 0.
//
// Shapes are spanned by the press and release points (both pixels included,
// clamped to the image); a Circle has the diameter of the smaller side and
// grows from the press point towards the pointer. The Round Rectangle's
// corners are quarter ellipses of one quarter of the width and height. A
// pixel belongs to the shape where its centre does (AntiAlias: coverage is
// the part of 4 x 4 samples inside, count x 255 / 16). The colour: pixels
// whose centre lies outside the shape inset by the Border Width (the same
// shape on the box shrunk by the border each side, corner radii shrunk
// likewise) take the foreground colour; the interior takes the gradient
// from the foreground (t = 0) to the background (t = 1), each channel
// trunc(f (1 - t) + b t + 0.5), with u, v the pixel centre's position in
// the box (0..1): Left to Right t = u; Top to Bottom t = v; NW to SE
// (u + v) / 2; NE to SW ((1 - u) + v) / 2; Rect Center to Out
// max(|2u - 1|, |2v - 1|); Ellipse Center to Out min(1, sqrt((2u - 1)^2 +
// (2v - 1)^2)). Border 0 fills only.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "editing/stroke_engine.h"
#include "editing/tool_settings.h"
#include "editing/vivid_view.h"
#include "image/color_convert.h"
#include "imaging/combine.h"
#include "imaging/fill.h"
#include "platform/messages.h"

struct CVividView::PaintGesture {
  ViewTool tool = ViewTool::None;
  bool stroke = false;        // a brush stroke is running
  bool band = false;          // a line or shape drag is running
  bool selectionAtPress = false;
  BrushStroke brush;
  DabStepper stepper;
  int spacing = 1;
  std::unique_ptr<CellCommitter> committer;
  bool onFloater = false;
  platform::Point origin{};   // image position of the target's (0, 0)
  platform::Point pointer{};  // last pointer position (view)
  platform::Point press{};    // line and shape press (view)
  int airClock = 0;
  bool airTimer = false;
  CDIBitmap pattern;       // the stamp tiled, in the image's kind
  CDIBitmap patternAlpha;  // the stamp's alpha tiled
};

namespace {

constexpr int kCell = CoveragePlane::kCell;

bool IsBrushTool(ViewTool tool) {
  switch (tool) {
    case ViewTool::Pen:
    case ViewTool::Brush:
    case ViewTool::Airbrush:
    case ViewTool::Eraser:
    case ViewTool::Retouch:
    case ViewTool::Stamp: return true;
    default: return false;
  }
}

BrushOwner BrushOfTool(ViewTool tool) {
  switch (tool) {
    case ViewTool::Pen: return BrushOwner::Pen;
    case ViewTool::Airbrush: return BrushOwner::Airbrush;
    case ViewTool::Eraser: return BrushOwner::Eraser;
    case ViewTool::Retouch: return BrushOwner::Retouch;
    default: return BrushOwner::Brush;  // the Brush, and the Stamp's tip
  }
}

platform::Rect Offset(platform::Rect r, platform::Point by) {
  return {r.left + by.x, r.top + by.y, r.right + by.x, r.bottom + by.y};
}

// --- line ---

double SegmentDistance(double px, double py, double ax, double ay, double bx, double by) {
  const double vx = bx - ax, vy = by - ay, wx = px - ax, wy = py - ay;
  const double len2 = vx * vx + vy * vy;
  const double t = len2 > 0 ? std::clamp((wx * vx + wy * vy) / len2, 0.0, 1.0) : 0.0;
  const double dx = wx - t * vx, dy = wy - t * vy;
  return std::sqrt(dx * dx + dy * dy);
}

// Lays the line's coverage inside `rect` (image coordinates, within the
// plane), 64 rows at a time.
void LayLine(CoveragePlane& plane, const platform::Rect& rect, platform::Point a, platform::Point b, int width,
             bool antialias) {
  width = std::max(width, 1);
  const double r = width / 2.0, centre = width % 2 ? 0.5 : 0.0;
  const double ax = a.x + centre, ay = a.y + centre, bx = b.x + centre, by = b.y + centre;
  CDIBitmap band;
  for (int top = rect.top; top < rect.bottom; top += kCell) {
    const int rows = std::min(kCell, rect.bottom - top);
    if (!band.Create(rect.Width(), rows, 8, 1)) return;
    for (int j = 0; j < rows; ++j) {
      uint8_t* row = band.RowPointer(j);
      const double py = top + j + 0.5;
      for (int i = 0; i < rect.Width(); ++i) {
        const double d = SegmentDistance(rect.left + i + 0.5, py, ax, ay, bx, by);
        const double c = std::clamp(r + 0.5 - d, 0.0, 1.0);
        row[i] = antialias ? static_cast<uint8_t>(std::trunc(c * 255 + 0.5)) : (c >= 0.5 ? 255 : 0);
      }
    }
    plane.Add(band, rect.left, top);
  }
}

// --- shapes ---

struct ShapeGeometry {
  int kind = 0;  // index into kShapeNames
  double left = 0, top = 0, right = 0, bottom = 0;

  // Whether point (x, y) lies in the shape.
  bool Inside(double x, double y) const {
    if (x < left || x >= right || y < top || y >= bottom || right <= left || bottom <= top) return false;
    const double w = right - left, h = bottom - top;
    if (kind == 2 || kind == 3) {
      const double u = (x - left) / w * 2 - 1, v = (y - top) / h * 2 - 1;
      return u * u + v * v <= 1;
    }
    if (kind == 1) {
      const double a = w / 8, b = h / 8;
      const double cx = x < left + a ? left + a : (x > right - a ? right - a : x);
      const double cy = y < top + b ? top + b : (y > bottom - b ? bottom - b : y);
      if (cx == x || cy == y || a <= 0 || b <= 0) return true;
      const double u = (x - cx) / a, v = (y - cy) / b;
      return u * u + v * v <= 1;
    }
    return true;
  }
  ShapeGeometry Inset(int by) const {
    ShapeGeometry inner = *this;
    inner.left += by, inner.top += by, inner.right -= by, inner.bottom -= by;
    if (kind == 1) {
      // The same corner radii shrunk by the border: keep the corner ellipse
      // of the outer shape moved inwards (radii w / 8 - by, h / 8 - by).
      inner.cornerA = std::max(0.0, (right - left) / 8 - by);
      inner.cornerB = std::max(0.0, (bottom - top) / 8 - by);
      inner.customCorners = true;
    }
    return inner;
  }
  bool InsideInner(double x, double y) const {
    if (!customCorners) return Inside(x, y);
    if (x < left || x >= right || y < top || y >= bottom) return false;
    const double a = cornerA, b = cornerB;
    const double cx = x < left + a ? left + a : (x > right - a ? right - a : x);
    const double cy = y < top + b ? top + b : (y > bottom - b ? bottom - b : y);
    if (cx == x || cy == y || a <= 0 || b <= 0) return true;
    const double u = (x - cx) / a, v = (y - cy) / b;
    return u * u + v * v <= 1;
  }
  double cornerA = 0, cornerB = 0;
  bool customCorners = false;
};

double GradientT(int style, double u, double v) {
  switch (style) {
    case 0: return u;
    case 1: return v;
    case 2: return (u + v) / 2;
    case 3: return ((1 - u) + v) / 2;
    case 4: return std::min(1.0, std::max(std::fabs(2 * u - 1), std::fabs(2 * v - 1)));
    default: {
      const double x = 2 * u - 1, y = 2 * v - 1;
      return std::min(1.0, std::sqrt(x * x + y * y));
    }
  }
}

uint32_t Mix(uint32_t f, uint32_t b, double t) {
  uint32_t out = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    const double fc = (f >> shift) & 0xFF, bc = (b >> shift) & 0xFF;
    out |= static_cast<uint32_t>(std::trunc(fc * (1 - t) + bc * t + 0.5)) << shift;
  }
  return out;
}

void LayShape(CoveragePlane& plane, const ShapeGeometry& shape, bool antialias) {
  const platform::Rect rect{static_cast<int32_t>(shape.left), static_cast<int32_t>(shape.top),
                            static_cast<int32_t>(shape.right), static_cast<int32_t>(shape.bottom)};
  CDIBitmap band;
  for (int top = rect.top; top < rect.bottom; top += kCell) {
    const int rows = std::min(kCell, rect.bottom - top);
    if (!band.Create(rect.Width(), rows, 8, 1)) return;
    for (int j = 0; j < rows; ++j) {
      uint8_t* row = band.RowPointer(j);
      const int y = top + j;
      for (int i = 0; i < rect.Width(); ++i) {
        const int x = rect.left + i;
        if (!antialias) {
          row[i] = shape.Inside(x + 0.5, y + 0.5) ? 255 : 0;
          continue;
        }
        int count = 0;
        for (int sy = 0; sy < 4; ++sy)
          for (int sx = 0; sx < 4; ++sx) count += shape.Inside(x + (sx + 0.5) / 4, y + (sy + 0.5) / 4);
        row[i] = static_cast<uint8_t>(count * 255 / 16);
      }
    }
    plane.Add(band, rect.left, top);
  }
}

// Writes `count` colours 0x00BBGGRR into row y of a bitmap from column 0,
// converted to its kind once for the row.
void PutColourRow(CDIBitmap& out, int y, const uint32_t* colours, int count) {
  uint8_t* row = out.RowPointer(y);
  switch (out.GetBitCount()) {
    case 32:
      for (int i = 0; i < count; ++i)
        GL_RGBToCMYK(colours[i] & 0xFF, (colours[i] >> 8) & 0xFF, (colours[i] >> 16) & 0xFF, row + i * 4);
      break;
    case 24:
      for (int i = 0; i < count; ++i) {
        row[i * 3] = (colours[i] >> 16) & 0xFF;
        row[i * 3 + 1] = (colours[i] >> 8) & 0xFF;
        row[i * 3 + 2] = colours[i] & 0xFF;
      }
      break;
    default:
      for (int i = 0; i < count; ++i) out.SetPixelColor(y, i, colours[i]);
      break;
  }
}

}  // namespace

// --- events ---

void CVividView::PaintPress(platform::Point point, PointerButton button, unsigned) {
  if (!document_.GetTargetImage() || !GetImage().IsAllocated()) return;
  CToolSettings& settings = ToolSettings();
  const ViewTool tool = settings.ActiveTool();
  if (tool == ViewTool::Picker) {
    if (!PressInsideImage(point)) return;
    const platform::Point at = ViewToImage(point, false);
    if (at.x < 0 || at.y < 0 || at.x >= GetImage().GetWidth() || at.y >= GetImage().GetHeight()) return;
    const uint32_t colour = GetImage().GetPixelColor(at.y, at.x);
    (button == PointerButton::Left ? settings.foreground : settings.background) = colour;
    return;
  }
  if (button != PointerButton::Left) return;
  if (!paint_) paint_ = std::make_shared<PaintGesture>();
  PaintGesture& g = *paint_;
  if (g.stroke) {  // a stroke whose release never came is dropped
    ClearStrokePatches();
    g.committer.reset();
    g.brush.Clear();
  }
  g.tool = tool;
  g.stroke = g.band = false;
  g.selectionAtPress = document_.HasSelection();
  g.pointer = g.press = point;
  if (tool == ViewTool::FloodFill) return;  // works on release
  if (tool == ViewTool::Line || tool == ViewTool::Shape) {
    g.band = true;
    UpdatePaintBand(point);
    return;
  }
  if (!IsBrushTool(tool)) return;

  // The stroke's target: the floater when one is present, else the image.
  CDIBitmap& image = GetImage();
  g.onFloater = document_.HasFloater() && document_.FloaterImage().IsAllocated();
  CDIBitmap& target = g.onFloater ? document_.FloaterImage() : image;
  const platform::Rect box = document_.SelectionBox();
  g.origin = g.onFloater ? platform::Point{box.left, box.top} : platform::Point{0, 0};
  std::optional<platform::Region> selection;
  if (g.selectionAtPress)
    selection = g.onFloater ? document_.GetSelection().region : document_.SelectionRegionInImage();

  const BrushSettings& brush = settings.BrushOf(BrushOfTool(tool));
  const PaintSettings& paint = settings.PaintOf(tool);
  StrokeSource source;
  StrokeBlend blend{paint.mergeMode, paint.Opacity(), true};
  int pressure = 255;
  const CDIBitmap* stampAlpha = nullptr;
  int periodW = 0, periodH = 0;
  switch (tool) {
    case ViewTool::Airbrush:
      source.colour = settings.foreground;
      pressure = paint.transparency * 255 / 100;
      blend.opacity = 255;
      break;
    case ViewTool::Eraser: {
      const uint32_t colours[] = {settings.background, 0xFFFFFF, 0x000000};
      source.colour = colours[std::clamp(settings.eraserMode, 0, 2)];
      if (settings.eraserMode == 3) {
        source.colour = settings.background;
        if (!document_.GetSavedCopy()) document_.LoadSavedCopy();
        const CDIBitmap* saved = document_.GetSavedCopy();
        if (saved && saved->IsAllocated() && saved->GetBitCount() == image.GetBitCount() &&
            saved->GetWidth() == image.GetWidth() && saved->GetHeight() == image.GetHeight()) {
          source.kind = StrokeSource::Kind::Bitmap;
          source.bitmap = saved;
          source.offset = g.origin;
        }
      }
      break;
    }
    case ViewTool::Retouch:
      source.kind = StrokeSource::Kind::Retouch;
      source.retouchMode = std::clamp(settings.retouchMode, 0, 5) + 1;
      break;
    case ViewTool::Stamp: {
      const CDIBitmap& stamp = StampImage();
      const CDIBitmap& alpha = StampAlpha();
      if (!stamp.IsAllocated() || !alpha.IsAllocated() || alpha.GetBitCount() != 8) return;  // no stamp yet
      periodW = stamp.GetWidth(), periodH = stamp.GetHeight();
      const int size = std::clamp(brush.size, 0, 100);
      const int w = std::max({64, size, periodW}) + std::max(64, size);
      const int h = std::max({64, size, periodH}) + std::max(64, size);
      if (!TileStamp(stamp, &target, w, h, g.pattern) || !TileStamp(alpha, nullptr, w, h, g.patternAlpha)) return;
      stampAlpha = &g.patternAlpha;
      source.kind = StrokeSource::Kind::Pattern;
      source.bitmap = &g.pattern;
      source.offset = g.origin;
      source.periodWidth = periodW;
      source.periodHeight = periodH;
      break;
    }
    default: source.colour = settings.foreground; break;
  }
  if (!g.brush.Begin(brush, image.GetWidth(), image.GetHeight(), pressure, stampAlpha, periodW, periodH)) return;
  g.committer = std::make_unique<CellCommitter>(target, g.brush.Plane(), g.origin, std::move(source), blend,
                                                std::move(selection));
  g.stroke = true;
  g.spacing = DabSpacing(DisplayedImageRect().Width(), image.GetWidth(), g.brush.Size(), brush.spacing);
  g.stepper.Start(point.x, point.y);
  g.airClock = 0;
  g.airTimer = tool == ViewTool::Airbrush;
  LayStrokeDabs({point});
}

void CVividView::PaintMove(platform::Point point, unsigned) {
  if (!paint_ || !buttonDown_) return;
  PaintGesture& g = *paint_;
  g.pointer = point;
  if (g.band) {
    UpdatePaintBand(point);
    return;
  }
  if (!g.stroke) return;
  std::vector<platform::Point> dabs;
  g.stepper.MoveTo(point.x, point.y, g.spacing, dabs);
  if (!dabs.empty()) LayStrokeDabs(dabs);
}

void CVividView::PaintRelease(platform::Point point, PointerButton button, unsigned) {
  if (!paint_ || button != PointerButton::Left) return;
  PaintGesture& g = *paint_;
  if (g.tool == ViewTool::FloodFill && ToolSettings().ActiveTool() == ViewTool::FloodFill) {
    g.tool = ViewTool::None;
    FloodFillAt(point);
    return;
  }
  if (g.band) {
    LineShapeRelease(point);
    return;
  }
  if (g.stroke) StrokeRelease();
}

void CVividView::PaintTick(int ms) {
  if (!paint_ || !paint_->airTimer) return;
  PaintGesture& g = *paint_;
  if (ToolSettings().ActiveTool() != ViewTool::Airbrush) {
    g.airTimer = false;
    platform::ShowMessage("AirBrush Event Error, It should not be");
    return;
  }
  if (!g.stroke || !buttonDown_ || pressedButton_ != PointerButton::Left) return;
  g.airClock += ms;
  std::vector<platform::Point> dabs;
  for (; g.airClock >= 100; g.airClock -= 100) dabs.push_back(g.pointer);
  if (!dabs.empty()) LayStrokeDabs(dabs);
}

// --- brush strokes ---

void CVividView::LayStrokeDabs(const std::vector<platform::Point>& viewPoints) {
  PaintGesture& g = *paint_;
  for (const platform::Point& p : viewPoints) {
    const platform::Point at = ViewToImage(p);
    g.brush.LayDab(at.x, at.y);
  }
  // Show the touched cells as the commit will write them.
  DisplayPatches& patches = g.onFloater ? floaterPatches_ : imagePatches_;
  for (const auto& [cx, cy] : g.brush.TakeDirtyCells()) {
    const platform::Rect rect = g.committer->TargetRect(cx, cy);
    if (rect.IsEmpty()) continue;
    if (std::unique_ptr<CDIBitmap> cell = g.committer->Compute(rect))
      patches.Set(rect, std::move(cell));
    else
      patches.Remove(rect);
    InvalidateImageArea(Offset(rect, g.origin));
  }
}

void CVividView::CancelPaintGesture() {
  if (!paint_) return;
  PaintGesture& g = *paint_;
  g.tool = ViewTool::None;  // a flood fill waiting for its release too
  ClearStrokePatches();
  g.committer.reset();
  g.brush.Clear();
  g.stroke = g.band = g.airTimer = false;
  if (rubberBand_.kind != RubberBand::Kind::None) {
    rubberBand_ = {};
    InvalidateAll();
  }
}

void CVividView::ClearStrokePatches() {
  for (DisplayPatches* patches : {&imagePatches_, &floaterPatches_}) {
    if (patches->Empty()) continue;
    const platform::Rect bounds = patches->Bounds();
    patches->Clear();
    InvalidateImageArea(patches == &floaterPatches_ && paint_ ? Offset(bounds, paint_->origin) : bounds);
  }
}

void CVividView::StrokeRelease() {
  PaintGesture& g = *paint_;
  g.stroke = false;
  g.airTimer = false;
  const platform::Region region = g.brush.StrokeRegion();
  if (!region.IsEmpty()) {
    RunEdit(40, &region, g.tool == ViewTool::Retouch ? "Retouch" : "Draw Brush", kHintRedraw,
            [&]() -> EditResult { return g.committer->CommitAll(); });
  }
  ClearStrokePatches();
  g.committer.reset();
  g.brush.Clear();
  g.pattern.Free();
  g.patternAlpha.Free();
}

// --- flood fill ---

void CVividView::FloodFillAt(platform::Point viewPoint) {
  if (!PressInsideImage(viewPoint)) return;
  CDIBitmap& image = GetImage();
  const platform::Point at = ViewToImage(viewPoint, false);
  if (at.x < 0 || at.y < 0 || at.x >= image.GetWidth() || at.y >= image.GetHeight()) return;
  const bool onFloater = document_.HasFloater() && document_.FloaterImage().IsAllocated();
  CDIBitmap& target = onFloater ? document_.FloaterImage() : image;
  const platform::Rect box = document_.SelectionBox();
  const platform::Point origin = onFloater ? platform::Point{box.left, box.top} : platform::Point{0, 0};
  const int x = at.x - origin.x, y = at.y - origin.y;
  if (x < 0 || y < 0 || x >= target.GetWidth() || y >= target.GetHeight()) return;

  // The fill marks in target coordinates, limited to the selection.
  std::optional<platform::Region> selection;
  if (document_.HasSelection())
    selection = onFloater ? document_.GetSelection().region : document_.SelectionRegionInImage();
  CDIBitmap marks;
  if (!marks.Create(target.GetWidth(), target.GetHeight(), 8, 1)) return;
  if (selection) marks.SetMaskRgn(&*selection);
  FillTolerance = ToolSettings().fillTolerance;
  platform::Rect bounds{};
  const int bits = target.GetBitCount();
  int result;
  if (bits >= 24)
    result = OrderedFillMaskRGB(target, 0, 0, marks, x, y, target.GetPixelColor(y, x), bounds);
  else if (bits == 8 && target.IsGray())
    result = OrderedFillMaskGray(target, 0, 0, marks, x, y, target.GetPixel(y, x), bounds);
  else
    result = OrderedFillMaskIndex(target, 0, 0, marks, x, y, target.GetPixel(y, x), bounds);
  marks.ClearMask();
  if (result != 1 || bounds.IsEmpty()) return;
  platform::Region region;
  GL_GetRgnFromBitmap(marks, region, &bounds);
  marks.Free();
  if (region.IsEmpty()) return;

  platform::Region undoRegion = region;
  undoRegion.Offset(origin.x, origin.y);
  const PaintSettings& paint = ToolSettings().PaintOf(ViewTool::FloodFill);
  RunEdit(42, &undoRegion, "Fill Color", kHintRedraw, [&]() -> EditResult {
    CoveragePlane plane;
    plane.Reset(target.GetWidth(), target.GetHeight());
    plane.Fill(region);
    StrokeSource source;
    source.colour = ToolSettings().foreground;
    CellCommitter committer(target, plane, {0, 0}, std::move(source), {paint.mergeMode, paint.Opacity(), false},
                            selection);
    return committer.CommitAll();
  });
}

// --- line and shapes ---

void CVividView::UpdatePaintBand(platform::Point viewPoint) {
  PaintGesture& g = *paint_;
  RubberBand band;
  const platform::Point a = g.press, b = viewPoint;
  if (g.tool == ViewTool::Line) {
    band.kind = RubberBand::Kind::Polyline;
    band.points = {a, b};
  } else {
    const int kind = ToolSettings().shapeKind;
    if (kind <= 1) {
      band.kind = kind == 0 ? RubberBand::Kind::Rectangle : RubberBand::Kind::RoundRectangle;
      band.points = {a, b};
    } else {
      // Ellipse bands are a centre and a radii point.
      int w = std::abs(b.x - a.x), h = std::abs(b.y - a.y);
      if (kind == 3) w = h = std::min(w, h);
      const int sx = b.x < a.x ? -1 : 1, sy = b.y < a.y ? -1 : 1;
      const platform::Point centre{a.x + sx * w / 2, a.y + sy * h / 2};
      band.kind = RubberBand::Kind::Ellipse;
      band.points = {centre, {centre.x + w / 2, centre.y + h / 2}};
    }
  }
  SetRubberBand(std::move(band));
}

void CVividView::LineShapeRelease(platform::Point viewPoint) {
  PaintGesture& g = *paint_;
  g.band = false;
  SetRubberBand({});
  if (viewPoint == g.press) return;
  CDIBitmap& image = GetImage();
  const int width = image.GetWidth(), height = image.GetHeight();
  const auto clampPoint = [&](platform::Point p) {
    const platform::Point at = ViewToImage(p);
    return platform::Point{std::clamp(at.x, 0, width - 1), std::clamp(at.y, 0, height - 1)};
  };
  const platform::Point a = clampPoint(g.press), b = clampPoint(viewPoint);
  if (a == b) return;
  const CToolSettings& settings = ToolSettings();
  const PaintSettings& paint = settings.PaintOf(g.tool);
  CoveragePlane plane;
  plane.Reset(width, height);
  platform::Rect rect;
  StrokeSource source;
  source.colour = settings.foreground;
  if (g.tool == ViewTool::Line) {
    const int grow = std::max(settings.lineWidth, 1);
    rect = {std::max(std::min(a.x, b.x) - grow, 0), std::max(std::min(a.y, b.y) - grow, 0),
            std::min(std::max(a.x, b.x) + grow + 1, width), std::min(std::max(a.y, b.y) + grow + 1, height)};
    LayLine(plane, rect, a, b, settings.lineWidth, settings.antialias);
  } else {
    ShapeGeometry shape;
    shape.kind = settings.shapeKind;
    int w = std::abs(b.x - a.x) + 1, h = std::abs(b.y - a.y) + 1;
    if (shape.kind == 3) w = h = std::min(w, h);
    shape.left = b.x < a.x ? a.x - w + 1 : a.x;
    shape.top = b.y < a.y ? a.y - h + 1 : a.y;
    shape.right = shape.left + w;
    shape.bottom = shape.top + h;
    rect = {static_cast<int32_t>(shape.left), static_cast<int32_t>(shape.top), static_cast<int32_t>(shape.right),
            static_cast<int32_t>(shape.bottom)};
    LayShape(plane, shape, settings.shapeAntialias);
    const ShapeGeometry inner = shape.Inset(std::max(settings.borderWidth, 0));
    const uint32_t fg = settings.foreground, bg = settings.background;
    const int style = settings.fillStyle;
    const platform::Point origin = document_.HasFloater() ? platform::Point{document_.SelectionBox().left,
                                                                            document_.SelectionBox().top}
                                                          : platform::Point{0, 0};
    source.kind = StrokeSource::Kind::Custom;
    source.make = [shape, inner, fg, bg, style, origin](CDIBitmap& out, const platform::Rect& r) {
      const double w = shape.right - shape.left, h = shape.bottom - shape.top;
      std::vector<uint32_t> colours(static_cast<size_t>(r.Width()));
      for (int j = 0; j < r.Height(); ++j) {
        const double y = r.top + j + origin.y + 0.5;
        for (int i = 0; i < r.Width(); ++i) {
          const double x = r.left + i + origin.x + 0.5;
          colours[i] = inner.InsideInner(x, y)
                           ? Mix(fg, bg, GradientT(style, (x - shape.left) / w, (y - shape.top) / h))
                           : fg;
        }
        PutColourRow(out, j, colours.data(), r.Width());
      }
      return true;
    };
  }
  const platform::Region region = plane.RegionIn(rect);
  if (region.IsEmpty()) return;
  const bool onFloater = document_.HasFloater() && document_.FloaterImage().IsAllocated();
  CDIBitmap& target = onFloater ? document_.FloaterImage() : image;
  const platform::Rect box = document_.SelectionBox();
  const platform::Point origin = onFloater ? platform::Point{box.left, box.top} : platform::Point{0, 0};
  std::optional<platform::Region> selection;
  if (g.selectionAtPress && document_.HasSelection())
    selection = onFloater ? document_.GetSelection().region : document_.SelectionRegionInImage();
  const bool line = g.tool == ViewTool::Line;
  RunEdit(line ? 44 : 45, &region, line ? "Draw line" : "Draw Shape", kHintRedraw, [&]() -> EditResult {
    CellCommitter committer(target, plane, origin, std::move(source), {paint.mergeMode, paint.Opacity(), false},
                            std::move(selection));
    return committer.CommitAll();
  });
}
