// Composing what the view shows.
//
// The picture is built in two layers. The base (cached in base_) holds the
// button-face background outside the displayed image, the image at the zoom
// with the floater blended in, and the rulers. The outline and the overlays
// (rubber bands, zoom rectangle, transform frame) are drawn over a copy of
// it, so an outline frame or a moving rubber band costs only its own pixels.
//
// Sampling is nearest-pixel: client pixel (cx, cy) shows image pixel
// (floor((cx - left) x D / N), floor((cy - top) x D / N)), (left, top) being
// the displayed rectangle's corner. Only shown pixels are computed: per
// client row the distinct source columns are gathered into a row of the
// image's own kind, converted to RGB once and repeated N times; a client
// row whose source row equals the previous one is copied.
//
// The floater is shown as Defloat would drop it: for each shown pixel in the
// floater's box, the floater pixel is blended onto the image pixel through
// the floater's alpha (0 where the image pixel is outside the selection
// region) with the merge mode and opacity of the tool settings, by the same
// library call Defloat makes, on the gathered row. The blend is pointwise,
// so the result is what Defloat would write; the image is never changed.
//
// The outline is a pattern of diagonal dashes 4 pixels wide, black and
// white, or dark blue and yellow while a floater is present. Rubber bands,
// the zoom rectangle and the transform frame invert the pixels under them,
// each pixel once.
//
// Display mode 2 shows the selection as a mask: white where the image pixel
// is selected, black where not; with a floater, the floater's alpha as gray
// inside the region; without a selection everything is white. The outline
// is not drawn then (the mask shows the selection); the gesture overlays are.
//
// The rulers are 20-pixel bands along the top and left edges, light gray
// with a darker inner edge, in the application's measuring unit. In pixels
// the ticks mark image coordinates: the step is the smallest of 1, 2, 5, 10,
// 20, 50, ... image pixels that puts ticks at least 4 view pixels apart;
// every tick is 4 pixels long, every fifth 8, every tenth 12. In centimetres
// and inches the ticks mark millimetres and sixteenths of an inch at the
// image's resolution, thinned the same way (see UnitRulerTicks); a view
// whose rulers show another unit than the application's repaints them.
//
// With colour matching on (display_color.h) each distinct source row, once
// composed as RGB, goes through the display transform in one call before it
// is spread over its client pixels; the mask display and the background are
// not matched. With matching off nothing is added to the row loop.
//
// A repaint may come while a long operation reports progress (its pump runs
// the window's events). Composing then shows the pixels as they are at that
// moment; progress reporting is held off meanwhile so that the blend calls
// neither report nor pump events themselves.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "editing/display_color.h"
#include "editing/tool_settings.h"
#include "editing/vivid_view.h"
#include "image/color_convert.h"
#include "imaging/combine.h"
#include "platform/progress.h"

namespace {

constexpr uint8_t kButtonFace = 240;
constexpr int kRulerBand = 20;
constexpr uint8_t kRulerFace = 224;
constexpr uint8_t kRulerEdge = 128;
constexpr uint8_t kRulerTick = 0;

// Outline colours: the dark and light halves of the pattern, without and
// with a floater.
constexpr uint8_t kOutlineDark[3] = {0, 0, 0};
constexpr uint8_t kOutlineLight[3] = {255, 255, 255};
constexpr uint8_t kFloaterOutlineDark[3] = {0, 0, 160};
constexpr uint8_t kFloaterOutlineLight[3] = {255, 255, 0};

// The outline's 8 x 8 pattern: diagonal dashes 4 pixels wide, its
// horizontal origin moved right by the phase.
inline bool OutlineDark(int x, int y, int phase) { return ((x - phase + y) & 7) < 4; }

// floor(v x d / n) for v >= 0.
inline int64_t SourceIndex(int64_t v, int n, int d) { return v * d / n; }
// ceil(i x n / d) for i >= 0: the first view offset showing source index i.
inline int64_t ViewOffset(int64_t i, int n, int d) { return (i * n + d - 1) / d; }

enum class RowKind { Bits1, Index8, Bgr24, Cmyk32, Mask };

// The distinct source columns of a span of client columns and how many
// client columns each covers.
struct ColumnMap {
  std::vector<int32_t> cols;
  std::vector<int32_t> runs;
  bool unitRuns = true;
  bool contiguous = true;
};

void BuildColumnMap(int x0, int x1, int originX, ZoomRatio zoom, int imageWidth, ColumnMap& map) {
  map.cols.clear();
  map.runs.clear();
  for (int cx = x0; cx < x1; ++cx) {
    const int32_t sx = static_cast<int32_t>(std::min<int64_t>(SourceIndex(cx - originX, zoom.n, zoom.d), imageWidth - 1));
    if (!map.cols.empty() && map.cols.back() == sx) {
      ++map.runs.back();
    } else {
      map.cols.push_back(sx);
      map.runs.push_back(1);
    }
  }
  map.unitRuns = map.cols.size() == static_cast<size_t>(x1 - x0);
  map.contiguous = map.cols.empty() || map.cols.back() - map.cols.front() + 1 == static_cast<int32_t>(map.cols.size());
}

// Copies the pixels of `row` at cols[i] - offset, i < n, into `out` packed in
// the row's own kind.
template <RowKind K>
void Gather(uint8_t* out, const uint8_t* row, const int32_t* cols, int n, int32_t offset, bool contiguous) {
  if constexpr (K == RowKind::Bits1) {
    std::memset(out, 0, static_cast<size_t>(n + 7) / 8);
    for (int i = 0; i < n; ++i) {
      const int32_t c = cols[i] - offset;
      if ((row[c >> 3] >> (7 - (c & 7))) & 1) out[i >> 3] |= static_cast<uint8_t>(0x80 >> (i & 7));
    }
  } else {
    constexpr int kBpp = K == RowKind::Index8 ? 1 : K == RowKind::Bgr24 ? 3 : 4;
    if (contiguous) {
      if (n > 0) std::memcpy(out, row + static_cast<size_t>(cols[0] - offset) * kBpp, static_cast<size_t>(n) * kBpp);
      return;
    }
    for (int i = 0; i < n; ++i) std::memcpy(out + i * kBpp, row + static_cast<size_t>(cols[i] - offset) * kBpp, kBpp);
  }
}

// Blue, green, red pixels to red, green, blue. Four pixels at a time as
// three little-endian words: b0 g0 r0 b1 | g1 r1 b2 g2 | r2 b3 g3 r3 becomes
// r0 g0 b0 r1 | g1 b1 r2 g2 | b2 r3 g3 b3.
void SwapRedBlue(uint8_t* rgb, const uint8_t* bgr, int n) {
  int i = 0;
  for (; i + 4 <= n; i += 4, bgr += 12, rgb += 12) {
    uint32_t w0, w1, w2;
    std::memcpy(&w0, bgr, 4);
    std::memcpy(&w1, bgr + 4, 4);
    std::memcpy(&w2, bgr + 8, 4);
    const uint32_t o0 = ((w0 >> 16) & 0xFFu) | (w0 & 0xFF00u) | ((w0 & 0xFFu) << 16) | (((w1 >> 8) & 0xFFu) << 24);
    const uint32_t o1 = (w1 & 0xFFu) | ((w0 >> 24) << 8) | ((w2 & 0xFFu) << 16) | (w1 & 0xFF000000u);
    const uint32_t o2 = ((w1 >> 16) & 0xFFu) | ((w2 >> 24) << 8) | (w2 & 0xFF0000u) | (((w2 >> 8) & 0xFFu) << 24);
    std::memcpy(rgb, &o0, 4);
    std::memcpy(rgb + 4, &o1, 4);
    std::memcpy(rgb + 8, &o2, 4);
  }
  for (; i < n; ++i, bgr += 3, rgb += 3) {
    rgb[0] = bgr[2];
    rgb[1] = bgr[1];
    rgb[2] = bgr[0];
  }
}

// Everything one ComposeBase call needs, set up once.
struct Composer {
  const CDIBitmap& image;
  RgbImage& target;
  platform::Rect shown;
  ZoomRatio zoom;
  bool maskMode = false;
  uint8_t lut[256][3] = {};

