// Neighbourhood filters: the 3x3 convolution engine with its fixed kernels,
// edge enhancement, emboss, square-window rank and mean filters, unsharp
// mask, despeckle, Gaussian blur, add noise, mosaic, posterize, solarize, and
// grey-level dilation and erosion.
//
// Common rules, unless a function says otherwise:
// - Every filter works in place on one bitmap, reads only unfiltered input
//   (it keeps its own copies of the rows its window needs) and writes every
//   row through PutRow, so the selection mask limits the change.
// - Pixel kinds: 8-bit gray, 24-bit (blue, green, red) and 32-bit (C, M, Y,
//   K, or four plain bytes). Every channel byte is filtered on its own; its
//   neighbours are the same channel of the neighbouring pixels. 1-bit and
//   8-bit palette bitmaps are left unchanged (filtering colour-table indices
//   has no meaning).
// - Edges: rows above the first and below the last repeat the first and the
//   last row; columns left of 0 and right of the last repeat the edge column.
// - "Interior only" (interior = 1) computes only the pixels at least s away
//   from every edge (columns s .. width - s - 1, rows s .. height - s - 1)
//   and leaves the rest as they were.
// - Progress is reported per row while reporting is on; a cancel restores
//   the bitmap and returns kResultCancelled (-29). Otherwise 1 is returned.
//   With reporting off, large work runs in two row bands on two threads
//   with exactly the single-thread result.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "image/dibitmap.h"

// A 3x3 kernel: value = (sum of weight x neighbour) / divisor + offset.
// Weights in row order: top-left, top, top-right, left, centre, right,
// bottom-left, bottom, bottom-right ("top" is the row above).
struct ConvolutionKernel {
  int32_t divisor = 1;
  int32_t offset = 0;
  int32_t size = 3;
  int32_t weights[9] = {};
};

// For every channel byte: sum = the weighted sum of the nine neighbours
// (edge pixels repeated); value = sum / divisor, truncated toward zero, plus
// offset; clamped to 0..255. A divisor of 0 is taken as 1 (a kernel cannot
// divide by zero). Sums are exact for any 32-bit weights.
int GL_Convolve3x3(CDIBitmap& bitmap, const ConvolutionKernel& kernel);

// Fixed kernels (offset 0), weights top row / middle row / bottom row:
// Smooth  /36: 1 4 1 / 4 16 4 / 1 4 1      ("smoothing of a scaled image")
// Blur    /24: 1 2 1 / 2 12 2 / 1 2 1      ("Blur")
// BlurMore/14: 1 2 1 / 2 2 2 / 1 2 1       ("Blur More", retouch blur)
// Sharpen  /7: -1 -2 -1 / -2 19 -2 / -1 -2 -1 ("Sharpen", retouch sharpen)
// SharpenMore /1: -1 -1 -1 / -1 9 -1 / -1 -1 -1 ("Sharpen More")
int GL_SmoothBitmap(CDIBitmap& bitmap);
int GL_BlurBitmap(CDIBitmap& bitmap);
int GL_BlurMoreBitmap(CDIBitmap& bitmap);
int GL_SharpenBitmap(CDIBitmap& bitmap);
int GL_SharpenMoreBitmap(CDIBitmap& bitmap);

// Edge kernels by mode (divisor 1, offset 0): Laplacian 16-18, shift and
// difference 26-28, line segment 29-32, Sobel 33-36, Prewitt 37-44 (the
// weight tables are in convolve.cpp). Modes 19-25 and any other mode have no
// kernel: the bitmap is left unchanged and 1 returned.
int GL_EdgeFilter(CDIBitmap& bitmap, int mode);

// The mode of entry `entry` (0-based) of each edge command's list, or -1
// for a position beyond the list:
// Laplacian "Filter 1|Filter 2|Filter 3", Sobel "Up|Down|Left|Top",
// Prewitt "North|North-East|East|South-East|South|South-West|West|North-West",
// line segment "Horizontal|Vertical|Left to Right|Right to Left",
// shift and difference "Diagonal|Horizontal|Vertical".
enum class EdgeCommand { Laplacian, Sobel, Prewitt, LineSegment, ShiftDifference };
int GL_EdgeFilterMode(EdgeCommand command, int entry);

