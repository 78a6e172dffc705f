// The interactive floater tools: Scale, Rotate and Distort, and Edit
// Floater Alpha.
//
// Scale, Rotate and Distort share one frame: the four corners of the
// selection box (top-left, top-right, bottom-right, bottom-left, in image
// coordinates on pixel edges), kept in transformFrame_ while one of these
// tools is active and a selection exists, so the display can draw it.
//  - Scale: a press within 4 view pixels of a corner takes that corner; the
//    drag keeps the frame an axis-aligned rectangle with the opposite corner
//    fixed. A press elsewhere does nothing.
//  - Distort: a press near a corner takes that corner alone; the frame
//    becomes any quadrilateral. A press elsewhere does nothing.
//  - Rotate: any press starts a turn about the centre (the corners'
//    average) by the angle the pointer sweeps around it, clockwise positive,
//    to a hundredth of a degree.
// Each drag is committed on release, as one undo step of kind 19: "Scale
// Floater" resamples pixels and alpha to the new rectangle (GL_ResizeBitmap)
// at its place; "Rotate Floater" turns both (GL_RotateBitmap, growing to fit)
// and centres the result on the old box; "Distort Floater" maps both into
// the bounding box of the new quadrilateral by the projective map that takes
// the floater's rectangle onto it, taking the nearest source pixel. The
// floater is made by the commit when there is none yet. A release where the
// frame did not change, or a Distort quadrilateral that is not convex, commits
// nothing. After a commit the frame is the new box again.
//
// Edit Floater Alpha: the press starts a stroke over the box: dabs of the
// tool's brush tip (MakeTip: shape, size, softness; at its spacing along the
// path) are added, clamped at 255, into a coverage plane of the box's size. On release the
// coverage is added to the floater's alpha (Shift held at the press) or
// subtracted from it, scaled by the amount 255 - T x 255 div 100 of the
// tool's transparency T, inside the selection only (GL_CombineBitmapWithTrans
// through the alpha's mask): undo kind 18 "Edit Floater Alpha".
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <optional>
#include <vector>

#include "editing/stroke_engine.h"
#include "editing/tool_settings.h"
#include "editing/vivid_view.h"
#include "imaging/combine.h"
#include "imaging/geometry.h"

namespace {

// How near (view pixels, each way) a press must come to a corner to take it.
constexpr double kHandleReach = 4;
// Largest side a Distort result may have (that of the size dialogs).
constexpr double kMaxSide = 32767;

bool SameFrame(const std::array<PointF, 4>& a, const std::array<PointF, 4>& b) {
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i].x != b[i].x || a[i].y != b[i].y) return false;
  return true;
}

std::array<PointF, 4> RectFrame(double left, double top, double right, double bottom) {
  return {PointF{left, top}, PointF{right, top}, PointF{right, bottom}, PointF{left, bottom}};
}

PointF Centre(const std::array<PointF, 4>& frame) {
  PointF c;
  for (const PointF& p : frame) {
    c.x += p.x / 4;
    c.y += p.y / 4;
  }
  return c;
}

// True when the corners in order make a convex quadrilateral of non-zero
// area (every turn the same way).
bool IsConvex(const std::array<PointF, 4>& q) {
  int sign = 0;
  for (int i = 0; i < 4; ++i) {
    const PointF& a = q[i];
    const PointF& b = q[(i + 1) % 4];
    const PointF& c = q[(i + 2) % 4];
    const double cross = (b.x - a.x) * (c.y - b.y) - (b.y - a.y) * (c.x - b.x);
    if (cross == 0) return false;
    const int s = cross > 0 ? 1 : -1;
    if (sign && s != sign) return false;
    sign = s;
  }
  return true;
}

// The projective map of the unit square onto quad (corners (0,0), (1,0),
// (1,1), (0,1) to q0..q3): x = (a u + b v + c) / (g u + h v + 1), y likewise
// with d, e, f. Its inverse, up to a common factor, is the adjugate, held
// here: u = (A x + B y + C) / (G x + H y + I), v = (D x + E y + F) / (...).
struct InverseMap {
  double A, B, C, D, E, F, G, H, I;
};