  // The selection (image coordinates, band order).
  bool selection = false;
  std::vector<platform::Rect> regionRects;
  std::vector<std::pair<int32_t, int32_t>> intervals;  // of the current source row

  // The floater, when it is shown: its box clipped to the pixels it has.
  bool floater = false;
  platform::Rect box;
  const CDIBitmap* floaterImage = nullptr;
  const CDIBitmap* floaterAlpha = nullptr;
  bool blendByMode = false;
  int blendMode = 0;
  int opacity = 255;
  CDIBitmap blendDst, blendSrc, blendAlpha;

  // The display's colour transform, or none.
  const DisplayColorTransform* displayTransform = nullptr;

  ColumnMap map;
  int floaterFirst = 0, floaterLast = 0;  // map indexes inside the box's columns
  std::vector<uint8_t> packed, bgr, rgb;

  // Pixels shown in place of the image's and the floater's own, and the
  // rows they are patched into.
  const DisplayPatches* imagePatches = nullptr;
  const DisplayPatches* floaterPatches = nullptr;
  std::vector<uint8_t> imageRow, floaterRow;

  // Row y of `bitmap`, patched where patches cover columns [x0, x1).
  const uint8_t* Row(const CDIBitmap& bitmap, const DisplayPatches* patches, std::vector<uint8_t>& scratch, int y,
                     int x0, int x1) {
    if (!patches || patches->Empty() || !patches->CoversRow(y)) return bitmap.RowPointer(y);
    scratch.resize(static_cast<size_t>(bitmap.GetRowBytes()) + 8);
    patches->PatchedRow(bitmap, y, x0, x1, scratch.data());
    return scratch.data();
  }

  Composer(const CDIBitmap& image, RgbImage& target) : image(image), target(target) {}

  // The selection's spans on source row sy.
  void RowIntervals(int32_t sy) {
    intervals.clear();
    auto first = std::partition_point(regionRects.begin(), regionRects.end(),
                                      [sy](const platform::Rect& r) { return r.bottom <= sy; });
    for (auto it = first; it != regionRects.end() && it->top <= sy; ++it) intervals.emplace_back(it->left, it->right);
  }

  // The floater alpha of map entries [f0, f1) on source row sy into
  // blendAlpha, 0 outside the region; false when none of them lies inside
  // the region (nothing to blend).
  bool BuildAlpha(int32_t sy, int f0, int f1) {
    RowIntervals(sy);
    const uint8_t* a = floaterAlpha->RowPointer(sy - box.top);
    uint8_t* out = blendAlpha.RowPointer(0);
    if (map.contiguous) {
      // Whole runs: the alpha inside each span, 0 between them.
      const int32_t c0 = map.cols[f0], c1 = c0 + (f1 - f0);
      std::memset(out, 0, static_cast<size_t>(f1 - f0));
      bool any = false;
      for (const auto& [left, right] : intervals) {
        const int32_t l = std::max(left, c0), r = std::min(right, c1);
        if (l >= r) continue;
        std::memcpy(out + (l - c0), a + (l - box.left), static_cast<size_t>(r - l));
        any = true;
      }
      return any;
    }
    size_t k = 0;
    bool any = false;
    for (int i = f0; i < f1; ++i) {
      const int32_t c = map.cols[i];
      while (k < intervals.size() && intervals[k].second <= c) ++k;
      const uint8_t v = k < intervals.size() && intervals[k].first <= c ? a[c - box.left] : 0;
      out[i - f0] = v;
      any |= v != 0;
    }
    return any;
  }

