// CMYK separation of the direct print paths: a rescaled 24-bit band becomes
// four 8-bit ink planes C, M, Y, K (0 = no ink, 255 = full ink) ready for
// halftoning.
//
// Band planes: four byte planes, plane 0..3 = C, M, Y, K, each with row
// stride `width`. Before conversion planes 0..2 hold the band's blue, green
// and red.
//
// Two methods: with a SeparationGrid (colour matching with an input and a
// separation profile) every pixel is a trilinear lookup in the RGB->CMYK
// grid; without one each ink is the complement of one channel through that
// ink's curve, and black is the black curve's output at 0 for every pixel.
#pragma once

#include <cstdint>
#include <functional>

class CDIBitmap;

namespace color {
class CurveSet;
}

namespace print {

// The four ink tables (C, M, Y, K) of the "CMYK Separation " curves;
// identity tables by default.
struct SeparationCurves {
  SeparationCurves();
  uint8_t table[4][256];
};

// Copies the tables of channels 0..3 (cyan, magenta, yellow, black) of a
// separation curve set.
void SetSeparationCurves(SeparationCurves& curves, const color::CurveSet& set);

inline constexpr int kGridSteps = 15;     // grid values 0, 18, ..., 252
inline constexpr int kGridSpacing = 18;
inline constexpr int kGridRedStride = 900;  // bytes
inline constexpr int kGridGreenStride = 60;
inline constexpr int kGridBlueStride = 4;
inline constexpr int kGridBytes = 15 * 15 * 15 * 4;        // 13,500
inline constexpr int kReverseGridBytes = 15 * 15 * 15 * 15 * 3;  // 151,875

// The separation grids (about 165 KB: allocate on the heap).
// cmyk: point (i, j, k) at i*900 + j*60 + k*4 holds C, M, Y, K of the RGB
//   colour (18 i, 18 j, 18 k).
// rgb: the reverse grid for display proofing, point (c, m, y, k) at
//   ((c*15 + m)*15 + y)*15*3 + k*3 holds R, G, B of the CMYK colour
//   (18 c, 18 m, 18 y, 18 k) (black fastest).
struct SeparationGrid {
  uint8_t cmyk[kGridBytes];
  uint8_t rgb[kReverseGridBytes];
};

using RGBToCMYKFunction = std::function<void(const uint8_t rgb[3], uint8_t cmyk[4])>;
using CMYKToRGBFunction = std::function<void(const uint8_t cmyk[4], uint8_t rgb[3])>;

// Fills both grids by calling the converters at the grid points only (3,375
// and 50,625 calls). An empty cmykToRgb leaves the reverse grid zeroed; an
// empty rgbToCmyk zeroes the forward grid.
void BuildSeparationGrid(SeparationGrid& grid, const RGBToCMYKFunction& rgbToCmyk,
                         const CMYKToRGBFunction& cmykToRgb);

// The interpolated lookup. Per channel R, G, B (in that order):
//   x = value * 0.05490196f (32-bit float), clamped to 0..14;
//   i = trunc(x), at most 13; f = x - i (float), g = 1 - f (float).
// Corner weights, in float, w = (wr * wg) * wb with wr = g or f for red
// index i or i + 1, and likewise green and blue. Each ink, in float:
//   s = 0; for red a = 0..1, green b = 0..1, blue c = 0..1 (blue fastest):
//   s = s + w(a, b, c) * value(i + a, j + b, k + c);
//   ink = trunc(s + 0.5f).
// 255 gives i = 13 and f = 1, so the grid value at index 14 exactly.
void GridToCMYK(const SeparationGrid& grid, const uint8_t rgb[3], uint8_t cmyk[4]);

// Sets the hook run between rows by SeparateBand and between planes by
// DitherBand (the job thread's window-message pump; none by default).
void SetPrintPump(std::function<void()> pump);
// Runs the print pump, then returns true when the cancel flag is set
// (platform::CancelCount() > 0).
bool PrintPumpCancelled();

// Copies `rows` rows of the 24-bit band (`width` pixels each) into planes 0
// (blue), 1 (green) and 2 (red): output row y is band row y, or band row
// rows - 1 - y when bottomUp is set. With `flip`: output column x takes
// source column width - 1 - x, and then at every odd x, per plane, when both
// values at x - 1 and x lie in 1..127, on an even output row x gets their
// sum and x - 1 gets 0, on an odd output row x - 1 gets the sum and x gets 0.
// Refuses (kResultInvalidParameter, nothing written) a band that is not 24-bit or is narrower
// than `width` or lower than `rows`, a width or row count below 1, or a null
// plane. Returns kResultOk.
int LoadBandPlanes(const CDIBitmap& band, uint8_t* const planes[4], int width, int rows, bool bottomUp, bool flip);

// Loads the band as LoadBandPlanes does and converts each pixel in place
// into C, M, Y, K, a row at a time:
//  - grid null (curve method): C = curveC[255 - R], M = curveM[255 - G],
//    Y = curveY[255 - B], K = curveK[0];
//  - grid given: GridToCMYK.
// After each row it runs the print pump and stops when the cancel flag is
// set (platform::CancelCount() > 0): the rows converted so far stay, later
// rows are not loaded. Returns kResultOk, kResultCancelled when cancelled,
// or kResultInvalidParameter for arguments LoadBandPlanes refuses.
int SeparateBand(const CDIBitmap& band, uint8_t* const planes[4], int width, int rows, bool bottomUp, bool flip,
                 const SeparationCurves& curves, const SeparationGrid* grid);

}  // namespace print