InverseMap InverseOfSquareTo(const std::array<PointF, 4>& q) {
  const double sx = q[0].x - q[1].x + q[2].x - q[3].x;
  const double sy = q[0].y - q[1].y + q[2].y - q[3].y;
  double g = 0, h = 0;
  if (sx != 0 || sy != 0) {
    const double dx1 = q[1].x - q[2].x, dx2 = q[3].x - q[2].x;
    const double dy1 = q[1].y - q[2].y, dy2 = q[3].y - q[2].y;
    const double den = dx1 * dy2 - dx2 * dy1;
    g = (sx * dy2 - dx2 * sy) / den;
    h = (dx1 * sy - dy1 * sx) / den;
  }
  const double a = q[1].x - q[0].x + g * q[1].x, b = q[3].x - q[0].x + h * q[3].x, c = q[0].x;
  const double d = q[1].y - q[0].y + g * q[1].y, e = q[3].y - q[0].y + h * q[3].y, f = q[0].y;
  return {e - f * h, c * h - b, b * f - c * e, f * g - d, a - c * g, c * d - a * f, d * h - e * g, b * g - a * h,
          a * e - b * d};
}

// One row of a Distort result: for each target pixel whose centre maps into
// the source rectangle, the nearest source pixel; the rest stays 0.
template <int Bpp>
void DistortRow(uint8_t* out, const CDIBitmap& source, const InverseMap& m, int y, int width) {
  const int sw = source.GetWidth(), sh = source.GetHeight();
  const double cy = y + 0.5;
  for (int x = 0; x < width; ++x) {
    const double cx = x + 0.5;
    const double w = m.G * cx + m.H * cy + m.I;
    if (w == 0) continue;
    const double u = (m.A * cx + m.B * cy + m.C) / w;
    const double v = (m.D * cx + m.E * cy + m.F) / w;
    if (!(u >= 0 && u < 1 && v >= 0 && v < 1)) continue;
    const int px = std::min(sw - 1, static_cast<int>(u * sw));
    const int py = std::min(sh - 1, static_cast<int>(v * sh));
    const uint8_t* row = source.RowPointer(py);
    if constexpr (Bpp == 0) {
      if (row[px >> 3] & (0x80u >> (px & 7))) out[x >> 3] |= static_cast<uint8_t>(0x80u >> (x & 7));
    } else {
      std::memcpy(out + static_cast<size_t>(x) * Bpp, row + static_cast<size_t>(px) * Bpp, Bpp);
    }
  }
}

// Replaces `bitmap` by the width x height picture of it mapped onto `quad`
// (coordinates in the result, on pixel edges). 1 on success, 0 when the
// result cannot be created (its message shown).
int DistortBitmap(CDIBitmap& bitmap, const std::array<PointF, 4>& quad, int width, int height) {
  CDIBitmap result;
  if (!result.CreateCompatible(bitmap, width, height)) return 0;
  result.SetResolution(bitmap.GetXResolution(), bitmap.GetYResolution());
  const InverseMap map = InverseOfSquareTo(quad);
  const int bits = bitmap.GetBitCount();
  for (int y = 0; y < height; ++y) {
    uint8_t* out = result.RowPointer(y);
    switch (bits) {
      case 1: DistortRow<0>(out, bitmap, map, y, width); break;
      case 8: DistortRow<1>(out, bitmap, map, y, width); break;
      case 24: DistortRow<3>(out, bitmap, map, y, width); break;
      default: DistortRow<4>(out, bitmap, map, y, width); break;
    }
  }
  bitmap.Free();
  bitmap.Attach(result);
  return 1;
}

}  // namespace

void CVividView::UpdateTransformFrame() {
  if (transformActive_) return;
  const ViewTool tool = ToolSettings().ActiveTool();
  std::optional<std::array<PointF, 4>> frame;
  if ((tool == ViewTool::Scale || tool == ViewTool::Rotate || tool == ViewTool::Distort) && document_.HasSelection()) {
    const platform::Rect box = document_.SelectionBox();
    frame = RectFrame(box.left, box.top, box.right, box.bottom);
  }
  const bool changed = frame.has_value() != transformFrame_.has_value() ||
                       (frame && !SameFrame(*frame, *transformFrame_));
  if (!changed) return;
  transformFrame_ = frame;
  InvalidateAll();
}