  template <RowKind K>
  void ToRgb(const uint8_t* src, int n, uint8_t* dst) {
    if constexpr (K == RowKind::Bits1) {
      for (int i = 0; i < n; ++i) std::memcpy(dst + 3 * i, lut[(src[i >> 3] >> (7 - (i & 7))) & 1], 3);
    } else if constexpr (K == RowKind::Index8) {
      for (int i = 0; i < n; ++i) std::memcpy(dst + 3 * i, lut[src[i]], 3);
    } else {
      const uint8_t* b = src;
      if constexpr (K == RowKind::Cmyk32) {
        GL_CMYKRowToRGB(src, bgr.data(), n);
        b = bgr.data();
      }
      SwapRedBlue(dst, b, n);
    }
  }

  // Map entries [first, last) of image row `row` as RGB at out + 3 x first.
  template <RowKind K>
  void PlainPart(const uint8_t* row, int first, int last, uint8_t* out) {
    if (first >= last) return;
    const int count = last - first;
    if constexpr (K != RowKind::Bits1) {
      if (map.contiguous) {
        // One source pixel per entry, side by side: convert in place.
        constexpr int kBpp = K == RowKind::Index8 ? 1 : K == RowKind::Bgr24 ? 3 : 4;
        ToRgb<K>(row + static_cast<size_t>(map.cols[first]) * kBpp, count, out + 3 * static_cast<size_t>(first));
        return;
      }
    }
    Gather<K>(packed.data(), row, map.cols.data() + first, count, 0, map.contiguous);
    ToRgb<K>(packed.data(), count, out + 3 * static_cast<size_t>(first));
  }

  // The distinct source pixels of the map on source row sy as RGB in `out`.
  template <RowKind K>
  void SourceRow(int32_t sy, uint8_t* out) {
    const int n = static_cast<int>(map.cols.size());
    const int32_t* cols = map.cols.data();
    const uint8_t* row = n > 0 ? Row(image, imagePatches, imageRow, sy, cols[0], cols[n - 1] + 1) : image.RowPointer(sy);
    int f0 = n, f1 = n;
    if (floater && sy >= box.top && sy < box.bottom && floaterFirst < floaterLast &&
        BuildAlpha(sy, floaterFirst, floaterLast)) {
      f0 = floaterFirst;
      f1 = floaterLast;
    }
    // Outside the floater.
    PlainPart<K>(row, 0, f0, out);
    PlainPart<K>(row, f1, n, out);
    if (f0 == f1) return;
    // Inside: the image's pixels, the floater's, one blend as Defloat makes.
    const int m = f1 - f0;
    Gather<K>(blendDst.RowPointer(0), row, cols + f0, m, 0, map.contiguous);
    const uint8_t* floaterRowPixels = Row(*floaterImage, floaterPatches, floaterRow, sy - box.top,
                                          cols[f0] - box.left, cols[f1 - 1] - box.left + 1);
    Gather<K>(blendSrc.RowPointer(0), floaterRowPixels, cols + f0, m, box.left, map.contiguous);
    if (blendByMode)
      GL_CombineBitmapByMode(blendDst, blendSrc, blendAlpha, 0, 0, m, 1, blendMode, opacity);
    else
      GL_CombineBitmapWithAlpha(blendDst, 0, 0, m, 1, blendSrc, 0, 0, blendAlpha, 0, 0, opacity);
    ToRgb<K>(blendDst.RowPointer(0), m, out + 3 * static_cast<size_t>(f0));
  }

  // The mask display of the map on source row sy as RGB in `out`.
  void MaskRow(int32_t sy, uint8_t* out) {
    const int n = static_cast<int>(map.cols.size());
    if (!selection) {
      std::memset(out, 255, static_cast<size_t>(n) * 3);
      return;
    }
    RowIntervals(sy);
    const bool inBox = floater && sy >= box.top && sy < box.bottom;
    const uint8_t* a = inBox ? floaterAlpha->RowPointer(sy - box.top) : nullptr;
    size_t k = 0;
    for (int i = 0; i < n; ++i) {
      const int32_t c = map.cols[i];
      while (k < intervals.size() && intervals[k].second <= c) ++k;
      uint8_t v = 0;
      if (k < intervals.size() && intervals[k].first <= c) v = a && c >= box.left && c < box.right ? a[c - box.left] : 255;
      std::memset(out + 3 * i, v, 3);
    }
  }

  // Spreads rgb over the client pixels from `dst` on, each entry over its run.
  void Expand(uint8_t* dst) const {
    const size_t n = map.cols.size();
    const uint8_t* s = rgb.data();
    for (size_t i = 0; i < n; ++i, s += 3)
      for (int32_t r = 0; r < map.runs[i]; ++r, dst += 3) std::memcpy(dst, s, 3);
  }

