// Error-diffusion halftoning of the direct print paths: each 8-bit ink plane
// of a band (0 = no ink, 255 = full ink) becomes a plane of dots, one byte
// per pixel, 255 = dot, 0 = no dot.
//
// The diffusion is of the pull kind along a path of 2 x 2 cells: each pixel
// gathers from its eight neighbours the part of their quantisation error
// still owed to it. The state (error and state rows above and below the
// band) is carried from band to band so that a page halftoned in bands of
// even height equals the page halftoned whole.
#pragma once

#include <cstdint>
#include <vector>

namespace print {

// Neighbour order k = 0..7: right, up-right, up, up-left, left, down-left,
// down, down-right (y grows downwards). Weights, each table summing to 32:
// A for cells visited left to right, B for right to left.
inline constexpr int kHalftoneDx[8] = {1, 1, 0, -1, -1, -1, 0, 1};
inline constexpr int kHalftoneDy[8] = {0, -1, -1, -1, 0, 1, 1, 1};
inline constexpr int kHalftoneWeightsA[8] = {7, 3, 5, 1, 7, 3, 5, 1};
inline constexpr int kHalftoneWeightsB[8] = {7, 1, 5, 3, 7, 1, 5, 3};

// The halftoning buffers of one job, sized once for width W and band height
// B. errors and states are (B + 2) rows of W entries: row 0 is the carried
// row above the band, rows 1..H the band rows, row H + 1 the row below.
// Errors are in 1/128 of an ink step. workerErrors and workerStates are a
// second such pair for the second thread of DitherBand, so that two planes
// can be halftoned at once without allocating per band. Per plane (indexed
// like the band planes: 0 C, 1 M, 2 Y, 3 K) a carried block of two rows of
// errors and states is kept between bands.
struct HalftoneState {
  // Sizes every buffer and calls ResetPage. Returns kResultOk,
  // kResultInvalidParameter for a width or band height below 1,
  // kResultOutOfMemory when memory cannot be had.
  int Allocate(int width, int bandHeight);
  // Before the first band of a page: every carried error 0, every carried
  // state byte 4.
  void ResetPage();

  int width = 0;
  int bandHeight = 0;
  std::vector<int16_t> errors;
  std::vector<uint8_t> states;
  std::vector<int16_t> workerErrors;
  std::vector<uint8_t> workerStates;
  std::vector<int16_t> carriedErrors[4];  // 2 x W each
  std::vector<uint8_t> carriedStates[4];  // 2 x W each
};

// Halftones one plane of W x H bytes in place. errors and states are (H + 2)
// rows of W entries laid out as in HalftoneState; pageTop is the band's top
// row on the page.
//
// Path: rows in pairs r, r + 1 (r = 0, 2, ... < H); the pair is even when
// ((pageTop + r) / 2) & 1 is 0 (C++ division). Even pairs: cells c = 0, 2,
// ... < W left to right, order (c, r), (c, r + 1), (c + 1, r), (c + 1, r + 1),
// weights A. Odd pairs: c = W2 - 1, W2 - 3, ... >= 0 with W2 = W rounded up
// to even, order (c, r), (c, r + 1), (c - 1, r), (c - 1, r + 1), weights B.
// Positions outside the band are skipped.
//
// Pixel (x, y), value v, weights w: per neighbour k at (x + dx, y + dy):
//   x outside 0..W-1:     e = 0, s = 1, taken;
//   y inside 0..H-1:      e, s from the buffers, taken when s != 0;
//   y = -1 (buffer row 0): e, s from the buffers, taken;
//   y = H (row H + 1):    e from the buffer, s = 0, not taken.
// T = sum of the taken weights, stored as the pixel's state.
// pull = sum over s != 0 of e * w[k] / (32 - s), each term an integer
//        division truncated toward zero;
// bias = - sum over s == 0 of e * w[k] / (32 - T), likewise.
// With v > 0 and v*128 + bias + pull > 0 the plane byte becomes 255 and the
// error v*128 + pull - 32640, otherwise 0 and v*128 + pull. The error is
// stored as int16, saturated to -32768..32767 (the unsaturated error does
// fall below -32768 in the first rows of a page and now and then in noisy
// areas; wrapping would turn it into a large positive error, see
// halftone.cpp).
// A state of 32 or more (never produced here: a processed pixel always has
// its down neighbour untaken, so T <= 27) contributes nothing to pull
// instead of dividing by zero; likewise T = 32 with an untaken neighbour
// (possible only when the carried row holds a state of 0) gives no bias.
void DitherPlane(uint8_t* plane, int16_t* errors, uint8_t* states, int pageTop, int width, int rows);

// Halftones the four planes of one band in the order K, Y, C, M (plane
// indices 3, 2, 0, 1). Each plane has rows + 1 rows of `width` bytes: row
// `rows` is the row below the band (the first row of the next band; below
// the page's last row the caller supplies a copy of that last row), read
// but not changed. Per plane: error rows 2..H+1 get the plane's rows 1..H,
// their states 0; rows 0 and 1 of both buffers get the carried block;
// DitherPlane; rows H and H + 1 go back into the carried block.
//
// The planes do not depend on each other: with two threads allowed
// (GL_GetThreadCount) and a band of at least 65,536 pixels, this thread
// halftones K then C in errors/states while a second thread halftones Y then
// M in workerErrors/workerStates; every plane, carried block and stored
// error is the same as with one thread. After each plane this thread
// halftones, the print pump runs (SetPrintPump) and a set cancel flag stops
// the band (the second thread finishes the plane it is on and is joined).
// Returns kResultOk, kResultCancelled when cancelled, kResultInvalidParameter
// when width differs from the state's width, rows is outside 1..bandHeight, a plane is
// null or the state's buffers are smaller than Allocate made them.
int DitherBand(HalftoneState& state, uint8_t* const planes[4], int pageTop, int width, int rows);

}  // namespace print