void CVividView::TransformToolPress(platform::Point point) {
  UpdateTransformFrame();
  if (!transformFrame_) return;
  transformHandle_ = -1;
  for (int i = 0; i < 4; ++i) {
    const PointF corner = ImageToView((*transformFrame_)[static_cast<size_t>(i)]);
    if (std::abs(corner.x - point.x) <= kHandleReach && std::abs(corner.y - point.y) <= kHandleReach) {
      transformHandle_ = i;
      break;
    }
  }
  if (ToolSettings().ActiveTool() != ViewTool::Rotate && transformHandle_ < 0) return;
  transformActive_ = true;
  transformStart_ = *transformFrame_;
  transformPress_ = point;
  transformAngle_ = 0;
}

void CVividView::TransformToolMove(platform::Point point) {
  if (!transformActive_) return;
  const platform::Point at = ViewToImage(point);
  const PointF pointer{static_cast<double>(at.x), static_cast<double>(at.y)};
  std::array<PointF, 4> frame = transformStart_;
  switch (ToolSettings().ActiveTool()) {
    case ViewTool::Scale: {
      const PointF fixed = transformStart_[static_cast<size_t>((transformHandle_ + 2) % 4)];
      double left = std::min(fixed.x, pointer.x), right = std::max(fixed.x, pointer.x);
      double top = std::min(fixed.y, pointer.y), bottom = std::max(fixed.y, pointer.y);
      if (right == left) right = left + 1;
      if (bottom == top) bottom = top + 1;
      frame = RectFrame(left, top, right, bottom);
      break;
    }
    case ViewTool::Distort: frame[static_cast<size_t>(transformHandle_)] = pointer; break;
    case ViewTool::Rotate: {
      const PointF centre = Centre(transformStart_);
      const PointF pivot = ImageToView(centre);
      const double swept = std::atan2(point.y - pivot.y, point.x - pivot.x) -
                           std::atan2(transformPress_.y - pivot.y, transformPress_.x - pivot.x);
      double degrees = std::remainder(swept * 180.0 / std::numbers::pi, 360.0);
      degrees = std::round(degrees * 100) / 100;
      transformAngle_ = degrees;
      const double c = std::cos(degrees * std::numbers::pi / 180.0), s = std::sin(degrees * std::numbers::pi / 180.0);
      for (PointF& p : frame) {
        const double dx = p.x - centre.x, dy = p.y - centre.y;
        p = {centre.x + dx * c - dy * s, centre.y + dx * s + dy * c};
      }
      break;
    }
    default: return;
  }
  if (!transformFrame_ || !SameFrame(frame, *transformFrame_)) {
    transformFrame_ = frame;
    InvalidateAll();
  }
}

void CVividView::TransformToolRelease(platform::Point point) {
  TransformToolMove(point);
  transformActive_ = false;
  const std::array<PointF, 4> frame = transformFrame_ ? *transformFrame_ : transformStart_;
  if (!document_.HasSelection() || SameFrame(frame, transformStart_)) {
    UpdateTransformFrame();
    return;
  }
  switch (ToolSettings().ActiveTool()) {
    case ViewTool::Scale: {
      const int left = static_cast<int>(frame[0].x), top = static_cast<int>(frame[0].y);
      const int width = static_cast<int>(frame[2].x) - left, height = static_cast<int>(frame[2].y) - top;
      TransformFloater("Scale Floater", [&](CDIBitmap& b) { return GL_ResizeBitmap(b, width, height); },
                       platform::Point{left, top});
      break;
    }
    case ViewTool::Rotate: {
      const int hundredths = static_cast<int>(std::lround(transformAngle_ * 100));
      if (hundredths % 36000 != 0)
        TransformFloater("Rotate Floater", [&](CDIBitmap& b) { return GL_RotateBitmap(b, hundredths, 1); },
                         std::nullopt);
      break;
    }
    case ViewTool::Distort: {
      if (!IsConvex(frame)) break;
      double minX = frame[0].x, maxX = frame[0].x, minY = frame[0].y, maxY = frame[0].y;
      for (const PointF& p : frame) {
        minX = std::min(minX, p.x);
        maxX = std::max(maxX, p.x);
        minY = std::min(minY, p.y);
        maxY = std::max(maxY, p.y);
      }
      const double left = std::floor(minX), top = std::floor(minY);
      const double width = std::ceil(maxX) - left, height = std::ceil(maxY) - top;
      if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide) break;
      std::array<PointF, 4> quad = frame;
      for (PointF& p : quad) p = {p.x - left, p.y - top};
      TransformFloater(
          "Distort Floater",
          [&](CDIBitmap& b) { return DistortBitmap(b, quad, static_cast<int>(width), static_cast<int>(height)); },
          platform::Point{static_cast<int32_t>(left), static_cast<int32_t>(top)});
      break;
    }
    default: break;
  }
  UpdateTransformFrame();
  InvalidateAll();
}