  template <RowKind K>
  void ComposeRect(const platform::Rect& rect) {
    const int w = image.GetWidth(), h = image.GetHeight();
    const int x0 = std::clamp(shown.left, rect.left, rect.right), x1 = std::clamp(shown.right, x0, rect.right);
    const int y0 = std::clamp(shown.top, rect.top, rect.bottom), y1 = std::clamp(shown.bottom, y0, rect.bottom);
    // The background around the displayed image.
    for (int y = rect.top; y < rect.bottom; ++y) {
      uint8_t* row = target.Row(y);
      if (y < y0 || y >= y1 || x0 == x1) {
        std::memset(row + 3 * static_cast<size_t>(rect.left), kButtonFace, 3 * static_cast<size_t>(rect.Width()));
        continue;
      }
      std::memset(row + 3 * static_cast<size_t>(rect.left), kButtonFace, 3 * static_cast<size_t>(x0 - rect.left));
      std::memset(row + 3 * static_cast<size_t>(x1), kButtonFace, 3 * static_cast<size_t>(rect.right - x1));
    }
    if (x0 == x1 || y0 == y1) return;

    BuildColumnMap(x0, x1, shown.left, zoom, w, map);
    const auto lower = [&](int32_t c) {
      return static_cast<int>(std::lower_bound(map.cols.begin(), map.cols.end(), c) - map.cols.begin());
    };
    floaterFirst = floater ? lower(box.left) : 0;
    floaterLast = floater ? lower(box.right) : 0;
    const size_t spanBytes = 3 * static_cast<size_t>(x1 - x0);
    int32_t previous = -1;
    for (int cy = y0; cy < y1; ++cy) {
      uint8_t* dst = target.Row(cy) + 3 * static_cast<size_t>(x0);
      const int32_t sy = static_cast<int32_t>(std::min<int64_t>(SourceIndex(cy - shown.top, zoom.n, zoom.d), h - 1));
      if (sy == previous) {
        std::memcpy(dst, target.Row(cy - 1) + 3 * static_cast<size_t>(x0), spanBytes);
        continue;
      }
      previous = sy;
      // With one client pixel per source pixel the row is written in place.
      uint8_t* out = map.unitRuns ? dst : rgb.data();
      if constexpr (K == RowKind::Mask) {
        MaskRow(sy, out);
      } else {
        SourceRow<K>(sy, out);
        if (displayTransform) displayTransform->ApplyRow(out, static_cast<int>(map.cols.size()));
      }
      if (!map.unitRuns) Expand(dst);
    }
  }
};

// Holds progress reporting off for its life (see above).
class ProgressHold {
 public:
  ProgressHold() : was_(ProgressEnabled()) {
    if (was_) ProgressEnable(false);
  }
  ~ProgressHold() {
    if (was_) ProgressEnable(true);
  }
  ProgressHold(const ProgressHold&) = delete;
  ProgressHold& operator=(const ProgressHold&) = delete;