// Adds the Laplacian (mode 16) of the image back onto it: every byte becomes
// min(255, (edge x amount + input x 255) / 255), with edge the mode-16
// result of the unfiltered input. amount is clamped to 0..255.
int GL_EdgeEnhance(CDIBitmap& bitmap, int reserved, int amount);

// Emboss: divisor 1, the given offset, and a kernel with +1 and -1 on
// opposite sides of the centre, by direction 0 North (+1 above, -1 below),
// 1 North-East, 2 East, 3 South-East, 4 South, 5 South-West, 6 West,
// 7 North-West (the +1 on the named side). Other directions: unchanged.
int GL_Emboss(CDIBitmap& bitmap, int direction, int offset);

// Add noise: for every pixel draw r = (next number AND 255) x 2 - 255 (odd,
// -255..255) and make each channel byte v clamp((r x amount + v x 1000) /
// 1000, 0, 255) (division truncating toward zero); all channels of a pixel
// share one r, and 8-bit gray takes one r per byte. amount is clamped to
// 0..1000; 0 changes nothing. Pixels are drawn in raster order from the top
// row, also those outside the selection (they draw but are not written).
// The numbers come from one process-wide linear congruential generator:
// state = state x 214013 + 2531011 (mod 2^32), number = (state >> 16) AND
// 0x7FFF; the state starts at 1 and carries on from call to call.
int GL_AddNoise(CDIBitmap& bitmap, int reserved, int amount);
// Sets the state of the noise generator (tests and reproducible runs).
void GL_SeedNoise(uint32_t seed);

// Square-window filters of radius s (window side 2s + 1, n = (2s + 1)^2
// cells, edge pixels repeated), per channel:
// average = (sum of the window) / n, truncated;
// median = the element at index n / 2 of the window sorted ascending;
// minimum, maximum as named. s = 0 (or below) returns at once. Radii above
// kMaxFilterRadius are refused with "GL_<name> :: radius too large".
// The average keeps running column sums, the median running histograms
// (cost per pixel linear in s), minimum and maximum separable passes.
inline constexpr int kMaxFilterRadius = 1000;
int GL_AverageFilter(CDIBitmap& bitmap, int radius, int interior);
int GL_MedianFilter(CDIBitmap& bitmap, int radius, int interior);
int GL_MinimumFilter(CDIBitmap& bitmap, int radius, int interior);
int GL_MaximumFilter(CDIBitmap& bitmap, int radius, int interior);

// Unsharp mask: with avg the window average of radius s (as
// GL_AverageFilter), a pixel whose channels all satisfy |input - avg| <=
// threshold is not changed; otherwise every channel becomes
// clamp(input + (input - avg) x amount / 100, 0, 255) (the product divided
// by 100 truncating toward zero). s = 0 returns at once; radius limit as
// for GL_AverageFilter.
int GL_UnsharpMask(CDIBitmap& bitmap, int amount, int radius, int threshold, int interior);

// Despeckle: a pseudo-median over four lines of 2s + 1 pixels through the
// pixel (horizontal, vertical and the two diagonals, edge pixels repeated
// along each axis). On a line, maximin = the largest of the minima of its
// s + 1 runs of s + 1 consecutive values and minimax = the smallest of their
// maxima (every run holds the centre, so maximin <= centre <= minimax).
// The four lines are taken together: lo = the largest maximin of the four,
// hi = the smallest minimax, and the result is (lo + hi) / 2 truncated.
// A pixel on a line of equal values in any of the four directions keeps its
// value; an isolated speck is moved halfway to its surroundings on each
// pass. s = 0 returns at once; s is limited as the rank filters.
int GL_Despeckle(CDIBitmap& bitmap, int size, int interior);

// Gaussian blur with the standard deviation sigma = radius (in pixels),
// separable, edge pixels repeated. The kernel spans r = ceil(3 x sigma)
// pixels each side (at most 30 for the dialog's 0-10); weights are
// w[k] = round(65536 x g(k) / G) for 0 < |k| <= r with g(k) = exp(-k^2 /
// (2 sigma^2)) and G the sum of g over -r..r (double precision), and the
// centre weight w[0] = 65536 - the sum of the others, so the weights sum to
// exactly 65536. Horizontal pass first: h = (sum w[k] x p[x + k] + 128) >> 8
// (kept as 16 bits); then vertical: result = (sum w[k] x h[y + k] + 2^23)
// >> 24. All in unsigned 32-bit integers, so the result is reproducible.
// A radius below 0.1 (no visible blur: r would be 0) leaves the bitmap
// unchanged; radii above 100 are refused with
// "GL_GaussianBlur :: radius too large".
int GL_GaussianBlur(CDIBitmap& bitmap, double radius);
// The 2r + 1 integer weights used for `radius` (w[-r] first); empty when
// the blur does nothing.
std::vector<uint32_t> GL_GaussianWeights(double radius);