void CVividView::AlphaStrokeDab(PointF imagePoint) {
  const BrushSettings& brush = ToolSettings().BrushOf(BrushOwner::EditAlpha);
  const int size = std::max(1, brush.size);
  const double spacing = std::max(1.0, size * brush.spacing / 100.0);
  // The dab centres: the first point, then one every `spacing` pixels along
  // the path; what is left over carries on to the next segment.
  std::vector<PointF> centres;
  if (!lastAlphaDab_) {
    centres.push_back(imagePoint);
    lastAlphaDab_ = imagePoint;
  } else {
    const double dx = imagePoint.x - lastAlphaDab_->x, dy = imagePoint.y - lastAlphaDab_->y;
    const double length = std::hypot(dx, dy);
    const int steps = static_cast<int>(length / spacing);
    for (int k = 1; k <= steps; ++k)
      centres.push_back({lastAlphaDab_->x + dx * spacing * k / length, lastAlphaDab_->y + dy * spacing * k / length});
    if (steps > 0) lastAlphaDab_ = centres.back();
  }
  // Each dab is the tool's tip (MakeTip with its shape, size and softness)
  // as coverage 255 - tip, added with saturation into the box's coverage.
  CDIBitmap tip, hard, dab;
  if (!MakeTip(brush.shape, size, brush.softness, tip, hard) || !dab.Create(size, size, 8, 1) ||
      GL_CombineBitmap(dab, 0, 0, size, size, tip, 0, 0, 0x0321) != 1)
    return;
  for (const PointF& c : centres) {
    const int left = static_cast<int>(std::lround(c.x)) - size / 2;
    const int top = static_cast<int>(std::lround(c.y)) - size / 2;
    alphaStroke_ = alphaStroke_.Union(platform::Region::FromRect(left, top, left + size, top + size));
    GL_CombineBitmap(alphaCoverage_, left - alphaOrigin_.x, top - alphaOrigin_.y, size, size, dab, 0, 0,
                     kCombineAdd);
  }
}

void CVividView::AlphaStrokeRelease() {
  alphaStrokeActive_ = false;
  lastAlphaDab_.reset();
  const platform::Region stroke = std::move(alphaStroke_);
  alphaStroke_ = platform::Region::Empty();
  const platform::Region covered = stroke.Intersect(document_.SelectionRegionInImage());
  if (!document_.HasSelection() || covered.IsEmpty() || !alphaCoverage_.IsAllocated()) {
    alphaCoverage_.Free();
    return;
  }
  RunEdit(18, &stroke, "Edit Floater Alpha", kHintRedraw, [&]() -> EditResult {
    if (!document_.HasFloater()) {
      if (!CreateFloaterBitmaps(true)) return 0;
      document_.SetFloaterPresent(true);
    }
    CDIBitmap& alpha = document_.FloaterAlpha();
    const platform::Rect box = document_.SelectionBox();
    const int amount = 255 - ToolSettings().editAlphaTransparency * 255 / 100;
    const platform::Region inside = document_.GetSelection().region;
    alpha.SetMaskRgn(&inside);
    const int result = GL_CombineBitmapWithTrans(alpha, alphaOrigin_.x - box.left, alphaOrigin_.y - box.top,
                                                 alphaCoverage_.GetWidth(), alphaCoverage_.GetHeight(),
                                                 alphaCoverage_, 0, 0, amount, alphaRaise_ ? 0 : kTransSubtract);
    alpha.ClearMask();
    return result;
  });
  alphaCoverage_.Free();
}