 private:
  bool was_;
};

// Fills the part of a row span of `image` inside `clip`.
void FillSpan(RgbImage& image, const platform::Rect& clip, int y, int x0, int x1, uint8_t value) {
  if (y < clip.top || y >= clip.bottom) return;
  x0 = std::max(x0, clip.left);
  x1 = std::min(x1, clip.right);
  if (x0 < x1) std::memset(image.Row(y) + 3 * static_cast<size_t>(x0), value, 3 * static_cast<size_t>(x1 - x0));
}

void FillColumn(RgbImage& image, const platform::Rect& clip, int x, int y0, int y1, uint8_t value) {
  if (x < clip.left || x >= clip.right) return;
  for (int y = std::max(y0, clip.top); y < std::min(y1, clip.bottom); ++y)
    std::memset(image.Row(y) + 3 * static_cast<size_t>(x), value, 3);
}

// Ticks along one ruler: `origin` the view position of image coordinate 0,
// `extent` the image's size on that axis, [first, last) the view positions
// the ruler covers; `tick(position, length)` draws one.
template <typename Tick>
void RulerTicks(int origin, int extent, int first, int last, ZoomRatio zoom, Tick&& tick) {
  int64_t step = 1;
  for (int64_t decade = 1; step * zoom.n < 4 * int64_t{zoom.d}; decade *= 10)
    for (const int m : {1, 2, 5}) {
      step = decade * m;
      if (step * zoom.n >= 4 * int64_t{zoom.d}) break;
    }
  const int64_t from = std::max<int64_t>(0, SourceIndex(std::max(0, first - origin), zoom.n, zoom.d) / step);
  for (int64_t k = from; k * step <= extent; ++k) {
    const int64_t position = origin + ViewOffset(k * step, zoom.n, zoom.d);
    if (position >= last) break;
    if (position < first) continue;
    tick(static_cast<int>(position), k % 10 == 0 ? 12 : k % 5 == 0 ? 8 : 4);
  }
}

// A measuring unit's marks: a unit is `subdivisions` marks, one mark
// `num / den` inch (1 mm = 10 / 254 inch, 1/16 inch), so at `resolution`
// dots per inch mark i lies at image coordinate i x resolution x num / den.
struct UnitMarks {
  int64_t num;
  int64_t den;
  int64_t subdivisions;
  // The steps below one unit (in marks) that keep the unit's structure:
  // millimetres, half centimetres; sixteenths, eighths, quarters, halves.
  int64_t partSteps[4];
  int partCount;
};
constexpr int64_t kDefaultRulerDpi = 72;

// Ticks of a centimetre or inch ruler: `origin` the view position of image
// coordinate 0, `extent` the image's size on that axis, [first, last) the
// view positions the ruler covers, `resolution` the image's dots per inch on
// that axis (72 when it has none). Mark i is drawn at
// origin + round(i x resolution x num x N / (den x D)), rounding half up, for
// i x resolution x num / den <= extent. The step between drawn marks is the
// smallest of the part steps, then 1, 2, 5, 10, 20, ... units, that puts them
// at least 4 view pixels apart. A mark on a whole unit is 12 pixels long, on
// a half unit 8, on a quarter unit (inches) 6, the others 4.
template <typename Tick>
void UnitRulerTicks(const UnitMarks& marks, int resolution, int origin, int extent, int first, int last, ZoomRatio zoom,
                    Tick&& tick) {
  const int64_t dpi = resolution > 0 ? resolution : kDefaultRulerDpi;
  const int64_t scale = dpi * marks.num * zoom.n;  // view pixels per mark, times den x D
  const int64_t unitBase = marks.den * zoom.d;
  const auto wideEnough = [&](int64_t step) { return step * scale >= 4 * unitBase; };
  int64_t step = 0;
  for (int k = 0; k < marks.partCount && step == 0; ++k)
    if (wideEnough(marks.partSteps[k])) step = marks.partSteps[k];
  for (int64_t units = 1; step == 0; units *= 10)
    for (const int64_t m : {1, 2, 5})
      if (wideEnough(units * m * marks.subdivisions)) {
        step = units * m * marks.subdivisions;
        break;
      }
  const int64_t sub = marks.subdivisions;
  const int64_t skip = std::max<int64_t>(0, int64_t{first} - origin - 1) * unitBase / scale;
  for (int64_t i = skip / step * step; i * dpi * marks.num <= int64_t{extent} * marks.den; i += step) {
    const int64_t position = origin + (2 * i * scale + unitBase) / (2 * unitBase);
    if (position >= last) break;
    if (position < first) continue;
    const int length = i % sub == 0 ? 12 : i % (sub / 2) == 0 ? 8 : sub % 4 == 0 && i % (sub / 4) == 0 ? 6 : 4;
    tick(static_cast<int>(position), length);
  }
}

constexpr UnitMarks kCentimeterMarks{10, 254, 10, {1, 5}, 2};
constexpr UnitMarks kInchMarks{1, 16, 16, {1, 2, 4, 8}, 4};

// The ruler bands with ticks in `unit`: image pixels as RulerTicks places
// them, centimetres and inches at the image's resolution on each axis.
void DrawRulers(RgbImage& image, const platform::Rect& clip, const platform::Rect& shown, ZoomRatio zoom,
                int imageWidth, int imageHeight, MeasureUnit unit, int xResolution, int yResolution) {
  const int width = image.width, height = image.height;
  for (int y = std::max(clip.top, 0); y < std::min({clip.bottom, height}); ++y)
    FillSpan(image, clip, y, 0, y < kRulerBand ? width : kRulerBand, kRulerFace);
  FillSpan(image, clip, kRulerBand - 1, kRulerBand, width, kRulerEdge);
  FillColumn(image, clip, kRulerBand - 1, kRulerBand, height, kRulerEdge);
  const auto top = [&](int x, int length) {
    FillColumn(image, clip, x, kRulerBand - 1 - length, kRulerBand - 1, kRulerTick);
  };
  const auto left = [&](int y, int length) {
    FillSpan(image, clip, y, kRulerBand - 1 - length, kRulerBand - 1, kRulerTick);
  };
  if (unit == MeasureUnit::Pixels) {
    RulerTicks(shown.left, imageWidth, kRulerBand, width, zoom, top);
    RulerTicks(shown.top, imageHeight, kRulerBand, height, zoom, left);
    return;
  }
  const UnitMarks& marks = unit == MeasureUnit::Inch ? kInchMarks : kCentimeterMarks;
  UnitRulerTicks(marks, xResolution, shown.left, imageWidth, kRulerBand, width, zoom, top);
  UnitRulerTicks(marks, yResolution, shown.top, imageHeight, kRulerBand, height, zoom, left);
}

// The pixels of a straight line (Bresenham), both ends included.
void LinePixels(platform::Point a, platform::Point b, std::vector<platform::Point>& out) {
  int64_t x = a.x, y = a.y;
  const int64_t dx = std::abs(int64_t{b.x} - a.x), dy = -std::abs(int64_t{b.y} - a.y);
  const int sx = a.x < b.x ? 1 : -1, sy = a.y < b.y ? 1 : -1;
  int64_t error = dx + dy;
  for (;;) {
    out.push_back({static_cast<int32_t>(x), static_cast<int32_t>(y)});
    if (x == b.x && y == b.y) break;
    const int64_t e2 = 2 * error;
    if (e2 >= dy) {
      error += dy;
      x += sx;
    }
    if (e2 <= dx) {
      error += dx;
      y += sy;
    }
  }
}

// The pixels of the part of segment a-b inside `bounds` (Liang-Barsky), so
// that an end far outside the view costs nothing; a segment inside is drawn
// from its own ends.
void ClippedLinePixels(PointF a, PointF b, const platform::Rect& bounds, std::vector<platform::Point>& out) {
  if (!std::isfinite(a.x) || !std::isfinite(a.y) || !std::isfinite(b.x) || !std::isfinite(b.y)) return;
  const double dx = b.x - a.x, dy = b.y - a.y;
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {a.x - bounds.left, bounds.right - 1 - a.x, a.y - bounds.top, bounds.bottom - 1 - a.y};
  double t0 = 0.0, t1 = 1.0;
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0.0) {
      if (q[i] < 0.0) return;
      continue;
    }
    const double t = q[i] / p[i];
    if (p[i] < 0.0)
      t0 = std::max(t0, t);
    else
      t1 = std::min(t1, t);
  }
  if (t0 > t1) return;
  const auto at = [&](double t) {
    return platform::Point{static_cast<int32_t>(std::floor(a.x + t * dx)), static_cast<int32_t>(std::floor(a.y + t * dy))};
  };
  LinePixels(at(t0), at(t1), out);
}

void InvertPixel(RgbImage& image, int x, int y) {
  uint8_t* p = image.Row(y) + 3 * static_cast<size_t>(x);
  p[0] = static_cast<uint8_t>(255 - p[0]);
  p[1] = static_cast<uint8_t>(255 - p[1]);
  p[2] = static_cast<uint8_t>(255 - p[2]);
}