// Mosaic: the image is cut into n x n blocks from the top-left corner (from
// (n, n) with interior = 1, the first n rows and columns then staying as
// they are); every channel of every pixel of a block becomes the block's
// average: the sum over its n x n cells / (n x n), truncated, with cells
// beyond the right or bottom edge repeating the last column or row. Only
// selected pixels are written; the averages include unselected ones. n
// below 2 changes nothing; n above 65536 is refused with
// "GL_Mosaic :: size too large".
int GL_Mosaic(CDIBitmap& bitmap, int size, int interior);

// Posterize: table[i] = min(255, trunc(i x (n - 1) x 0.003921569 + 0.5) x
// 255 / (n - 1)), applied to every byte. Fewer than 2 levels change nothing
// (the formula would divide by zero).
int GL_Posterize(CDIBitmap& bitmap, int levels);

// Solarize: table[i] = i x t / 128 for i < 128, (255 - i) x t / 128 for
// i >= 128 (integer division), clamped to 0..255, applied to every byte.
// t = 128 keeps the shadows and inverts the highlights.
int GL_Solarize(CDIBitmap& bitmap, int t);

// Structuring elements by index (1 = cell used, rows top / middle / bottom):
// 0 Omnidirectional 111/111/111, 1 Horizontal 000/111/000, 2 Vertical
// 010/010/010, 3 Cross 010/111/010, 4 Diagonal 101/010/101. Diagonal holds
// both diagonals, the diagonal counterpart of the cross, so that dilation
// and erosion treat the two diagonal directions alike (an element of one
// diagonal would grow shapes toward one pair of corners only). Any other
// index uses the full square.
// Each result byte is the maximum (dilate) or minimum (erode) of `start`
// and the same channel of the element's cells centred on the pixel; cells
// outside the image count as `border`. Works on every 8-bit bitmap (masks
// and alpha planes hold levels), 24-bit and 32-bit; 1-bit is unchanged.
int GL_Dilate(CDIBitmap& bitmap, int start, int border, int element);
int GL_Erode(CDIBitmap& bitmap, int start, int border, int element);

// Shared by the filter files: the row-window engine.
namespace filters_detail {

// Bytes per pixel of the kinds the filters change (1, 3 or 4), 0 for the
// others. `anyEightBit` accepts 8-bit palette bitmaps too.
int FilterBytesPerPixel(const CDIBitmap& image, bool anyEightBit = false);

// One output row of a window filter of radius s.
struct WindowRows {
  // rows[k], k = 0 .. 2s: input row y - s + k; each points at column 0 and
  // is readable from column -s to width + s - 1 (edges repeated, or the
  // border value).
  const uint8_t* const* rows;
  // Input row y - s - 1 in the same form (for running sums).
  const uint8_t* leaving;
  // width x bpp bytes, holding input row y on entry.
  uint8_t* out;
  int y;
  int x0, x1;  // the columns to compute
  bool fresh;  // first row this kernel sees: rebuild any running state
};

class WindowKernel {
 public:
  virtual ~WindowKernel() = default;
  virtual void Row(const WindowRows& rows) = 0;
};

// Runs a window filter over the bitmap: one kernel per row band (made by
// `make`), rows in order within a band. border < 0 repeats the edge pixels;
// 0..255 makes every cell outside the image that value. Returns 1 or
// kResultCancelled.
int RunWindowFilter(CDIBitmap& image, int bpp, int s, bool interior, int border, int64_t costPerByte,
                    const std::function<std::unique_ptr<WindowKernel>()>& make);

// The window average of GL_AverageFilter, optionally turned into the unsharp
// mask (amount >= 0) with the given threshold.
int RunAverage(CDIBitmap& image, int s, bool interior, int amount, int threshold);

// Applies a 256-entry table to every byte of 8-bit gray, 24-bit and 32-bit
// bitmaps, through the mask.
int ApplyByteTable(CDIBitmap& image, const uint8_t* table);

}  // namespace filters_detail
