#include "print/separation.h"

#include <algorithm>
#include <cstring>

#include "color/curves.h"
#include "image/dibitmap.h"
#include "image/result_codes.h"
#include "platform/progress.h"

namespace print {

namespace {

constexpr float kGridScale = 0.05490196f;  // 14 / 255

std::function<void()>& PrintPump() {
  static std::function<void()> pump;
  return pump;
}

// The grid axis of one channel value: byte offset of the lower grid index
// (times the axis stride) and the fractions f and 1 - f, exactly as
// GridToCMYK computes them.
struct GridAxis {
  int index;
  float f;
  float g;
};

GridAxis AxisOf(int value) {
  float x = static_cast<float>(value) * kGridScale;
  x = std::clamp(x, 0.0f, 14.0f);
  int i = static_cast<int>(x);
  if (i > 13) i = 13;
  const float f = x - static_cast<float>(i);
  return {i, f, 1.0f - f};
}

struct GridAxisTables {
  GridAxisTables() {
    for (int v = 0; v < 256; ++v) axis[v] = AxisOf(v);
  }
  GridAxis axis[256];
};

const GridAxisTables& AxisTables() {
  static const GridAxisTables tables;
  return tables;
}

// The trilinear interpolation of GridToCMYK, on precomputed axes.
inline void Interpolate(const uint8_t* grid, const GridAxis& r, const GridAxis& g, const GridAxis& b,
                        uint8_t cmyk[4]) {
  const uint8_t* base = grid + r.index * kGridRedStride + g.index * kGridGreenStride + b.index * kGridBlueStride;
  const float wrg00 = r.g * g.g, wrg01 = r.g * g.f, wrg10 = r.f * g.g, wrg11 = r.f * g.f;
  const float w[8] = {wrg00 * b.g, wrg00 * b.f, wrg01 * b.g, wrg01 * b.f,
                      wrg10 * b.g, wrg10 * b.f, wrg11 * b.g, wrg11 * b.f};
  const uint8_t* corner[8] = {base,
                              base + kGridBlueStride,
                              base + kGridGreenStride,
                              base + kGridGreenStride + kGridBlueStride,
                              base + kGridRedStride,
                              base + kGridRedStride + kGridBlueStride,
                              base + kGridRedStride + kGridGreenStride,
                              base + kGridRedStride + kGridGreenStride + kGridBlueStride};
  for (int ink = 0; ink < 4; ++ink) {
    float s = 0.0f;
    for (int c = 0; c < 8; ++c) s = s + w[c] * static_cast<float>(corner[c][ink]);
    cmyk[ink] = static_cast<uint8_t>(static_cast<int>(s + 0.5f));
  }
}

bool ValidArguments(const CDIBitmap& band, uint8_t* const planes[4], int width, int rows) {
  if (width < 1 || rows < 1 || !planes) return false;
  for (int p = 0; p < 4; ++p)
    if (!planes[p]) return false;
  return band.GetBitCount() == 24 && band.GetWidth() >= width && band.GetHeight() >= rows;
}

// Loads output row y into planes 0..2 (blue, green, red).
void LoadRow(const CDIBitmap& band, uint8_t* const planes[4], int width, int rows, bool bottomUp, bool flip, int y) {
  const uint8_t* src = band.RowPointer(bottomUp ? rows - 1 - y : y);
  const size_t offset = static_cast<size_t>(y) * width;
  uint8_t* blue = planes[0] + offset;
  uint8_t* green = planes[1] + offset;
  uint8_t* red = planes[2] + offset;
  if (!flip) {
    for (int x = 0; x < width; ++x) {
      blue[x] = src[3 * x];
      green[x] = src[3 * x + 1];
      red[x] = src[3 * x + 2];
    }
    return;
  }
  for (int x = 0; x < width; ++x) {
    const uint8_t* pixel = src + 3 * (width - 1 - x);
    blue[x] = pixel[0];
    green[x] = pixel[1];
    red[x] = pixel[2];
  }
  // Merge pairs of dark values into one pixel: to the right of the pair on
  // even rows, to the left on odd rows.
  const bool evenRow = (y & 1) == 0;
  for (uint8_t* plane : {blue, green, red}) {
    for (int x = 1; x < width; x += 2) {
      const int a = plane[x - 1], b = plane[x];
      if (a >= 1 && a <= 127 && b >= 1 && b <= 127) {
        const uint8_t sum = static_cast<uint8_t>(a + b);
        plane[evenRow ? x : x - 1] = sum;
        plane[evenRow ? x - 1 : x] = 0;
      }
    }
  }
}

void CurveRow(uint8_t* const planes[4], size_t offset, int width, const SeparationCurves& curves) {
  uint8_t* p0 = planes[0] + offset;  // blue -> cyan
  uint8_t* p1 = planes[1] + offset;  // green -> magenta
  uint8_t* p2 = planes[2] + offset;  // red -> yellow
  uint8_t* p3 = planes[3] + offset;
  const uint8_t* curveC = curves.table[0];
  const uint8_t* curveM = curves.table[1];
  const uint8_t* curveY = curves.table[2];
  const uint8_t black = curves.table[3][0];
  for (int x = 0; x < width; ++x) {
    const uint8_t b = p0[x], g = p1[x], r = p2[x];
    p0[x] = curveC[255 - r];
    p1[x] = curveM[255 - g];
    p2[x] = curveY[255 - b];
  }
  std::memset(p3, black, static_cast<size_t>(width));
}

void GridRow(uint8_t* const planes[4], size_t offset, int width, const SeparationGrid& grid) {
  uint8_t* p0 = planes[0] + offset;
  uint8_t* p1 = planes[1] + offset;
  uint8_t* p2 = planes[2] + offset;
  uint8_t* p3 = planes[3] + offset;
  const GridAxis* axis = AxisTables().axis;
  for (int x = 0; x < width; ++x) {
    uint8_t cmyk[4];
    Interpolate(grid.cmyk, axis[p2[x]], axis[p1[x]], axis[p0[x]], cmyk);
    p0[x] = cmyk[0];
    p1[x] = cmyk[1];
    p2[x] = cmyk[2];
    p3[x] = cmyk[3];
  }
}

}  // namespace

SeparationCurves::SeparationCurves() {
  for (auto& t : table)
    for (int v = 0; v < 256; ++v) t[v] = static_cast<uint8_t>(v);
}

void SetSeparationCurves(SeparationCurves& curves, const color::CurveSet& set) {
  for (int ink = 0; ink < 4; ++ink) std::memcpy(curves.table[ink], set.channels[ink].table, 256);
}

void BuildSeparationGrid(SeparationGrid& grid, const RGBToCMYKFunction& rgbToCmyk,
                         const CMYKToRGBFunction& cmykToRgb) {
  std::memset(grid.cmyk, 0, sizeof grid.cmyk);
  std::memset(grid.rgb, 0, sizeof grid.rgb);
  if (rgbToCmyk) {
    for (int i = 0; i < kGridSteps; ++i)
      for (int j = 0; j < kGridSteps; ++j)
        for (int k = 0; k < kGridSteps; ++k) {
          const uint8_t rgb[3] = {static_cast<uint8_t>(i * kGridSpacing), static_cast<uint8_t>(j * kGridSpacing),
                                  static_cast<uint8_t>(k * kGridSpacing)};
          rgbToCmyk(rgb, grid.cmyk + i * kGridRedStride + j * kGridGreenStride + k * kGridBlueStride);
        }
  }
  if (cmykToRgb) {
    uint8_t* out = grid.rgb;
    for (int c = 0; c < kGridSteps; ++c)
      for (int m = 0; m < kGridSteps; ++m)
        for (int y = 0; y < kGridSteps; ++y)
          for (int k = 0; k < kGridSteps; ++k, out += 3) {
            const uint8_t cmyk[4] = {static_cast<uint8_t>(c * kGridSpacing), static_cast<uint8_t>(m * kGridSpacing),
                                     static_cast<uint8_t>(y * kGridSpacing), static_cast<uint8_t>(k * kGridSpacing)};
            cmykToRgb(cmyk, out);
          }
  }
}

void GridToCMYK(const SeparationGrid& grid, const uint8_t rgb[3], uint8_t cmyk[4]) {
  Interpolate(grid.cmyk, AxisOf(rgb[0]), AxisOf(rgb[1]), AxisOf(rgb[2]), cmyk);
}

void SetPrintPump(std::function<void()> pump) { PrintPump() = std::move(pump); }

// Runs the print pump; true when the job is to stop.
bool PrintPumpCancelled() {
  if (const auto& pump = PrintPump()) pump();
  return platform::CancelCount() > 0;
}

int LoadBandPlanes(const CDIBitmap& band, uint8_t* const planes[4], int width, int rows, bool bottomUp, bool flip) {
  if (!ValidArguments(band, planes, width, rows)) return kResultInvalidParameter;
  for (int y = 0; y < rows; ++y) LoadRow(band, planes, width, rows, bottomUp, flip, y);
  return kResultOk;
}

int SeparateBand(const CDIBitmap& band, uint8_t* const planes[4], int width, int rows, bool bottomUp, bool flip,
                 const SeparationCurves& curves, const SeparationGrid* grid) {
  if (!ValidArguments(band, planes, width, rows)) return kResultInvalidParameter;
  for (int y = 0; y < rows; ++y) {
    LoadRow(band, planes, width, rows, bottomUp, flip, y);
    const size_t offset = static_cast<size_t>(y) * width;
    if (grid)
      GridRow(planes, offset, width, *grid);
    else
      CurveRow(planes, offset, width, curves);
    if (PrintPumpCancelled()) return kResultCancelled;
  }
  return kResultOk;
}

}  // namespace print