void InvertRegion(RgbImage& image, const platform::Region& pixels, const platform::Region& clip) {
  for (const platform::Rect& r : pixels.Intersect(clip).Rects())
    for (int y = r.top; y < r.bottom; ++y)
      for (int x = r.left; x < r.right; ++x) InvertPixel(image, x, y);
}

// Inverts each listed pixel once, however often it is listed.
void InvertPoints(RgbImage& image, std::vector<platform::Point>& points, const platform::Region& clip) {
  if (points.empty()) return;
  std::sort(points.begin(), points.end(),
            [](const platform::Point& a, const platform::Point& b) { return a.y != b.y ? a.y < b.y : a.x < b.x; });
  points.erase(std::unique(points.begin(), points.end()), points.end());
  const platform::Rect box = clip.Box();
  for (const platform::Point& p : points)
    if (p.x >= box.left && p.x < box.right && p.y >= box.top && p.y < box.bottom && clip.Contains(p.x, p.y))
      InvertPixel(image, p.x, p.y);
}

}  // namespace

void CVividView::ComposeBase(RgbImage& target, const platform::Region& area) {
  const ProgressHold hold;
  const CDIBitmap& image = GetImage();
  Composer composer(image, target);
  composer.shown = DisplayedImageRect();
  composer.zoom = zoom_;
  composer.maskMode = displayMode_ == 2;
  composer.displayTransform = CurrentDisplayTransform(previewPrinted_);

  const int bits = image.GetBitCount();
  const bool drawable = image.IsAllocated() && (bits == 1 || bits == 8 || bits == 24 || bits == 32);
  if (!drawable) composer.shown = {};
  if (drawable && bits <= 8 && image.GetColorTablePointer()) {
    // A previewed tone adjustment of a palette image changes its table.
    const bool previewTable = displayColorTable_.size() == static_cast<size_t>(image.GetPaletteSize()) * 4;
    const uint8_t* table = previewTable ? displayColorTable_.data() : image.GetColorTablePointer();
    for (int i = 0; i < image.GetPaletteSize(); ++i) {
      composer.lut[i][0] = table[4 * i + 2];
      composer.lut[i][1] = table[4 * i + 1];
      composer.lut[i][2] = table[4 * i];
    }
  }

  // While the Move Floater tool drags a floater, it is shown where it would
  // land (the drag image): box and outline offset by the drag.
  const platform::Point drag = draggingFloater_ && document_.HasFloater() ? floaterDrag_ : platform::Point{};
  composer.imagePatches = &imagePatches_;
  composer.floaterPatches = &floaterPatches_;
  composer.selection = document_.HasSelection();
  if (composer.selection) {
    platform::Region region = document_.SelectionRegionInImage();
    region.Offset(drag.x, drag.y);
    composer.regionRects = region.Rects();
  }

  // The floater is shown when its pixels can be blended as Defloat blends
  // them: the same bit count as the image, an 8-bit alpha, and a merge mode
  // the image's kind accepts (Defloat refuses the others and changes nothing).
  const CDIBitmap& floaterImage = document_.FloaterImage();
  const CDIBitmap& floaterAlpha = document_.FloaterAlpha();
  platform::Rect box = document_.SelectionBox();
  box = {box.left + drag.x, box.top + drag.y, box.right + drag.x, box.bottom + drag.y};
  const int width = std::min({box.Width(), floaterImage.GetWidth(), floaterAlpha.GetWidth()});
  const int height = std::min({box.Height(), floaterImage.GetHeight(), floaterAlpha.GetHeight()});
  const bool floaterPixels = drawable && composer.selection && document_.HasFloater() && floaterImage.IsAllocated() &&
                             floaterAlpha.IsAllocated() && floaterAlpha.GetBitCount() == 8 &&
                             floaterImage.GetBitCount() == bits && width > 0 && height > 0;
  // The merge mode as Defloat drops it: a mode the image's kind cannot take
  // drops as Normal, and None draws nothing.
  const bool byMode = bits > 8 || image.IsGray();
  const int mode = byMode ? FloaterMergeMode(image) : kBlendNormal;
  const bool modeAccepted = mode != kBlendNone;
  // In the mask display the alpha is shown whatever the mode.
  composer.floater = floaterPixels && (composer.maskMode || modeAccepted);
  if (composer.floater) {
    composer.box = {box.left, box.top, box.left + width, box.top + height};
    composer.floaterImage = &floaterImage;
    composer.floaterAlpha = &floaterAlpha;
    composer.blendByMode = byMode;
    composer.blendMode = mode;
    composer.opacity = ToolSettings().FloaterOpacity();
  }

  const size_t span = static_cast<size_t>(std::max(clientWidth_, 1));
  composer.packed.resize(span * 4 + 8);
  composer.bgr.resize(span * 3 + 8);
  composer.rgb.resize(span * 3 + 8);
  if (composer.floater && !composer.maskMode) {
    const int options = bits == 32 ? 1 : image.IsGray() ? 1 : 0;
    composer.blendDst.Create(static_cast<int>(span), 1, bits, options);
    composer.blendSrc.Create(static_cast<int>(span), 1, bits, options);
    composer.blendAlpha.Create(static_cast<int>(span), 1, 8, 1);
  }

  const std::vector<platform::Rect> rects = area.Rects();
  for (const platform::Rect& rect : rects) {
    if (composer.maskMode) {
      composer.ComposeRect<RowKind::Mask>(rect);
      continue;
    }
    switch (bits) {
      case 1: composer.ComposeRect<RowKind::Bits1>(rect); break;
      case 8: composer.ComposeRect<RowKind::Index8>(rect); break;
      case 24: composer.ComposeRect<RowKind::Bgr24>(rect); break;
      default: composer.ComposeRect<RowKind::Cmyk32>(rect); break;
    }
  }
  if (rulers_) {
    const platform::Rect shown = DisplayedImageRect();
    for (const platform::Rect& rect : rects)
      if (rect.left < kRulerBand || rect.top < kRulerBand)
        DrawRulers(target, rect, shown, zoom_, image.GetWidth(), image.GetHeight(), ToolSettings().measureUnit,
                   image.GetXResolution(), image.GetYResolution());
  }
}

void CVividView::DrawOverlays(RgbImage& out, const platform::Region& area) {
  const int band = RulerBand();
  const platform::Region clip = area.Intersect(platform::Region::FromRect(band, band, clientWidth_, clientHeight_));
  if (clip.IsEmpty()) return;

  // The selection outline at its phase.
  if (outlineRunning_ && displayMode_ == 1) {
    const bool floater = document_.HasFloater();
    const uint8_t* dark = floater ? kFloaterOutlineDark : kOutlineDark;
    const uint8_t* light = floater ? kFloaterOutlineLight : kOutlineLight;
    for (const platform::Rect& r : OutlineViewRegion().Intersect(clip).Rects())
      for (int y = r.top; y < r.bottom; ++y) {
        uint8_t* p = out.Row(y) + 3 * static_cast<size_t>(r.left);
        for (int x = r.left; x < r.right; ++x, p += 3) std::memcpy(p, OutlineDark(x, y, outlinePhase_) ? dark : light, 3);
      }
  }

  // Shapes are cut to a rectangle one pixel beyond the client area before
  // their frame is taken, lines to two pixels beyond it.
  const platform::Region near = platform::Region::FromRect(-1, -1, clientWidth_ + 1, clientHeight_ + 1);
  const platform::Rect lineBounds{-2, -2, clientWidth_ + 2, clientHeight_ + 2};
  const auto toF = [](platform::Point p) { return PointF{double(p.x), double(p.y)}; };

  // The selection tools' rubber band.
  std::vector<platform::Point> points;
  const std::vector<platform::Point>& band_points = rubberBand_.points;
  switch (rubberBand_.kind) {
    case RubberBand::Kind::Rectangle:
    case RubberBand::Kind::RoundRectangle:
      if (band_points.size() >= 2) {
        const platform::Point a = band_points[0], b = band_points[1];
        const int32_t l = std::min(a.x, b.x), t = std::min(a.y, b.y), r = std::max(a.x, b.x) + 1,
                      bt = std::max(a.y, b.y) + 1;
        const platform::Region shape =
            rubberBand_.kind == RubberBand::Kind::Rectangle
                ? platform::Region::FromRect(l, t, r, bt)
                : platform::Region::FromRoundRect(l, t, r, bt, (r - l - 1) / 4, (bt - t - 1) / 4);
        InvertRegion(out, FrameOf(shape.Intersect(near)), clip);
      }
      break;
    case RubberBand::Kind::Ellipse:
      if (band_points.size() >= 2) {
        const platform::Point c = band_points[0];
        const int32_t rx = std::abs(band_points[1].x - c.x), ry = std::abs(band_points[1].y - c.y);
        const platform::Region shape = platform::Region::FromEllipse(c.x - rx, c.y - ry, c.x + rx + 1, c.y + ry + 1);
        InvertRegion(out, FrameOf(shape.Intersect(near)), clip);
      }
      break;
    case RubberBand::Kind::Polyline:
    case RubberBand::Kind::Segment:
      for (size_t i = 0; i + 1 < band_points.size(); ++i)
        ClippedLinePixels(toF(band_points[i]), toF(band_points[i + 1]), lineBounds, points);
      if (band_points.size() == 1) points.push_back(band_points[0]);
      InvertPoints(out, points, clip);
      points.clear();
      break;
    case RubberBand::Kind::None: break;
  }

  // The zoom tool's rectangle.
  if (zoomRect_) InvertRegion(out, FrameOf(platform::Region::FromRect(*zoomRect_).Intersect(near)), clip);

  // The drag image of a selection being dragged by the Move Floater tool
  // before it floats: the outline's frame where the pixels would land.
  if (draggingFloater_ && !document_.HasFloater() && (floaterDrag_.x != 0 || floaterDrag_.y != 0) &&
      document_.HasSelection()) {
    const std::vector<platform::Rect> rects = document_.SelectionRegionInImage().Rects();
    std::vector<platform::Rect> scaled;
    scaled.reserve(rects.size());
    for (const platform::Rect& r : rects) {
      const PointF a = ImageToView({double(r.left + floaterDrag_.x), double(r.top + floaterDrag_.y)});
      const PointF b = ImageToView({double(r.right + floaterDrag_.x), double(r.bottom + floaterDrag_.y)});
      scaled.push_back({static_cast<int32_t>(std::clamp(std::floor(a.x), -2.0, clientWidth_ + 2.0)),
                        static_cast<int32_t>(std::clamp(std::floor(a.y), -2.0, clientHeight_ + 2.0)),
                        static_cast<int32_t>(std::clamp(std::max(std::floor(b.x), std::floor(a.x) + 1), -2.0,
                                                        clientWidth_ + 2.0)),
                        static_cast<int32_t>(std::clamp(std::max(std::floor(b.y), std::floor(a.y) + 1), -2.0,
                                                        clientHeight_ + 2.0))});
    }
    InvertRegion(out, FrameOf(platform::Region::FromRects(scaled)), clip);
  }

  // The transform tools' frame, with a 5 x 5 grip on each corner (the
  // corners a press takes lie within 4 pixels of their centre).
  if (transformFrame_) {
    PointF corners[4];
    for (int i = 0; i < 4; ++i) corners[i] = ImageToView((*transformFrame_)[i]);
    for (int i = 0; i < 4; ++i) ClippedLinePixels(corners[i], corners[(i + 1) % 4], lineBounds, points);
    InvertPoints(out, points, clip);
    std::vector<platform::Rect> grips;
    for (const PointF& c : corners) {
      if (c.x < -4 || c.y < -4 || c.x > clientWidth_ + 4 || c.y > clientHeight_ + 4) continue;
      const int32_t x = static_cast<int32_t>(std::lround(c.x)), y = static_cast<int32_t>(std::lround(c.y));
      grips.push_back({x - 2, y - 2, x + 3, y + 3});
    }
    // Grips where the frame's lines were inverted already are inverted back
    // to the picture's own pixels first, so each grip pixel flips once.
    const platform::Region gripArea = platform::Region::FromRects(grips);
    std::vector<platform::Point> onGrips;
    for (const platform::Point& p : points)
      if (gripArea.Contains(p.x, p.y)) onGrips.push_back(p);
    InvertPoints(out, onGrips, clip);
    InvertRegion(out, gripArea, clip);
  }
}

// A whole picture is composed straight into `out`; the cached base then
// counts as stale everywhere and partial repaints compose into it only what
// they need.
void CVividView::Render(RgbImage& out) {
  FollowRulerUnit();
  FollowDisplayColor();
  PrepareDisplayPatches();
  const platform::Region client = platform::Region::FromRect(0, 0, clientWidth_, clientHeight_);
  const size_t bytes = static_cast<size_t>(clientWidth_) * clientHeight_ * 3;
  out.width = clientWidth_;
  out.height = clientHeight_;
  out.pixels.resize(bytes);
  baseStale_ = client;
  ComposeBase(out, client);
  DrawOverlays(out, client);
  outlineNeedsRedraw_ = false;
}

void CVividView::Render(RgbImage& out, const platform::Region& only) {
  // Rulers drawn in another unit are repainted whatever `only` says.
  // A change of the display colour settings repaints the whole picture.
  platform::Region wanted = FollowRulerUnit() ? only.Union(RulerBands()) : only;
  if (FollowDisplayColor()) wanted = platform::Region::FromRect(0, 0, clientWidth_, clientHeight_);
  PrepareDisplayPatches();
  const size_t bytes = static_cast<size_t>(clientWidth_) * clientHeight_ * 3;
  if (out.width != clientWidth_ || out.height != clientHeight_ || out.pixels.size() != bytes) {
    Render(out);
    return;
  }
  const platform::Region client = platform::Region::FromRect(0, 0, clientWidth_, clientHeight_);
  if (base_.width != clientWidth_ || base_.height != clientHeight_ || base_.pixels.size() != bytes) {
    base_.width = clientWidth_;
    base_.height = clientHeight_;
    base_.pixels.assign(bytes, kButtonFace);
    baseStale_ = client;
  }
  const platform::Region area = wanted.Intersect(client);
  const platform::Region redo = baseStale_.Intersect(area);
  if (!redo.IsEmpty()) {
    ComposeBase(base_, redo);
    baseStale_ = baseStale_.Subtract(redo);
  }
  for (const platform::Rect& r : area.Rects())
    for (int y = r.top; y < r.bottom; ++y)
      std::memcpy(out.Row(y) + 3 * static_cast<size_t>(r.left), base_.Row(y) + 3 * static_cast<size_t>(r.left),
                  3 * static_cast<size_t>(r.Width()));
  DrawOverlays(out, area);
  outlineNeedsRedraw_ = false;
}

platform::Region CVividView::TakeInvalidRegion() {
  FollowRulerUnit();
  FollowDisplayColor();
  return std::exchange(invalid_, platform::Region::Empty());
}

platform::Region CVividView::RulerBands() const {
  return platform::Region::FromRect(0, 0, clientWidth_, kRulerBand)
      .Union(platform::Region::FromRect(0, 0, kRulerBand, clientHeight_));
}

bool CVividView::FollowRulerUnit() {
  const int unit = static_cast<int>(ToolSettings().measureUnit);
  if (unit == rulerUnit_) return false;
  rulerUnit_ = unit;
  if (!rulers_) return false;
  const platform::Region bands = RulerBands();
  invalid_ = invalid_.Union(bands);
  baseStale_ = baseStale_.Union(bands);
  return true;
}

bool CVividView::FollowDisplayColor() {
  const unsigned generation = DisplayColorGeneration();
  if (generation == displayColorGeneration_) return false;
  displayColorGeneration_ = generation;
  InvalidateAll();
  return true;
}

void CVividView::InvalidateImageArea(const platform::Rect& imageRect) {
  const PointF a = ImageToView({static_cast<double>(imageRect.left), static_cast<double>(imageRect.top)});
  const PointF b = ImageToView({static_cast<double>(imageRect.right), static_cast<double>(imageRect.bottom)});
  const double limit = 1 << 30;
  Invalidate({static_cast<int32_t>(std::clamp(std::floor(a.x) - 1, -limit, limit)),
              static_cast<int32_t>(std::clamp(std::floor(a.y) - 1, -limit, limit)),
              static_cast<int32_t>(std::clamp(std::ceil(b.x) + 1, -limit, limit)),
              static_cast<int32_t>(std::clamp(std::ceil(b.y) + 1, -limit, limit))});
}

void CVividView::InvalidateAll() {
  invalid_ = platform::Region::FromRect(0, 0, clientWidth_, clientHeight_);
  baseStale_ = invalid_;
  outlineNeedsRedraw_ = true;
}

void CVividView::Invalidate(const platform::Rect& rect) {
  const platform::Region changed =
      platform::Region::FromRect(rect).Intersect(platform::Region::FromRect(0, 0, clientWidth_, clientHeight_));
  invalid_ = invalid_.Union(changed);
  baseStale_ = baseStale_.Union(changed);
}
